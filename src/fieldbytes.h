// Reading and writing an object's members and a tag's bytes, for the
// field table engine (fieldtable.cpp) and its direct message path
// (fieldcodec.cpp). Members are reached by byte offset and copied with
// memcpy, so no value is read through a pointer of another type.
// Multi-byte wire values are big-endian. Not installed.
#ifndef WQX_FIELDBYTES_H
#define WQX_FIELDBYTES_H

#include <cstring>

#include "velmor.h"

namespace wqx {

template <class T>
inline T load(const void* obj, unsigned short at) {
    T v;
    std::memcpy(&v, static_cast<const char*>(obj) + at, sizeof v);
    return v;
}

template <class T>
inline void store(void* obj, unsigned short at, T v) {
    std::memcpy(static_cast<char*>(obj) + at, &v, sizeof v);
}

inline char*& textAt(void* obj, unsigned short at) {
    return *reinterpret_cast<char**>(static_cast<char*>(obj) + at);
}

inline const char* textAt(const void* obj, unsigned short at) {
    return *reinterpret_cast<const char* const*>(static_cast<const char*>(obj) + at);
}

using VWire::get32;
using VWire::put16;
using VWire::put32;

inline unsigned char* putHead(unsigned char* p, unsigned char tag, unsigned char type, unsigned short len) {
    p[0] = tag;
    p[1] = type;
    p[2] = static_cast<unsigned char>(len >> 8);
    p[3] = static_cast<unsigned char>(len);
    return p + 4;
}


// A text tag's value as the field's text: up to its first NUL, as the tag
// object's text reads.
inline void setTextBytes(char*& field, const VTagView& v) {
    const std::size_t n = strnlen(reinterpret_cast<const char*>(v.value), v.len);
    char* copy = new char[n + 1];
    std::memcpy(copy, v.value, n);
    copy[n] = '\0';
    delete[] field;
    field = copy;
}

}  // namespace wqx

#endif
