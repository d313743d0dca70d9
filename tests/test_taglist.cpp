// cTagList: the conversion of every add overload to the dictionary's type,
// every getter from every tag type, and the dictionary itself.
//
// Byte-level rows ("memory order") assume a little-endian host, which every
// target we build for (x86-64, armhf) is.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <set>
#include <string>

#include "taglist.h"
#include "wiretest.h"

using namespace wiretest;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Tag numbers standing for each dictionary type: not in the dictionary,
// no value (a wire object code), text, 32-bit, 8-bit, float.
const int kColumns[] = {200, 5, 9, 8, 6, 49};
const int kColumnCount = sizeof kColumns / sizeof kColumns[0];

struct AddRow {
    const char* name;
    std::function<void(cTagList&, int)> add;
    const char* expect[kColumnCount];  // describe() of the tag added
};

unsigned char gBytes[] = {0x78, 0x56, 0x34, 0x12};
unsigned char gTextBytes[] = {'A', 'B', 0, 'C', 'D'};
unsigned char gShort[] = {'A', 'B'};

const AddRow kAddRows[] = {
    {"add(int)", [](cTagList& l, int t) { l.add(t); },
     {"C8 none", "05 none", "09 text \"\"", "08 u32 0xFFFFFFFF", "06 u8 0xFF", "31 float 0x7FC00000"}},
    {"text 300", [](cTagList& l, int t) { l.add(t, "300"); },
     {"C8 none", "05 none", "09 text \"300\"", "08 u32 0x0000012C", "06 u8 0x2C", "31 float 0x43960000"}},
    {"text -1", [](cTagList& l, int t) { l.add(t, "-1"); },
     {"C8 none", "05 none", "09 text \"-1\"", "08 u32 0xFFFFFFFF", "06 u8 0xFF", "31 float 0xBF800000"}},
    {"text 2.5x", [](cTagList& l, int t) { l.add(t, "2.5x"); },
     {"C8 none", "05 none", "09 text \"2.5x\"", "08 u32 0x00000002", "06 u8 0x02", "31 float 0x40200000"}},
    {"null text", [](cTagList& l, int t) { l.add(t, static_cast<const char*>(nullptr)); },
     {"C8 none", "05 none", "09 text \"\"", "08 u32 0x00000000", "06 u8 0x00", "31 float 0x00000000"}},
    {"unsigned 5", [](cTagList& l, int t) { l.add(t, 5u); },
     {"C8 none", "05 none", "09 text \"5\"", "08 u32 0x00000005", "06 u8 0x05", "31 float 0x40A00000"}},
    {"unsigned FFFFFFFF", [](cTagList& l, int t) { l.add(t, 0xFFFFFFFFu); },
     {"C8 none", "05 none", "09 text \"-1\"", "08 u32 0xFFFFFFFF", "06 u8 0xFF", "31 float 0x4F800000"}},
    {"unsigned 1234", [](cTagList& l, int t) { l.add(t, 0x1234u); },
     {"C8 none", "05 none", "09 text \"4660\"", "08 u32 0x00001234", "06 u8 0x34", "31 float 0x4591A000"}},
    {"short FFFF", [](cTagList& l, int t) { l.add(t, static_cast<unsigned short>(0xFFFF)); },
     {"C8 none", "05 none", "09 text \"65535\"", "08 u32 0x0000FFFF", "06 u8 0xFF", "31 float 0x477FFF00"}},
    {"char 200", [](cTagList& l, int t) { l.add(t, static_cast<unsigned char>(200)); },
     {"C8 none", "05 none", "09 text \"200\"", "08 u32 0x000000C8", "06 u8 0xC8", "31 float 0x43480000"}},
    {"data 78563412", [](cTagList& l, int t) { l.add(t, gBytes, 4); },
     {"C8 none", "05 none", "09 text \"xV4\"", "08 u32 0x12345678", "06 u8 0x78", "31 float 0x12345678"}},
    {"data AB.CD", [](cTagList& l, int t) { l.add(t, gTextBytes, 5); },
     {"C8 none", "05 none", "09 text \"AB\"", "08 u32 0x43004241", "06 u8 0x41", "31 float 0x43004241"}},
    // Fewer bytes than the type needs: a tag without value, never a read
    // past the data.
    {"data AB", [](cTagList& l, int t) { l.add(t, gShort, 2); },
     {"C8 none", "05 none", "09 text \"A\"", "08 none", "06 u8 0x41", "31 none"}},
    {"no data", [](cTagList& l, int t) { l.add(t, nullptr, 0); },
     {"C8 none", "05 none", "09 text \"\"", "08 none", "06 none", "31 none"}},
    {"float 3.75", [](cTagList& l, int t) { l.add(t, 3.75f); },
     {"C8 none", "05 none", "09 text \"3.750000\"", "08 u32 0x00000003", "06 u8 0x03", "31 float 0x40700000"}},
    {"float -2.5", [](cTagList& l, int t) { l.add(t, -2.5f); },
     {"C8 none", "05 none", "09 text \"-2.500000\"", "08 u32 0x00000000", "06 u8 0x00", "31 float 0xC0200000"}},
    {"float 300.7", [](cTagList& l, int t) { l.add(t, 300.7f); },
     {"C8 none", "05 none", "09 text \"300.700012\"", "08 u32 0x0000012C", "06 u8 0x2C", "31 float 0x4396599A"}},
    {"float 1e10", [](cTagList& l, int t) { l.add(t, 1e10f); },
     {"C8 none", "05 none", "09 text \"10000000000.000000\"", "08 u32 0xFFFFFFFF", "06 u8 0xFF", "31 float 0x501502F9"}},
    {"float 1e30 cut to 31 characters", [](cTagList& l, int t) { l.add(t, 1e30f); },
     {"C8 none", "05 none", "09 text \"1000000015047466219876688855040\"", "08 u32 0xFFFFFFFF", "06 u8 0xFF", "31 float 0x7149F2CA"}},
    {"float NaN", [](cTagList& l, int t) { l.add(t, kNaN); },
     {"C8 none", "05 none", "09 text \"nan\"", "08 u32 0x00000000", "06 u8 0x00", "31 float 0x7FC00000"}},
};

