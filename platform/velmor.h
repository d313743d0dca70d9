// Velmor: tagged binary messages.
//
// Wire format. Every multi-byte value is big-endian (network order); floats
// travel as their IEEE-754 bit pattern; nothing is copied to the wire as a
// struct. docs/wire-format.md has the full description and examples.
//
//   datagram := length:u16 message               length counts message bytes
//   message  := version:u8 type:u8 seq:u8 index:u16 total:u16 count:u16 tag*count
//   version  := 2                                 this format (kWireVersion)
//   seq      := bits 0-6 sequence number, bit 7 zero (reserved)
//   index    := this segment's place in its message, 0 first; index < total
//   total    := how many segments the message has (1 for a whole message)
//   tag      := number:u8 vtype:u8 vlen:u16 value[vlen]
//   vtype    := 0 none (vlen 0)  1 text (no terminator)  2 u32 (vlen 4)
//               3 u16 (vlen 2)   4 u8 (vlen 1)           5 bytes (any vlen)
//               6 float (vlen 4, IEEE-754 bits)
//
// A datagram is therefore 2 bytes longer than its encoded message, and an
// encoded tag 4 bytes longer than its value. Every segment says where it
// belongs, so a receiver can put a message together from segments that come
// in any order, take each once and see when one is missing (VMsgAssembly).
//
// Ownership: a VMsg holds its tags encoded, exactly as they travel; a tag
// object is made from those bytes only when getTags() asks for it, and
// belongs to the message from then on, as do the tags addTag takes over and
// the segments segmentMessage makes (each with a copy of its part of the
// bytes). A VelmorMessage owns its object groups but not the tags they point
// at: those stay with the VMsg that was parsed, which must outlive the
// VelmorMessage.
//
// Errors: parseMsg and parseVMsg return null for anything they cannot
// accept; getMsg returns 0 when the message does not fit. Nothing throws and
// nothing reads or writes outside the buffers it is given.
//
// Thread safety: a message is used by one thread at a time, also to read it
// (getTags() makes its tag objects on first use); the dictionary is
// immutable and may be read from any thread.
#ifndef WQX_VELMOR_H
#define WQX_VELMOR_H

#include <atomic>
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

// Multi-byte wire values are big-endian: these read and write them, for
// code that reads encoded tags (VTagView) or writes them (appendEncoded).
namespace VWire {
inline unsigned int get16(const unsigned char* p) { return (static_cast<unsigned int>(p[0]) << 8) | p[1]; }
inline unsigned int get32(const unsigned char* p) {
    return (static_cast<unsigned int>(p[0]) << 24) | (static_cast<unsigned int>(p[1]) << 16) |
           (static_cast<unsigned int>(p[2]) << 8) | p[3];
}
inline void put16(unsigned char* p, unsigned int v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}
inline void put32(unsigned char* p, unsigned int v) {
    put16(p, v >> 16);
    put16(p + 2, v);
}
}  // namespace VWire

// One tag as it lies in encoded bytes: value is len bytes in wire order.
struct VTagView {
    unsigned char tag;
    unsigned char type;
    unsigned short len;
    const unsigned char* value;
};

// Walks encoded tags (number, type, 16-bit length, value) in n bytes.
// next() answers false at the end, and at a tag whose header or value would
// run past it; the type is not checked.
class VTagReader {
public:
    VTagReader(const unsigned char* p, std::size_t n) : p_(p), left_(p ? n : 0) {}
    bool next(VTagView& out) {
        if (left_ < 4) return false;
        const unsigned short len = static_cast<unsigned short>(VWire::get16(p_ + 2));
        if (left_ - 4 < len) return false;
        out.tag = p_[0];
        out.type = p_[1];
        out.len = len;
        out.value = p_ + 4;
        p_ += 4u + len;
        left_ -= 4u + len;
        return true;
    }

private:
    const unsigned char* p_;
    std::size_t left_;
};

