// cTagList: the tags of one object on their way into a message, and typed,
// converting access to single tags on their way out.
//
// Every add converts its value to the type the dictionary gives the tag
// number, whatever width the caller has at hand; every getter converts the
// tag's own type to the width asked for. A value-less tag reads back as the
// not-set sentinel of each width (0xFFFFFFFF, 0xFFFF, 0xFF, NaN).
//
// Ownership: the list owns the tags it holds; get() hands one over.
// Errors: none are reported; docs/tag-conversions.md has the full tables.
// Thread safety: one list per thread; the static getters are reentrant.
#ifndef WQX_TAGLIST_H
#define WQX_TAGLIST_H

#include <cstddef>
#include <vector>

#include "velmor.h"
#include "wqxexport.h"

class WQX_EXPORT cTagList {
public:
    cTagList() = default;
    ~cTagList();
    cTagList(const cTagList&) = delete;
    cTagList& operator=(const cTagList&) = delete;

    // Appends the tag and takes it over (null is ignored).
    void add(VTag* tag);
    // Removes and returns the first tag (the caller owns it), null if empty.
    VTag* get();
    unsigned int size() const { return static_cast<unsigned int>(tags_.size() - next_); }

    void add(int tag);
    void add(int tag, const char* text);
    void add(int tag, unsigned int value);
    void add(int tag, unsigned short value);
    void add(int tag, unsigned char value);
    void add(int tag, unsigned char* data, int len);
    void add(int tag, float value);

    // The dictionary's value type for the tag number, 0 when it has none.
    static int lookup_tag_type(int tag);

    // buf must hold at least one byte (size >= 1); returns buf.
    static char* getString(VTag* tag, char* buf, int size);
    static unsigned int getUInt32(VTag* tag);
    static unsigned short getUInt16(VTag* tag);
    static unsigned char getUInt8(VTag* tag);
    // len gives the room in buf and receives the byte count; numeric tags
    // always write their 4, 2 or 1 bytes, so buf holds at least 4. Returns buf.
    static unsigned char* getBytes(VTag* tag, unsigned char* buf, int& len);
    static float getFloat(VTag* tag);

private:
    // Tags are added at the back and taken from next_ on; an object's list
    // is filled once and drained once, so nothing is ever moved.
    std::vector<VTag*> tags_;
    std::size_t next_ = 0;
};

#endif
