// Golden vectors: for every folder of tests/vectors/ one object of one class
// with every field set, as a JSON document (object.json) and as the datagram
// it must become when sent alone as a get (type 1) with sequence 5
// (datagram.hex, one tag a line, a note after " ; "). The bytes were worked
// out from the class's tag and code tables, not taken from the code, so a
// wrong tag number, order, width or code shows here.
//
// Beside them, per class: tests/vectors/identity.txt names the keys of the
// fields that identify an object and what printKey gives; unread.txt the
// keys a class writes but its JSON reader passes over. Every check below
// runs for every class from that data, none is written for one class: both
// forms both ways, clones, identity and order, and the bad input a reader
// must take without harm (a value of the wrong JSON type, values that are no
// array, elements that are no object, a tag nobody knows, a text as long as
// a segment carries and one byte longer).
//
// tests/vectors/quirks.txt holds single cases per class, one a line, each
// checked on the object read and on its clone:
//   type ; json or hex ; input ; TAG_KEY, "tag N" or "#N" ; expected
// json input is an objectValues array; hex input is the tags that follow the
// object code, optionally preceded by message-level tags and a '/'. The
// expected value is JSON text for a key or for element N, "vtype vlen value"
// hex for a tag, or "absent".
#include <gtest/gtest.h>
#include <jansson.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "objecttest.h"

