#include "velmor.h"

#include <cstring>

#include "vlog.h"

namespace {

log4cpp::Category& velmorLog() {
    static log4cpp::Category* const cat = cVlog::getLog("Velmor");
    return *cat;
}

const std::size_t kTagHeader = 4;  // number, type, value length
const std::size_t kLenPrefix = 2;  // datagram length

using VWire::get16;
using VWire::get32;
using VWire::put16;
using VWire::put32;

// The tag object of a view, or null for a type or length the format does
// not have. Inlined where a message makes its tags: a call per tag would
// cost as much as the switch.
inline VTag* makeTag(const VTagView& v) {
    if (!VMsg::isAllowed(v.type, v.len) || (v.len && !v.value)) return nullptr;
    switch (v.type) {
    case VTAG_NONE: return new VTag(v.tag);
    case VTAG_STRING: return new VTagString(v.tag, reinterpret_cast<const char*>(v.value), v.len);
    case VTAG_UINT32: return new VTagUInt32(v.tag, get32(v.value));
    case VTAG_FLOAT: {
        const unsigned int bits = get32(v.value);
        float f;
        std::memcpy(&f, &bits, 4);
        return new VTagUInt32(v.tag, f);
    }
    case VTAG_UINT16: return new VTagUInt16(v.tag, static_cast<unsigned short>(get16(v.value)));
    case VTAG_UINT8: return new VTagUInt8(v.tag, v.value[0]);
    default: return new VTagBytes(v.tag, v.value, v.len);
    }
}

// A tag of the application's own VTag subclass may carry a type or length
// the format does not have; once encoded, it comes back as this, with its
// number, type and bytes as they were, so that the message still encodes as
// it was given. Nothing the library makes or accepts from a peer is one.
class OpaqueTag : public VTag {
public:
    explicit OpaqueTag(const VTagView& v)
        : VTag(v.tag, v.type, v.len), data_(v.value, v.value + v.len) {}
    VTag* clone() const override {
        return new OpaqueTag(VTagView{getTag(), static_cast<unsigned char>(getType()), getLength(),
                                      data_.data()});
    }
    void putValue(unsigned char* out) const override {
        if (!data_.empty()) std::memcpy(out, data_.data(), data_.size());
    }

private:
    std::vector<unsigned char> data_;
};

}  // namespace

// ---- tags ----

VTag::VTag(unsigned char tag) : tag_(tag), len_(0), type_(VTAG_NONE) {}
VTag::VTag(unsigned char tag, unsigned int type, unsigned short len)
    : tag_(tag), len_(len), type_(type) {}
VTag::~VTag() = default;
VTag* VTag::clone() const { return new VTag(tag_); }
void VTag::putValue(unsigned char*) const {}

// Without characters the tag is empty whatever len says: the length written
// to the wire must match the bytes putValue writes.
VTagString::VTagString(unsigned char tag, const char* text, std::size_t len)
    : VTag(tag, VTAG_STRING, static_cast<unsigned short>(!text ? 0 : len > 0xFFFF ? 0xFFFF : len)),
      text_(text ? text : "", getLength()) {}

void VTagString::getValue(char* buf, unsigned short size) const {
    if (!buf || size == 0) return;
    const std::size_t n = text_.size() < size ? text_.size() : size - 1u;
    std::memcpy(buf, text_.data(), n);
    buf[n] = '\0';
}

VTag* VTagString::clone() const { return new VTagString(getTag(), text_.data(), text_.size()); }
void VTagString::putValue(unsigned char* out) const { std::memcpy(out, text_.data(), text_.size()); }

VTagUInt32::VTagUInt32(unsigned char tag, unsigned int value)
    : VTagUInt32(tag, value, VTAG_UINT32) {}

VTagUInt32::VTagUInt32(unsigned char tag, float value) : VTagUInt32(tag, 0u, VTAG_FLOAT) {
    std::memcpy(&value_, &value, 4);
}

VTagUInt32::VTagUInt32(unsigned char tag, unsigned int bits, unsigned int type)
    : VTag(tag, type, 4), value_(bits) {}

