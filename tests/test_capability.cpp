#include <gtest/gtest.h>

#include <string>

#include "access.h"
#include "capability.h"
#include "logcapture.h"
#include "objecttest.h"

using namespace objecttest;

namespace {

cObjectCapability* makeCap(unsigned int dev, unsigned int id, const char* label, const char* value) {
    cObjectCapability* c = new cObjectCapability;
    c->setDeviceSerial(dev);
    c->setCapId(id);
    c->setLabel(label);
    c->setValue(value);
    return c;
}

}  // namespace

TEST(Capability, TagsOut) {
    const unsigned int U = 0xFFFFFFFF;
    struct Row {
        unsigned int dev, id;
        const char* label;
        const char* value;
        Strings tags;
    } rows[] = {
        {U, U, nullptr, nullptr, {"171"}},
        {U, 0x12345678, nullptr, "on", {"171", "174 u32 305419896", "173 'on'"}},
        {3, 4, "Relay", "2", {"171", "8 u32 3", "174 u32 4", "172 'Relay'", "173 '2'"}},
    };
    for (const Row& r : rows) {
        std::unique_ptr<cObjectCapability> c(makeCap(r.dev, r.id, r.label, r.value));
        EXPECT_EQ(tagsOf(*c), r.tags);
    }
}

TEST(Capability, TagsIn) {
    const unsigned int U = 0xFFFFFFFF;
    const std::string longText(256, 'v');
    struct Row {
        VTag* tag;
        unsigned int dev, id;
        std::string label, value;
    } rows[] = {
        {new VTagUInt32(8, 3u), 3, U, "(null)", "(null)"},
        {new VTagUInt32(174, 0xFFFFFFFEu), U, 0xFFFFFFFE, "(null)", "(null)"},
        {new VTagString(172, "Relay", 5), U, U, "Relay", "(null)"},
        {new VTagString(173, "", 0), U, U, "(null)", ""},
        {new VTagString(173, longText.c_str(), longText.size()), U, U, "(null)", longText},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(tagText(r.tag));
        cObjectCapability c;
        EXPECT_TRUE(TagGroup().add(r.tag).feed(c));
        EXPECT_EQ(c.getDeviceSerial(), r.dev);
        EXPECT_EQ(c.getCapId(), r.id);
        EXPECT_EQ(textOf(c.getLabel()), r.label);
        EXPECT_EQ(textOf(c.getValue()), r.value);
    }
    cObjectCapability c;
    expectUnknownTag(c, new VTagUInt32(175, 1u), "cObjectCapability", "Unknown Tag AF(175)");
}

TEST(Capability, JsonOut) {
    std::unique_ptr<cObjectCapability> unset(new cObjectCapability);
    std::unique_ptr<cObjectCapability> full(makeCap(3, 4, "Relay", "2"));
    EXPECT_EQ(jsonOf(*unset), R"([{"TAG_DEV_ID": -1}, {"TAG_CAP_ID": -1}, {}, {}])");
    EXPECT_EQ(jsonOf(*full),
              R"([{"TAG_DEV_ID": 3}, {"TAG_CAP_ID": 4}, {"TAG_CAP_LABEL": "Relay"}, {"TAG_CAP_VALUE": "2"}])");
}

TEST(Capability, JsonIn) {
    const unsigned int U = 0xFFFFFFFF;
    struct Row {
        const char* json;
        bool ok;
        const char* warning;
        unsigned int dev, id;
        const char* label;
        const char* value;
    } rows[] = {
        {R"([{"TAG_CAP_VALUE": "2", "TAG_CAP_LABEL": "Relay", "TAG_CAP_ID": 4, "TAG_DEV_ID": 3}])", true,
         nullptr, 3, 4, "Relay", "2"},
        {R"([7, {"TAG_CAP_ID": 1}])", true, "object in capability parse not a JSON object ", U, 1, nullptr,
         nullptr},
        {R"({})", false, "object in capability parse not a JSON object", U, U, nullptr, nullptr},
        {R"([{"TAG_DEV_ID": 1.0}])", false, "devId in capability parse not a number", U, U, nullptr,
         nullptr},
        {R"([{"TAG_DEV_ID": 3}, {"TAG_CAP_ID": "4", "TAG_CAP_LABEL": "x"}])", false,
         "pNum in capability parse not a number", 3, U, nullptr, nullptr},
        {R"([{"TAG_CAP_ID": 4, "TAG_CAP_LABEL": null}])", false, "portLabel in capability parse not a string",
         U, 4, nullptr, nullptr},
        {R"([{"TAG_CAP_LABEL": "Relay", "TAG_CAP_VALUE": 2}])", false,
         "Event Value in adhoc parse not a string", U, U, "Relay", nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.json);
        cObjectCapability c;
        expectJsonParse(c, r.json, r.ok, r.warning);
        EXPECT_EQ(c.getDeviceSerial(), r.dev);
        EXPECT_EQ(c.getCapId(), r.id);
        EXPECT_EQ(textOf(c.getLabel()), textOf(r.label));
        EXPECT_EQ(textOf(c.getValue()), textOf(r.value));
    }
}

TEST(Capability, Identity) {
    std::unique_ptr<cObjectCapability> a(makeCap(1, 2, "A", "x"));
    std::unique_ptr<cObjectCapability> otherTexts(makeCap(1, 2, "B", nullptr));
    std::unique_ptr<cObjectCapability> nextId(makeCap(1, 3, nullptr, nullptr));
    std::unique_ptr<cObjectCapability> nextDev(makeCap(2, 0, nullptr, nullptr));
    cObjectAccess access;
    expectIdentity(*a, *otherTexts, *nextId, access);
    EXPECT_TRUE(*a < *nextDev);
    EXPECT_FALSE(*nextDev < *nextId);
    EXPECT_STREQ(a->printKey(), "");
}

TEST(Capability, CloneAndRoundTrips) {
    // The clone outlives its source: it owns its own texts.
    cObjectCapability* source = makeCap(0x7FFFFFFF, 0, "Relay", "caf\xC3\xA9");
    std::unique_ptr<cObject> full(source->clone());
    expectCloneOutlivesSource(source);
    std::unique_ptr<cObjectCapability> unset(new cObjectCapability);
    cObjectList list;
    list.add(full.get());
    list.add(unset.get());
    for (Trip trip : kTrips) {
        SCOPED_TRACE(tripName(trip));
        ListPtr back = trip(list);
        expectSameObjects(*back, {full.get(), unset.get()}, jsonOf);
        expectSameObjects(*back, {full.get(), unset.get()}, tagsOf);
    }
}