namespace {

namespace fs = std::filesystem;
using objecttest::jsonOf;
using objecttest::ListPtr;  // deletes its objects with it
using wiretest::Bytes;
using Strings = std::vector<std::string>;
using Type = cObject::eObjectTypes;
using ObjPtr = std::unique_ptr<cObject>;
using JsonPtr = std::unique_ptr<json_t, void (*)(json_t*)>;

JsonPtr jsonPtr(json_t* j) { return JsonPtr(j, json_decref); }
JsonPtr load(const std::string& text) { return jsonPtr(json_loads(text.c_str(), JSON_DECODE_ANY, nullptr)); }

// Any JSON value as text, in the layout objecttest::jsonOf uses; j stays.
std::string dump(json_t* j) {
    char* t = j ? json_dumps(j, JSON_ENCODE_ANY) : nullptr;
    std::string s = t ? t : "(no JSON)";
    std::free(t);
    return s;
}

// The words of column col of type's row in a per-class data file.
Strings column(const char* file, Type type, std::size_t col) {
    for (const Strings& row : wiretest::dataRows(file)) {
        if (row[0] != cObject::getJSONName(type) || col >= row.size()) continue;
        std::istringstream in(row[col]);
        return Strings(std::istream_iterator<std::string>(in), std::istream_iterator<std::string>());
    }
    return {};
}

bool has(const Strings& s, const std::string& w) { return std::find(s.begin(), s.end(), w) != s.end(); }

// ---- the two forms ----

// The whole tags of bytes from at on (a datagram's, by default); stops at
// the first that does not fit.
std::vector<Bytes> tagsOf(const Bytes& b, std::size_t at = VMsg::kDatagramHeader) {
    std::vector<Bytes> out;
    while (at + 4 <= b.size()) {
        const std::size_t end = at + 4 + static_cast<std::size_t>(b[at + 2] << 8 | b[at + 3]);
        if (end > b.size()) break;
        out.emplace_back(b.data() + at, b.data() + end);
        at = end;
    }
    return out;
}

// A get (type 1) with sequence 5 holding exactly these tags.
Bytes datagramOf(const std::vector<Bytes>& tags) {
    Bytes d = {0, 0, VMsg::kWireVersion, 1, 5, 0, 0, 0, 1, static_cast<unsigned char>(tags.size() >> 8),
               static_cast<unsigned char>(tags.size())};
    for (const Bytes& t : tags) d.insert(d.end(), t.begin(), t.end());
    d[0] = static_cast<unsigned char>((d.size() - 2) >> 8);
    d[1] = static_cast<unsigned char>(d.size() - 2);
    return d;
}

// obj sent alone as a get with sequence 5; obj stays the caller's.
std::unique_ptr<VMsg> sent(cObject* obj) {
    cObjectList one;
    one.add(obj);
    one.setMsgType(1);
    one.setMsgSeq(5);
    return std::unique_ptr<VMsg>(one.toMsg());
}

// obj's tags as tag objects (getTags), sent the same way: the list's
// writer goes straight to bytes, and both must give the same datagram.
std::string sentAsTags(cObject* obj) {
    VMsg msg(1);
    msg.setSeq(5);
    std::unique_ptr<cTagList> tags(obj->getTags());
    while (VTag* t = tags->get()) msg.addTag(t);
    return wiretest::encode(msg);
}

// The object a datagram holds, read as a receiver reads it, or through tag
// objects (the group parse). The list reader makes every class but message
// info, which is only ever sent: that one reads the group the list reader
// would have handed it.
ObjPtr readDatagram(Type type, const Bytes& d, bool asTags = false) {
    std::unique_ptr<VMsg> msg(wiretest::parseBytes(d));
    if (msg && type != cObject::OBJ_MSG_INFO && !asTags) {
        ListPtr list(cObject::parseMsg(msg.get()));
        return ObjPtr(list->numObjects() == 1 ? list->get() : nullptr);
    }
    std::unique_ptr<VelmorMessage> groups(VelmorMessage::parseVMsg(WQX::DictDef, msg.get()));
    if (!groups || groups->getObjects().size() != 1) return nullptr;
    ObjPtr obj(cObject::create(type));
    obj->parse(&groups->getObjects()[0], &groups->getMsgTags());
    return obj;
}

// A new object of type that has parsed values, and what the parse answered.
ObjPtr parsed(Type type, json_t* values, bool* ok = nullptr) {
    ObjPtr obj(cObject::create(type));
    const bool answer = obj->parse(values);
    if (ok) *ok = answer;
    return obj;
}

// The object a document entry of type with these values makes; message
// info, which the document reader passes over, parses them itself.
ObjPtr readJson(Type type, json_t* values) {
    if (type == cObject::OBJ_MSG_INFO) return parsed(type, values);
    const std::string doc = std::string("[[{\"objectType\": \"") + cObject::getJSONName(type) +
                            "\"}, {\"objectValues\": " + dump(values) + "}]]";
    ListPtr list(cObject::parseJSON(doc.c_str()));
    return ObjPtr(list->numObjects() == 1 ? list->get() : nullptr);
}

// A copy of values with key set to the JSON text value wherever it is.
JsonPtr with(json_t* values, const std::string& key, const std::string& value) {
    JsonPtr copy = jsonPtr(json_deep_copy(values));
    for (std::size_t i = 0; i < json_array_size(copy.get()); ++i)
        if (json_object_get(json_array_get(copy.get(), i), key.c_str()))
            json_object_set_new(json_array_get(copy.get(), i), key.c_str(), load(value).release());
    return copy;
}

// Every key of a field array with its element, in array order.
std::vector<std::pair<std::size_t, std::string>> keysOf(json_t* values) {
    std::vector<std::pair<std::size_t, std::string>> out;
    for (std::size_t i = 0; i < json_array_size(values); ++i) {
        json_t* element = json_array_get(values, i);
        for (void* it = json_object_iter(element); it; it = json_object_iter_next(element, it))
            out.emplace_back(i, json_object_iter_key(it));
    }
    return out;
}

json_t* valueOf(json_t* values, const std::string& key) {
    for (std::size_t i = 0; i < json_array_size(values); ++i)
        if (json_t* v = json_object_get(json_array_get(values, i), key.c_str())) return v;
    return nullptr;
}

// What obj shows for a field: the JSON text of a key's value, for "tag N"
// that tag's "vtype vlen value" hex, for "#N" the JSON text of element N;
// "absent" when there is none.
std::string shown(cObject* obj, const std::string& field) {
    if (field.rfind("tag ", 0) == 0) {
        for (const Bytes& t : tagsOf(wiretest::datagramOf(*sent(obj))))
            if (t[0] == std::stoi(field.substr(4))) return wiretest::toHex(&t[1], t.size() - 1);
        return "absent";
    }
    JsonPtr values = jsonPtr(obj->getJSONObj());
    json_t* v = field[0] == '#' ? json_array_get(values.get(), std::stoul(field.substr(1)))
                                : valueOf(values.get(), field);
    return v ? dump(v) : "absent";
}

// ---- the vectors ----

struct Vector {
    Type type = cObject::OBJ_NONE;
    JsonPtr doc = jsonPtr(nullptr);
    json_t* values = nullptr;  // the doc's objectValues
    Bytes datagram;
};

Vector loadVector(const std::string& folder) {
    Vector v;
    v.doc = jsonPtr(json_load_file((fs::path(WQX_VECTORS_DIR) / folder / "object.json").c_str(), 0, nullptr));
    const char* name = "";
    json_unpack(v.doc.get(), "[[{s:s}, {s:o}]!]", "objectType", &name, "objectValues", &v.values);
    v.type = cObject::getObjectTypeForJSON(name);
    std::string hex;
    for (const Strings& row : wiretest::dataRows(folder + "/datagram.hex")) hex += row[0];
    v.datagram = wiretest::fromHex(hex);
    return v;
}

Strings folders() {
    Strings out;
    for (const auto& e : fs::directory_iterator(WQX_VECTORS_DIR))
        if (e.is_directory()) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

class Vectors : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        v_ = loadVector(GetParam());
        ASSERT_TRUE(v_.type != cObject::OBJ_NONE && json_is_array(v_.values) &&
                    v_.datagram.size() > VMsg::kDatagramHeader)
            << "object.json must hold exactly one object of a known type, datagram.hex a datagram";
        golden_ = parsed(v_.type, v_.values);
    }