// The one way the object layer makes tags. Each overload returns a new tag
// owned by the caller.
class WQX_EXPORT VTagFactory {
public:
    // The tag of the view's type and value, of the class VMsg::getTags()
    // makes for it; null for a type or length the format does not allow.
    static VTag* createVTag(const VTagView& v);
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
    // constexpr makes these inline: code may take them by reference
    // (std::min, test assertions) without a definition in velmor.cpp.
    // Largest datagram VMsg::parseMsg accepts, and a safe receive buffer.
    static constexpr unsigned short kMaxDatagram = 2048;
    // The largest datagram a sender makes: segmentMessage(kMaxSegment).
    static constexpr unsigned short kMaxSegment = 1024;
    // The format written into, and required of, every datagram.
    static constexpr unsigned char kWireVersion = 2;
    // Bytes in front of the first tag: length, version, type, seq, index,
    // total, count.
    static constexpr unsigned short kDatagramHeader = 11;
    // The longest value one tag can carry in a kMaxSegment datagram.
    static constexpr unsigned short kMaxTagValue = kMaxSegment - kDatagramHeader - 4;

    explicit VMsg(unsigned char type = 0);
    ~VMsg();
    VMsg(const VMsg&) = delete;
    // A message is made and freed for every datagram sent or received: like
    // tags, its memory is reused per thread (platform/tagcache.cpp). Create
    // and delete messages with plain new and delete as usual.
    static void* operator new(std::size_t size);
    static void operator delete(void* p, std::size_t size);
    VMsg& operator=(const VMsg&) = delete;

    unsigned char getType() const { return type_; }
    void setType(unsigned char type) { type_ = type; }
    // The sequence number; only its low 7 bits are kept.
    unsigned char getSeq() const { return seq_; }
    void setSeq(unsigned char seq) { seq_ = seq & 0x7F; }

    // Where this message sits in a segmented one: segment `index` of
    // `total`. A new message is segment 0 of 1, a whole message. Ignored
    // unless index < total.
    void setSegment(unsigned short index, unsigned short total);
    unsigned short getSegmentIndex() const { return index_; }
    unsigned short getSegmentTotal() const { return total_; }
    bool isWhole() const { return total_ == 1; }
    // The final segment of its message (a whole message is one).
    bool isLastSegment() const { return index_ + 1u == total_; }
    // Marks the message final (total = index + 1), or not final (at least
    // one more segment follows).
    void setLastSegment(bool last);

    // Appends the tag and takes it over (null is ignored); returns the
    // number of tags the message now holds. The tag stays the one getTags()
    // shows at its place.
    int addTag(VTag* tag);
    unsigned int getTagCount() const { return static_cast<unsigned int>(count_); }
    // Makes room for n tags in all, added with addTag, so that adding most
    // tags (those of a 32-bit value or less) moves nothing.
    void reserveTags(std::size_t n);
    // A tag object for each tag, made from the encoded tags the first time
    // they are asked for (and for tags appended since, on the next call) and
    // kept until the message goes.
    const std::vector<VTag*>& getTags() const {
        if (tags_.size() < count_) makeTags();
        return tags_;
    }
    // This message's tags as they travel (getTagCount() of them, bytes
    // long): read them with VTagReader. Valid until the message changes.
    const unsigned char* getEncodedTags(std::size_t& bytes) const;
    // Whether the format has a tag of this type and value length: each
    // fixed-width type carries exactly its width, texts and bytes any length.
    static bool isAllowed(unsigned char type, unsigned short len) {
        static constexpr int kWidth[] = {0, -1, 4, 2, 1, -1, 4};  // by type; -1: any length
        return type < sizeof kWidth / sizeof kWidth[0] && (kWidth[type] < 0 || kWidth[type] == len);
    }
    // Appends a tag's header and returns where its len value bytes go; the
    // caller writes all of them (big-endian) before the message next
    // changes. Null, and nothing appended, for a type or length the format
    // does not allow. Inline: encoders call it once per field.
    unsigned char* appendEncoded(unsigned char tag, unsigned char type, unsigned short len) {
        if (!isAllowed(type, len)) return nullptr;
        unsigned char* p = grow(4u + len);
        noteTag(tag, p);
        p[0] = tag;
        p[1] = type;
        p[2] = static_cast<unsigned char>(len >> 8);
        p[3] = static_cast<unsigned char>(len);
        return p + 4;
    }
    // Makes room for this many bytes of encoded tags in all.
    void reserveEncoded(std::size_t bytes);
    // For an encoder that writes several tags at once: room for n more bytes
    // of encoded tags, then commitEncoded with the bytes and whole tags it
    // wrote there (at most n bytes), before the message next changes.
    unsigned char* beginEncoded(std::size_t n) {
        unsigned char* p = grow(n);
        size_ -= n;
        return p;
    }
    void commitEncoded(std::size_t bytes, unsigned int tags) {
        if (tags) marks_.clear();  // where objects start in them is not known
        size_ += bytes;
        count_ += tags;
    }
    // commitEncoded for tags that are exactly one object: its wire object
    // code first, then its fields. The message notes where the object
    // starts, so segmentMessage need not read its tags to size it.
    void commitObject(std::size_t bytes, unsigned int tags) {
        if (size_ >= kMarkFrom || !marks_.empty()) noteObject(size_);
        size_ += bytes;
        count_ += tags;
    }
    // Bytes of the encoded message, without the datagram's length prefix.
    std::size_t getLength() const { return kMsgHeader + size_; }
    // Roughly the memory the message holds once read: itself, its encoded
    // tags, and an object for each tag (made or not). What limits count.
    std::size_t getFootprint() const;

