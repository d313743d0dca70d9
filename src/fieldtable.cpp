#include "fieldtable.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>

#include "fieldbytes.h"
#include "object.h"

namespace wqx {

namespace {

void planOwnMembers(ObjectTable& t);

// Registered tables by object type, for the direct message path.
std::atomic<const ObjectTable*> gByType[cObject::OBJ_NONE];

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

unsigned int TagIn::u32() const {
    if (tag_) return cTagList::getUInt32(tag_);
    if (view_.type == VTAG_UINT32) return get32(view_.value);
    return converted(view_, &cTagList::getUInt32);
}

unsigned char TagIn::u8() const {
    if (tag_) return cTagList::getUInt8(tag_);
    if (view_.type == VTAG_UINT8) return view_.value[0];
    return converted(view_, &cTagList::getUInt8);
}

// A view reaches populate only when its type is not the one its row reads
// straight, so floats and texts from a view always take the conversions.
float TagIn::f32() const {
    return tag_ ? cTagList::getFloat(tag_) : converted(view_, &cTagList::getFloat);
}

void TagIn::text(char*& field) const {
    std::unique_ptr<VTag> made(tag_ ? nullptr : VTagFactory::createVTag(view_));
    setText(field, TagText(tag_ ? tag_ : made.get()).c_str());
}

// ---- building a table ----

TableBuilder::TableBuilder(const void* self, const std::type_info& type, unsigned char wireCode,
                           log4cpp::Category& (*log)(), const JsonParseTexts& texts)
    : self_(static_cast<const char*>(self)),
      table_(new ObjectTable{&type, wireCode, 0, log, "Unknown Tag %02X(%d)", texts, nullptr, true,
                             nullptr, nullptr, false, {}, {}, {}, {}, {}, 0, false, 0, {}, {}, {},
                             {}, {}, {}}),
      rows_(table_->fields),
      current_(0) {}

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
    current_ = rows_.size() - 1;
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
    rows_[current_].jsonRead = static_cast<signed char>(place);
    return *this;
}

TableBuilder& TableBuilder::onTag(TagHook hook) {
    rows_[current_].onTag = hook;
    return *this;
}

TableBuilder& TableBuilder::onJson(JsonReadHook hook) {
    rows_[current_].onJson = hook;
    return *this;
}

TableBuilder& TableBuilder::jsonOut(JsonWriteHook hook) {
    rows_[current_].jsonOut = hook;
    return *this;
}

TableBuilder& TableBuilder::traceRead(const char* format) {
    rows_[current_].trace = format;
    return *this;
}

TableBuilder& TableBuilder::row(int tag) {
    for (current_ = 0; current_ < rows_.size(); ++current_)
        if (rows_[current_].tag == tag) return *this;
    // A hook for a row the class does not have: a mistake in the class,
    // which its first object shows at once.
    std::abort();
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

TableBuilder& TableBuilder::base(int wireCode) {
    for (int type = 0; type < cObject::OBJ_NONE; ++type)
        if (cObject::getWireCode(static_cast<cObject::eObjectTypes>(type)) == wireCode)
            table_->base = gByType[type].load(std::memory_order_acquire);
    if (!table_->base) std::abort();  // the base class builds its table first
    return *this;
}

TableBuilder& TableBuilder::copiesObjectType() {
    table_->copiesType = true;
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
    planDirectPath(t);
    for (int type = 0; type < cObject::OBJ_NONE; ++type)
        if (cObject::getWireCode(static_cast<cObject::eObjectTypes>(type)) == t.wireCode)
            gByType[type].store(&t, std::memory_order_release);
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

void copyObject(cObject* obj, const cObject* source, const ObjectTable& t) {
    // Every class with a table derives from cObject alone, through its
    // base's table if it has one, so each lies at its cObject's address:
    // the address both its rows and its base's are offsets from, even
    // where a program derives from it together with another class.
    if (t.base) copyObject(obj, source, *t.base);
    copyFields(obj, source, t);
    if (t.copiesType) obj->setType(source->getType());
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
    case Kind::U32: {
        const unsigned int v = (f.flags & READ8) ? tag.u8() : tag.u32();
        if (f.trace && tag.mayLog()) t.log().debug(f.trace, v);
        store(obj, f.at, v);
        break;
    }
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
    const unsigned int type = obj.getType();
    if (type >= cObject::OBJ_NONE) return nullptr;
    const ObjectTable* t = gByType[type].load(std::memory_order_acquire);
    return t && (t->type == &typeid(obj) || *t->type == typeid(obj)) ? t : nullptr;
}

}  // namespace wqx
