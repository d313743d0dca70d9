#include <gtest/gtest.h>

#include <string>

#include "access.h"
#include "device.h"
#include "logcapture.h"
#include "objecttest.h"

using namespace objecttest;

namespace {

cObjectAccess* makeAccess(unsigned int dev, unsigned int port, const char* label, const char* code) {
    cObjectAccess* a = new cObjectAccess;
    a->setDeviceSerial(dev);
    a->setPortNum(port);
    a->setLabel(label);
    a->setScanCode(code);
    return a;
}

}  // namespace

TEST(Access, TagsOut) {
    const unsigned int U = 0xFFFFFFFF;
    struct Row {
        unsigned int dev, port;
        const char* label;
        const char* code;
        Strings tags;
    } rows[] = {
        {U, U, nullptr, nullptr, {"73"}},
        {U, 0x1FF, nullptr, nullptr, {"73", "18 u32 255"}},  // only the low 8 bits
        {U, U, "", nullptr, {"73", "26 ''"}},                // empty is set, null is not
        {9, 4, "Gate", "1234", {"73", "8 u32 9", "18 u32 4", "26 'Gate'", "74 '1234'"}},
    };
    for (const Row& r : rows) {
        std::unique_ptr<cObjectAccess> a(makeAccess(r.dev, r.port, r.label, r.code));
        EXPECT_EQ(tagsOf(*a), r.tags);
    }
}

TEST(Access, TagsIn) {
    const std::string longText(300, 'x');
    struct Row {
        VTag* tag;
        unsigned int dev, port;
        std::string label, code;
    } rows[] = {
        {new VTagUInt32(8, 77u), 77, 0xFFFFFFFF, "(null)", "(null)"},
        {new VTagUInt32(18, 0x1FFu), 0xFFFFFFFF, 0x1FF, "(null)", "(null)"},
        {new VTagString(26, "Gate", 4), 0xFFFFFFFF, 0xFFFFFFFF, "Gate", "(null)"},
        {new VTagString(74, "1234", 4), 0xFFFFFFFF, 0xFFFFFFFF, "(null)", "1234"},
        // Longer than the reader's inline buffer: read whole all the same.
        {new VTagString(74, longText.c_str(), longText.size()), 0xFFFFFFFF, 0xFFFFFFFF, "(null)", longText},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(tagText(r.tag));
        cObjectAccess a;
        EXPECT_TRUE(TagGroup().add(r.tag).feed(a));
        EXPECT_EQ(a.getDeviceSerial(), r.dev);
        EXPECT_EQ(a.getPortNum(), r.port);
        EXPECT_EQ(textOf(a.getLabel()), r.label);
        EXPECT_EQ(textOf(a.getScanCode()), r.code);
    }
    cObjectAccess a;
    expectUnknownTag(a, new VTagString(9, "x", 1), "cObjectAccess", "Unknown Tag 09(9)");
    EXPECT_EQ(a.getLabel(), nullptr);
}

TEST(Access, TextSetters) {
    cObjectAccess a;
    a.setLabel("Gate");
    a.setLabel(a.getLabel());  // its own text: copied before the old one goes
    EXPECT_STREQ(a.getLabel(), "Gate");
    a.setLabel(nullptr);
    EXPECT_EQ(a.getLabel(), nullptr);
    a.setScanCode(nullptr);
    EXPECT_EQ(tagsOf(a), Strings{"73"});
}

TEST(Access, JsonOut) {
    std::unique_ptr<cObjectAccess> unset(new cObjectAccess);
    std::unique_ptr<cObjectAccess> full(makeAccess(9, 0x1FF, "Gate", "1234"));
    EXPECT_EQ(jsonOf(*unset), R"([{"TAG_DEV_ID": -1}, {"TAG_IO_PNUM": -1}, {}, {}])");
    EXPECT_EQ(jsonOf(*full),
              R"([{"TAG_DEV_ID": 9}, {"TAG_IO_PNUM": 511}, {"TAG_ADHOC_LABEL": "Gate"}, {"TAG_ACCESS_SCAN_CODE": "1234"}])");
}