    Vector v_;
    ObjPtr golden_;
};

// Both forms both ways, the message form both straight and through tag
// objects, and of each object read a clone (of the same class:
// it sends the same object code) that is looked at only once its source and
// the source's texts are gone. The datagram is also read with a tag of a number no class uses
// first and last in the group: it is passed over, the object reads and
// sends as without it.
TEST_P(Vectors, BothFormsBothWaysAndClones) {
    const std::string json = dump(v_.values), hex = wiretest::toHex(v_.datagram.data(), v_.datagram.size());
    auto holds = [&](ObjPtr obj, const std::string& how) {
        ASSERT_TRUE(obj) << how << ": no object";
        for (int clone = 0; clone < 2; ++clone, obj.reset(obj->clone())) {
            EXPECT_EQ(jsonOf(*obj), json) << how << (clone ? ", clone" : "");
            EXPECT_EQ(wiretest::encode(*sent(obj.get())), hex) << how << (clone ? ", clone" : "");
            EXPECT_EQ(sentAsTags(obj.get()), hex) << how << (clone ? ", clone" : "") << ", tag objects";
        }
    };
    holds(readJson(v_.type, v_.values), "from JSON");
    const std::vector<Bytes> tags = tagsOf(v_.datagram);
    holds(readDatagram(v_.type, v_.datagram), "from datagram");
    holds(readDatagram(v_.type, v_.datagram, true), "from datagram's tag objects");
    for (std::size_t at : {std::size_t{1}, tags.size()}) {
        std::vector<Bytes> more = tags;
        more.insert(more.begin() + static_cast<std::ptrdiff_t>(at), wiretest::fromHex("F0 02 0004 DEADBEEF"));
        holds(readDatagram(v_.type, datagramOf(more)), "unknown tag at " + std::to_string(at));
    }
}

