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

void setText(char*& field, const char* text) {
    // Copy before freeing: text may be the stored array itself, lent out by
    // a getter and handed back.
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

void addIfSet(cTagList& tags, int tag, unsigned int value) {
    if (isSet(value)) tags.add(tag, value);
}

void addIfSet(cTagList& tags, int tag, const char* text) {
    if (text) tags.add(tag, text);
}

void addIfSet(cTagList& tags, int tag, float value) {
    if (isSet(value)) tags.add(tag, value);
}

void logUnknownTag(log4cpp::Category& log, VTag* tag, const char* fmt) {
    log.info(fmt, tag->getTag(), tag->getTag());
}

JsonFields& JsonFields::append(json_t* element) {
    json_array_append_new(array_, element);
    return *this;
}

JsonFields& JsonFields::integer(const char* key, unsigned int value) {
    return append(json_pack("{s:i}", key, static_cast<int>(value)));
}

JsonFields& JsonFields::integerIf(const char* key, bool set, int value) {
    return append(set ? json_pack("{s:i}", key, value) : json_object());
}

JsonFields& JsonFields::text(const char* key, const char* text) {
    if (!text) return empty();
    json_t* value = json_string(text);
    if (!value) {
        // Tags may carry any bytes, JSON strings only UTF-8: rather than lose
        // the field, write it with each byte that breaks UTF-8 as '?'.
        value = json_string(utf8Sanitized(text).c_str());
    }
    json_t* element = json_object();
    json_object_set_new(element, key, value);
    return append(element);
}

JsonFields& JsonFields::real(const char* key, float value) {
    return append(isSet(value) ? json_pack("{s:f}", key, static_cast<double>(value))
                               : json_object());
}

JsonFields& JsonFields::boolean(const char* key, bool value) {
    return append(json_pack("{s:b}", key, value ? 1 : 0));
}

JsonFields& JsonFields::empty() { return append(json_object()); }

bool JsonElement::rejected(const char* warning) {
    objectLog().warn("%s", warning);
    return false;
}

}  // namespace wqx