TEST(TagListAdd, ConvertsToTheDictionaryType) {
    for (const AddRow& row : kAddRows) {
        for (int c = 0; c < kColumnCount; ++c) {
            SCOPED_TRACE(std::string(row.name) + " under tag " + std::to_string(kColumns[c]));
            cTagList list;
            row.add(list, kColumns[c]);
            ASSERT_EQ(list.size(), 1u);
            std::unique_ptr<VTag> t(list.get());
            EXPECT_EQ(describe(t.get()), row.expect[c]);
        }
    }
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

// A tag whose value type code no tag class has.
struct OddTag : VTag {
    OddTag() : VTag(200, 9, 0) {}
};

struct GetRow {
    const char* name;
    std::function<VTag*()> make;
    const char* text;  // getString into 32 bytes; null: buf unchanged
    unsigned int u32;
    unsigned short u16;
    unsigned char u8;
    const char* bytes;  // getBytes into 16 bytes, as hex; null: buf and len unchanged
    unsigned int floatBits;
};

VTag* bytesTag(std::initializer_list<unsigned char> b) {
    std::vector<unsigned char> v(b);
    return new VTagBytes(200, v.data(), static_cast<unsigned short>(v.size()));
}

const GetRow kGetRows[] = {
    {"none", [] { return new VTag(5); }, "", 0xFFFFFFFF, 0xFFFF, 0xFF, "", 0x7FC00000},
    {"text 300", [] { return VTagFactory::createVTag(9, "300"); }, "300", 300, 300, 44, "33303000", 0x43960000},
    {"text -1", [] { return VTagFactory::createVTag(9, "-1"); }, "-1", 0xFFFFFFFF, 0xFFFF, 0xFF, "2D3100", 0xBF800000},
    {"text 3.75", [] { return VTagFactory::createVTag(9, "3.75"); }, "3.75", 3, 3, 3, "332E373500", 0x40700000},
    {"text abc", [] { return VTagFactory::createVTag(9, "abc"); }, "abc", 0, 0, 0, "61626300", 0x00000000},
    {"u32", [] { return VTagFactory::createVTag(8, 0x12345678u); }, "305419896", 0x12345678, 0x5678, 0x78, "78563412", 0x4D91A2B4},
    {"u32 FFFFFFFF", [] { return VTagFactory::createVTag(8, 0xFFFFFFFFu); }, "-1", 0xFFFFFFFF, 0xFFFF, 0xFF, "FFFFFFFF", 0x4F800000},
    {"u32 under a float number", [] { return VTagFactory::createVTag(49, 0x40700000u); }, "1081081856", 0x40700000, 0x0000, 0x00, "00007040", 0x40700000},
    {"u16", [] { return VTagFactory::createVTag(18, static_cast<unsigned short>(0x1234)); }, "4660", 0x1234, 0x1234, 0x34, "3412", 0x4591A000},
    {"u8", [] { return VTagFactory::createVTag(6, static_cast<unsigned char>(0xAB)); }, "171", 0xAB, 0xAB, 0xAB, "AB", 0x432B0000},
    {"bytes 0102030405", [] { return bytesTag({1, 2, 3, 4, 5}); }, "\x01\x02\x03\x04\x05", 0x04030201, 0x0201, 0x01, "0102030405", 0x04030201},
    {"bytes AB", [] { return bytesTag({'A', 'B'}); }, "AB", 0xFFFF4241, 0x4241, 0x41, "4142", 0x7FC04241},
    {"no bytes", [] { return bytesTag({}); }, "", 0xFFFFFFFF, 0xFFFF, 0xFF, "", 0x7FC00000},
    {"float 3.75", [] { return VTagFactory::createVTag(49, 3.75f, false); }, "3.750000", 3, 3, 3, "00007040", 0x40700000},
    {"float -2.5", [] { return VTagFactory::createVTag(49, -2.5f, false); }, "-2.500000", 0, 0, 0, "000020C0", 0xC0200000},
    {"float 70000.5", [] { return VTagFactory::createVTag(49, 70000.5f, false); }, "70000.500000", 70000, 0x1170, 0x70, "40B88847", 0x4788B840},
    {"float 1e10", [] { return VTagFactory::createVTag(49, 1e10f, false); }, "10000000000.000000", 0xFFFFFFFF, 0xFFFF, 0xFF, "F9021550", 0x501502F9},
    {"float NaN", [] { return VTagFactory::createVTag(49, kNaN, false); }, "nan", 0, 0, 0, "0000C07F", 0x7FC00000},
    {"unknown type", [] { return new OddTag; }, nullptr, 0xFFFFFFFF, 0xFFFF, 0xFF, nullptr, 0x7FC00000},
};

TEST(TagListGet, ConvertsFromTheTagsOwnType) {
    for (const GetRow& row : kGetRows) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<VTag> tag(row.make());

        char text[32];
        std::memset(text, '#', sizeof text);
        EXPECT_EQ(cTagList::getString(tag.get(), text, sizeof text), text);
        if (row.text)
            EXPECT_STREQ(text, row.text);
        else
            EXPECT_EQ(std::string(text, sizeof text), std::string(sizeof text, '#'));

        EXPECT_EQ(cTagList::getUInt32(tag.get()), row.u32);
        EXPECT_EQ(cTagList::getUInt16(tag.get()), row.u16);
        EXPECT_EQ(cTagList::getUInt8(tag.get()), row.u8);

        unsigned char bytes[16];
        std::memset(bytes, 0xEE, sizeof bytes);
        int len = sizeof bytes;
        EXPECT_EQ(cTagList::getBytes(tag.get(), bytes, len), bytes);
        if (row.bytes) {
            EXPECT_EQ(toHex(bytes, static_cast<std::size_t>(len)), row.bytes);
        } else {
            EXPECT_EQ(len, 16);
            EXPECT_EQ(toHex(bytes, 16), std::string(32, 'E'));
        }

        EXPECT_EQ(floatBits(cTagList::getFloat(tag.get())), row.floatBits);
    }
}

