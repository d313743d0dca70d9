#include "taglist.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// A float truncated toward zero into an unsigned 32-bit range: negative and
// NaN give 0, too large gives the largest value.
unsigned int truncateFloat(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 4294967296.0f) return 0xFFFFFFFFu;
    return static_cast<unsigned int>(value);
}

// Reads a decimal text and keeps the low 32 bits. strtoll rather than
// strtol: with a 32-bit long (the armhf target) strtol saturates at
// 0x7FFFFFFF, so "3000000000" would read differently on the device and on
// a desktop.
unsigned int textToUInt(const char* text) {
    return static_cast<unsigned int>(std::strtoll(text, nullptr, 10));
}

// Value-type-specific adds share one shape: convert an unsigned value held
// in 32 bits (already cut by the caller) to the dictionary's type.
VTag* makeFromUInt(unsigned char tag, int dictType, unsigned int value, const void* raw,
                   unsigned short rawLen) {
    switch (dictType) {
    case VTAG_NONE: return VTagFactory::createVTag(tag);
    case VTAG_STRING: {
        char text[32];
        std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
        return VTagFactory::createVTag(tag, static_cast<const char*>(text));
    }
    case VTAG_UINT32: return VTagFactory::createVTag(tag, value);
    case VTAG_UINT16: return VTagFactory::createVTag(tag, static_cast<unsigned short>(value));
    case VTAG_UINT8: return VTagFactory::createVTag(tag, static_cast<unsigned char>(value));
    case VTAG_BYTES: return VTagFactory::createVTag(tag, raw, rawLen);
    case VTAG_FLOAT: return VTagFactory::createVTag(tag, static_cast<float>(value), false);
    default: return nullptr;
    }
}

}  // namespace

cTagList::~cTagList() {
    for (std::size_t i = next_; i < tags_.size(); ++i) delete tags_[i];
}

void cTagList::add(VTag* tag) {
    if (!tag) return;
    if (tags_.empty()) tags_.reserve(16);  // most objects have fewer tags
    tags_.push_back(tag);
}

VTag* cTagList::get() {
    if (next_ == tags_.size()) return nullptr;
    VTag* t = tags_[next_++];
    if (next_ == tags_.size()) {
        // Drained: start over, so a list used as a queue does not grow.
        tags_.clear();
        next_ = 0;
    }
    return t;
}

int cTagList::lookup_tag_type(int tag) {
    if (tag < 0 || tag > 255) {
        // Only the low 8 bits travel, but the dictionary is keyed by the full
        // number, so an out-of-range number is simply not in it.
        return 0;
    }
    return static_cast<int>(WQX::DictDef->typeOf(static_cast<unsigned char>(tag)));
}

void cTagList::add(int tag) {
    const unsigned char num = static_cast<unsigned char>(tag);
    switch (lookup_tag_type(tag)) {
    case VTAG_NONE: add(VTagFactory::createVTag(num)); break;
    case VTAG_STRING: add(VTagFactory::createVTag(num, "")); break;
    case VTAG_UINT32: add(VTagFactory::createVTag(num, 0xFFFFFFFFu)); break;
    case VTAG_UINT16: add(VTagFactory::createVTag(num, static_cast<unsigned short>(0xFFFF))); break;
    case VTAG_UINT8: add(VTagFactory::createVTag(num, static_cast<unsigned char>(0xFF))); break;
    case VTAG_BYTES: add(VTagFactory::createVTag(num, static_cast<const void*>(nullptr), 0)); break;
    case VTAG_FLOAT: add(VTagFactory::createVTag(num, kNaN, false)); break;
    default: break;
    }
}

void cTagList::add(int tag, const char* text) {
    const unsigned char num = static_cast<unsigned char>(tag);
    const char* t = text ? text : "";
    switch (lookup_tag_type(tag)) {
    case VTAG_NONE: add(VTagFactory::createVTag(num)); break;
    case VTAG_STRING: add(VTagFactory::createVTag(num, t)); break;
    case VTAG_UINT32: add(VTagFactory::createVTag(num, textToUInt(t))); break;
    case VTAG_UINT16:
        add(VTagFactory::createVTag(num, static_cast<unsigned short>(textToUInt(t))));
        break;
    case VTAG_UINT8:
        add(VTagFactory::createVTag(num, static_cast<unsigned char>(textToUInt(t))));
        break;
    case VTAG_BYTES: {
        const std::size_t n = std::strlen(t);
        add(VTagFactory::createVTag(num, static_cast<const void*>(t),
                                    static_cast<unsigned short>(n > 0xFFFF ? 0xFFFF : n)));
        break;
    }
    case VTAG_FLOAT:
        add(VTagFactory::createVTag(num, static_cast<float>(std::strtod(t, nullptr)), false));
        break;
    default: break;
    }
}

