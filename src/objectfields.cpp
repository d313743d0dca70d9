#include "objectfields.h"

#include <cstring>
#include <string>

namespace wqx {

namespace {

// Length of the valid UTF-8 sequence at s, or 0 when none starts there.
std::size_t utf8SequenceLength(const unsigned char* s) {
    const unsigned char c = s[0];
    std::size_t n;
    unsigned int min;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) n = 2, min = 0x80;
    else if (c >= 0xE0 && c <= 0xEF) n = 3, min = 0x800;
    else if (c >= 0xF0 && c <= 0xF4) n = 4, min = 0x10000;
    else return 0;
    unsigned int cp = c & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

std::string utf8Sanitized(const char* text) {
    std::string out;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    while (*s) {
        const std::size_t n = utf8SequenceLength(s);
        if (n == 0) {
            out += '?';
            ++s;
        } else {
            out.append(reinterpret_cast<const char*>(s), n);
            s += n;
        }
    }
    return out;
}

}  // namespace

log4cpp::Category& objectLog() {
    static log4cpp::Category* const cat = cVlog::getLog("cObject");
    return *cat;
}

float narrowToFloat(double value) {
    const double max = std::numeric_limits<float>::max();
    if (value > max) return std::numeric_limits<float>::infinity();
    if (value < -max) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

void setText(char*& field, const char* text) {
    // Copy before freeing: text may be the field's own array (a caller
    // handing a getter's result back to its setter).
    char* copy = nullptr;
    if (text) {
        const std::size_t n = std::strlen(text) + 1;
        copy = new char[n];
        std::memcpy(copy, text, n);
    }
    delete[] field;
    field = copy;
}

const CodePair kOpStateCodes[3] = {{1, 0}, {2, 1}, {3, 2}};

JsonFields& JsonFields::append(json_t* element) {
    // A value jansson refused to build still holds its place in the array:
    // readers rely on the element count and order.
    if (!element) element = json_object();
    const std::size_t n = json_array_size(array_);
    if (joinNext_ && n > 0) {
        json_object_update(json_array_get(array_, n - 1), element);
        json_decref(element);
    } else {
        json_array_append_new(array_, element);
    }
    joinNext_ = false;
    return *this;
}

namespace {

// One single-key element. The calls json_pack would make for "{s:i}" and the
// like, without parsing a format per field. A value jansson refused leaves
// the element empty.
json_t* element(const char* key, json_t* value) {
    json_t* e = json_object();
    if (value) json_object_set_new(e, key, value);
    return e;
}

}  // namespace

JsonFields& JsonFields::integer(const char* key, unsigned int value) {
    return append(element(key, json_integer(static_cast<int>(value))));
}

JsonFields& JsonFields::integerIf(const char* key, bool set, int value) {
    return append(set ? element(key, json_integer(value)) : json_object());
}

JsonFields& JsonFields::text(const char* key, const char* text) {
    if (!text) return empty();
    json_t* value = json_string(text);
    if (!value) {
        // Tags may carry any bytes, JSON strings only UTF-8: rather than lose
        // the field, write it with each byte that breaks UTF-8 as '?'.
        value = json_string(utf8Sanitized(text).c_str());
    }
    return append(element(key, value));
}

JsonFields& JsonFields::real(const char* key, float value) {
    // JSON has no NaN or infinity: a float that is not set, or infinite,
    // leaves its element empty.
    return append(std::isfinite(value) ? element(key, json_real(static_cast<double>(value)))
                                       : json_object());
}

JsonFields& JsonFields::boolean(const char* key, bool value) {
    return append(element(key, json_boolean(value)));
}

JsonFields& JsonFields::empty() { return append(json_object()); }

JsonElement::JsonElement(json_t* object)
    : object_(object), keys_(json_object_size(object)), onlyKey_(nullptr), onlyKeyLen_(0),
      onlyValue_(nullptr) {
    if (keys_ != 1) return;
    void* it = json_object_iter(object);
    onlyKey_ = json_object_iter_key(it);
    onlyKeyLen_ = json_object_iter_key_len(it);
    onlyValue_ = json_object_iter_value(it);
}

bool JsonElement::rejected(const char* warning) {
    objectLog().warn("%s", warning);
    return false;
}

}  // namespace wqx