    // Encodes the message as one datagram into buf. Returns the datagram's
    // length, or 0 (with a log line) when it needs more than size bytes or
    // more than a 16-bit length or tag count can describe.
    unsigned short getMsg(void* buf, unsigned short size) const;

    // Decodes one datagram. Returns a new message owned by the caller, or
    // null when the bytes are not exactly one well-formed datagram of this
    // format, or are more than kMaxDatagram.
    static VMsg* parseMsg(const void* buf, unsigned short len);

    // Splits the message into segments whose datagrams are at most
    // maxDatagram bytes, numbered 0 to n-1 of n. Cuts before a wire object
    // code where the whole object then fits the next segment; an object
    // larger than a segment is cut where it must be, and the receiver puts
    // it together again. Returns the number of segments; 0 (with a warning,
    // and no segment at all) when the message cannot be sent: a tag larger
    // than any segment, or more than 65535 segments. Nothing is ever sent
    // with part of it left out. Each segment holds a copy of its tags'
    // bytes; the segments belong to this message.
    std::size_t segmentMessage(int maxDatagram);
    void resetSegment() { cursor_ = 0; }
    // The next segment, or null after the last one.
    VMsg* getNextSegment();

    // Appends copies of a further received segment's tags; the caller keeps
    // and deletes the segment. Takes the added segment's place, so the last
    // flag follows it. VMsgAssembly is the safe way to put segments
    // together: this appends whatever it is given.
    void addSegment(const VMsg* segment);

private:
    friend class VMsgAssembly;
    // version, type, seq, index, total and count: the message's bytes in
    // front of its tags.
    static constexpr std::size_t kMsgHeader = 9;
    static constexpr std::size_t kMarkFrom = 512;
    void clearSegments();
    // Moves every tag of other to the end of this message.
    void takeTagsOf(VMsg* other);
    // Makes the objects of the tags after the first tags_.size().
    void makeTags() const;
    // Lengthens the encoded tags by n bytes; returns where those go (for
    // the caller to fill).
    unsigned char* grow(std::size_t n) {
        if (room_ - size_ < n) {
            // Doubling keeps appending tag by tag linear; a first block of
            // 256 holds a small message (a request, a ping) at once.
            const std::size_t need = size_ + n;
            reserveEncoded(need > 2 * room_ ? (need > 256 ? need : 256) : 2 * room_);
        }
        unsigned char* p = bytes_ + size_;
        size_ += n;
        return p;
    }
    // Sets the encoded tags to n bytes from p (a new block only when the
    // one held is smaller, and then of just that size).
    void assignBytes(const unsigned char* p, std::size_t n);
    // Counts a tag just appended at p, noting it when it opens an object.
    void noteTag(unsigned char tag, const unsigned char* p) {
        const std::size_t at = static_cast<std::size_t>(p - bytes_);
        if ((at >= kMarkFrom || !marks_.empty()) && WQX::DictDef->isObjectCode(tag)) noteObject(at);
        ++count_;
    }
    void noteObject(std::size_t at) {
        // Room at once for the objects the bytes reserved will likely hold
        // (few are under 32 bytes), rather than regrowing the list.
        if (marks_.empty()) marks_.reserve(room_ / 32);
        marks_.push_back(ObjectMark{at, count_});
    }