// A 32-bit tag carries a float only where the dictionary says so.
TEST(TagListGet, FloatOfA32BitTagFollowsTheDictionary) {
    const unsigned int bits = 0x3FC00000;  // 1.5
    VTagUInt32 asFloat(49, bits), asNumber(8, bits);
    EXPECT_EQ(cTagList::getFloat(&asFloat), 1.5f);
    EXPECT_EQ(cTagList::getFloat(&asNumber), static_cast<float>(bits));
}

struct StringCase {
    const char* name;
    std::function<VTag*()> make;
    int size;
    const char* buf;  // the whole buffer afterwards, '#' where untouched
    int bufLen;
};

TEST(TagListGet, GetStringStaysInsideItsBuffer) {
    const StringCase cases[] = {
        {"bytes filling buf", [] { return bytesTag({'A', 'B', 'C', 'D'}); }, 4, "ABC\0####", 8},
        {"bytes one short", [] { return bytesTag({'A', 'B', 'C', 'D'}); }, 5, "ABCD\0###", 8},
        {"bytes with room", [] { return bytesTag({'A', 'B', 'C', 'D'}); }, 7, "ABCD\0###", 8},
        {"text cut", [] { return VTagFactory::createVTag(9, "ABCDEF"); }, 4, "ABC\0####", 8},
        {"number cut", [] { return VTagFactory::createVTag(8, 305419896u); }, 4, "305\0####", 8},
        {"none zero-filled", [] { return new VTag(5); }, 6, "\0\0\0\0\0\0##", 8},
        {"size 1", [] { return VTagFactory::createVTag(9, "ABC"); }, 1, "\0#######", 8},
    };
    for (const StringCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<VTag> tag(c.make());
        char buf[8];
        std::memset(buf, '#', sizeof buf);
        cTagList::getString(tag.get(), buf, c.size);
        EXPECT_EQ(std::string(buf, sizeof buf), std::string(c.buf, c.bufLen));
    }
}

