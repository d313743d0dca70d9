// The records every format in bench_formats carries, as plain values: the
// fields of each object exactly as our message form holds them (tag number,
// value type, value) and as our JSON form holds them (key, JSON kind, value).
// They are taken from the library once, outside the timed loops, so the
// peer codecs encode and decode the same field values and nothing else.
#ifndef WQX_BENCH_RECORDS_H
#define WQX_BENCH_RECORDS_H

#include <jansson.h>

#include <memory>
#include <string>
#include <vector>

#include "objectlist.h"
#include "velmor.h"

namespace records {

// One tag of an object: numbers (and float bits) in num, texts and bytes in
// text.
struct Field {
    unsigned char tag;
    unsigned char type;
    unsigned int num;
    std::string text;

    bool operator==(const Field& o) const {
        return tag == o.tag && type == o.type && num == o.num && text == o.text;
    }
};

// One object: its wire object code and its field tags in message order.
struct Record {
    unsigned char code;
    std::vector<Field> fields;

    bool operator==(const Record& o) const { return code == o.code && fields == o.fields; }
};

inline Field fieldOf(const VTag* t) {
    Field f{t->getTag(), static_cast<unsigned char>(t->getType()), 0, std::string()};
    switch (t->getType()) {
    case VTAG_STRING: f.text = static_cast<const VTagString*>(t)->text(); break;
    case VTAG_UINT32:
    case VTAG_FLOAT: f.num = static_cast<const VTagUInt32*>(t)->getValue(); break;
    case VTAG_UINT16: f.num = static_cast<const VTagUInt16*>(t)->getValue(); break;
    case VTAG_UINT8: f.num = static_cast<const VTagUInt8*>(t)->getValue(); break;
    case VTAG_BYTES: {
        f.text.resize(t->getLength());
        static_cast<const VTagBytes*>(t)->getValue(&f.text[0], t->getLength());
        break;
    }
    default: break;
    }
    return f;
}

// The records of a list, read from the message toMsg makes of it.
inline std::vector<Record> fromList(cObjectList& list) {
    std::vector<Record> out;
    std::unique_ptr<VMsg> msg(list.toMsg());
    for (const VTag* t : msg->getTags()) {
        if (WQX::DictDef->isObjectCode(t->getTag()))
            out.push_back(Record{t->getTag(), {}});
        else if (!out.empty())
            out.back().fields.push_back(fieldOf(t));
    }
    return out;
}

// ---- the JSON form ----

enum JsonKind { J_INT, J_REAL, J_TEXT, J_BOOL };

struct JsonField {
    std::string key;
    JsonKind kind;
    json_int_t integer;
    double real;
    std::string text;
};

// One element of an object's field array: usually one key, sometimes two,
// sometimes none.
struct JsonElement {
    std::vector<JsonField> fields;
};

struct JsonRecord {
    const char* typeName;
    std::vector<JsonElement> elements;
};

inline JsonField jsonFieldOf(const char* key, json_t* v) {
    JsonField f{key, J_INT, 0, 0.0, std::string()};
    if (json_is_integer(v)) {
        f.integer = json_integer_value(v);
    } else if (json_is_real(v)) {
        f.kind = J_REAL;
        f.real = json_real_value(v);
    } else if (json_is_string(v)) {
        f.kind = J_TEXT;
        f.text = json_string_value(v);
    } else {
        f.kind = J_BOOL;
        f.integer = json_is_true(v);
    }
    return f;
}

// The JSON records of a list, read from each object's own field array.
inline std::vector<JsonRecord> jsonFromList(cObjectList& list) {
    std::vector<JsonRecord> out;
    int taken = 0;
    for (cObject* obj = list.first(); taken < list.numObjects(); obj = list.next(), ++taken) {
        JsonRecord r{cObject::getJSONName(obj->getType()), {}};
        json_t* array = obj->getJSONObj();
        std::size_t i;
        json_t* element;
        json_array_foreach(array, i, element) {
            JsonElement e;
            const char* key;
            json_t* v;
            json_object_foreach(element, key, v) e.fields.push_back(jsonFieldOf(key, v));
            r.elements.push_back(std::move(e));
        }
        json_decref(array);
        out.push_back(std::move(r));
    }
    return out;
}

}  // namespace records

#endif
