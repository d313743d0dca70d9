// The object classes as data. Each class describes its fields once, as
// rows in src/objects.fields, and the engine here does everything that
// follows the fields from the table its constructor builds of them: default
// values, copies, freeing the texts, the tag form both ways, the JSON form
// both ways and the identity. A class's source keeps only what is its own:
// its code tables, and a named hook where a field behaves unlike its kind,
// which it attaches to the row by tag number (row()).
//
// The build makes objectrows.h of objects.fields (cmake/objectrows.cmake):
// one macro a class, WQX_ROWS_<class>, the TableBuilder chain of its rows,
// which its default constructor expands (WQX_CONSTRUCT). A row names its
// member by byte offset from the object's address, taken there: only
// members may name the private fields, and the class layouts stay exactly
// as they are. Tables are built once, by the first object of each class,
// and are immutable afterwards, so any number of threads may use them. Not
// installed; not exported.
//
// Adding a field: one row in the class's block of objects.fields (kind,
// member, tag number, JSON key and place, the warning of a wrong JSON type,
// flags where it differs from its kind), in tag order; then its line in the
// class's vectors under tests/vectors/. The same rows drive the message
// path's direct encoder and decoder (encodeObject, decodeObjects), which
// write and read a message's bytes without tag objects.
#ifndef WQX_FIELDTABLE_H
#define WQX_FIELDTABLE_H

#include <cstddef>
#include <cstring>
#include <typeinfo>
#include <vector>

#include "object.h"
#include "objectfields.h"

class VMsg;