TEST(TagListGet, GetBytesCopiesAtMostTheRoomGiven) {
    std::unique_ptr<VTag> text(VTagFactory::createVTag(9, "ABCDEF"));
    std::unique_ptr<VTag> bytes(bytesTag({1, 2, 3, 4, 5}));
    struct Case {
        VTag* tag;
        int room;
        const char* hex;
    };
    const Case cases[] = {
        {text.get(), 3, "414243"},           // no room for the terminator
        {text.get(), 0, ""},
        {bytes.get(), 2, "0102"},
        {bytes.get(), 0x10002, "0102"},      // only the low 16 bits are room
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.room);
        unsigned char buf[8];
        std::memset(buf, 0xEE, sizeof buf);
        int len = c.room;
        cTagList::getBytes(c.tag, buf, len);
        EXPECT_EQ(toHex(buf, static_cast<std::size_t>(len)), c.hex);
        EXPECT_EQ(buf[len], 0xEE);
    }
}

TEST(TagListGet, NullTagGivesTheSentinels) {
    char text[4] = "ab";
    EXPECT_STREQ(cTagList::getString(nullptr, text, sizeof text), "ab");
    EXPECT_EQ(cTagList::getUInt32(nullptr), 0xFFFFFFFFu);
    EXPECT_EQ(cTagList::getUInt16(nullptr), 0xFFFF);
    EXPECT_EQ(cTagList::getUInt8(nullptr), 0xFF);
    EXPECT_EQ(floatBits(cTagList::getFloat(nullptr)), 0x7FC00000u);
}

// ---- the list ----

TEST(TagList, HandsTagsOutInOrderAndOwnsTheRest) {
    cTagList list;
    EXPECT_EQ(list.get(), nullptr);
    list.add(static_cast<VTag*>(nullptr));
    EXPECT_EQ(list.size(), 0u);
    VTag* kept = nullptr;
    {
        cTagList l;
        l.add(8, 1u);
        l.add(9, "two");
        l.add(6, static_cast<unsigned char>(3));
        kept = l.get();
        EXPECT_EQ(describe(kept), "08 u32 0x00000001");
        EXPECT_EQ(l.size(), 2u);
    }  // the list deletes the two it still holds
    EXPECT_EQ(describe(kept), "08 u32 0x00000001");
    delete kept;
}

// ---- the dictionary ----

// Every tag number the object classes use, by the type it travels as.
struct DictGroup {
    unsigned int type;
    std::vector<int> numbers;
};

const DictGroup kDictGroups[] = {
    {VTAG_NONE, {5, 15, 16, 23, 29, 36, 48, 63, 65, 72, 73, 77, 171, 175, 66}},
    {VTAG_UINT32, {8, 11, 12, 13, 14, 18, 25, 33, 34, 37, 39, 44, 45, 46, 47, 57, 58, 60, 64, 67,
                   69, 70, 71, 174, 178, 179, 181}},
    {VTAG_UINT8, {6, 7, 10, 17, 19, 20, 22, 24, 27, 28, 35, 38, 40, 41, 42, 43, 76, 88, 182}},
    {VTAG_STRING, {9, 21, 26, 30, 31, 32, 59, 74, 83, 172, 173, 176, 177, 180}},
    {VTAG_FLOAT, {49, 50, 51, 52, 53, 54, 55, 56, 75, 79, 80, 81, 82, 84, 85, 86}},
};
const std::set<int> kObjectCodes = {5, 15, 16, 23, 29, 36, 48, 63, 65, 72, 73, 77, 171, 175};

TEST(TagDictionary, TypesEveryNumberInUse) {
    const VelmorDictDef* dict = WQX::DictDef;
    std::set<int> listed;
    for (const DictGroup& g : kDictGroups)
        for (int n : g.numbers) {
            SCOPED_TRACE(n);
            listed.insert(n);
            EXPECT_EQ(cTagList::lookup_tag_type(n), static_cast<int>(g.type));
        }
    EXPECT_EQ(static_cast<std::size_t>(dict->getNumDefs()), listed.size());
    for (int n = 0; n < 256; ++n)
        EXPECT_EQ(dict->isObjectCode(static_cast<unsigned char>(n)), kObjectCodes.count(n) == 1) << n;
}

TEST(TagDictionary, LookupAgreesWithAWalkOfTheEntries) {
    const VelmorDictDef* dict = WQX::DictDef;
    for (int n = -1; n <= 256; ++n) {
        int walked = 0;
        for (unsigned i = 0; i < dict->getNumDefs(); ++i)
            if (dict->getDefs()[i].tag == n) {
                walked = static_cast<int>(dict->getDefs()[i].type);
                break;
            }
        EXPECT_EQ(cTagList::lookup_tag_type(n), walked) << n;
    }
}

}  // namespace