void cTagList::add(int tag, unsigned int value) {
    add(makeFromUInt(static_cast<unsigned char>(tag), lookup_tag_type(tag), value, &value,
                     sizeof value));
}

void cTagList::add(int tag, unsigned short value) {
    add(makeFromUInt(static_cast<unsigned char>(tag), lookup_tag_type(tag), value, &value,
                     sizeof value));
}

void cTagList::add(int tag, unsigned char value) {
    add(makeFromUInt(static_cast<unsigned char>(tag), lookup_tag_type(tag), value, &value,
                     sizeof value));
}

void cTagList::add(int tag, unsigned char* data, int len) {
    const unsigned char num = static_cast<unsigned char>(tag);
    const int type = lookup_tag_type(tag);
    // Numeric types read a fixed number of leading bytes; refuse data that
    // is shorter than that rather than read past it.
    const int need = type == VTAG_UINT32 || type == VTAG_FLOAT ? 4
                     : type == VTAG_UINT16                     ? 2
                     : type == VTAG_UINT8                      ? 1
                                                               : 0;
    if (len < 0 || (len > 0 && !data) || len < need) {
        add(VTagFactory::createVTag(num));
        return;
    }
    switch (type) {
    case VTAG_NONE: add(VTagFactory::createVTag(num)); break;
    case VTAG_STRING:
        // The last byte is the terminator's place; with no bytes the text is
        // empty.
        add(new VTagString(num, reinterpret_cast<const char*>(data),
                           len > 0 ? strnlen(reinterpret_cast<const char*>(data), len - 1) : 0));
        break;
    case VTAG_UINT32: {
        unsigned int v;
        std::memcpy(&v, data, 4);
        add(VTagFactory::createVTag(num, v));
        break;
    }
    case VTAG_UINT16: {
        unsigned short v;
        std::memcpy(&v, data, 2);
        add(VTagFactory::createVTag(num, v));
        break;
    }
    case VTAG_UINT8: add(VTagFactory::createVTag(num, data[0])); break;
    case VTAG_BYTES:
        add(VTagFactory::createVTag(num, static_cast<const void*>(data),
                                    static_cast<unsigned short>(len)));
        break;
    case VTAG_FLOAT: {
        float f;
        std::memcpy(&f, data, 4);
        add(VTagFactory::createVTag(num, f, false));
        break;
    }
    default: break;
    }
}

void cTagList::add(int tag, float value) {
    const unsigned char num = static_cast<unsigned char>(tag);
    switch (lookup_tag_type(tag)) {
    case VTAG_NONE: add(VTagFactory::createVTag(num)); break;
    case VTAG_STRING: {
        char text[32];
        // %f of a huge float overflows 32 characters; snprintf cuts it.
        std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
        add(VTagFactory::createVTag(num, static_cast<const char*>(text)));
        break;
    }
    case VTAG_UINT32: add(VTagFactory::createVTag(num, truncateFloat(value))); break;
    case VTAG_UINT16:
        add(VTagFactory::createVTag(num, static_cast<unsigned short>(truncateFloat(value))));
        break;
    case VTAG_UINT8:
        add(VTagFactory::createVTag(num, static_cast<unsigned char>(truncateFloat(value))));
        break;
    case VTAG_BYTES:
        add(VTagFactory::createVTag(num, static_cast<const void*>(&value), sizeof value));
        break;
    case VTAG_FLOAT: add(VTagFactory::createVTag(num, value, false)); break;
    default: break;
    }
}

// ---- getters: switch on the tag's own type ----

char* cTagList::getString(VTag* tag, char* buf, int size) {
    if (!tag || !buf || size < 1) return buf;
    const unsigned short room = static_cast<unsigned short>(size > 0xFFFF ? 0xFFFF : size);
    switch (tag->getType()) {
    case VTAG_NONE: std::memset(buf, 0, static_cast<std::size_t>(size)); break;
    case VTAG_STRING: static_cast<VTagString*>(tag)->getValue(buf, room); break;
    case VTAG_UINT32:
        std::snprintf(buf, size, "%d", static_cast<int>(static_cast<VTagUInt32*>(tag)->getValue()));
        break;
    case VTAG_UINT16: std::snprintf(buf, size, "%d", static_cast<VTagUInt16*>(tag)->getValue()); break;
    case VTAG_UINT8: std::snprintf(buf, size, "%d", static_cast<VTagUInt8*>(tag)->getValue()); break;
    case VTAG_BYTES: {
        const unsigned short n = static_cast<VTagBytes*>(tag)->getValue(buf, room);
        buf[n < room ? n : room - 1] = '\0';
        break;
    }
    case VTAG_FLOAT:
        std::snprintf(buf, size, "%f", static_cast<double>(static_cast<VTagUInt32*>(tag)->getFloatValue()));
        break;
    default: break;
    }
    return buf;
}