namespace wqx {

// One received tag, from a tag object or from a message's encoded bytes,
// read with the conversions of cTagList's getters.
class TagIn {
public:
    explicit TagIn(VTag* tag) : tag_(tag), view_(), mayLog_(true) {}
    // mayLog false: the reader has found its class's debug lines off for
    // this message, so a hook need not ask log4cpp again for every tag.
    TagIn(const VTagView& view, bool mayLog) : tag_(nullptr), view_(view), mayLog_(mayLog) {}
    unsigned char number() const { return tag_ ? tag_->getTag() : view_.tag; }
    bool mayLog() const { return mayLog_; }
    unsigned int u32() const;
    unsigned char u8() const;
    float f32() const;
    // Stores the whole text (or what the tag reads as text) into field.
    void text(char*& field) const;

private:
    VTag* tag_;
    VTagView view_;
    bool mayLog_;
};

// How a member is stored.
enum class Kind : unsigned char {
    U32,   // unsigned int; 0xFFFFFFFF is not set
    TEXT,  // owned char array; null is not set
    REAL,  // float; NaN is not set
    CODE,  // enum (int) travelling as the code of its table; 0 is not set
    BOOL,  // bool
    NONE,  // no member: a constant tag or JSON value
};

// Where a row differs from what its kind does by default.
enum RowFlag : unsigned int {
    NO_TAG_WRITE = 1u << 0,   // read from tags, never written
    NO_JSON_WRITE = 1u << 1,  // read from JSON, never written
    NO_JSON_READ = 1u << 2,   // written to JSON, never read
    KEEP_TAG = 1u << 3,       // a code outside the table keeps the field (tags)
    KEEP_JSON = 1u << 4,      // ... (JSON); otherwise it clears the field to 0
    LOW8 = 1u << 5,           // U32 sent as its low 8 bits
    ALWAYS = 1u << 6,         // written even when not set
    READ8 = 1u << 7,          // U32 read through the 8-bit getter
    STORED_JSON = 1u << 8,    // CODE written to JSON as stored, code or not
    WIDE_JSON = 1u << 9,      // CODE read from the JSON integer's low 32 bits, not 8
    JOIN = 1u << 10,          // JSON written into the element before
    INHERITED = 1u << 11,     // a member of the base class, which sets, copies and frees it
    RAW_TAG = 1u << 12,       // CODE read from tags as the byte itself, no table
    IF_NONZERO = 1u << 13,    // U32 written only when it is not 0
};

using TagHook = void (*)(void* obj, const TagIn& tag);
using JsonReadHook = void (*)(void* obj, json_int_t value);
using JsonWriteHook = int (*)(const void* obj);

struct Field {
    Kind kind;
    unsigned short at;     // byte offset of the member
    unsigned char tag;     // 0: not in tags
    signed char json;      // place in the JSON array; -1: not in JSON
    signed char jsonRead;  // place among the keys a JSON element is read for
    unsigned int flags;    // RowFlag bits
    unsigned char wireType;  // the tag type the dictionary gives `tag`
    int mapAt;               // CODE: where its maps start in the table's maps; -1: none
    const char* key;       // JSON key
    const char* warning;   // logged when JSON gives the wrong type
    const CodePair* codes;
    unsigned char nCodes;
    const CodePair* jsonCodes;  // the table JSON is written with (default: codes)
    unsigned char nJsonCodes;
    unsigned int init;     // default value (U32, CODE, BOOL, NONE's constant)
    TagHook onTag;         // replaces the default tag read
    JsonReadHook onJson;   // replaces the default JSON integer read
    JsonWriteHook jsonOut; // replaces the default JSON write (an integer)
    const char* trace;     // U32: a debug line on each tag read, its value the argument
};

// One tag of a table whose rows all write straight into a message's bytes:
// what the engine does for the row, decided when the table is built.
struct WireStep {
    // U32 and CODE8 are INT and CODE in their commonest form (a whole
    // 32-bit value sent when set, a code in one byte), written without
    // asking the step how.
    enum Op : unsigned char { INT, CODE, CONST, REAL, TEXT, FLAG, U32, CODE8 };
    enum When : unsigned char { IF_SET, ALWAYS_SENT, IF_NOT_ZERO };
    Op op;
    When when;             // INT
    unsigned char tag;
    unsigned char width;   // value bytes of INT, CODE and CONST: 4, 2 or 1
    unsigned char head[4]; // the tag's header, for all but a text: number, type, length
    unsigned short at;
    unsigned int mask;     // INT: 0xFF for a value sent as its low 8 bits
    const Field* field;    // CONST: its value
    const signed char* codeOfValue;  // CODE: by value 0 to 15, -1 for none
};

// How a received tag of the type its row reads is stored, by tag number;
// SLOW sends it (and any tag of another type) through populate, and OBJECT
// marks a wire object code, which ends the object being read.
struct ReadStep {
    enum Op : unsigned char { SLOW, U32, REAL, CODE, TEXT, OBJECT, TRACED };
    Op op;
    unsigned char type;     // the tag type it reads straight
    bool keep;              // CODE: an unknown code keeps the field
    unsigned short at;
    const signed char* valueOfCode;  // CODE: by code byte, -1 for unknown
};

struct ObjectTable {
    const std::type_info* type;
    unsigned char wireCode;
    unsigned char wireCodeType;  // the tag type the dictionary gives wireCode
    log4cpp::Category& (*log)();
    const char* unknownTag;  // log format of a tag the class does not know
    JsonParseTexts texts;
    const char* printKey;
    bool readsMessageTags;   // false: only the group's own tags are read
    void (*afterJsonElement)(void* obj);
    // A copy takes the fields of base's table first (the class derives
    // from base's class), and with copiesType its source's object type.
    const ObjectTable* base;
    bool copiesType;
    std::vector<Field> fields;         // in tag order
    std::vector<unsigned char> json;      // row indices in JSON order
    std::vector<unsigned char> jsonRead;  // row indices in the order keys are read
    std::vector<unsigned char> keys;   // identity rows, in comparison order
    unsigned char byTag[256];          // 1 + the row reading each tag, 0 for none
    // The class's own members lie in [ownFrom, ownFrom + defaults.size()):
    // a new object starts as a copy of defaults there.
    unsigned short ownFrom;
    // Every written row's value has its tag's type, or a wider or narrower
    // integer type: the tags go straight into a message's bytes by these
    // steps, and fixedBytes bounds all but the texts' share of them.
    bool direct;
    std::size_t fixedBytes;
    std::vector<WireStep> steps;
    std::vector<unsigned short> sentTexts;  // offsets of the texts the steps write
    ReadStep reads[256];
    // Code tables as direct maps (value to code for small values, code
    // byte to value), made for the rows whose tables allow it.
    std::vector<signed char> maps;
    std::vector<unsigned char> defaults;
    std::vector<unsigned short> ownTexts;  // offsets of the texts the class frees
};

// Builds a class's table, from inside its constructor (self is `this`).
class TableBuilder {
public:
    TableBuilder(const void* self, const std::type_info& type, unsigned char wireCode,
                 log4cpp::Category& (*log)(), const JsonParseTexts& texts);