float VTagUInt32::getFloatValue() const {
    float f;
    std::memcpy(&f, &value_, 4);
    return f;
}

VTag* VTagUInt32::clone() const { return new VTagUInt32(getTag(), value_, getType()); }
void VTagUInt32::putValue(unsigned char* out) const { put32(out, value_); }

VTagUInt16::VTagUInt16(unsigned char tag, unsigned short value)
    : VTag(tag, VTAG_UINT16, 2), value_(value) {}
VTag* VTagUInt16::clone() const { return new VTagUInt16(getTag(), value_); }
void VTagUInt16::putValue(unsigned char* out) const { put16(out, value_); }

VTagUInt8::VTagUInt8(unsigned char tag, unsigned char value)
    : VTag(tag, VTAG_UINT8, 1), value_(value) {}
VTag* VTagUInt8::clone() const { return new VTagUInt8(getTag(), value_); }
void VTagUInt8::putValue(unsigned char* out) const { out[0] = value_; }

VTagBytes::VTagBytes(unsigned char tag, const void* data, unsigned short len)
    : VTag(tag, VTAG_BYTES, data ? len : 0),
      data_(static_cast<const unsigned char*>(data),
            static_cast<const unsigned char*>(data) + (data ? len : 0)) {}

unsigned short VTagBytes::getValue(void* buf, unsigned short size) const {
    if (!buf) return 0;
    const std::size_t n = data_.size() < size ? data_.size() : size;
    if (n) std::memcpy(buf, data_.data(), n);
    return static_cast<unsigned short>(n);
}

VTag* VTagBytes::clone() const {
    return new VTagBytes(getTag(), data_.data(), static_cast<unsigned short>(data_.size()));
}
void VTagBytes::putValue(unsigned char* out) const {
    if (!data_.empty()) std::memcpy(out, data_.data(), data_.size());
}

VTag* VTagFactory::createVTag(unsigned char tag) { return new VTag(tag); }
VTag* VTagFactory::createVTag(unsigned char tag, const char* text) {
    return new VTagString(tag, text, text ? std::strlen(text) : 0);
}
VTag* VTagFactory::createVTag(unsigned char tag, unsigned int value) {
    return new VTagUInt32(tag, value);
}
VTag* VTagFactory::createVTag(unsigned char tag, unsigned short value) {
    return new VTagUInt16(tag, value);
}
VTag* VTagFactory::createVTag(unsigned char tag, unsigned char value) {
    return new VTagUInt8(tag, value);
}
VTag* VTagFactory::createVTag(unsigned char tag, const void* data, unsigned short len) {
    return new VTagBytes(tag, data, len);
}
VTag* VTagFactory::createVTag(unsigned char tag, float value, bool) {
    return new VTagUInt32(tag, value);
}

VTag* VTagFactory::createVTag(const VTagView& v) { return makeTag(v); }

// ---- messages ----

namespace velmor_blocks {  // platform/tagcache.cpp: two sizes, kSmall and VMsg::kMaxDatagram
unsigned char* take(std::size_t size);
void give(unsigned char* p, std::size_t size);
}  // namespace velmor_blocks

namespace {

const std::size_t kSmall = 256;

// A message's bytes, up to the largest datagram, are a block of one of two
// sizes from the thread's cache; only larger ones are just their size.
unsigned char* newBlock(std::size_t n, std::size_t& room) {
    room = n <= kSmall ? kSmall : n <= VMsg::kMaxDatagram ? VMsg::kMaxDatagram : n;
    return n > VMsg::kMaxDatagram ? new unsigned char[n] : velmor_blocks::take(room);
}

void freeBlock(unsigned char* p, std::size_t room) {
    if (room == kSmall || room == VMsg::kMaxDatagram)
        velmor_blocks::give(p, room);
    else
        delete[] p;
}

}  // namespace

void* VMsg::operator new(std::size_t size) {
    static_assert(sizeof(VMsg) <= kSmall, "a message fits a small block");
    return size <= kSmall ? velmor_blocks::take(kSmall) : ::operator new(size);
}