// Values that are no array are refused and change nothing; elements that
// are no object are passed over, wherever they are. A value of the wrong
// JSON type stops the reading there: what came before it stays, it and all
// after it are not taken, and parse says false. The document reader keeps
// that half-read object all the same. Keys the reader passes over stop
// nothing.
TEST_P(Vectors, BadJsonIsTakenWithoutHarm) {
    const Strings unread = column("unread.txt", v_.type, 1);
    const std::string fresh = jsonOf(*ObjPtr(cObject::create(v_.type))), golden = jsonOf(*golden_);
    auto kind = [](json_t* j) { return json_is_false(j) ? JSON_TRUE : json_typeof(j); };
    bool ok;
    EXPECT_FALSE(ObjPtr(cObject::create(v_.type))->parse(static_cast<json_t*>(nullptr)));
    for (const char* wrong : {"\"7\"", "7", "7.5", "true", "false", "null", "[7]", "{}"}) {
        SCOPED_TRACE(wrong);
        JsonPtr bad = load(wrong);
        if (!json_is_array(bad.get())) {
            EXPECT_EQ(jsonOf(*parsed(v_.type, bad.get(), &ok)), fresh);
            EXPECT_FALSE(ok);
        }
        for (std::size_t at = 0; at <= json_array_size(v_.values); ++at) {
            JsonPtr values = jsonPtr(json_deep_copy(v_.values));
            json_array_insert(values.get(), at, bad.get());
            EXPECT_EQ(jsonOf(*parsed(v_.type, values.get(), &ok)), golden) << "element " << at;
            EXPECT_TRUE(ok) << "element " << at;
        }
        for (const auto& [at, key] : keysOf(v_.values)) {
            if (kind(bad.get()) == kind(valueOf(v_.values, key))) continue;
            SCOPED_TRACE(key);
            // What the reading keeps: the elements before this one, or all
            // the others when the reader passes this key over.
            JsonPtr kept = jsonPtr(json_deep_copy(v_.values)), values = jsonPtr(json_deep_copy(v_.values));
            json_array_set_new(kept.get(), at, json_object());
            while (!has(unread, key) && json_array_size(kept.get()) > at) json_array_remove(kept.get(), at);
            const std::string want = jsonOf(*parsed(v_.type, kept.get()));
            json_array_set_new(values.get(), at, json_pack("{sO}", key.c_str(), bad.get()));
            ObjPtr got = parsed(v_.type, values.get(), &ok), fromDocument = readJson(v_.type, values.get());
            EXPECT_EQ(ok, has(unread, key));
            EXPECT_EQ(jsonOf(*got), want);
            ASSERT_TRUE(fromDocument);
            EXPECT_EQ(jsonOf(*fromDocument), want);
        }
    }
}

// A text as long as one tag of a segment carries crosses the wire whole,
// cut into segments and put together again; one byte longer, the message is
// refused rather than sent without it. So is a text longer than a tag's
// 16-bit length can say: its tag is cut to 0xFFFF bytes, not wrapped round
// to a short one that would fit.
TEST_P(Vectors, TextsAsLongAsASegmentCarries) {
    for (const auto& [at, key] : keysOf(v_.values)) {
        if (!json_is_string(valueOf(v_.values, key))) continue;
        for (std::size_t n : {std::size_t{VMsg::kMaxTagValue}, std::size_t{VMsg::kMaxTagValue} + 1,
                              std::size_t{0x10000}}) {
            SCOPED_TRACE(key + " of " + std::to_string(n));
            JsonPtr values = with(v_.values, key, "\"" + std::string(n, 'x') + "\"");
            ObjPtr obj = readJson(v_.type, values.get());
            ASSERT_TRUE(obj);
            EXPECT_EQ(shown(obj.get(), key), dump(valueOf(values.get(), key)));
            std::unique_ptr<VMsg> msg = sent(obj.get());
            EXPECT_EQ(msg->segmentMessage(VMsg::kMaxSegment) == 0, n > VMsg::kMaxTagValue) << "refused";
            if (n > VMsg::kMaxTagValue) continue;
            std::unique_ptr<VMsg> whole(wiretest::reassemble(wiretest::segmentDatagrams(*msg)));
            ObjPtr back = whole ? readDatagram(v_.type, wiretest::datagramOf(*whole)) : nullptr;
            ASSERT_TRUE(back) << "not put together again, or not read";
            EXPECT_EQ(jsonOf(*back), jsonOf(*obj));
        }
    }
}

