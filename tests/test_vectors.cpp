// Golden vectors: for every folder of tests/vectors/ one object of one class
// with every field set, as a JSON document (object.json) and as the datagram
// it must become when sent alone as a get (type 1) with sequence 5
// (datagram.hex, one tag a line, '#' starts a comment). The bytes were worked
// out from the class's tag and code tables, not taken from the code, so a
// wrong tag number, order, width or code shows here.
//
// A folder may hold KNOWN_DIFFERENCES.txt: lines "check | what differs" for
// the checks (encode, decode, json-trip, wire-trip, clone) where the code is
// known to disagree with the tables. Such a check is reported, not failed;
// an entry whose check agrees again fails, so the list stays true.
//
// tests/vectors/quirks.txt holds single cases per class, one a line:
//   type | json or hex | input | TAG_KEY or "tag N" | expected
// json input is an objectValues array; hex input is the tags that follow the
// object code. The expected value is JSON text for a key, "vtype vlen value"
// hex for a tag, or "absent". A sixth column "known: ..." marks a case where
// the code disagrees; it is reported, not failed.
#include <gtest/gtest.h>
#include <jansson.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "object.h"
#include "objectlist.h"
#include "wiretest.h"

namespace {

namespace fs = std::filesystem;
using wiretest::Bytes;

const fs::path kVectors = WQX_VECTORS_DIR;

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::vector<std::string> splitBars(const std::string& line) {
    std::vector<std::string> out;
    std::string::size_type from = 0, bar;
    while ((bar = line.find('|', from)) != std::string::npos) {
        out.push_back(trim(line.substr(from, bar - from)));
        from = bar + 1;
    }
    out.push_back(trim(line.substr(from)));
    return out;
}

// The bytes of a .hex file: comments from '#' to the end of the line dropped.
Bytes hexFile(const std::string& text) {
    std::istringstream in(text);
    std::string line, digits;
    while (std::getline(in, line)) digits += line.substr(0, line.find('#'));
    return wiretest::fromHex(digits);
}

std::string hexOf(const Bytes& b) { return wiretest::toHex(b.data(), b.size()); }

using JsonPtr = std::unique_ptr<json_t, void (*)(json_t*)>;
JsonPtr jsonPtr(json_t* j) { return JsonPtr(j, json_decref); }

std::string dump(json_t* j) {
    if (!j) return "(no JSON)";
    char* t = json_dumps(j, JSON_ENCODE_ANY);
    std::string s = t ? t : "(null)";
    std::free(t);
    return s;
}

using ListPtr = std::unique_ptr<cObjectList, void (*)(cObjectList*)>;
ListPtr listPtr(cObjectList* l) {
    return ListPtr(l, [](cObjectList* p) {
        p->deleteObjects();
        delete p;
    });
}

// The datagram of a list sent as type 1, sequence 5; empty when refused.
Bytes datagramOfList(cObjectList& list) {
    list.setMsgType(1);
    list.setMsgSeq(5);
    std::unique_ptr<VMsg> msg(list.toMsg());
    return msg ? wiretest::datagramOf(*msg) : Bytes();
}

// A list holding only obj, which stays the caller's.
Bytes datagramOfObject(cObject* obj) {
    cObjectList list;
    list.add(obj);
    return datagramOfList(list);
}

ListPtr listFromDatagram(const Bytes& d) {
    std::unique_ptr<VMsg> msg(wiretest::parseBytes(d));
    return listPtr(msg ? cObject::parseMsg(msg.get()) : new cObjectList);
}

JsonPtr documentOf(cObjectList& list) {
    char* text = cObject::getJSON(&list);
    JsonPtr doc = jsonPtr(json_loads(text, 0, nullptr));
    cObject::deleteJSON(text);
    return doc;
}

// One tag of a datagram: number, then "vtype vlen value" as hex.
struct WireTag {
    int number;
    std::string rest;
};

// The tags of a whole datagram; stops at the first tag that does not fit.
std::vector<WireTag> tagsOfDatagram(const Bytes& d) {
    std::vector<WireTag> out;
    std::size_t at = VMsg::kDatagramHeader;  // the length field included
    while (at + 4 <= d.size()) {
        const std::size_t len = static_cast<std::size_t>(d[at + 2] << 8 | d[at + 3]);
        if (at + 4 + len > d.size()) break;
        out.push_back({d[at], wiretest::toHex(&d[at + 1], 3 + len)});
        at += 4 + len;
    }
    return out;
}

// ---- known differences ----

struct Known {
    std::map<std::string, std::string> byCheck;
};

Known readKnown(const fs::path& dir) {
    Known k;
    std::istringstream in(readFile(dir / "KNOWN_DIFFERENCES.txt"));
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        const auto cols = splitBars(line);
        std::string& text = k.byCheck[cols[0]];
        text += (text.empty() ? "" : "; ") + (cols.size() > 1 ? cols[1] : std::string());
    }
    return k;
}

