#include "velmor.h"

#include <cstring>

#include "vlog.h"

namespace {

log4cpp::Category& velmorLog() {
    static log4cpp::Category* const cat = cVlog::getLog("Velmor");
    return *cat;
}

// version, type, seq, index (2), total (2), tag count (2)
const std::size_t kMsgHeader = 9;
const std::size_t kTagHeader = 4;  // number, type, value length
const std::size_t kLenPrefix = 2;  // datagram length

inline void put16(unsigned char* p, unsigned int v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}

inline void put32(unsigned char* p, unsigned int v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

inline unsigned int get16(const unsigned char* p) {
    return (static_cast<unsigned int>(p[0]) << 8) | p[1];
}

inline unsigned int get32(const unsigned char* p) {
    return (static_cast<unsigned int>(p[0]) << 24) | (static_cast<unsigned int>(p[1]) << 16) |
           (static_cast<unsigned int>(p[2]) << 8) | p[3];
}

inline std::size_t encodedSize(const VTag* t) { return kTagHeader + t->getLength(); }

// The value length each fixed-width type must carry; -1 for any length.
int fixedLength(unsigned int type) {
    switch (type) {
    case VTAG_NONE: return 0;
    case VTAG_UINT32:
    case VTAG_FLOAT: return 4;
    case VTAG_UINT16: return 2;
    case VTAG_UINT8: return 1;
    case VTAG_STRING:
    case VTAG_BYTES: return -1;
    default: return -2;  // unknown type code
    }
}

// Builds one tag from checked wire bytes.
VTag* decodeTag(unsigned char num, unsigned int type, const unsigned char* v, unsigned short len) {
    switch (type) {
    case VTAG_NONE: return new VTag(num);
    case VTAG_STRING: return new VTagString(num, reinterpret_cast<const char*>(v), len);
    case VTAG_UINT32: return new VTagUInt32(num, get32(v));
    case VTAG_FLOAT: {
        const unsigned int bits = get32(v);
        float f;
        std::memcpy(&f, &bits, 4);
        return new VTagUInt32(num, f);
    }
    case VTAG_UINT16: return new VTagUInt16(num, static_cast<unsigned short>(get16(v)));
    case VTAG_UINT8: return new VTagUInt8(num, v[0]);
    case VTAG_BYTES: return new VTagBytes(num, v, len);
    default: return nullptr;
    }
}

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
VTag* VTagFactory::createVTag(const VTagView& v) { return decodeTag(v.tag, v.type, v.value, v.len); }

// ---- messages ----

static_assert(kLenPrefix + kMsgHeader == VMsg::kDatagramHeader, "header size");

VMsg::VMsg(unsigned char type)
    : type_(type), seq_(0), index_(0), total_(1), ownsTags_(true), length_(kMsgHeader), cursor_(0) {}

VMsg::~VMsg() {
    clearSegments();
    if (ownsTags_)
        for (VTag* t : tags_) delete t;
}

void VMsg::clearSegments() {
    for (VMsg* s : segments_)
        if (s != this) delete s;
    segments_.clear();
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
    // Each tag is a heap object at least the size of the largest tag class
    // (a text's characters are in length_ already), plus its pointer.
    return sizeof(VMsg) + length_ + tags_.size() * (sizeof(VTagString) + sizeof(VTag*));
}

int VMsg::addTag(VTag* tag) {
    if (tag) {
        tags_.push_back(tag);
        length_ += encodedSize(tag);
    }
    return static_cast<int>(tags_.size());
}

unsigned short VMsg::getMsg(void* buf, unsigned short size) const {
    const std::size_t total = kLenPrefix + length_;
    if (!buf || total > size || length_ > 0xFFFF || tags_.size() > 0xFFFF) {
        velmorLog().warn("Message of %u bytes and %u tags does not fit a %u byte buffer",
                         static_cast<unsigned>(length_), static_cast<unsigned>(tags_.size()),
                         static_cast<unsigned>(size));
        return 0;
    }
    unsigned char* p = static_cast<unsigned char*>(buf);
    put16(p, static_cast<unsigned int>(length_));
    p[2] = kWireVersion;
    p[3] = type_;
    p[4] = seq_ & 0x7F;
    put16(p + 5, index_);
    put16(p + 7, total_);
    put16(p + 9, static_cast<unsigned int>(tags_.size()));
    p += kLenPrefix + kMsgHeader;
    for (const VTag* t : tags_) {
        p[0] = t->getTag();
        p[1] = static_cast<unsigned char>(t->getType());
        put16(p + 2, t->getLength());
        t->putValue(p + kTagHeader);
        p += encodedSize(t);
    }
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
    const unsigned char* end = p + len;
    VMsg* msg = new VMsg(p[3]);
    msg->seq_ = p[4];
    msg->index_ = static_cast<unsigned short>(index);
    msg->total_ = static_cast<unsigned short>(total);
    const unsigned int count = get16(p + 9);
    p += kLenPrefix + kMsgHeader;
    // Every tag takes at least its header, so a count the bytes cannot hold
    // reserves no more than they can.
    const std::size_t room = static_cast<std::size_t>(end - p) / kTagHeader;
    msg->tags_.reserve(count < room ? count : room);
    for (unsigned int i = 0; i < count; ++i) {
        if (static_cast<std::size_t>(end - p) < kTagHeader) break;
        const unsigned int type = p[1];
        const unsigned int vlen = get16(p + 2);
        const int fixed = fixedLength(type);
        if (fixed == -2 || (fixed >= 0 && static_cast<unsigned int>(fixed) != vlen) ||
            static_cast<std::size_t>(end - p - kTagHeader) < vlen)
            break;
        // Every checked type makes a tag, of exactly the length read.
        msg->tags_.push_back(decodeTag(p[0], type, p + kTagHeader, static_cast<unsigned short>(vlen)));
        p += kTagHeader + vlen;
    }
    if (msg->tags_.size() != count || p != end) {
        delete msg;
        return nullptr;
    }
    msg->length_ = declared;  // the tags fill the declared length exactly
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
    for (const VTag* t : tags_) {
        if (encodedSize(t) > budget) {
            // Sending the rest would report a message as sent that lost a
            // field on the way: the whole message stays behind instead.
            velmorLog().warn("Not sending message: tag %02X of %u value bytes is larger than any segment",
                             t->getTag(), static_cast<unsigned>(t->getLength()));
            return 0;
        }
    }
    if (length_ - kMsgHeader <= budget && tags_.size() <= 0xFFFF) {
        index_ = 0;
        total_ = 1;
        segments_.push_back(this);
        return 1;
    }
    const VelmorDictDef* dict = WQX::DictDef;
    VMsg* cur = nullptr;
    std::size_t used = 0;
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        VTag* t = tags_[i];
        const std::size_t size = encodedSize(t);
        bool cut = !cur || used + size > budget || cur->tags_.size() == 0xFFFF;
        if (!cut && dict->isObjectCode(t->getTag())) {
            // Keep the object whole when it would fit a fresh segment.
            std::size_t group = size;
            for (std::size_t j = i + 1; j < tags_.size() && !dict->isObjectCode(tags_[j]->getTag()); ++j)
                group += encodedSize(tags_[j]);
            cut = used + group > budget && group <= budget;
        }
        if (cut) {
            cur = new VMsg(type_);
            cur->seq_ = seq_;
            cur->ownsTags_ = false;
            segments_.push_back(cur);
            // A segment holds at most one tag per header's worth of budget.
            const std::size_t left = tags_.size() - i;
            cur->tags_.reserve(left < budget / kTagHeader ? left : budget / kTagHeader);
            used = 0;
        }
        cur->addTag(t);
        used += size;
    }
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
    if (cursor_ >= segments_.size()) return nullptr;
    return segments_[cursor_++];
}

void VMsg::addSegment(const VMsg* segment) {
    if (!segment || segment == this) return;
    for (const VTag* t : segment->tags_) addTag(t->clone());
    index_ = segment->index_;
    total_ = segment->total_;
}

void VMsg::takeTagsOf(VMsg* other) {
    tags_.insert(tags_.end(), other->tags_.begin(), other->tags_.end());
    length_ += other->length_ - kMsgHeader;
    other->tags_.clear();
    other->length_ = kMsgHeader;
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

    // Every place is filled: the segments become one message, in order.
    VMsg* whole = parts_[0];
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