void VMsg::operator delete(void* p, std::size_t size) {
    if (!p) return;
    if (size <= kSmall)
        velmor_blocks::give(static_cast<unsigned char*>(p), kSmall);
    else
        ::operator delete(p);
}

VMsg::VMsg(unsigned char type)
    : type_(type), seq_(0), index_(0), total_(1), count_(0), bytes_(nullptr), size_(0), room_(0),
      mirrorEnd_(0), wholeSegment_(false), cursor_(0) {
    static_assert(kLenPrefix + kMsgHeader == kDatagramHeader, "header size");
}

VMsg::~VMsg() {
    clearSegments();
    for (VTag* t : tags_) delete t;
    freeBlock(bytes_, room_);
}

void VMsg::clearSegments() {
    for (VMsg* s : segments_)
        if (s != this) delete s;
    segments_.clear();
    wholeSegment_ = false;
    cursor_ = 0;
}

void VMsg::setSegment(unsigned short index, unsigned short total) {
    if (index >= total) return;
    index_ = index;
    total_ = total;
}

void VMsg::setLastSegment(bool last) {
    if (last)
        total_ = static_cast<unsigned short>(index_ + 1u);
    else if (total_ <= index_ + 1u && index_ < 0xFFFE)
        total_ = static_cast<unsigned short>(index_ + 2u);
}

std::size_t VMsg::getFootprint() const {
    // Every tag counts as the object it is or becomes when read (at least
    // the size of the largest tag class, with its own copy of its value, and
    // its pointer), whether or not it has been made: reading a message, into
    // tag objects or into the objects its tags describe, makes about that
    // much again, and limits must hold for what a peer's datagrams become.
    const std::size_t objects = count_ * (sizeof(VTagString) + sizeof(VTag*)) + size_ - count_ * kTagHeader;
    return sizeof(VMsg) + room_ + objects;
}

void VMsg::reserveEncoded(std::size_t bytes) {
    if (bytes <= room_) return;
    std::size_t room = 0;
    unsigned char* block = newBlock(bytes, room);
    if (size_) std::memcpy(block, bytes_, size_);
    freeBlock(bytes_, room_);
    bytes_ = block;
    room_ = room;
}

void VMsg::assignBytes(const unsigned char* p, std::size_t n) {
    marks_.clear();
    if (n > room_) {
        freeBlock(bytes_, room_);
        bytes_ = newBlock(n, room_);
    }
    if (n) std::memcpy(bytes_, p, n);
    size_ = n;
}

void VMsg::reserveTags(std::size_t n) {
    tags_.reserve(n);
    reserveEncoded(n * (kTagHeader + 4));
}

void VMsg::makeTags() const {
    if (tags_.empty()) tags_.reserve(count_);
    VTagView v;
    for (VTagReader reader(bytes_ + mirrorEnd_, size_ - mirrorEnd_); reader.next(v);) {
        VTag* t = makeTag(v);
        tags_.push_back(t ? t : new OpaqueTag(v));
    }
    // The encoded tags are always count_ whole tags: all have objects now.
    mirrorEnd_ = size_;
}

const unsigned char* VMsg::getEncodedTags(std::size_t& bytes) const {
    bytes = size_;
    return bytes_;
}

int VMsg::addTag(VTag* tag) {
    if (tag) {
        // The tag object stands at its place in the list getTags() gives, so
        // every tag before it gets its object first. Messages built only
        // with addTag have them all already: this costs nothing there.
        getTags();
        unsigned char* p = grow(kTagHeader + tag->getLength());
        p[0] = tag->getTag();
        p[1] = static_cast<unsigned char>(tag->getType());
        put16(p + 2, tag->getLength());
        tag->putValue(p + kTagHeader);
        tags_.push_back(tag);
        mirrorEnd_ = size_;
        noteTag(tag->getTag(), p);
    }
    return static_cast<int>(count_);
}