// Objects that differ in one identity field are not the same object, and
// the field orders them (the first key that differs decides, unsigned);
// objects that differ in any other field are the same and neither orders
// before the other. No object is the same as one of another class or none.
TEST_P(Vectors, IdentityIsTheKeyFields) {
    const Strings keys = column("identity.txt", v_.type, 1), unread = column("unread.txt", v_.type, 1);
    const bool any = has(keys, "any");  // no row: the printKey check fails
    const char* printed = golden_->printKey();
    EXPECT_EQ(Strings{printed ? '"' + std::string(printed) + '"' : "null"}, column("identity.txt", v_.type, 2));
    cObject& a = *golden_;
    for (const auto& [at, key] : keysOf(v_.values)) {
        if (has(keys, key) || has(unread, key)) continue;
        SCOPED_TRACE("other field " + key);
        // Another value, or none where a code has no successor.
        json_t* v = valueOf(v_.values, key);
        const std::string other = json_is_integer(v) ? std::to_string(json_integer_value(v) + 1)
                                  : json_is_real(v)  ? std::to_string(json_real_value(v) + 1)
                                  : json_is_string(v) ? "\"" + std::string(json_string_value(v)) + "x\""
                                                      : json_is_true(v) ? "false" : "true";
        ObjPtr b = parsed(v_.type, with(v_.values, key, other).get());
        ASSERT_NE(jsonOf(*b), jsonOf(a)) << "the other value does not take";
        EXPECT_TRUE(a.compIndex(b.get()) && b->compIndex(&a));
        EXPECT_FALSE(a < *b || *b < a);
    }
    auto oneLess = [&](const std::string& key) {
        return std::to_string(json_integer_value(valueOf(v_.values, key)) - 1);
    };
    for (std::size_t k = 0; k < keys.size() && !any && keys[k] != "-"; ++k) {
        SCOPED_TRACE("identity field " + keys[k]);
        const std::string less = oneLess(keys[k]);
        ObjPtr lower = parsed(v_.type, with(v_.values, keys[k], less).get());
        ASSERT_EQ(shown(lower.get(), keys[k]), less);
        EXPECT_FALSE(a.compIndex(lower.get()) || lower->compIndex(&a));
        EXPECT_TRUE(*lower < a && !(a < *lower));
        // The largest unsigned value (where the field holds it), the next
        // key one less: this key decides.
        JsonPtr up = with(v_.values, keys[k], "-1");
        if (k + 1 < keys.size()) up = with(up.get(), keys[k + 1], oneLess(keys[k + 1]));
        ObjPtr higher = parsed(v_.type, up.get());
        if (shown(higher.get(), keys[k]) != "-1") continue;
        EXPECT_FALSE(a.compIndex(higher.get()) || higher->compIndex(&a));
        EXPECT_TRUE(a < *higher && !(*higher < a));
    }
    EXPECT_EQ(a.compIndex(nullptr), any);
    for (const std::string& folder : folders()) {
        Vector other = loadVector(folder);
        if (other.type == v_.type) continue;
        ObjPtr b = parsed(other.type, other.values);
        EXPECT_EQ(a.compIndex(b.get()), any) << folder;
        EXPECT_FALSE(a < *b) << folder;
    }
}

