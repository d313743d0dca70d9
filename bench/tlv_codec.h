// The floor: a minimal hand-written encoder and decoder of our wire format
// (datagram := length:u16 version:u8 type:u8 seq:u8 index:u16 total:u16
// count:u16 tag*, tag := number:u8 vtype:u8 vlen:u16 value, big-endian,
// whole objects per datagram of at most 1024 bytes). It works on plain
// records: no tag objects, no dictionary grouping, no logging, one stack
// buffer.
#ifndef WQX_BENCH_TLV_CODEC_H
#define WQX_BENCH_TLV_CODEC_H

#include <cstring>
#include <vector>

#include "records.h"

namespace tlv {

using records::Field;
using records::Record;

const std::size_t kMaxDatagram = 1024;
const std::size_t kHeader = 11;  // length, version, type, seq, index, total, count
const unsigned char kVersion = 2;

inline void put16(unsigned char* p, unsigned int v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}

inline unsigned int get16(const unsigned char* p) { return (p[0] << 8u) | p[1]; }

inline std::size_t valueLength(const Field& f) {
    switch (f.type) {
    case VTAG_NONE: return 0;
    case VTAG_UINT16: return 2;
    case VTAG_UINT8: return 1;
    case VTAG_STRING:
    case VTAG_BYTES: return f.text.size();
    default: return 4;
    }
}

inline std::size_t recordSize(const Record& r) {
    std::size_t n = 4;  // the object code tag
    for (const Field& f : r.fields) n += 4 + valueLength(f);
    return n;
}

inline unsigned char* putTag(unsigned char* p, const Field& f) {
    const std::size_t len = valueLength(f);
    p[0] = f.tag;
    p[1] = f.type;
    put16(p + 2, static_cast<unsigned int>(len));
    p += 4;
    if (f.type == VTAG_STRING || f.type == VTAG_BYTES) {
        std::memcpy(p, f.text.data(), len);
        return p + len;
    }
    for (std::size_t i = len; i-- > 0;) p[len - 1 - i] = static_cast<unsigned char>(f.num >> (8 * i));
    return p + len;
}

// How many datagrams encode writes: each carries the total, so it is
// counted before the first is written. The same cuts as encode makes.
inline unsigned int datagramCount(const std::vector<Record>& recs) {
    unsigned int n = 1;
    std::size_t used = kHeader;
    bool empty = true;
    for (const Record& r : recs) {
        const std::size_t size = recordSize(r);
        if (!empty && used + size > kMaxDatagram) {
            ++n;
            used = kHeader;
        }
        used += size;
        empty = false;
    }
    return n;
}

// Writes the records as datagrams, handing each to sink(bytes, length).
template <class Sink>
void encode(const std::vector<Record>& recs, unsigned char type, unsigned char seq, Sink sink) {
    unsigned char buf[kMaxDatagram];
    unsigned char* p = buf + kHeader;
    unsigned int count = 0, index = 0;
    const unsigned int total = datagramCount(recs);
    auto flush = [&]() {
        put16(buf, static_cast<unsigned int>(p - buf - 2));
        buf[2] = kVersion;
        buf[3] = type;
        buf[4] = static_cast<unsigned char>(seq & 0x7F);
        put16(buf + 5, index++);
        put16(buf + 7, total);
        put16(buf + 9, count);
        sink(buf, static_cast<std::size_t>(p - buf));
        p = buf + kHeader;
        count = 0;
    };
    for (const Record& r : recs) {
        if (count > 0 && static_cast<std::size_t>(p - buf) + recordSize(r) > kMaxDatagram) flush();
        const Field code{r.code, VTAG_NONE, 0, std::string()};
        p = putTag(p, code);
        for (const Field& f : r.fields) p = putTag(p, f);
        count += 1 + static_cast<unsigned int>(r.fields.size());
    }
    flush();
}

// How many tags follow before the next object code, for an exact reserve.
inline std::size_t fieldsAhead(const unsigned char* p, const unsigned char* end, unsigned int left) {
    std::size_t n = 0;
    for (; left > 0 && end - p >= 4 && !WQX::DictDef->isObjectCode(p[0]); --left, ++n)
        p += 4 + get16(p + 2);
    return n;
}

// Reads one datagram's tags into out: an object code opens a record, any
// other tag joins the open one. False for malformed bytes.
inline bool decode(const unsigned char* p, std::size_t len, std::vector<Record>& out) {
    if (len < kHeader || get16(p) + 2u != len) return false;
    if (p[2] != kVersion || (p[4] & 0x80) || get16(p + 5) >= get16(p + 7)) return false;
    const unsigned char* end = p + len;
    unsigned int count = get16(p + 9);
    p += kHeader;
    for (; count > 0; --count) {
        if (end - p < 4) return false;
        const unsigned int vlen = get16(p + 2);
        if (static_cast<std::size_t>(end - p - 4) < vlen) return false;
        const unsigned char* v = p + 4;
        if (WQX::DictDef->isObjectCode(p[0])) {
            out.push_back(Record{p[0], {}});
            out.back().fields.reserve(fieldsAhead(v + vlen, end, count - 1));
        } else if (!out.empty()) {
            Field f{p[0], p[1], 0, std::string()};
            if (p[1] == VTAG_STRING || p[1] == VTAG_BYTES)
                f.text.assign(reinterpret_cast<const char*>(v), vlen);
            else
                for (unsigned int i = 0; i < vlen; ++i) f.num = (f.num << 8) | v[i];
            out.back().fields.push_back(std::move(f));
        }
        p = v + vlen;
    }
    return p == end;
}

}  // namespace tlv

#endif