unsigned short VMsg::getMsg(void* buf, unsigned short size) const {
    const std::size_t length = getLength();
    const std::size_t total = kLenPrefix + length;
    if (!buf || total > size || length > 0xFFFF || count_ > 0xFFFF) {
        velmorLog().warn("Message of %u bytes and %u tags does not fit a %u byte buffer",
                         static_cast<unsigned>(length), static_cast<unsigned>(count_),
                         static_cast<unsigned>(size));
        return 0;
    }
    unsigned char* p = static_cast<unsigned char*>(buf);
    put16(p, static_cast<unsigned int>(length));
    p[2] = kWireVersion;
    p[3] = type_;
    p[4] = seq_ & 0x7F;
    put16(p + 5, index_);
    put16(p + 7, total_);
    put16(p + 9, static_cast<unsigned int>(count_));
    if (size_) std::memcpy(p + kDatagramHeader, bytes_, size_);
    return static_cast<unsigned short>(total);
}

VMsg* VMsg::parseMsg(const void* buf, unsigned short len) {
    if (!buf || len < kLenPrefix + kMsgHeader || len > kMaxDatagram) return nullptr;
    const unsigned char* p = static_cast<const unsigned char*>(buf);
    const std::size_t declared = get16(p);
    // Exactly one message: a short datagram was cut, a long one carries
    // bytes nobody can account for.
    if (declared + kLenPrefix != len || declared < kMsgHeader) return nullptr;
    // Another format's datagram, a reserved bit set, or a segment outside
    // its message: nothing this reader can place.
    const unsigned int index = get16(p + 5);
    const unsigned int total = get16(p + 7);
    if (p[2] != kWireVersion || (p[4] & 0x80) || index >= total) return nullptr;
    // Exactly count tags of known types and lengths, ending where the
    // datagram does: checked here, on the bytes, and never again, since the
    // message keeps the bytes and makes tag objects only if asked.
    const unsigned int count = get16(p + 9);
    const unsigned char* const end = p + len;
    const unsigned char* q = p + kDatagramHeader;
    for (unsigned int n = count; n; --n) {
        if (end - q < static_cast<std::ptrdiff_t>(kTagHeader)) return nullptr;
        const unsigned int vlen = get16(q + 2);
        if (!VMsg::isAllowed(q[1], vlen) || static_cast<std::size_t>(end - q) - kTagHeader < vlen) return nullptr;
        q += kTagHeader + vlen;
    }
    if (q != end) return nullptr;
    const std::size_t bytes = len - kDatagramHeader;
    VMsg* msg = new VMsg(p[3]);
    msg->seq_ = p[4];
    msg->index_ = static_cast<unsigned short>(index);
    msg->total_ = static_cast<unsigned short>(total);
    msg->count_ = count;
    msg->assignBytes(p + kDatagramHeader, bytes);
    return msg;
}