// Fails a disagreement unless the folder lists it; fails a listed one that
// has gone away.
void verdict(const Known& known, const std::string& check, const std::string& diff) {
    const auto it = known.byCheck.find(check);
    if (it == known.byCheck.end()) {
        EXPECT_TRUE(diff.empty()) << check << ": " << diff;
    } else if (diff.empty()) {
        ADD_FAILURE() << check << " is listed as a known difference (" << it->second
                      << ") but now agrees: remove the entry";
    } else {
        std::cout << "[ KNOWN    ] " << check << ": " << it->second << "\n             " << diff << "\n";
    }
}

std::string diffBytes(const Bytes& got, const Bytes& want) {
    if (got == want) return "";
    return "got  " + hexOf(got) + "\n             want " + hexOf(want);
}

std::string diffJson(json_t* got, json_t* want) {
    if (got && want && json_equal(got, want)) return "";
    return "got  " + dump(got) + "\n             want " + dump(want);
}

// ---- the vectors ----

std::vector<std::string> folders() {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(kVectors))
        if (e.is_directory()) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

class Vectors : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        dir_ = kVectors / GetParam();
        text_ = readFile(dir_ / "object.json");
        doc_ = jsonPtr(json_loads(text_.c_str(), 0, nullptr));
        ASSERT_TRUE(doc_) << "object.json is not JSON";
        ASSERT_TRUE(json_is_array(doc_.get()) && json_array_size(doc_.get()) == 1)
            << "object.json must hold exactly one object";
        datagram_ = hexFile(readFile(dir_ / "datagram.hex"));
        ASSERT_GT(datagram_.size(), std::size_t{VMsg::kDatagramHeader});
        known_ = readKnown(dir_);
    }

    fs::path dir_;
    std::string text_;
    JsonPtr doc_ = jsonPtr(nullptr);
    Bytes datagram_;
    Known known_;
};

TEST_P(Vectors, DatagramIsWellFormed) {
    // The hand-made datagram itself: its length field, tag count and header.
    const std::size_t length = static_cast<std::size_t>(datagram_[0] << 8 | datagram_[1]);
    EXPECT_EQ(length + 2, datagram_.size()) << "length field";
    const std::size_t count = static_cast<std::size_t>(datagram_[9] << 8 | datagram_[10]);
    EXPECT_EQ(count, tagsOfDatagram(datagram_).size()) << "tag count";
    std::unique_ptr<VMsg> msg(wiretest::parseBytes(datagram_));
    EXPECT_TRUE(msg) << "the library refuses the datagram";
}

TEST_P(Vectors, JsonEncodesToTheDatagram) {
    ListPtr list = listPtr(cObject::parseJSON(text_.c_str()));
    ASSERT_EQ(list->numObjects(), 1);
    verdict(known_, "encode", diffBytes(datagramOfList(*list), datagram_));
}

TEST_P(Vectors, DatagramDecodesToTheJson) {
    ListPtr list = listFromDatagram(datagram_);
    ASSERT_EQ(list->numObjects(), 1);
    JsonPtr got = documentOf(*list);
    verdict(known_, "decode", diffJson(got.get(), doc_.get()));
}

TEST_P(Vectors, JsonComesBackUnchanged) {
    ListPtr list = listPtr(cObject::parseJSON(text_.c_str()));
    ASSERT_EQ(list->numObjects(), 1);
    JsonPtr got = documentOf(*list);
    verdict(known_, "json-trip", diffJson(got.get(), doc_.get()));
}

TEST_P(Vectors, DatagramComesBackUnchanged) {
    ListPtr list = listFromDatagram(datagram_);
    ASSERT_EQ(list->numObjects(), 1);
    verdict(known_, "wire-trip", diffBytes(datagramOfList(*list), datagram_));
}

