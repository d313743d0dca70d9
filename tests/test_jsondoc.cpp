// The JSON document: the envelope of getJSON and parseJSON, with the bad
// input a reader meets in practice.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "device.h"
#include "logcapture.h"
#include "objecttest.h"
#include "stubobject.h"

namespace {

using namespace objecttest;


std::string entry(const std::string& type, const std::string& values) {
    return "[{\"objectType\": \"" + type + "\"}, {\"objectValues\": " + values + "}]";
}

std::string dev(int serial) { return entry("OBJ_DEVICE", "[{\"TAG_DEV_ID\": " + std::to_string(serial) + "}]"); }

std::string nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

// ---- writing ----

TEST(JsonWrite, EmptyListAndNullEntries) {
    cObjectList empty;
    EXPECT_EQ(documentOf(&empty), "[]");
    EXPECT_EQ(documentOf(nullptr), "[]");
    cObject::deleteJSON(nullptr);

    // A null entry has no type to name, and an entry of two empty objects
    // would stop any reader at that point: the document leaves it out.
    cObjectList one, withNulls;
    one.add(makeDevice(7));
    withNulls.add(nullptr);
    withNulls.add(makeDevice(7));
    withNulls.add(nullptr);
    EXPECT_EQ(documentOf(&withNulls), documentOf(&one));
    one.deleteObjects();
    withNulls.deleteObjects();
}

TEST(JsonWrite, UnknownTypeIsAnEntryOfTwoEmptyObjects) {
    cObjectList list;
    list.add(new StubObject(cObject::OBJ_NONE));
    list.add(new StubObject(static_cast<cObject::eObjectTypes>(99)));
    EXPECT_EQ(documentOf(&list), "[[{}, {}], [{}, {}]]");
    list.deleteObjects();
}

// Each class's name is the golden vectors' to show; a name is taken only
// as written.
TEST(JsonRead, TypeNamesAreExact) {
    for (const char* other : {"obj_device", "OBJ_DEVICE ", "", "OBJ_NONE"})
        EXPECT_EQ(cObject::getObjectTypeForJSON(other), cObject::OBJ_NONE) << other;
    EXPECT_EQ(cObject::getObjectTypeForJSON(nullptr), cObject::OBJ_NONE);
}

// ---- reading ----

struct ReadCase {
    const char* name;
    std::string text;
    const char* contents;  // what the list holds afterwards
    bool warned;           // one warning says what was wrong
};

const std::string kLabel = std::string(200000, 'L');

const ReadCase kReadCases[] = {
    {"empty document", "[]", "", false},
    {"three devices", "[" + dev(1) + ", " + dev(2) + ", " + dev(3) + "]", "1,2,3", false},
    {"not JSON", "not json", "", true},
    {"empty text", "", "", true},
    {"trailing garbage", "[] x", "", true},
    {"top level object", "{\"objectType\": \"OBJ_DEVICE\"}", "", true},
    {"top level number", "5", "", true},
    {"entry that is a number", "[" + dev(1) + ", 2, " + dev(3) + "]", "1", true},
    {"first entry a number", "[1, " + dev(3) + "]", "", true},
    {"type element a number", "[[1, {\"objectValues\": []}], " + dev(3) + "]", "3", true},
    {"empty entry", "[[], " + dev(3) + "]", "3", true},
    {"no objectType", "[" + dev(1) + ", [{}, {\"objectValues\": []}], " + dev(3) + "]", "1", true},
    {"objectType a number", "[" + dev(1) + ", [{\"objectType\": 0}, {\"objectValues\": []}], " + dev(3) + "]",
     "1", true},
    {"no values element", "[" + dev(1) + ", [{\"objectType\": \"OBJ_DEVICE\"}], " + dev(3) + "]", "1", true},
    {"values element an array", "[" + dev(1) + ", [{\"objectType\": \"OBJ_DEVICE\"}, []], " + dev(3) + "]",
     "1", true},
    {"no objectValues", "[" + dev(1) + ", [{\"objectType\": \"OBJ_DEVICE\"}, {}], " + dev(3) + "]", "1", true},
    {"objectValues an object", "[" + dev(1) + ", " + entry("OBJ_DEVICE", "{}") + ", " + dev(3) + "]", "1", true},
    {"unknown type name", "[" + dev(1) + ", " + entry("OBJ_NOPE", "[]") + ", " + dev(3) + "]", "1,3", false},
    {"type name in lower case", "[" + entry("obj_device", "[]") + ", " + dev(3) + "]", "3", false},
    {"message info", "[" + dev(1) + ", " + entry("OBJ_MSG_INFO", "[]") + ", " + dev(3) + "]", "1,3", false},
    {"very long type name", "[" + entry(kLabel, "[]") + ", " + dev(3) + "]", "3", false},
    {"value of the wrong type keeps the object",
     "[" + dev(1) + ", " + entry("OBJ_DEVICE", "[{\"TAG_DEV_ID\": \"2\"}]") + ", " + dev(3) + "]", "1,-,3", true},
    {"serial beyond 32 bits", "[" + dev(1) + ", " + entry("OBJ_DEVICE", "[{\"TAG_DEV_ID\": 4294967303}]") + "]",
     "1,7", false},
    {"serial at the 64-bit minimum",
     "[" + entry("OBJ_DEVICE", "[{\"TAG_DEV_ID\": -9223372036854775808}]") + "]", "0", false},
    {"integer beyond 64 bits", "[" + entry("OBJ_DEVICE", "[{\"TAG_DEV_ID\": 99999999999999999999}]") + "]",
     "", true},
    {"deeply nested document", nested(100000), "", true},
    {"deeply nested entry", "[" + dev(1) + ", " + nested(1500) + ", " + dev(3) + "]", "1,3", true},
    {"deeply nested values", "[" + entry("OBJ_DEVICE", "[" + nested(1500) + "]") + ", " + dev(3) + "]",
     "-,3", true},
};

TEST(JsonRead, BadInputGivesWhatWasReadBeforeIt) {
    for (const ReadCase& c : kReadCases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        std::unique_ptr<cObjectList> list(cObject::parseJSON(c.text.c_str()));
        ASSERT_TRUE(list);
        EXPECT_EQ(serialsOf(*list), c.contents);
        EXPECT_EQ(log.count(), c.warned ? 1 : 0);
        list->deleteObjects();
    }
    LogCapture log;
    std::unique_ptr<cObjectList> none(cObject::parseJSON(nullptr));
    ASSERT_TRUE(none);
    EXPECT_EQ(none->numObjects(), 0);
    EXPECT_EQ(log.count(), 1);
}

}  // namespace