    TableBuilder& u32(const unsigned int* m, int tag, const char* key, int json,
                      const char* warning, unsigned int flags = 0, unsigned int init = kNotSet32);
    TableBuilder& text(char* const* m, int tag, const char* key, int json, const char* warning,
                       unsigned int flags = 0);
    TableBuilder& real(const float* m, int tag, const char* key, int json, const char* warning,
                       unsigned int flags = 0);
    TableBuilder& boolean(const bool* m, int tag, const char* key, int json,
                          const char* warning);
    template <class E, std::size_t N>
    TableBuilder& code(const E* m, int tag, const char* key, int json, const char* warning,
                       const CodePair (&codes)[N], unsigned int flags = 0, int init = 0) {
        static_assert(sizeof(E) == sizeof(int), "enums are int-sized");
        Field& f = add(Kind::CODE, m, tag, key, json, warning, flags, static_cast<unsigned>(init));
        f.codes = f.jsonCodes = codes;
        f.nCodes = f.nJsonCodes = static_cast<unsigned char>(N);
        return *this;
    }
    // An enum read from a tag as the byte itself, never written.
    template <class E>
    TableBuilder& rawByte(const E* m, int tag) {
        static_assert(sizeof(E) == sizeof(int), "enums are int-sized");
        add(Kind::CODE, m, tag, nullptr, -1, nullptr, NO_TAG_WRITE | RAW_TAG, 0);
        return *this;
    }
    // A tag or JSON value that is the same for every object (no member).
    TableBuilder& constant(int tag, const char* key, int json, int value);
    // A tag that is read and changes nothing.
    TableBuilder& ignored(int tag);

    // Adjust a row: the one added last, or the one row() picks.
    // Where a key is read when an element holds several: a class that has
    // always read its keys in another order than it writes them keeps it.
    TableBuilder& readAt(int place);
    TableBuilder& onTag(TagHook hook);
    TableBuilder& onJson(JsonReadHook hook);
    TableBuilder& jsonOut(JsonWriteHook hook);
    template <std::size_t N>
    TableBuilder& jsonCodes(const CodePair (&codes)[N]) {
        rows_[current_].jsonCodes = codes;
        rows_[current_].nJsonCodes = static_cast<unsigned char>(N);
        return *this;
    }
    // Picks the first row of that tag for the adjustments that follow: a
    // class's hooks are attached to rows that are already there.
    TableBuilder& row(int tag);
    // A debug line on the class's category for every tag read into the
    // row (a U32), with the value as the format's argument.
    TableBuilder& traceRead(const char* format);
    // Hands the builder to hooks, which attaches a set of hooks that more
    // than one class has.
    TableBuilder& attach(TableBuilder& (*hooks)(TableBuilder&)) { return hooks(*this); }

    TableBuilder& unknownTag(const char* format);
    TableBuilder& printKey(const char* key);
    TableBuilder& messageTagsIgnored();
    TableBuilder& afterJsonElement(void (*hook)(void* obj));
    // The class derives from the class whose table has that wire code (built
    // already, by the base class's constructor); a copy takes its fields first.
    TableBuilder& base(int wireCode);
    // A copy takes its source's object type too.
    TableBuilder& copiesObjectType();
    // The identity: the members compared, in the order operator< uses.
    TableBuilder& keys(std::initializer_list<const void*> members);

    // The finished table; it lives as long as the program.
    const ObjectTable* build();

private:
    Field& add(Kind kind, const void* member, int tag, const char* key, int json,
               const char* warning, unsigned int flags, unsigned int init);
    unsigned short offsetOf(const void* member) const;