TEST(Access, JsonIn) {
    const unsigned int U = 0xFFFFFFFF;
    struct Row {
        const char* json;
        bool ok;
        const char* warning;
        unsigned int dev, port;
        const char* label;
        const char* code;
    } rows[] = {
        {R"([{"TAG_DEV_ID": 9}, {"TAG_IO_PNUM": 511}, {"TAG_ADHOC_LABEL": "Gate"}, {"TAG_ACCESS_SCAN_CODE": "1234"}])",
         true, nullptr, 9, 511, "Gate", "1234"},
        // The later text replaces the earlier one.
        {R"([{"TAG_ADHOC_LABEL": "A"}, {"TAG_ADHOC_LABEL": "B"}])", true, nullptr, U, U, "B", nullptr},
        {R"(["x", {"TAG_DEV_ID": 1}])", true, "object in access parse not a JSON object ", 1, U, nullptr,
         nullptr},
        {R"("x")", false, "object in access parse not a JSON array", U, U, nullptr, nullptr},
        {R"([{"TAG_DEV_ID": "9"}])", false, "devID in access parse not a number", U, U, nullptr, nullptr},
        {R"([{"TAG_DEV_ID": 9, "TAG_IO_PNUM": "4"}])", false, "PortId in access parse not a number", 9, U,
         nullptr, nullptr},
        {R"([{"TAG_DEV_ID": 9, "TAG_ADHOC_LABEL": 5, "TAG_ACCESS_SCAN_CODE": "1"}])", false,
         "Event label in access parse not a string", 9, U, nullptr, nullptr},
        {R"([{"TAG_ADHOC_LABEL": "Gate"}, {"TAG_ACCESS_SCAN_CODE": 1234}])", false,
         "Event Value in access parse not a string", U, U, "Gate", nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.json);
        cObjectAccess a;
        expectJsonParse(a, r.json, r.ok, r.warning);
        EXPECT_EQ(a.getDeviceSerial(), r.dev);
        EXPECT_EQ(a.getPortNum(), r.port);
        EXPECT_EQ(textOf(a.getLabel()), textOf(r.label));
        EXPECT_EQ(textOf(a.getScanCode()), textOf(r.code));
    }
    LogCapture log;
    cObjectAccess a;
    EXPECT_TRUE(parseJson(a, "[]"));
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::DEBUG, "Array size in access parse array size:0 "));
}

TEST(Access, Identity) {
    std::unique_ptr<cObjectAccess> a(makeAccess(1, 2, "Gate", "1111"));
    std::unique_ptr<cObjectAccess> otherCode(makeAccess(1, 2, "Door", "2222"));
    std::unique_ptr<cObjectAccess> nextPort(makeAccess(1, 3, nullptr, nullptr));
    std::unique_ptr<cObjectAccess> nextDev(makeAccess(2, 0, nullptr, nullptr));
    cObjectDevice device;  // its serial reads as "greater"
    expectIdentity(*a, *otherCode, *nextPort, device);  // the texts take no part
    EXPECT_TRUE(*a < *nextDev);
    EXPECT_FALSE(*nextDev < *nextPort);
    EXPECT_STREQ(a->printKey(), "");
}

TEST(Access, CloneOwnsItsTexts) {
    cObjectAccess* source = makeAccess(1, 2, "Gate", "1234");
    std::unique_ptr<cObject> copy(source->clone());
    auto* c = dynamic_cast<cObjectAccess*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->getLabel(), source->getLabel());
    EXPECT_NE(c->getScanCode(), source->getScanCode());
    delete source;
    EXPECT_STREQ(c->getLabel(), "Gate");
    EXPECT_STREQ(c->getScanCode(), "1234");
    EXPECT_EQ(c->getDeviceSerial(), 1u);
    EXPECT_EQ(c->getPortNum(), 2u);
}

TEST(Access, RoundTrips) {
    const std::string longText(300, 'L');
    std::unique_ptr<cObjectAccess> full(makeAccess(0xFFFFFFFEu, 255, "Gate \"A\"", "0042"));
    std::unique_ptr<cObjectAccess> unset(new cObjectAccess);
    std::unique_ptr<cObjectAccess> longLabel(makeAccess(1, 1, longText.c_str(), nullptr));
    cObjectList list;
    list.add(full.get());
    list.add(unset.get());
    list.add(longLabel.get());
    for (Trip trip : kTrips) {
        SCOPED_TRACE(tripName(trip));
        // Both forms keep a text longer than 255 characters whole.
        expectSameObjects(*trip(list), {full.get(), unset.get(), longLabel.get()}, jsonOf);
    }
    const std::string head =
        R"([[{"objectType": "OBJ_ACCESS"}, {"objectValues": [{"TAG_DEV_ID": -2}, {"TAG_IO_PNUM": 255}, )"
        R"({"TAG_ADHOC_LABEL": "Gate \"A\""}, {"TAG_ACCESS_SCAN_CODE": "0042"}]}], )";
    EXPECT_EQ(documentOf(&list).substr(0, head.size()), head);
}