std::size_t VMsg::segmentMessage(int maxDatagram) {
    clearSegments();
    const std::size_t overhead = kLenPrefix + kMsgHeader;
    if (maxDatagram <= 0 || static_cast<std::size_t>(maxDatagram) <= overhead + kTagHeader) {
        velmorLog().warn("Cannot segment into %d byte datagrams", maxDatagram);
        return 0;
    }
    const std::size_t budget = static_cast<std::size_t>(maxDatagram) - overhead;
    // Tags that fit one segment together fit it one by one too.
    if (size_ <= budget && count_ <= 0xFFFF) {
        index_ = 0;
        total_ = 1;
        wholeSegment_ = true;
        return 1;
    }
    const VelmorDictDef* dict = WQX::DictDef;
    const unsigned char* const base = bytes_;
    auto tagAt = [&](std::size_t at, VTagView& out) { return VTagReader(base + at, size_ - at).next(out); };
    segments_.reserve(size_ / budget + 2);  // most messages; more segments only regrow it
    VMsg* cur = nullptr;
    std::size_t from = 0;  // where cur's bytes start
    std::size_t at = 0;    // where v starts
    std::size_t mark = 0;  // the first object mark not behind at
    VTagView v;
    const ObjectMark* const marks = marks_.data();
    const std::size_t nMarks = marks_.size();
    // The bytes and tags of the object noted at marks[mark], which is at:
    // it runs to the next noted one, or to the end.
    const auto noted = [&](std::size_t& group, std::size_t& groupTags) {
        const bool last = mark + 1 == nMarks;
        group = (last ? size_ : marks[mark + 1].at) - at;
        groupTags = (last ? count_ : marks[mark + 1].tag) - marks[mark].tag;
    };
    for (;;) {
        // A noted object that fits the segment being filled goes in whole,
        // sized by its note: the commonest step, without reading a tag.
        if (mark < nMarks && marks[mark].at == at && cur) {
            std::size_t group, groupTags;
            noted(group, groupTags);
            if (at - from + group <= budget && cur->count_ + groupTags <= 0xFFFF) {
                cur->count_ += groupTags;
                at += group;
                ++mark;
                continue;
            }
        }
        if (!tagAt(at, v)) break;
        std::size_t size = kTagHeader + v.len;
        if (size > budget) {
            // Sending the rest would report a message as sent that lost a
            // field on the way: the whole message stays behind instead.
            velmorLog().warn("Not sending message: tag %02X of %u value bytes is larger than any segment",
                             v.tag, static_cast<unsigned>(v.len));
            clearSegments();
            return 0;
        }
        std::size_t used = at - from;
        bool cut = !cur || used + size > budget || cur->count_ == 0xFFFF;
        std::size_t tags = 1;
        if (!cut && dict->isObjectCode(v.tag)) {
            // Keep the object whole when it would fit a fresh segment (an
            // object larger than that is cut wherever it must be anyway).
            std::size_t group = size, groupTags = 1;
            while (mark < nMarks && marks[mark].at < at) ++mark;
            if (mark < nMarks && marks[mark].at == at) {
                noted(group, groupTags);
                ++mark;
            } else {
                // The message's own bytes, checked when they came in: only
                // the lengths are read, and never past the end.
                for (std::size_t q = at + size; group <= budget && size_ - q >= kTagHeader &&
                                                !dict->isObjectCode(base[q]);
                     ++groupTags) {
                    const std::size_t n = kTagHeader + get16(base + q + 2);
                    if (size_ - q < n) break;
                    group += n;
                    q += n;
                }
            }
            cut = used + group > budget && group <= budget;
            // An object that fits where it goes takes one step: no tag of
            // it would be cut from it, so none needs to be looked at again.
            if (cut) used = 0;
            if (used + group <= budget && (cut ? 0 : cur->count_) + groupTags <= 0xFFFF) {
                size = group;
                tags = groupTags;
            }
        }
        if (cut) {
            if (cur) cur->assignBytes(base + from, at - from);
            cur = new VMsg(type_);
            cur->seq_ = seq_;
            segments_.push_back(cur);
            from = at;
        }
        cur->count_ += tags;
        at += size;
    }
    if (cur) cur->assignBytes(base + from, at - from);
    if (segments_.size() > 0xFFFF) {
        velmorLog().warn("Not sending message: %u segments are more than a message can have",
                         static_cast<unsigned>(segments_.size()));
        clearSegments();
        return 0;
    }
    const unsigned short total = static_cast<unsigned short>(segments_.size());
    for (unsigned short k = 0; k < total; ++k) segments_[k]->setSegment(k, total);
    return segments_.size();
}

VMsg* VMsg::getNextSegment() {
    if (wholeSegment_) return cursor_++ == 0 ? this : nullptr;
    if (cursor_ >= segments_.size()) return nullptr;
    return segments_[cursor_++];
}

void VMsg::addSegment(const VMsg* segment) {
    if (!segment || segment == this) return;
    marks_.clear();  // its objects are not noted
    if (segment->size_) std::memcpy(grow(segment->size_), segment->bytes_, segment->size_);
    count_ += segment->count_;
    index_ = segment->index_;
    total_ = segment->total_;
}

void VMsg::takeTagsOf(VMsg* other) {
    marks_.clear();
    if (other->size_) std::memcpy(grow(other->size_), other->bytes_, other->size_);
    count_ += other->count_;
    for (VTag* t : other->tags_) delete t;
    other->tags_.clear();
    other->mirrorEnd_ = 0;
    other->size_ = 0;
    other->count_ = 0;
}

