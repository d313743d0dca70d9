#include "fieldtable.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "object.h"
#include "velmor.h"

namespace wqx {

namespace {

template <class T>
T load(const void* obj, unsigned short at) {
    T v;
    std::memcpy(&v, static_cast<const char*>(obj) + at, sizeof v);
    return v;
}

template <class T>
void store(void* obj, unsigned short at, T v) {
    std::memcpy(static_cast<char*>(obj) + at, &v, sizeof v);
}

char*& textAt(void* obj, unsigned short at) {
    return *reinterpret_cast<char**>(static_cast<char*>(obj) + at);
}

const char* textAt(const void* obj, unsigned short at) {
    return *reinterpret_cast<const char* const*>(static_cast<const char*>(obj) + at);
}

unsigned int be32(const unsigned char* p) {
    return static_cast<unsigned int>(p[0]) << 24 | static_cast<unsigned int>(p[1]) << 16 |
           static_cast<unsigned int>(p[2]) << 8 | p[3];
}

void planOwnMembers(ObjectTable& t);
void planDirectWrite(ObjectTable& t);
void planCodeMaps(ObjectTable& t);
void planReads(ObjectTable& t);

// Registered tables by wire object code, for the direct message path.
std::atomic<const ObjectTable*> gByWireCode[256];

}  // namespace

// ---- reading one tag ----

// A tag of the type its value is read as is read straight from its bytes;
// any other goes through a tag object and cTagList's conversions, which
// are the one definition of what a tag of another type reads as.
namespace {
template <class R>
R converted(const VTagView& v, R (*get)(VTag*)) {
    std::unique_ptr<VTag> tag(VTagFactory::createVTag(v));
    return get(tag.get());
}
}  // namespace

// A text tag's value as the field's text: up to its first NUL, as the tag
// object's text reads.
void setTextBytes(char*& field, const VTagView& v) {
    const std::size_t n = strnlen(reinterpret_cast<const char*>(v.value), v.len);
    char* copy = new char[n + 1];
    std::memcpy(copy, v.value, n);
    copy[n] = '\0';
    delete[] field;
    field = copy;
}

unsigned int TagIn::u32() const {
    if (tag_) return cTagList::getUInt32(tag_);
    if (view_.type == VTAG_UINT32) return be32(view_.value);
    return converted(view_, &cTagList::getUInt32);
}

unsigned char TagIn::u8() const {
    if (tag_) return cTagList::getUInt8(tag_);
    if (view_.type == VTAG_UINT8) return view_.value[0];
    return converted(view_, &cTagList::getUInt8);
}

float TagIn::f32() const {
    if (tag_) return cTagList::getFloat(tag_);
    if (view_.type == VTAG_FLOAT) {
        const unsigned int bits = be32(view_.value);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    return converted(view_, &cTagList::getFloat);
}

void TagIn::text(char*& field) const {
    if (tag_) {
        setText(field, TagText(tag_).c_str());
        return;
    }
    if (view_.type != VTAG_STRING) {
        std::unique_ptr<VTag> tag(VTagFactory::createVTag(view_));
        setText(field, TagText(tag.get()).c_str());
        return;
    }
    setTextBytes(field, view_);
}

// ---- building a table ----

TableBuilder::TableBuilder(const void* self, const std::type_info& type, unsigned char wireCode,
                           log4cpp::Category& (*log)(), const JsonParseTexts& texts)
    : self_(static_cast<const char*>(self)),
      table_(new ObjectTable{&type, wireCode, 0, log, "Unknown Tag %02X(%d)", texts, nullptr, true,
                             nullptr, {}, {}, {}, {}, {}, 0, false, 0, {}, {}, {}, {}, {}}),
      rows_(table_->fields) {}

unsigned short TableBuilder::offsetOf(const void* member) const {
    return static_cast<unsigned short>(static_cast<const char*>(member) - self_);
}

Field& TableBuilder::add(Kind kind, const void* member, int tag, const char* key, int json,
                         const char* warning, unsigned int flags, unsigned int init) {
    Field f{};
    f.kind = kind;
    f.at = member ? offsetOf(member) : 0;
    f.tag = static_cast<unsigned char>(tag);
    f.json = f.jsonRead = static_cast<signed char>(key ? json : -1);
    f.flags = flags;
    f.key = key;
    f.warning = warning;
    f.init = init;
    rows_.push_back(f);
    return rows_.back();
}

TableBuilder& TableBuilder::u32(const unsigned int* m, int tag, const char* key, int json,
                                const char* warning, unsigned int flags, unsigned int init) {
    add(Kind::U32, m, tag, key, json, warning, flags, init);
    return *this;
}

TableBuilder& TableBuilder::text(char* const* m, int tag, const char* key, int json,
                                 const char* warning, unsigned int flags) {
    add(Kind::TEXT, m, tag, key, json, warning, flags, 0);
    return *this;
}

TableBuilder& TableBuilder::real(const float* m, int tag, const char* key, int json,
                                 const char* warning, unsigned int flags) {
    add(Kind::REAL, m, tag, key, json, warning, flags, 0);
    return *this;
}

TableBuilder& TableBuilder::boolean(const bool* m, int tag, const char* key, int json,
                                    const char* warning) {
    add(Kind::BOOL, m, tag, key, json, warning, 0, 0);
    return *this;
}

TableBuilder& TableBuilder::constant(int tag, const char* key, int json, int value) {
    add(Kind::NONE, nullptr, tag, key, json, nullptr, NO_JSON_READ, static_cast<unsigned>(value));
    return *this;
}

TableBuilder& TableBuilder::ignored(int tag) {
    add(Kind::NONE, nullptr, tag, nullptr, -1, nullptr, NO_TAG_WRITE, 0);
    return *this;
}

TableBuilder& TableBuilder::readAt(int place) {
    rows_.back().jsonRead = static_cast<signed char>(place);
    return *this;
}

TableBuilder& TableBuilder::onTag(TagHook hook) {
    rows_.back().onTag = hook;
    return *this;
}

TableBuilder& TableBuilder::onJson(JsonReadHook hook) {
    rows_.back().onJson = hook;
    return *this;
}

TableBuilder& TableBuilder::jsonOut(JsonWriteHook hook) {
    rows_.back().jsonOut = hook;
    return *this;
}

TableBuilder& TableBuilder::unknownTag(const char* format) {
    table_->unknownTag = format;
    return *this;
}

TableBuilder& TableBuilder::printKey(const char* key) {
    table_->printKey = key;
    return *this;
}

TableBuilder& TableBuilder::messageTagsIgnored() {
    table_->readsMessageTags = false;
    return *this;
}

TableBuilder& TableBuilder::afterJsonElement(void (*hook)(void* obj)) {
    table_->afterJsonElement = hook;
    return *this;
}

TableBuilder& TableBuilder::keys(std::initializer_list<const void*> members) {
    for (const void* m : members)
        for (std::size_t i = 0; i < rows_.size(); ++i)
            if (rows_[i].kind != Kind::NONE && rows_[i].at == offsetOf(m)) {
                table_->keys.push_back(static_cast<unsigned char>(i));
                break;
            }
    return *this;
}

const ObjectTable* TableBuilder::build() {
    ObjectTable& t = *table_;
    std::memset(t.byTag, 0, sizeof t.byTag);
    for (std::size_t i = 0; i < t.fields.size(); ++i) {
        const Field& f = t.fields[i];
        // The first row of a tag reads it: a constant written under a tag
        // another row reads (none today) must not shadow that row.
        if (f.tag && !t.byTag[f.tag] && !(f.kind == Kind::NONE && !(f.flags & NO_TAG_WRITE) &&
                                          !f.onTag))
            t.byTag[f.tag] = static_cast<unsigned char>(i + 1);
        if (f.json >= 0) t.json.push_back(static_cast<unsigned char>(i));
    }
    t.jsonRead = t.json;
    std::stable_sort(t.json.begin(), t.json.end(), [&t](unsigned char a, unsigned char b) {
        return t.fields[a].json < t.fields[b].json;
    });
    std::stable_sort(t.jsonRead.begin(), t.jsonRead.end(), [&t](unsigned char a, unsigned char b) {
        return t.fields[a].jsonRead < t.fields[b].jsonRead;
    });
    for (Field& f : t.fields) f.wireType = static_cast<unsigned char>(WQX::DictDef->typeOf(f.tag));
    t.wireCodeType = static_cast<unsigned char>(WQX::DictDef->typeOf(t.wireCode));
    planOwnMembers(t);
    planCodeMaps(t);
    planDirectWrite(t);
    planReads(t);
    gByWireCode[t.wireCode].store(&t, std::memory_order_release);
    return &t;
}

// ---- construction, copy, freeing ----

namespace {

std::size_t sizeOf(Kind kind) {
    switch (kind) {
    case Kind::TEXT: return sizeof(char*);
    case Kind::BOOL: return sizeof(bool);
    case Kind::NONE: return 0;
    default: return 4;
    }
}

// Writes each own member's default into image, whose byte 0 stands for
// the object's byte `from`.
void writeDefaults(unsigned char* image, std::size_t from, const ObjectTable& t) {
    for (const Field& f : t.fields) {
        if ((f.flags & INHERITED) || f.kind == Kind::NONE) continue;
        const unsigned short at = static_cast<unsigned short>(f.at - from);
        switch (f.kind) {
        case Kind::U32: store(image, at, f.init); break;
        case Kind::CODE: store(image, at, static_cast<int>(f.init)); break;
        case Kind::TEXT: store(image, at, static_cast<char*>(nullptr)); break;
        case Kind::REAL: store(image, at, notSetFloat()); break;
        case Kind::BOOL: store(image, at, f.init != 0); break;
        case Kind::NONE: break;
        }
    }
}

// Lays out what constructFields copies and what freeFields frees.
void planOwnMembers(ObjectTable& t) {
    std::size_t from = ~std::size_t{0}, to = 0;
    for (const Field& f : t.fields) {
        if ((f.flags & INHERITED) || f.kind == Kind::NONE) continue;
        from = std::min<std::size_t>(from, f.at);
        to = std::max(to, f.at + sizeOf(f.kind));
        if (f.kind == Kind::TEXT &&
            std::find(t.ownTexts.begin(), t.ownTexts.end(), f.at) == t.ownTexts.end())
            t.ownTexts.push_back(f.at);
    }
    if (to == 0) return;
    t.ownFrom = static_cast<unsigned short>(from);
    t.defaults.assign(to - from, 0);
    writeDefaults(t.defaults.data(), from, t);
}

}  // namespace

void constructFields(void* obj, const ObjectTable& t) {
    if (!t.defaults.empty())
        std::memcpy(static_cast<char*>(obj) + t.ownFrom, t.defaults.data(), t.defaults.size());
}

void copyFields(void* obj, const void* source, const ObjectTable& t) {
    for (const Field& f : t.fields) {
        if (f.flags & INHERITED) continue;
        switch (f.kind) {
        case Kind::U32:
        case Kind::CODE:
        case Kind::REAL: store(obj, f.at, load<unsigned int>(source, f.at)); break;
        case Kind::BOOL: store(obj, f.at, load<bool>(source, f.at)); break;
        case Kind::TEXT: setText(textAt(obj, f.at), textAt(source, f.at)); break;
        case Kind::NONE: break;
        }
    }
}

void freeFields(void* obj, const ObjectTable& t) {
    for (unsigned short at : t.ownTexts) delete[] textAt(obj, at);
}

// ---- the tag form ----

namespace {

// Writes the tags of an object, object code first, into a sink that takes
// values as cTagList::add does.
template <class Sink>
void writeTags(const void* obj, const ObjectTable& t, Sink& out) {
    out.none(t.wireCode, t.wireCodeType);
    for (const Field& f : t.fields) {
        if (!f.tag || (f.flags & NO_TAG_WRITE)) continue;
        switch (f.kind) {
        case Kind::U32: {
            const unsigned int v = load<unsigned int>(obj, f.at);
            if ((f.flags & IF_NONZERO) ? v == 0 : !(f.flags & ALWAYS) && !isSet(v)) break;
            if (f.flags & LOW8)
                out.u8(f.tag, f.wireType, static_cast<unsigned char>(v & 0xFF));
            else
                out.u32(f.tag, f.wireType, v);
            break;
        }
        case Kind::TEXT:
            if (const char* s = textAt(obj, f.at)) out.text(f.tag, f.wireType, s);
            break;
        case Kind::REAL: {
            const float v = load<float>(obj, f.at);
            if (isSet(v)) out.real(f.tag, f.wireType, v);
            break;
        }
        case Kind::CODE: {
            const int c = codeOf(f.codes, f.nCodes, load<int>(obj, f.at));
            if (c >= 0) out.u8(f.tag, f.wireType, static_cast<unsigned char>(c));
            break;
        }
        case Kind::BOOL:
            // A flag: its presence is the value.
            if (load<bool>(obj, f.at)) out.none(f.tag, f.wireType);
            break;
        case Kind::NONE: out.u8(f.tag, f.wireType, static_cast<unsigned char>(f.init)); break;
        }
    }
}

// cTagList converts each value to its tag's type itself.
struct ListSink {
    cTagList& tags;
    void none(unsigned char tag, unsigned char) { tags.add(tag); }
    void u32(unsigned char tag, unsigned char, unsigned int v) { tags.add(tag, v); }
    void u8(unsigned char tag, unsigned char, unsigned char v) { tags.add(tag, v); }
    void text(unsigned char tag, unsigned char, const char* s) { tags.add(tag, s); }
    void real(unsigned char tag, unsigned char, float v) { tags.add(tag, v); }
};

}  // namespace

cTagList* tagsOf(const void* obj, const ObjectTable& t) {
    cTagList* tags = new cTagList;
    ListSink sink{*tags};
    writeTags(obj, t, sink);
    return tags;
}

void populate(void* obj, const ObjectTable& t, const TagIn& tag) {
    const unsigned char n = tag.number();
    const unsigned char row = t.byTag[n];
    if (!row) {
        t.log().info(t.unknownTag, n, n);
        return;
    }
    const Field& f = t.fields[row - 1u];
    if (f.onTag) {
        f.onTag(obj, tag);
        return;
    }
    switch (f.kind) {
    case Kind::U32: store(obj, f.at, (f.flags & READ8) ? tag.u8() : tag.u32()); break;
    case Kind::TEXT: tag.text(textAt(obj, f.at)); break;
    case Kind::REAL: store(obj, f.at, tag.f32()); break;
    case Kind::CODE: {
        const unsigned char code = tag.u8();
        const int now = load<int>(obj, f.at);
        store(obj, f.at, (f.flags & RAW_TAG) ? static_cast<int>(code)
                                             : valueOf(f.codes, f.nCodes, code,
                                                       (f.flags & KEEP_TAG) ? now : 0));
        break;
    }
    case Kind::BOOL: store(obj, f.at, true); break;
    case Kind::NONE: break;
    }
}

bool parseGroup(void* obj, const ObjectTable& t, VelmorObject* group,
                std::vector<VTag*>* msgTags) {
    // Message-level tags come last, and so win.
    if (group)
        for (VTag* tag : group->getTags()) populate(obj, t, TagIn(tag));
    if (msgTags && t.readsMessageTags)
        for (VTag* tag : *msgTags) populate(obj, t, TagIn(tag));
    return true;
}

// ---- the JSON form ----

json_t* jsonOf(const void* obj, const ObjectTable& t) {
    JsonFields out;
    for (unsigned char i : t.json) {
        const Field& f = t.fields[i];
        if (f.flags & NO_JSON_WRITE) continue;
        if (f.flags & JOIN) out.join();
        if (f.jsonOut) {
            out.integerIf(f.key, true, f.jsonOut(obj));
            continue;
        }
        switch (f.kind) {
        case Kind::U32: out.integer(f.key, load<unsigned int>(obj, f.at)); break;
        case Kind::TEXT: out.text(f.key, textAt(obj, f.at)); break;
        case Kind::REAL: out.real(f.key, load<float>(obj, f.at)); break;
        case Kind::CODE: {
            const int v = load<int>(obj, f.at);
            const int c = (f.flags & STORED_JSON) ? v : codeOf(f.jsonCodes, f.nJsonCodes, v);
            out.integerIf(f.key, (f.flags & STORED_JSON) || c >= 0, c);
            break;
        }
        case Kind::BOOL: out.boolean(f.key, load<bool>(obj, f.at)); break;
        case Kind::NONE: out.integerIf(f.key, true, static_cast<int>(f.init)); break;
        }
    }
    return out.release();
}

namespace {

bool readJsonField(void* obj, const Field& f, const JsonElement& e) {
    switch (f.kind) {
    case Kind::U32:
        return e.integer(f.key, f.warning, [&](json_int_t v) {
            store(obj, f.at, static_cast<unsigned int>(v));
        });
    case Kind::TEXT:
        return e.text(f.key, f.warning, [&](const char* s) { setText(textAt(obj, f.at), s); });
    case Kind::REAL:
        return e.real(f.key, f.warning, [&](double v) { store(obj, f.at, narrowToFloat(v)); });
    case Kind::CODE:
        return e.integer(f.key, f.warning, [&](json_int_t v) {
            if (f.onJson) return f.onJson(obj, v);
            const int code = (f.flags & WIDE_JSON) ? static_cast<int>(static_cast<unsigned int>(v))
                                                   : static_cast<unsigned char>(v);
            const int now = load<int>(obj, f.at);
            store(obj, f.at, valueOf(f.codes, f.nCodes, code, (f.flags & KEEP_JSON) ? now : 0));
        });
    case Kind::BOOL:
        return e.boolean(f.key, f.warning, [&](bool v) { store(obj, f.at, v); });
    case Kind::NONE: return true;
    }
    return true;
}

}  // namespace

bool parseJson(void* obj, const ObjectTable& t, json_t* array) {
    return parseJsonFields(
        array, t.texts,
        [&](const JsonElement& e) {
            for (unsigned char i : t.jsonRead) {
                const Field& f = t.fields[i];
                if (!(f.flags & NO_JSON_READ) && !readJsonField(obj, f, e)) return false;
            }
            return true;
        },
        [&] {
            if (t.afterJsonElement) t.afterJsonElement(obj);
        });
}

// ---- identity ----

namespace {

// -1, 0 or 1 as a's key field compares with b's.
int compareKey(const void* a, const void* b, const Field& f) {
    if (f.kind == Kind::CODE) {
        const int x = load<int>(a, f.at), y = load<int>(b, f.at);
        return x < y ? -1 : x > y;
    }
    const unsigned int x = load<unsigned int>(a, f.at), y = load<unsigned int>(b, f.at);
    return x < y ? -1 : x > y;
}

}  // namespace

bool sameKey(const void* a, const void* b, const ObjectTable& t) {
    for (unsigned char i : t.keys)
        if (compareKey(a, b, t.fields[i]) != 0) return false;
    return true;
}

bool keyLess(const void* a, const void* b, const ObjectTable& t) {
    for (unsigned char i : t.keys)
        if (const int c = compareKey(a, b, t.fields[i])) return c < 0;
    return false;
}

// ---- the direct message path ----

const ObjectTable* tableOf(const cObject& obj) {
    const ObjectTable* t =
        gByWireCode[cObject::getWireCode(obj.getType())].load(std::memory_order_acquire);
    return t && (t->type == &typeid(obj) || *t->type == typeid(obj)) ? t : nullptr;
}

namespace {

unsigned char* putHead(unsigned char* p, unsigned char tag, unsigned char type, unsigned short len) {
    p[0] = tag;
    p[1] = type;
    p[2] = static_cast<unsigned char>(len >> 8);
    p[3] = static_cast<unsigned char>(len);
    return p + 4;
}

void put16(unsigned char* p, unsigned int v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}

void put32(unsigned char* p, unsigned int v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}


}  // namespace

namespace {

unsigned char widthOf(unsigned char type) {
    return type == VTAG_UINT32 || type == VTAG_FLOAT ? 4 : type == VTAG_UINT16 ? 2 : type == VTAG_UINT8;
}

// The step that writes a row straight into a message's bytes; false when
// the row's value needs cTagList's conversions to become its tag.
bool stepFor(const Field& f, WireStep& s) {
    const unsigned char w = f.wireType;
    const bool integer = w == VTAG_UINT32 || w == VTAG_UINT16 || w == VTAG_UINT8;
    s = WireStep{WireStep::INT, WireStep::IF_SET, f.tag, widthOf(w), {}, f.at, 0xFFFFFFFFu, &f, nullptr};
    putHead(s.head, f.tag, w, s.width);
    switch (f.kind) {
    case Kind::U32:
        s.when = (f.flags & IF_NONZERO) ? WireStep::IF_NOT_ZERO
                 : (f.flags & ALWAYS)   ? WireStep::ALWAYS_SENT
                                        : WireStep::IF_SET;
        if (f.flags & LOW8) s.mask = 0xFF;
        return integer;
    case Kind::CODE: s.op = WireStep::CODE; return integer && f.mapAt >= 0;
    case Kind::NONE: s.op = WireStep::CONST; return integer;
    case Kind::REAL: s.op = WireStep::REAL; return w == VTAG_FLOAT;
    case Kind::TEXT: s.op = WireStep::TEXT; return w == VTAG_STRING;
    case Kind::BOOL: s.op = WireStep::FLAG; return w == VTAG_NONE;
    }
    return false;
}

void planDirectWrite(ObjectTable& t) {
    t.direct = t.wireCodeType == VTAG_NONE;
    t.fixedBytes = 4;
    for (const Field& f : t.fields) {
        if (!f.tag || (f.flags & NO_TAG_WRITE)) continue;
        WireStep step;
        t.direct = t.direct && stepFor(f, step);
        if (step.op == WireStep::CODE && f.mapAt >= 0) step.codeOfValue = t.maps.data() + f.mapAt;
        t.fixedBytes += 4u + step.width;
        t.steps.push_back(step);
    }
    if (!t.direct) t.steps.clear();
}

const int kValueRange = 16;  // enum values a code map covers: 0 to 15

// A code row's tag code table as two maps: the code of each value 0 to 15,
// then the value of each code byte. A row whose table has a value outside
// 0 to 15 or a code above 127 is written and read through its row.
void planCodeMaps(ObjectTable& t) {
    for (Field& f : t.fields) {
        f.mapAt = -1;
        if (f.kind != Kind::CODE || !f.codes) continue;
        bool small = true;
        for (unsigned i = 0; i < f.nCodes; ++i)
            small = small && f.codes[i].value >= 0 && f.codes[i].value < kValueRange &&
                    f.codes[i].code >= 0 && f.codes[i].code < 128;
        if (!small) continue;
        f.mapAt = static_cast<int>(t.maps.size());
        t.maps.resize(t.maps.size() + kValueRange + 256, -1);
        signed char* m = t.maps.data() + f.mapAt;
        for (unsigned i = f.nCodes; i-- > 0;) {  // the first pair of a value or code wins
            m[f.codes[i].value] = static_cast<signed char>(f.codes[i].code);
            m[kValueRange + f.codes[i].code] = static_cast<signed char>(f.codes[i].value);
        }
    }
}

// The fast read of each tag number: a row without a hook or an odd way of
// reading, whose value the tag's own type gives as is.
void planReads(ObjectTable& t) {
    for (ReadStep& r : t.reads) r = ReadStep{ReadStep::SLOW, 0xFF, false, 0, nullptr};
    for (int tag = 1; tag < 256; ++tag) {
        if (!t.byTag[tag]) continue;
        const Field& f = t.fields[t.byTag[tag] - 1u];
        if (f.onTag) continue;
        ReadStep& r = t.reads[tag];
        switch (f.kind) {
        case Kind::U32:
            if (!(f.flags & READ8)) r = ReadStep{ReadStep::U32, VTAG_UINT32, false, f.at, nullptr};
            break;
        case Kind::REAL: r = ReadStep{ReadStep::REAL, VTAG_FLOAT, false, f.at, nullptr}; break;
        case Kind::TEXT: r = ReadStep{ReadStep::TEXT, VTAG_STRING, false, f.at, nullptr}; break;
        case Kind::CODE:
            if ((f.flags & RAW_TAG) || f.mapAt < 0) break;
            r = ReadStep{ReadStep::CODE, VTAG_UINT8, false, f.at, nullptr};
            r.keep = (f.flags & KEEP_TAG) != 0;
            r.valueOfCode = t.maps.data() + f.mapAt + kValueRange;
            break;
        default: break;
        }
    }
}

// An integer after its step's header: cut to the tag's width, as
// cTagList::add converts it.
unsigned char* putInt(unsigned char* p, const WireStep& s, unsigned int v) {
    std::memcpy(p, s.head, 4);
    p += 4;
    if (s.width == 4) {
        put32(p, v);
    } else if (s.width == 2) {
        put16(p, v);
    } else {
        p[0] = static_cast<unsigned char>(v);
    }
    return p + s.width;
}

// Writes the object's tags by its steps; returns the tags written.
unsigned int writeSteps(const void* obj, const ObjectTable& t, unsigned char*& w) {
    w = putHead(w, t.wireCode, VTAG_NONE, 0);
    unsigned int count = 1;
    for (const WireStep& s : t.steps) {
        switch (s.op) {
        case WireStep::INT: {
            const unsigned int v = load<unsigned int>(obj, s.at);
            if (s.when == WireStep::IF_SET ? !isSet(v) : s.when == WireStep::IF_NOT_ZERO && v == 0)
                continue;
            w = putInt(w, s, v & s.mask);
            break;
        }
        case WireStep::CODE: {
            const int v = load<int>(obj, s.at);
            const int c = v >= 0 && v < kValueRange ? s.codeOfValue[v] : -1;
            if (c < 0) continue;
            w = putInt(w, s, static_cast<unsigned int>(c));
            break;
        }
        case WireStep::CONST: w = putInt(w, s, s.field->init); break;
        case WireStep::REAL: {
            const unsigned int bits = load<unsigned int>(obj, s.at);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            if (!isSet(f)) continue;
            std::memcpy(w, s.head, 4);
            put32(w + 4, bits);
            w += 8;
            break;
        }
        case WireStep::TEXT: {
            const char* text = textAt(obj, s.at);
            if (!text) continue;
            // A tag's length is 16 bits: longer texts are cut, as a text tag cuts them.
            const std::size_t n = std::strlen(text);
            const unsigned short len = static_cast<unsigned short>(n > 0xFFFF ? 0xFFFF : n);
            std::memcpy(putHead(w, s.tag, VTAG_STRING, len), text, len);
            w += 4u + len;
            break;
        }
        case WireStep::FLAG:
            if (!load<bool>(obj, s.at)) continue;
            std::memcpy(w, s.head, 4);
            w += 4;
            break;
        }
        ++count;
    }
    return count;
}

}  // namespace

bool encodeObject(const cObject& obj, VMsg& msg) {
    const ObjectTable* t = tableOf(obj);
    if (!t || !t->direct) return false;
    const void* self = dynamic_cast<const void*>(&obj);
    std::size_t bound = t->fixedBytes;
    for (const WireStep& step : t->steps)
        if (step.op == WireStep::TEXT)
            if (const char* text = textAt(self, step.at)) bound += std::strlen(text);
    unsigned char* const start = msg.beginEncoded(bound);
    unsigned char* w = start;
    const unsigned int count = writeSteps(self, *t, w);
    msg.commitEncoded(static_cast<std::size_t>(w - start), count);
    return true;
}

namespace {

// Stores a tag whose type is the one its row reads, as populate would;
// false for anything else (another type, a hook, an unknown tag), which
// populate handles.
inline bool storeDirect(void* obj, const ReadStep& r, const VTagView& v) {
    if (v.type != r.type) return false;
    switch (r.op) {
    case ReadStep::U32:
    case ReadStep::REAL: store(obj, r.at, be32(v.value)); return true;  // a float as its bits
    case ReadStep::CODE: {
        const int value = r.valueOfCode[v.value[0]];
        store(obj, r.at, value >= 0 ? value : r.keep ? load<int>(obj, r.at) : 0);
        return true;
    }
    case ReadStep::TEXT: setTextBytes(textAt(obj, r.at), v); return true;
    default: return false;
    }
}

void decodeTags(void* obj, const ObjectTable& t, const unsigned char* p, std::size_t n,
                bool mayLog) {
    VTagView v;
    for (VTagReader r(p, n); r.next(v);)
        if (!storeDirect(obj, t.reads[v.tag], v)) populate(obj, t, TagIn(v, mayLog));
}

}  // namespace

void decodeObjects(const unsigned char* p, std::size_t n, const unsigned char* msgTags,
                   std::size_t msgTagBytes, cObject* (*make)(unsigned char code),
                   void (*take)(cObject* obj, void* to), void* to) {
    const VelmorDictDef& dict = *WQX::DictDef;
    cObject* obj = nullptr;
    void* self = nullptr;
    const ObjectTable* t = nullptr;
    const ObjectTable* logChecked = nullptr;  // the table mayLog was found for
    bool mayLog = true;
    // An object is whole at the next object code or the end: the
    // message-level tags come last, and so win.
    const auto finish = [&] {
        if (!obj) return;
        if (t->readsMessageTags) decodeTags(self, *t, msgTags, msgTagBytes, mayLog);
        take(obj, to);
        obj = nullptr;
    };
    VTagView v;
    for (VTagReader r(p, n); r.next(v);) {
        if (dict.isObjectCode(v.tag)) {
            finish();
            obj = make(v.tag);
            t = obj ? tableOf(*obj) : nullptr;
            if (!t) {
                delete obj;  // our classes all have tables; nothing else is made here
                obj = nullptr;
                continue;
            }
            self = dynamic_cast<void*>(obj);
            if (t != logChecked) {
                logChecked = t;
                mayLog = t->log().isDebugEnabled();
            }
        } else if (obj && !storeDirect(self, t->reads[v.tag], v)) {
            populate(self, *t, TagIn(v, mayLog));
        }
    }
    finish();
}

}  // namespace wqx