TEST_P(Vectors, CloneOutlivesItsSource) {
    ListPtr list = listPtr(cObject::parseJSON(text_.c_str()));
    ASSERT_EQ(list->numObjects(), 1);
    const Bytes before = datagramOfList(*list);
    JsonPtr beforeDoc = documentOf(*list);
    std::unique_ptr<cObject> copy(list->first()->clone());
    list.reset();  // the source and its texts are gone before the copy is read
    ASSERT_TRUE(copy);
    cObjectList one;
    one.add(copy.get());
    JsonPtr got = documentOf(one);
    const std::string diff = diffBytes(datagramOfList(one), before) + diffJson(got.get(), beforeDoc.get());
    verdict(known_, "clone", diff);
}

INSTANTIATE_TEST_SUITE_P(Golden, Vectors, ::testing::ValuesIn(folders()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// ---- quirks ----

struct Quirk {
    int line;
    std::string type, form, input, field, expected, known;
};

std::vector<Quirk> quirks() {
    std::vector<Quirk> out;
    std::istringstream in(readFile(kVectors / "quirks.txt"));
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        auto c = splitBars(line);
        c.resize(6);
        out.push_back({n, c[0], c[1], c[2], c[3], c[4], c[5]});
    }
    return out;
}

// The object a row's input makes, or null when none is made.
cObject* objectOf(const Quirk& q) {
    const cObject::eObjectTypes type = cObject::getObjectTypeForJSON(q.type.c_str());
    cObject* obj = nullptr;
    if (q.form == "json") {
        const std::string doc =
            "[[{\"objectType\": \"" + q.type + "\"}, {\"objectValues\": " + q.input + "}]]";
        ListPtr list = listPtr(cObject::parseJSON(doc.c_str()));
        if (list->numObjects() == 1) obj = list->get();
    } else if (q.form == "hex") {
        Bytes tags = {cObject::getWireCode(type), 0, 0, 0};
        const Bytes more = wiretest::fromHex(q.input);
        tags.insert(tags.end(), more.begin(), more.end());
        Bytes d = {0, 0, 2, 1, 5, 0, 0, 0, 1, 0, 0};
        d.insert(d.end(), tags.begin(), tags.end());
        d[0] = static_cast<unsigned char>((d.size() - 2) >> 8);
        d[1] = static_cast<unsigned char>(d.size() - 2);
        const std::size_t count = tagsOfDatagram(d).size();
        d[9] = static_cast<unsigned char>(count >> 8);
        d[10] = static_cast<unsigned char>(count);
        ListPtr list = listFromDatagram(d);
        if (list->numObjects() == 1) obj = list->get();
    }
    return obj;
}

// What the object shows for the row's field, in the row's notation.
std::string shown(cObject* obj, const std::string& field) {
    if (field.rfind("tag ", 0) == 0) {
        const int number = std::stoi(field.substr(4));
        for (const WireTag& t : tagsOfDatagram(datagramOfObject(obj)))
            if (t.number == number) return t.rest;
        return "absent";
    }
    JsonPtr array = jsonPtr(obj->getJSONObj());
    std::string found = "absent";
    for (std::size_t i = 0; i < json_array_size(array.get()); ++i)
        if (json_t* v = json_object_get(json_array_get(array.get(), i), field.c_str())) found = dump(v);
    return found;
}

std::string normal(const std::string& field, const std::string& value) {
    if (value == "absent") return value;
    if (field.rfind("tag ", 0) == 0) return wiretest::canon(value);
    JsonPtr j = jsonPtr(json_loads(value.c_str(), JSON_DECODE_ANY, nullptr));
    return j ? dump(j.get()) : "(bad JSON: " + value + ")";
}

TEST(VectorQuirks, EveryRowHolds) {
    const std::vector<Quirk> rows = quirks();
    ASSERT_FALSE(rows.empty());
    for (const Quirk& q : rows) {
        SCOPED_TRACE("quirks.txt line " + std::to_string(q.line) + ": " + q.type + " " + q.form + " " +
                     q.input + " -> " + q.field);
        std::unique_ptr<cObject> obj(objectOf(q));
        ASSERT_TRUE(obj) << "the input makes no object";
        const std::string got = shown(obj.get(), q.field);
        const std::string want = normal(q.field, q.expected);
        if (q.known.empty()) {
            EXPECT_EQ(got, want);
        } else if (got == want) {
            ADD_FAILURE() << "marked as a known difference but now agrees: " << q.known;
        } else {
            std::cout << "[ KNOWN    ] quirks.txt line " << q.line << " (" << q.type << " " << q.field
                      << "): " << q.known << "\n             got " << got << ", want " << want << "\n";
        }
    }
}

}  // namespace
