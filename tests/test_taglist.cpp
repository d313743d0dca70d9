// cTagList: the conversion of every add overload to the dictionary's type,
// every getter from every tag type, and the dictionary itself. The tables
// are in tests/vectors/taglist.txt.
//
// Bytes in memory order assume a little-endian host, which every target we
// build for (x86-64, armhf) is.
#include <gtest/gtest.h>
#include <jansson.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "taglist.h"
#include "wiretest.h"

using namespace wiretest;

namespace {

// The tag numbers of the add table's columns: not in the dictionary, no
// value (a wire object code), text, 32-bit, 8-bit, float.
const int kColumns[] = {200, 5, 9, 8, 6, 49};

// Adds the value a row names ("u32 5", "text \"300\"", ...) under tag.
void addValue(cTagList& list, int tag, const std::string& value) {
    std::istringstream in(value);
    std::string kind, arg;
    in >> kind;
    std::getline(in >> std::ws, arg);
    Bytes data = fromHex(arg);
    if (kind == "int") list.add(tag);
    else if (kind == "text") list.add(tag, arg.substr(1, arg.size() - 2).c_str());
    else if (kind == "null") list.add(tag, static_cast<const char*>(nullptr));
    else if (kind == "u32") list.add(tag, static_cast<unsigned int>(std::stoul(arg)));
    else if (kind == "u16") list.add(tag, static_cast<unsigned short>(std::stoul(arg)));
    else if (kind == "u8") list.add(tag, static_cast<unsigned char>(std::stoul(arg)));
    else if (kind == "data") list.add(tag, data.empty() ? nullptr : data.data(), static_cast<int>(data.size()));
    else if (kind == "float") list.add(tag, std::strtof(arg.c_str(), nullptr));
    else ADD_FAILURE() << "unknown value " << value;
}

TEST(TagListAdd, ConvertsToTheDictionaryType) {
    int rows = 0;
    for (const auto& row : dataRows("taglist.txt")) {
        if (row[0] != "add") continue;
        ASSERT_EQ(row.size(), 8u);
        ++rows;
        for (int c = 0; c < 6; ++c) {
            SCOPED_TRACE(row[1] + " under tag " + std::to_string(kColumns[c]));
            cTagList list;
            addValue(list, kColumns[c], row[1]);
            ASSERT_EQ(list.size(), 1u);
            std::unique_ptr<VTag> t(list.get());
            EXPECT_EQ(describe(t.get()), row[2 + c]);
        }
    }
    EXPECT_GT(rows, 15);
}

TEST(TagListAdd, OnlyTheLowEightBitsOfTheNumberTravel) {
    cTagList list;
    list.add(261, 7u);  // 261 is not in the dictionary, though 5 is
    list.add(-1, "x");
    std::unique_ptr<VTag> a(list.get()), b(list.get());
    EXPECT_EQ(describe(a.get()), "05 none");
    EXPECT_EQ(describe(b.get()), "FF none");
}

// ---- getters ----

// The tag of one wire form ("08 02 0004 12345678"), read as a datagram.
VTag* tagOfWire(const std::string& hex) {
    const Bytes tag = fromHex(hex);
    Bytes d = fromHex("0000 | 02 01 01 0000 0001 0001");
    d.insert(d.end(), tag.begin(), tag.end());
    d[1] = static_cast<unsigned char>(d.size() - 2);
    std::unique_ptr<VMsg> msg(parseBytes(d));
    if (!msg || msg->getTagCount() != 1) return nullptr;
    return msg->getTags().front()->clone();
}

std::string hexWord(unsigned int v, int digits) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%0*X", digits, v);
    return b;
}

// What every getter makes of tag, in the table's notation; "unchanged"
// where a getter leaves its buffer alone.
std::vector<std::string> gettersOf(VTag* tag) {
    char text[32];
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(cTagList::getString(tag, text, sizeof text), text);
    std::string shown = "unchanged";
    if (std::memchr(text, '\0', sizeof text)) {
        json_t* j = json_string(text);
        char* dumped = j ? json_dumps(j, JSON_ENCODE_ANY) : nullptr;
        shown = dumped ? dumped : "not UTF-8";
        std::free(dumped);
        json_decref(j);
    }
    unsigned char bytes[16];
    std::memset(bytes, 0xEE, sizeof bytes);
    int len = sizeof bytes;
    EXPECT_EQ(cTagList::getBytes(tag, bytes, len), bytes);
    const bool bytesKept = len == 16 && toHex(bytes, 16) == std::string(32, 'E');
    return {shown, hexWord(cTagList::getUInt32(tag), 8), hexWord(cTagList::getUInt16(tag), 4),
            hexWord(cTagList::getUInt8(tag), 2), bytesKept ? "unchanged" : toHex(bytes, static_cast<std::size_t>(len)),
            hexWord(floatBits(cTagList::getFloat(tag)), 8)};
}