    const char* self_;
    ObjectTable* table_;
    std::vector<Field>& rows_;
    std::size_t current_;  // the row the adjustments go to
};

// ---- the engine ----

void constructFields(void* obj, const ObjectTable& t);
void copyFields(void* obj, const void* source, const ObjectTable& t);
// What a copy constructor does: the base class's fields, the object type
// where the table says so, then the class's own fields.
void copyObject(cObject* obj, const cObject* source, const ObjectTable& t);
void freeFields(void* obj, const ObjectTable& t);
cTagList* tagsOf(const void* obj, const ObjectTable& t);
void populate(void* obj, const ObjectTable& t, const TagIn& tag);
bool parseGroup(void* obj, const ObjectTable& t, VelmorObject* group, std::vector<VTag*>* msgTags);
json_t* jsonOf(const void* obj, const ObjectTable& t);
bool parseJson(void* obj, const ObjectTable& t, json_t* array);
bool sameKey(const void* a, const void* b, const ObjectTable& t);
bool keyLess(const void* a, const void* b, const ObjectTable& t);

// ---- the direct message path (fieldcodec.cpp) ----

// Plans a built table's steps: code maps, the encoder's steps, the reader's
// steps by tag number.
void planDirectPath(ObjectTable& t);

// The table of obj's exact class, or null: a class of the program's own,
// derived from one of ours, goes through its virtual operations instead.
const ObjectTable* tableOf(const cObject& obj);
// Appends obj's tags to msg in encoded form, byte for byte what getTags()
// would add, without making tag objects. False (nothing added) when obj's
// class has no table, or one with a row whose value needs cTagList's
// conversions to become its tag (none of ours): the caller then adds
// getTags()'s tags.
bool encodeObject(const cObject& obj, VMsg& msg);
// Reads the objects of n bytes of encoded tags (from the first object code
// on) in one walk: make(code) gives the object each object code opens (null
// for none), filled from its group's tags and then the message-level ones,
// as parse(group, msgTags) would, and handed to take(obj, to).
void decodeObjects(const unsigned char* p, std::size_t n, const unsigned char* msgTags,
                   std::size_t msgTagBytes, cObject* (*make)(unsigned char code),
                   void (*take)(cObject* obj, void* to), void* to);

}  // namespace wqx

// A table's log category, looked up once: log4cpp's own lookup takes a
// global lock.
#define WQX_TABLE_LOG(name)                                                              \
    []() -> log4cpp::Category& {                                                         \
        static log4cpp::Category* const category = cVlog::getLog(name);                  \
        return *category;                                                                \
    }

// In a class's default constructor: builds the class's table, the first
// time, from its rows (WQX_ROWS_<class>, made from objects.fields) and then
// the builder calls given as hooks, which attach the class's hooks to rows
// they pick with row(tag); then gives the object its fields' defaults. The
// rows and hooks use the engine's names (TagIn, the code tables) without
// wqx::, as the engine's own code does.
#define WQX_CONSTRUCT_WITH(Class, ...)                                                   \
    using namespace wqx;                                                                 \
    static const ObjectTable* const built = table = WQX_ROWS_##Class __VA_ARGS__.build(); \
    constructFields(this, *built)
#define WQX_CONSTRUCT(Class) WQX_CONSTRUCT_WITH(Class, )

// What a table-driven class defines the same way as every other: its table
// pointer, set by its default constructor, and the operations, all handed
// to the engine.
#define WQX_TABLE_OBJECT(Class)                                                          \
    namespace {                                                                          \
    const wqx::ObjectTable* table;                                                       \
    }                                                                                    \
    Class::Class(Class* source) : Class() {                                              \
        if (source) wqx::copyObject(this, source, *table);                               \
    }                                                                                    \
    Class::~Class() { wqx::freeFields(this, *table); }                                   \
    cTagList* Class::getTags() { return wqx::tagsOf(this, *table); }                     \
    bool Class::parse(VelmorObject* group, std::vector<VTag*>* msgTags) {                \
        return wqx::parseGroup(this, *table, group, msgTags);                            \
    }                                                                                    \
    json_t* Class::getJSONObj() { return wqx::jsonOf(this, *table); }                    \
    bool Class::parse(json_t* array) { return wqx::parseJson(this, *table, array); }     \
    const char* Class::printKey() { return table->printKey; }                            \
    cObject* Class::clone() { return new Class(this); }

// The same, with populate_tags and the identity from the table's keys,
// against objects of the same class only.
#define WQX_TABLE_CLASS(Class)                                                           \
    WQX_TABLE_OBJECT(Class)                                                              \
    void Class::populate_tags(VTag* tag) { wqx::populate(this, *table, wqx::TagIn(tag)); } \
    bool Class::compIndex(cObject* other) {                                              \
        const Class* o = dynamic_cast<const Class*>(other);                              \
        return o && wqx::sameKey(this, o, *table);                                       \
    }                                                                                    \
    bool Class::operator<(cObject& other) {                                              \
        const Class* o = dynamic_cast<const Class*>(&other);                             \
        return o && wqx::keyLess(this, o, *table);                                       \
    }

#endif
