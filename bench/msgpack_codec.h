// msgpack-c in array form: the list is one array, each object an array of
// its wire object code followed by its field values by position. Which tag
// and type each position holds is the schema both ends know (one per object
// code, taken from the records), as a program using msgpack's array form
// would have it compiled in; so no tag numbers travel.
#ifndef WQX_BENCH_MSGPACK_CODEC_H
#define WQX_BENCH_MSGPACK_CODEC_H

#include <msgpack.h>

#include <array>
#include <cstring>
#include <vector>

#include "records.h"

namespace mpk {

using records::Field;
using records::Record;

// Tag numbers and value types by position, per wire object code.
struct Schema {
    std::array<std::vector<Field>, 256> byCode;

    explicit Schema(const std::vector<Record>& recs) {
        for (const Record& r : recs)
            if (byCode[r.code].empty()) byCode[r.code] = r.fields;
    }
};

inline void packField(msgpack_packer* pk, const Field& f) {
    switch (f.type) {
    case VTAG_NONE: msgpack_pack_nil(pk); break;
    case VTAG_STRING:
        msgpack_pack_str(pk, f.text.size());
        msgpack_pack_str_body(pk, f.text.data(), f.text.size());
        break;
    case VTAG_BYTES:
        msgpack_pack_bin(pk, f.text.size());
        msgpack_pack_bin_body(pk, f.text.data(), f.text.size());
        break;
    case VTAG_FLOAT: {
        float v;
        std::memcpy(&v, &f.num, 4);
        msgpack_pack_float(pk, v);
        break;
    }
    default: msgpack_pack_uint32(pk, f.num); break;
    }
}

// Packs the records into sbuf (which the caller clears and reuses).
inline void encode(const std::vector<Record>& recs, msgpack_sbuffer* sbuf) {
    msgpack_packer pk;
    msgpack_packer_init(&pk, sbuf, msgpack_sbuffer_write);
    msgpack_pack_array(&pk, recs.size());
    for (const Record& r : recs) {
        msgpack_pack_array(&pk, 1 + r.fields.size());
        msgpack_pack_uint8(&pk, r.code);
        for (const Field& f : r.fields) packField(&pk, f);
    }
}

inline bool readField(const msgpack_object& o, const Field& shape, Field& f) {
    f.tag = shape.tag;
    f.type = shape.type;
    switch (o.type) {
    case MSGPACK_OBJECT_NIL: return true;
    case MSGPACK_OBJECT_STR: f.text.assign(o.via.str.ptr, o.via.str.size); return true;
    case MSGPACK_OBJECT_BIN: f.text.assign(o.via.bin.ptr, o.via.bin.size); return true;
    case MSGPACK_OBJECT_POSITIVE_INTEGER:
        f.num = static_cast<unsigned int>(o.via.u64);
        return true;
    case MSGPACK_OBJECT_FLOAT32:
    case MSGPACK_OBJECT_FLOAT64: {
        const float v = static_cast<float>(o.via.f64);
        std::memcpy(&f.num, &v, 4);
        return true;
    }
    default: return false;
    }
}

inline bool readRecord(const msgpack_object& o, const Schema& schema, std::vector<Record>& out) {
    if (o.type != MSGPACK_OBJECT_ARRAY || o.via.array.size == 0 ||
        o.via.array.ptr[0].type != MSGPACK_OBJECT_POSITIVE_INTEGER)
        return false;
    const unsigned char code = static_cast<unsigned char>(o.via.array.ptr[0].via.u64);
    const std::vector<Field>& shape = schema.byCode[code];
    if (shape.size() + 1 != o.via.array.size) return false;
    out.push_back(Record{code, {}});
    std::vector<Field>& fields = out.back().fields;
    fields.resize(shape.size());
    for (std::size_t i = 0; i < shape.size(); ++i)
        if (!readField(o.via.array.ptr[i + 1], shape[i], fields[i])) return false;
    return true;
}

// Unpacks a buffer made by encode into out; false for anything else.
inline bool decode(const char* data, std::size_t size, const Schema& schema,
                   std::vector<Record>& out) {
    msgpack_unpacked result;
    msgpack_unpacked_init(&result);
    std::size_t off = 0;
    bool ok = msgpack_unpack_next(&result, data, size, &off) == MSGPACK_UNPACK_SUCCESS &&
              result.data.type == MSGPACK_OBJECT_ARRAY;
    for (std::uint32_t i = 0; ok && i < result.data.via.array.size; ++i)
        ok = readRecord(result.data.via.array.ptr[i], schema, out);
    msgpack_unpacked_destroy(&result);
    return ok;
}

}  // namespace mpk

#endif