namespace {

// The value of any tag as a 32-bit number, with fallback for the types
// that have no numeric reading.
unsigned int numericValue(VTag* tag, unsigned int notSet, unsigned int bytesWidth) {
    switch (tag->getType()) {
    case VTAG_STRING: {
        char text[32];
        static_cast<VTagString*>(tag)->getValue(text, sizeof text);
        return textToUInt(text);
    }
    case VTAG_UINT32: return static_cast<VTagUInt32*>(tag)->getValue();
    case VTAG_UINT16: return static_cast<VTagUInt16*>(tag)->getValue();
    case VTAG_UINT8: return static_cast<VTagUInt8*>(tag)->getValue();
    case VTAG_BYTES: {
        // The leading bytes in memory order over the not-set pattern.
        unsigned char raw[4];
        std::memcpy(raw, &notSet, 4);
        static_cast<VTagBytes*>(tag)->getValue(raw, static_cast<unsigned short>(bytesWidth));
        if (bytesWidth == 4) {
            unsigned int v;
            std::memcpy(&v, raw, 4);
            return v;
        }
        if (bytesWidth == 2) {
            unsigned short v;
            std::memcpy(&v, raw, 2);
            return v;
        }
        return raw[0];
    }
    case VTAG_FLOAT: return truncateFloat(static_cast<VTagUInt32*>(tag)->getFloatValue());
    default: return notSet;
    }
}

}  // namespace

unsigned int cTagList::getUInt32(VTag* tag) {
    return tag ? numericValue(tag, 0xFFFFFFFFu, 4) : 0xFFFFFFFFu;
}

unsigned short cTagList::getUInt16(VTag* tag) {
    return tag ? static_cast<unsigned short>(numericValue(tag, 0xFFFF, 2)) : 0xFFFF;
}

unsigned char cTagList::getUInt8(VTag* tag) {
    return tag ? static_cast<unsigned char>(numericValue(tag, 0xFF, 1)) : 0xFF;
}

unsigned char* cTagList::getBytes(VTag* tag, unsigned char* buf, int& len) {
    if (!tag || !buf) return buf;
    switch (tag->getType()) {
    case VTAG_NONE: len = 0; break;
    case VTAG_STRING: {
        const std::string& text = static_cast<VTagString*>(tag)->text();
        const std::size_t room = len > 0 ? static_cast<std::size_t>(len) : 0;
        const std::size_t n = text.size() + 1 < room ? text.size() + 1 : room;
        std::memcpy(buf, text.c_str(), n);
        len = static_cast<int>(n);
        break;
    }
    case VTAG_UINT32:
    case VTAG_FLOAT: {
        const unsigned int v = static_cast<VTagUInt32*>(tag)->getValue();
        std::memcpy(buf, &v, 4);
        len = 4;
        break;
    }
    case VTAG_UINT16: {
        const unsigned short v = static_cast<VTagUInt16*>(tag)->getValue();
        std::memcpy(buf, &v, 2);
        len = 2;
        break;
    }
    case VTAG_UINT8:
        buf[0] = static_cast<VTagUInt8*>(tag)->getValue();
        len = 1;
        break;
    case VTAG_BYTES:
        len = static_cast<VTagBytes*>(tag)->getValue(
            buf, static_cast<unsigned short>(len > 0 ? len & 0xFFFF : 0));
        break;
    default: break;
    }
    return buf;
}

float cTagList::getFloat(VTag* tag) {
    if (!tag) return kNaN;
    switch (tag->getType()) {
    case VTAG_NONE: return kNaN;
    case VTAG_STRING: {
        char text[32];
        static_cast<VTagString*>(tag)->getValue(text, sizeof text);
        return static_cast<float>(std::strtod(text, nullptr));
    }
    case VTAG_UINT32: {
        VTagUInt32* t = static_cast<VTagUInt32*>(tag);
        return lookup_tag_type(t->getTag()) == VTAG_FLOAT ? t->getFloatValue()
                                                          : static_cast<float>(t->getValue());
    }
    case VTAG_UINT16: return static_cast<VTagUInt16*>(tag)->getValue();
    case VTAG_UINT8: return static_cast<VTagUInt8*>(tag)->getValue();
    case VTAG_BYTES: {
        float f = kNaN;
        unsigned char raw[4];
        std::memcpy(raw, &f, 4);
        static_cast<VTagBytes*>(tag)->getValue(raw, 4);
        std::memcpy(&f, raw, 4);
        return f;
    }
    case VTAG_FLOAT: return static_cast<VTagUInt32*>(tag)->getFloatValue();
    default: return kNaN;
    }
}