INSTANTIATE_TEST_SUITE_P(Golden, Vectors, ::testing::ValuesIn(folders()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// Every vector in one list: its datagram is the vectors' tags one after
// another and its document their entries, and through 1024-byte segments
// and through the document each object comes back in its place with its own
// fields, so a field that strays into a neighbour shows. Message info is
// sent but never read back.
TEST(WholeLibrary, EveryVectorInOneList) {
    ListPtr list(new cObjectList);
    std::vector<Bytes> tags;
    JsonPtr entries = jsonPtr(json_array()), readable = jsonPtr(json_array());
    ASSERT_EQ(folders().size(), static_cast<std::size_t>(cObject::OBJ_NONE)) << "one vector a class";
    for (const std::string& folder : folders()) {
        const Vector v = loadVector(folder);
        list->add(readJson(v.type, v.values).release());
        for (const Bytes& t : tagsOf(v.datagram)) tags.push_back(t);
        json_array_append(entries.get(), json_array_get(v.doc.get(), 0));
        if (v.type != cObject::OBJ_MSG_INFO) json_array_append(readable.get(), v.values);
    }
    list->setMsgType(1);
    list->setMsgSeq(5);
    std::unique_ptr<VMsg> msg(list->toMsg());
    EXPECT_EQ(wiretest::datagramOf(*msg), datagramOf(tags));
    EXPECT_EQ(dump(load(objecttest::documentOf(list.get())).get()), dump(entries.get()));
    const std::vector<Bytes> datagrams = wiretest::segmentDatagrams(*msg);
    EXPECT_GT(datagrams.size(), 1u);
    std::unique_ptr<VMsg> whole(wiretest::reassemble(datagrams));
    ASSERT_TRUE(whole);
    ListPtr backs[] = {ListPtr(cObject::parseMsg(whole.get())), objecttest::throughDocument(*list)};
    for (ListPtr& back : backs) {
        JsonPtr got = jsonPtr(json_array());
        for (cObject* o : objecttest::objectsOf(*back)) json_array_append_new(got.get(), o->getJSONObj());
        EXPECT_EQ(dump(got.get()), dump(readable.get()));
    }
}

// ---- quirks ----

// The object a row's input makes, or null when none is made.
ObjPtr objectOf(Type type, const std::string& form, const std::string& input) {
    JsonPtr values = load(input);
    if (form == "json") return values ? readJson(type, values.get()) : nullptr;
    // Message-level tags up to a '/' (fromHex passes over it), then the
    // group: its code and tags.
    const unsigned char code = cObject::getWireCode(type);
    const std::size_t cut = input.find('/') == std::string::npos ? 0 : input.find('/') + 1;
    const std::string hex = input.substr(0, cut) + wiretest::toHex(&code, 1) + "000000" + input.substr(cut);
    return form == "hex" ? readDatagram(type, datagramOf(tagsOf(wiretest::fromHex(hex), 0))) : nullptr;
}

TEST(VectorQuirks, EveryRowHolds) {
    const auto rows = wiretest::dataRows("quirks.txt");
    ASSERT_FALSE(rows.empty());
    for (const Strings& c : rows) {
        ASSERT_EQ(c.size(), 5u) << c[0];
        SCOPED_TRACE(c[0] + " " + c[2] + " -> " + c[3]);
        ObjPtr obj = objectOf(cObject::getObjectTypeForJSON(c[0].c_str()), c[1], c[2]);
        ASSERT_TRUE(obj) << "the input makes no object";
        // Expected JSON is written as the writer writes it; hex in any spacing.
        const bool hex = c[3].rfind("tag ", 0) == 0 && c[4] != "absent";
        // A clone holds the same, its source gone: it takes what was read
        // as it is, not worked out again.
        for (int clone = 0; clone < 2; ++clone, obj.reset(obj->clone()))
            EXPECT_EQ(shown(obj.get(), c[3]), hex ? wiretest::canon(c[4]) : c[4]) << (clone ? "clone" : "");
    }
}

}  // namespace