    unsigned char type_;
    unsigned char seq_;
    unsigned short index_;
    unsigned short total_;
    // The tags, encoded as they travel: count_ of them in the first size_
    // of room_ bytes. A plain block rather than a vector, which would zero
    // every byte before it is written.
    std::size_t count_;
    unsigned char* bytes_;
    std::size_t size_;
    std::size_t room_;
    // Objects of the first tags_.size() tags, which end at byte
    // mirrorEnd_; getTags() makes the rest.
    mutable std::vector<VTag*> tags_;
    mutable std::size_t mirrorEnd_;
    std::vector<VMsg*> segments_;
    // Where wire object codes stand (byte offset and tag number), for
    // cutting segments: every one from the first mark on. Marks start once
    // a message is larger than kMarkFrom bytes, so that the small messages
    // that never need cutting keep no list; bytes appended by a call that
    // cannot note them drop the list, and marks start again after them.
    struct ObjectMark {
        std::size_t at;
        std::size_t tag;
    };
    std::vector<ObjectMark> marks_;
    bool wholeSegment_;  // the message is its only segment (segments_ stays empty)
    std::size_t cursor_;
};

// Memory that several assemblies share: what all partial messages together
// may hold. Safe to use from several threads.
class WQX_EXPORT VAssemblyBudget {
public:
    explicit VAssemblyBudget(std::size_t total) : total_(total), held_(0) {}
    void setTotal(std::size_t total) { total_.store(total); }
    std::size_t getTotal() const { return total_.load(); }
    std::size_t getHeld() const { return held_.load(); }
    // Takes n bytes when they fit; false (nothing taken) when they do not.
    bool reserve(std::size_t n);
    void release(std::size_t n) { held_.fetch_sub(n); }

private:
    std::atomic<std::size_t> total_;
    std::atomic<std::size_t> held_;
};

// Puts one segmented message together. Segments may come in any order and
// more than once; each place is taken once, and the message is handed over
// only when every segment from 0 to total-1 has come. What is held is
// bounded: by `limit` bytes for this message, and by the budget shared with
// other assemblies.
//
// Ownership: add() takes the segment over whatever it answers; take()
// hands the whole message to the caller. Not thread-safe: one owner.
class WQX_EXPORT VMsgAssembly {
public:
    enum eResult {
        ASM_PART = 0,       // kept; more segments are missing
        ASM_WHOLE = 1,      // the message is complete: take() it
        ASM_DUPLICATE = 2,  // that place is already filled; dropped
        ASM_MISMATCH = 3,   // another message's shape (type, sequence or
                            // total differ); dropped
        ASM_TOO_LARGE = 4,  // a limit was passed; dropped, and everything
                            // held was freed: the message cannot be had
    };

    // budget may be null (then only limit counts); it must outlive this.
    VMsgAssembly(std::size_t limit, VAssemblyBudget* budget);
    ~VMsgAssembly();
    VMsgAssembly(const VMsgAssembly&) = delete;
    VMsgAssembly& operator=(const VMsgAssembly&) = delete;

    eResult add(VMsg* segment);
    // The whole message (segment 0 of 1) once add answered ASM_WHOLE, else
    // null. The assembly is empty afterwards.
    VMsg* take();
    // Frees what is held; the assembly starts again empty.
    void clear();
    bool empty() const { return held_ == 0 && whole_ == nullptr; }
    std::size_t getHeldBytes() const { return held_; }
    std::size_t getReceived() const { return received_; }

private:
    std::size_t limit_;
    VAssemblyBudget* budget_;
    unsigned char type_;        // of the message being put together
    unsigned char seq_;
    std::vector<VMsg*> parts_;  // by index, one per segment; null where missing
    std::size_t received_;
    std::size_t held_;
    VMsg* whole_;
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