// ---- assembly ----

bool VAssemblyBudget::reserve(std::size_t n) {
    std::size_t held = held_.load();
    do {
        if (n > total_.load() || held > total_.load() - n) return false;
    } while (!held_.compare_exchange_weak(held, held + n));
    return true;
}

VMsgAssembly::VMsgAssembly(std::size_t limit, VAssemblyBudget* budget)
    : limit_(limit), budget_(budget), type_(0), seq_(0), received_(0), held_(0), whole_(nullptr) {}

VMsgAssembly::~VMsgAssembly() { clear(); }

void VMsgAssembly::clear() {
    for (VMsg* part : parts_) delete part;
    parts_.clear();
    parts_.shrink_to_fit();
    delete whole_;
    whole_ = nullptr;
    if (budget_) budget_->release(held_);
    held_ = 0;
    received_ = 0;
}

VMsgAssembly::eResult VMsgAssembly::add(VMsg* segment) {
    if (!segment) return ASM_MISMATCH;
    const bool fits = parts_.empty() || (type_ == segment->type_ && seq_ == segment->seq_ &&
                                         parts_.size() == segment->total_);
    if (!fits || whole_ || (!parts_.empty() && parts_[segment->index_])) {
        const bool duplicate = fits && !whole_;
        delete segment;
        return duplicate ? ASM_DUPLICATE : ASM_MISMATCH;
    }
    // The slots for every place are charged too: a peer that announces
    // 65535 segments pays for them before it sends one.
    const std::size_t cost =
        segment->getFootprint() + (parts_.empty() ? segment->total_ * sizeof(VMsg*) : 0);
    if (held_ + cost > limit_ || (budget_ && !budget_->reserve(cost))) {
        delete segment;
        clear();
        return ASM_TOO_LARGE;
    }
    held_ += cost;
    if (parts_.empty()) {
        parts_.assign(segment->total_, nullptr);
        type_ = segment->type_;
        seq_ = segment->seq_;
    }
    parts_[segment->index_] = segment;
    if (++received_ < parts_.size()) return ASM_PART;

    // Every place is filled: the segments become one message, in order,
    // their bytes joined in one block.
    VMsg* whole = parts_[0];
    std::size_t bytes = 0;
    for (const VMsg* part : parts_) bytes += part->size_;
    whole->reserveEncoded(bytes);
    for (std::size_t i = 1; i < parts_.size(); ++i) {
        whole->takeTagsOf(parts_[i]);
        delete parts_[i];
    }
    whole->index_ = 0;
    whole->total_ = 1;
    parts_.clear();
    whole_ = whole;
    return ASM_WHOLE;
}

VMsg* VMsgAssembly::take() {
    VMsg* whole = whole_;
    whole_ = nullptr;
    if (whole) {
        if (budget_) budget_->release(held_);
        held_ = 0;
        received_ = 0;
        parts_.shrink_to_fit();
    }
    return whole;
}

// ---- grouping ----

VelmorMessage* VelmorMessage::parseVMsg(const VelmorDictDef* dict, VMsg* msg) {
    if (!dict || !msg) return nullptr;
    const std::vector<VTag*>& tags = msg->getTags();
    // Count the groups first, so that every vector is allocated once.
    std::size_t groups = 0;
    for (const VTag* t : tags) groups += dict->isObjectCode(t->getTag());
    // A message without objects (an empty reply, the answer to a ping) is
    // an empty grouping, not a failure: it is ordinary traffic.
    VelmorMessage* result = new VelmorMessage;
    result->objects_.reserve(groups);
    std::size_t i = 0;
    for (; i < tags.size() && !dict->isObjectCode(tags[i]->getTag()); ++i)
        result->msgTags_.push_back(tags[i]);
    while (i < tags.size()) {
        const std::size_t start = i++;
        while (i < tags.size() && !dict->isObjectCode(tags[i]->getTag())) ++i;
        result->objects_.emplace_back(tags[start]->getTag());
        result->objects_.back().getTags().assign(tags.begin() + static_cast<std::ptrdiff_t>(start + 1),
                                                 tags.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return result;
}
