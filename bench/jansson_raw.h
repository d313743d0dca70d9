// jansson's own calls on the same document our JSON form writes: an array of
// [{"objectType": name}, {"objectValues": [{key: value}, ...]}] entries. The
// build makes the tree from plain records and dumps it with flags 0; the
// read loads the text and takes every value out into plain records.
#ifndef WQX_BENCH_JANSSON_RAW_H
#define WQX_BENCH_JANSSON_RAW_H

#include <jansson.h>

#include <string>
#include <vector>

#include "records.h"

namespace rawjson {

using records::JsonElement;
using records::JsonField;
using records::JsonRecord;

inline json_t* valueOf(const JsonField& f) {
    switch (f.kind) {
    case records::J_INT: return json_integer(f.integer);
    case records::J_REAL: return json_real(f.real);
    case records::J_TEXT: return json_string(f.text.c_str());
    default: return json_boolean(f.integer);
    }
}

inline json_t* buildEntry(const JsonRecord& r) {
    json_t* values = json_array();
    for (const JsonElement& e : r.elements) {
        json_t* element = json_object();
        for (const JsonField& f : e.fields) json_object_set_new(element, f.key.c_str(), valueOf(f));
        json_array_append_new(values, element);
    }
    json_t* typeObj = json_object();
    json_object_set_new(typeObj, "objectType", json_string(r.typeName));
    json_t* valuesObj = json_object();
    json_object_set_new(valuesObj, "objectValues", values);
    json_t* entry = json_array();
    json_array_append_new(entry, typeObj);
    json_array_append_new(entry, valuesObj);
    return entry;
}

// The document's text; the caller frees it with free().
inline char* build(const std::vector<JsonRecord>& recs) {
    json_t* root = json_array();
    for (const JsonRecord& r : recs) json_array_append_new(root, buildEntry(r));
    char* text = json_dumps(root, 0);
    json_decref(root);
    return text;
}

// What a reader takes out of one entry: the type name and every value.
struct ReadRecord {
    std::string typeName;
    std::vector<JsonField> values;
};

inline JsonField readValue(json_t* v) {
    JsonField f{std::string(), records::J_INT, 0, 0.0, std::string()};
    if (json_is_integer(v)) {
        f.integer = json_integer_value(v);
    } else if (json_is_real(v)) {
        f.kind = records::J_REAL;
        f.real = json_real_value(v);
    } else if (json_is_string(v)) {
        f.kind = records::J_TEXT;
        f.text = json_string_value(v);
    } else {
        f.kind = records::J_BOOL;
        f.integer = json_is_true(v);
    }
    return f;
}

inline bool readEntry(json_t* entry, std::vector<ReadRecord>& out) {
    json_t* type = json_object_get(json_array_get(entry, 0), "objectType");
    json_t* values = json_object_get(json_array_get(entry, 1), "objectValues");
    if (!json_is_string(type) || !json_is_array(values)) return false;
    out.push_back(ReadRecord{json_string_value(type), {}});
    ReadRecord& r = out.back();
    r.values.reserve(json_array_size(values));
    std::size_t i;
    json_t* element;
    json_array_foreach(values, i, element) {
        const char* key;
        json_t* v;
        json_object_foreach(element, key, v) r.values.push_back(readValue(v));
    }
    return true;
}

inline bool read(const char* text, std::vector<ReadRecord>& out) {
    json_error_t error;
    json_t* root = json_loads(text, 0, &error);
    bool ok = json_is_array(root);
    std::size_t i;
    json_t* entry;
    if (ok)
        json_array_foreach(root, i, entry) if (!(ok = readEntry(entry, out))) break;
    json_decref(root);
    return ok;
}

}  // namespace rawjson

#endif