// A table's number in the notation gettersOf shows it.
std::string normal(const std::string& cell, int digits) {
    return hexWord(static_cast<unsigned int>(std::stoul(cell, nullptr, 0)), digits);
}

TEST(TagListGet, ConvertsFromTheTagsOwnType) {
    int rows = 0;
    for (const auto& row : dataRows("taglist.txt")) {
        if (row[0] != "get") continue;
        ASSERT_EQ(row.size(), 8u);
        SCOPED_TRACE(row[1]);
        ++rows;
        std::unique_ptr<VTag> tag(tagOfWire(row[1]));
        ASSERT_TRUE(tag);
        const std::vector<std::string> want = {row[2], normal(row[3], 8), normal(row[4], 4),
                                               normal(row[5], 2), canon(row[6]), normal(row[7], 8)};
        EXPECT_EQ(gettersOf(tag.get()), want);
    }
    EXPECT_GT(rows, 15);
}

// A tag of a value type no tag class has, and no tag at all, give the
// sentinels and leave the buffers alone.
TEST(TagListGet, UnknownTypeAndNullGiveTheSentinels) {
    struct OddTag : VTag {
        OddTag() : VTag(200, 9, 0) {}
    } odd;
    const std::vector<std::string> sentinels = {"unchanged",  "0xFFFFFFFF", "0xFFFF",
                                                "0xFF",       "unchanged",  "0x7FC00000"};
    EXPECT_EQ(gettersOf(&odd), sentinels);
    EXPECT_EQ(gettersOf(nullptr), sentinels);
}

// getString and getBytes given a room smaller than the value: nothing is
// written past it.
TEST(TagListGet, CopiesStayInsideTheirRoom) {
    const struct {
        const char* wire;
        int room;
        const char* text;  // the 8-byte buffer afterwards, '#' where untouched
        const char* bytes;  // what getBytes copied, as hex
    } cases[] = {
        {"C8 05 0004 41424344", 4, "ABC\0####", "41424344"},
        {"C8 05 0004 41424344", 5, "ABCD\0###", "41424344"},
        {"09 01 0006 414243444546", 4, "ABC\0####", "41424344"},  // no room for the terminator
        {"08 02 0004 12345678", 4, "305\0####", "78563412"},
        {"05 00 0000", 6, "\0\0\0\0\0\0##", ""},
        {"09 01 0003 414243", 1, "\0#######", "41"},
        {"09 01 0003 414243", 0, "########", ""},
        {"C8 05 0005 0102030405", 0x10002, "########", "0102"},  // only the low 16 bits are room
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.wire) + " into " + std::to_string(c.room));
        std::unique_ptr<VTag> tag(tagOfWire(c.wire));
        char text[8];
        std::memset(text, '#', sizeof text);
        if (c.room < 8) cTagList::getString(tag.get(), text, c.room);
        EXPECT_EQ(std::string(text, sizeof text), std::string(c.text, sizeof text));
        unsigned char bytes[8];
        std::memset(bytes, 0xEE, sizeof bytes);
        int len = c.room;
        cTagList::getBytes(tag.get(), bytes, len);
        EXPECT_EQ(toHex(bytes, static_cast<std::size_t>(len)), c.bytes);
        EXPECT_EQ(bytes[len], 0xEE);
    }
}

// ---- the dictionary ----

TEST(TagDictionary, TypesEveryNumberInUse) {
    const std::map<std::string, int> types = {
        {"none", VTAG_NONE}, {"u32", VTAG_UINT32}, {"u8", VTAG_UINT8}, {"text", VTAG_STRING}, {"float", VTAG_FLOAT}};
    const VelmorDictDef* dict = WQX::DictDef;
    std::set<int> listed, codes;
    for (const auto& row : dataRows("taglist.txt")) {
        if (row[0] != "type" && row[0] != "codes") continue;
        std::istringstream numbers(row.back());
        for (int n; numbers >> n;) {
            SCOPED_TRACE(n);
            if (row[0] == "codes") {
                codes.insert(n);
                continue;
            }
            listed.insert(n);
            EXPECT_EQ(cTagList::lookup_tag_type(n), types.at(row[1]));
        }
    }
    EXPECT_EQ(static_cast<std::size_t>(dict->getNumDefs()), listed.size());
    for (int n = 0; n < 256; ++n)
        EXPECT_EQ(dict->isObjectCode(static_cast<unsigned char>(n)), codes.count(n) == 1) << n;
}

}  // namespace
