// Velmor: tagged binary messages.
//
// Wire format. Every multi-byte value is big-endian (network order); floats
// travel as their IEEE-754 bit pattern; nothing is copied to the wire as a
// struct. docs/wire-format.md has the full description and examples.
//
//   datagram := length:u16 message               length counts message bytes
//   message  := type:u8 seq:u8 count:u16 tag*count
//   seq      := bit 7 set on the last segment of a message, bits 0-6 sequence
//   tag      := number:u8 vtype:u8 vlen:u16 value[vlen]
//   vtype    := 0 none (vlen 0)  1 text (no terminator)  2 u32 (vlen 4)
//               3 u16 (vlen 2)   4 u8 (vlen 1)           5 bytes (any vlen)
//               6 float (vlen 4, IEEE-754 bits)
//
// A datagram is therefore 2 bytes longer than its encoded message, and an
// encoded tag 4 bytes longer than its value.
//
// Ownership: a VMsg owns its tags (addTag takes them over) and the segments
// that segmentMessage makes. A VelmorMessage owns its object groups but not
// the tags they point at: those stay with the VMsg that was parsed, which must
// outlive the VelmorMessage.
//
// Errors: parseMsg and parseVMsg return null for anything they cannot
// accept; getMsg returns 0 when the message does not fit. Nothing throws and
// nothing reads or writes outside the buffers it is given.
//
// Thread safety: a message is used by one thread at a time; the dictionary
// is immutable and may be read from any thread.
#ifndef WQX_VELMOR_H
#define WQX_VELMOR_H

#include <cstddef>
#include <string>
#include <vector>

#include "wqxexport.h"

// Value type codes carried by every tag and held by the dictionary.
enum VTagType : unsigned int {
    VTAG_NONE = 0,
    VTAG_STRING = 1,
    VTAG_UINT32 = 2,
    VTAG_UINT16 = 3,
    VTAG_UINT8 = 4,
    VTAG_BYTES = 5,
    VTAG_FLOAT = 6,
};

// A tag without a value; the base of the valued tags below. Wire object
// codes and flags are tags of this kind.
class WQX_EXPORT VTag {
public:
    explicit VTag(unsigned char tag);
    virtual ~VTag();

    unsigned char getTag() const { return tag_; }
    unsigned short getLength() const { return len_; }
    unsigned int getType() const { return type_; }

    // A deep copy of the tag; the caller owns it.
    virtual VTag* clone() const;

    // Tags are made and freed by the thousand per message: their memory
    // comes from a small per-thread cache (platform/tagcache.cpp). Create
    // and delete them with plain new and delete as usual.
    static void* operator new(std::size_t size);
    static void operator delete(void* p, std::size_t size);
    // Writes exactly getLength() value bytes in wire order.
    virtual void putValue(unsigned char* out) const;

protected:
    VTag(unsigned char tag, unsigned int type, unsigned short len);

private:
    unsigned char tag_;
    unsigned short len_;
    unsigned int type_;
};

class WQX_EXPORT VTagString : public VTag {
public:
    // Texts longer than 65535 bytes are cut to fit the 16-bit length.
    VTagString(unsigned char tag, const char* text, std::size_t len);
    // Copies the text, always terminated, into buf of the given size
    // (nothing is written when size is 0).
    void getValue(char* buf, unsigned short size) const;
    const std::string& text() const { return text_; }
    VTag* clone() const override;
    void putValue(unsigned char* out) const override;

private:
    std::string text_;
};

// 32-bit value; also carries floats (type 6) as their bit pattern.
class WQX_EXPORT VTagUInt32 : public VTag {
public:
    VTagUInt32(unsigned char tag, unsigned int value);
    VTagUInt32(unsigned char tag, float value);
    unsigned int getValue() const { return value_; }
    float getFloatValue() const;
    VTag* clone() const override;
    void putValue(unsigned char* out) const override;

private:
    VTagUInt32(unsigned char tag, unsigned int bits, unsigned int type);
    unsigned int value_;
};

class WQX_EXPORT VTagUInt16 : public VTag {
public:
    VTagUInt16(unsigned char tag, unsigned short value);
    unsigned short getValue() const { return value_; }
    VTag* clone() const override;
    void putValue(unsigned char* out) const override;

private:
    unsigned short value_;
};

class WQX_EXPORT VTagUInt8 : public VTag {
public:
    VTagUInt8(unsigned char tag, unsigned char value);
    unsigned char getValue() const { return value_; }
    VTag* clone() const override;
    void putValue(unsigned char* out) const override;

private:
    unsigned char value_;
};

class WQX_EXPORT VTagBytes : public VTag {
public:
    VTagBytes(unsigned char tag, const void* data, unsigned short len);
    // Copies at most size bytes into buf and returns the count copied.
    unsigned short getValue(void* buf, unsigned short size) const;
    VTag* clone() const override;
    void putValue(unsigned char* out) const override;

private:
    std::vector<unsigned char> data_;
};

// The one way the object layer makes tags. Each overload returns a new tag
// owned by the caller.
class WQX_EXPORT VTagFactory {
public:
    static VTag* createVTag(unsigned char tag);
    static VTag* createVTag(unsigned char tag, const char* text);
    static VTag* createVTag(unsigned char tag, unsigned int value);
    static VTag* createVTag(unsigned char tag, unsigned short value);
    static VTag* createVTag(unsigned char tag, unsigned char value);
    static VTag* createVTag(unsigned char tag, const void* data, unsigned short len);
    // The flag is kept for interface compatibility; floats always travel
    // as a type 6 tag whatever it says.
    static VTag* createVTag(unsigned char tag, float value, bool flag);
};

// One dictionary entry: a tag number and the value type it travels as.
struct VelmorDictEntry {
    unsigned char tag;
    unsigned int type;
    bool objectCode;  // true for wire object codes, which open a tag group
};

// The tag dictionary. Lookups go through a 256-slot table filled when the
// dictionary is built, which answers exactly as a walk of the entries would
// (the first entry for a number wins; unknown numbers are type 0).
class WQX_EXPORT VelmorDictDef {
public:
    constexpr VelmorDictDef(const VelmorDictEntry* defs, unsigned char numDefs)
        : defs_(defs), numDefs_(numDefs), types_(), known_(), objectCode_() {
        for (unsigned i = 0; i < numDefs; ++i) {
            const VelmorDictEntry& e = defs[i];
            if (known_[e.tag]) continue;
            known_[e.tag] = true;
            types_[e.tag] = e.type;
            objectCode_[e.tag] = e.objectCode;
        }
    }
    unsigned char getNumDefs() const { return numDefs_; }
    const VelmorDictEntry* getDefs() const { return defs_; }
    unsigned int typeOf(unsigned char tag) const { return types_[tag]; }
    bool isObjectCode(unsigned char tag) const { return objectCode_[tag]; }

private:
    const VelmorDictEntry* defs_;
    unsigned char numDefs_;
    unsigned int types_[256];
    bool known_[256];
    bool objectCode_[256];
};

namespace WQX {
// The dictionary of every tag number the object classes use.
WQX_EXPORT extern const VelmorDictDef* const DictDef;
}  // namespace WQX

class WQX_EXPORT VMsg {
public:
    // Largest datagram VMsg::parseMsg accepts, and a safe receive buffer.
    static const unsigned short kMaxDatagram = 2048;

    explicit VMsg(unsigned char type = 0);
    ~VMsg();
    VMsg(const VMsg&) = delete;
    VMsg& operator=(const VMsg&) = delete;

    unsigned char getType() const { return type_; }
    void setType(unsigned char type) { type_ = type; }
    // The sequence number; only its low 7 bits are kept.
    unsigned char getSeq() const { return seq_; }
    void setSeq(unsigned char seq) { seq_ = seq & 0x7F; }
    void setLastSegment(bool last) { last_ = last; }
    bool isLastSegment() const { return last_; }

    // Appends the tag and takes it over (null is ignored); returns the
    // number of tags the message now holds.
    int addTag(VTag* tag);
    unsigned int getTagCount() const { return static_cast<unsigned int>(tags_.size()); }
    // Makes room for n tags in all, so that adding them moves nothing.
    void reserveTags(std::size_t n) { tags_.reserve(n); }
    const std::vector<VTag*>& getTags() const { return tags_; }
    // Bytes of the encoded message, without the datagram's length prefix.
    std::size_t getLength() const { return length_; }

    // Encodes the message as one datagram into buf. Returns the datagram's
    // length, or 0 (with a log line) when it needs more than size bytes or
    // more than a 16-bit length or tag count can describe.
    unsigned short getMsg(void* buf, unsigned short size) const;

    // Decodes one datagram. Returns a new message owned by the caller, or
    // null when the bytes are not exactly one well-formed datagram.
    static VMsg* parseMsg(const void* buf, unsigned short len);

    // Splits the message into segments whose datagrams are at most
    // maxDatagram bytes. Cuts before a wire object code where it can, so
    // that each segment carries whole objects; a tag too large for any
    // datagram is dropped with a warning. The segments share this
    // message's tags and belong to it; all but the final one are marked
    // not-last, the final one inherits this message's last flag.
    void segmentMessage(int maxDatagram);
    void resetSegment() { cursor_ = 0; }
    // The next segment, or null after the last one.
    VMsg* getNextSegment();

    // Appends copies of a further received segment's tags; the caller keeps
    // and deletes the segment. The last flag follows the added segment.
    void addSegment(const VMsg* segment);

private:
    void clearSegments();

    unsigned char type_;
    unsigned char seq_;
    bool last_;
    bool ownsTags_;
    std::size_t length_;
    std::vector<VTag*> tags_;
    std::vector<VMsg*> segments_;
    std::size_t cursor_;
};

// One object's tag group inside a parsed message.
class WQX_EXPORT VelmorObject {
public:
    explicit VelmorObject(unsigned char code) : code_(code) {}
    unsigned char getObjectCode() const { return code_; }
    std::vector<VTag*>& getTags() { return tags_; }
    const std::vector<VTag*>& getTags() const { return tags_; }

private:
    unsigned char code_;
    std::vector<VTag*> tags_;
};

// A message grouped by the dictionary: the tags before the first wire
// object code are the message-level tags; each object code opens a group.
class WQX_EXPORT VelmorMessage {
public:
    // Returns a new grouping the caller deletes (with no object group for a
    // message without objects), or null when the dictionary or message is
    // missing. The tags stay owned by msg.
    static VelmorMessage* parseVMsg(const VelmorDictDef* dict, VMsg* msg);
    ~VelmorMessage() = default;

    std::vector<VTag*>& getMsgTags() { return msgTags_; }
    std::vector<VelmorObject>& getObjects() { return objects_; }

private:
    VelmorMessage() = default;
    std::vector<VTag*> msgTags_;
    std::vector<VelmorObject> objects_;
};

#endif
