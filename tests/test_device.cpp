// cObjectDevice: its tag table and JSON table in both directions, identity,
// and round trips through tags, a datagram and a JSON document.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "device.h"
#include "logcapture.h"
#include "objecttest.h"
#include "stubobject.h"

using namespace objecttest;
using D = cObjectDevice;

namespace {

// The set fields of a device, in declaration order; "" for a default one.
std::string summary(const D& d) {
    std::string s;
    auto put = [&s](const char* key, const std::string& value) {
        s += (s.empty() ? "" : " ") + std::string(key) + "=" + value;
    };
    auto u32 = [&put](const char* key, unsigned int v) {
        if (v != 0xFFFFFFFFu) put(key, std::to_string(v));
    };
    auto code = [&put](const char* key, int v) {
        if (v != 0) put(key, std::to_string(v));
    };
    u32("serial", d.getDeviceSerial());
    if (d.getDeviceLabel()) put("label", std::string("\"") + d.getDeviceLabel() + "\"");
    code("state", d.getDeviceOpState());
    code("status", d.getDeviceStatus());
    code("type", d.getDeviceType());
    u32("din", d.getDiscreteInCount());
    u32("dout", d.getDiscreteOutCount());
    u32("ain", d.getAnalogInCount());
    u32("aout", d.getAnalogOutCount());
    u32("version", d.getVersion());
    return s;
}

// Feeds into the tags from sends, without the wire object code, which the
// message reader leaves out of the group.
void feedOwnTags(D& from, D& into) {
    std::unique_ptr<cTagList> tags(from.getTags());
    delete tags->get();
    TagGroup g;
    while (VTag* t = tags->get()) g.add(t);
    EXPECT_TRUE(g.feed(into));
}

using Setter = std::function<void(D&)>;
Setter serial(unsigned int v) { return [v](D& d) { d.setDeviceSerial(v); }; }
Setter state(int v) { return [v](D& d) { d.setDeviceOpState(static_cast<cObject::eObjectOpState>(v)); }; }
Setter status(int v) { return [v](D& d) { d.setDeviceStatus(static_cast<cObject::eObjectStatus>(v)); }; }
Setter type(int v) { return [v](D& d) { d.setDeviceType(static_cast<D::eDeviceType>(v)); }; }

// ---- tags ----

struct TagRow {
    const char* name;
    Setter set;
    const char* tag;      // the tag getTags adds after the wire object code; "" for none
    const char* summary;  // what reading those tags back gives
};

const TagRow kTagRows[] = {
    {"serial", serial(7), "8 u32 7", "serial=7"},
    {"serial 0", serial(0), "8 u32 0", "serial=0"},
    {"serial not set", serial(0xFFFFFFFF), "", ""},
    {"label", [](D& d) { d.setDeviceLabel("Pump"); }, "9 'Pump'", "label=\"Pump\""},
    {"empty label", [](D& d) { d.setDeviceLabel(""); }, "9 ''", "label=\"\""},
    {"state 1", state(1), "6 u8 0", "state=1"},
    {"state 2", state(2), "6 u8 1", "state=2"},
    {"state 3", state(3), "6 u8 2", "state=3"},
    {"state 4", state(4), "", ""},
    {"status 1", status(1), "7 u8 0", "status=1"},
    {"status 2", status(2), "7 u8 1", "status=2"},
    {"status 3", status(3), "", ""},
    {"type 1", type(1), "10 u8 0", "type=1"},
    {"type 2", type(2), "10 u8 1", "type=2"},
    {"type 3", type(3), "10 u8 2", "type=3"},
    {"type 4", type(4), "10 u8 3", "type=4"},
    {"type 5", type(5), "10 u8 4", "type=5"},
    {"type 6", type(6), "10 u8 5", "type=6"},
    {"type 7", type(7), "10 u8 6", "type=7"},
    {"type 8", type(8), "10 u8 7", "type=8"},
    {"type 9", type(9), "10 u8 8", "type=9"},
    {"type 10", type(10), "10 u8 10", "type=10"},
    {"type 11", type(11), "", ""},
    {"din", [](D& d) { d.setDiscreteInCount(3); }, "11 u32 3", "din=3"},
    {"dout", [](D& d) { d.setDiscreteOutCount(4); }, "12 u32 4", "dout=4"},
    {"ain", [](D& d) { d.setAnalogInCount(5); }, "13 u32 5", "ain=5"},
    {"aout", [](D& d) { d.setAnalogOutCount(6); }, "14 u32 6", "aout=6"},
    {"version", [](D& d) { d.setVersion(0x01020304); }, "64 u32 16909060", "version=16909060"},
};

TEST(DeviceTags, EachFieldBothWays) {
    for (const TagRow& row : kTagRows) {
        SCOPED_TRACE(row.name);
        D d;
        row.set(d);
        EXPECT_EQ(tagsOf(d), (*row.tag ? Strings{"5", row.tag} : Strings{"5"}));
        D back;
        feedOwnTags(d, back);
        EXPECT_EQ(summary(back), row.summary);
    }
}

TEST(DeviceTags, AllFieldsInTableOrder) {
    D d;
    d.setDeviceSerial(1);
    d.setDeviceLabel("L");
    d.setDeviceOpState(cObject::OPSTATE_2);
    d.setDeviceStatus(cObject::STATUS_1);
    d.setDeviceType(D::DEVICE_TYPE_10);
    d.setDiscreteInCount(2);
    d.setDiscreteOutCount(3);
    d.setAnalogInCount(4);
    d.setAnalogOutCount(5);
    d.setVersion(6);
    EXPECT_EQ(tagsOf(d), (Strings{"5", "8 u32 1", "9 'L'", "6 u8 1", "7 u8 0", "10 u8 10", "11 u32 2",
                                  "12 u32 3", "13 u32 4", "14 u32 5", "64 u32 6"}));
}

struct ReadRow {
    const char* name;
    std::function<VTag*()> tag;
    std::string summary;
};

VTag* u8(unsigned char num, unsigned char v) { return VTagFactory::createVTag(num, v); }

const ReadRow kReadRows[] = {
    {"state code 3", [] { return u8(6, 3); }, ""},
    {"state code FF", [] { return u8(6, 0xFF); }, ""},
    {"state code 2", [] { return u8(6, 2); }, "state=3"},
    {"status code 5", [] { return u8(7, 5); }, ""},
    {"status code 2", [] { return u8(7, 2); }, ""},
    {"type code 9", [] { return u8(10, 9); }, ""},
    {"type code 11", [] { return u8(10, 11); }, ""},
    {"serial as text", [] { return VTagFactory::createVTag(8, "12"); }, "serial=12"},
    {"serial without value", [] { return VTagFactory::createVTag(8); }, ""},
    {"state as 32-bit", [] { return VTagFactory::createVTag(6, 0x101u); }, "state=2"},
    {"label without value", [] { return VTagFactory::createVTag(9); }, "label=\"\""},
    // Longer than the reader's inline buffer: read whole.
    {"label of 300", [] { return VTagFactory::createVTag(9, std::string(300, 'x').c_str()); },
     "label=\"" + std::string(300, 'x') + "\""},
    {"unknown tag", [] { return VTagFactory::createVTag(42, 1u); }, ""},
};

TEST(DeviceTags, ReadingMapsUnknownCodesToNotSet) {
    for (const ReadRow& row : kReadRows) {
        SCOPED_TRACE(row.name);
        D d;
        EXPECT_TRUE(TagGroup().add(row.tag()).feed(d));
        EXPECT_EQ(summary(d), row.summary);
    }
}

TEST(DeviceTags, ReaderLogs) {
    LogCapture log;
    D d;
    EXPECT_TRUE(TagGroup().add(VTagFactory::createVTag(42, 1u)).add(8, 0xABCu).feed(d));
    EXPECT_TRUE(log.has("cObjectDevice", log4cpp::Priority::INFO, "Unknown Tag 2A(42)"));
    EXPECT_TRUE(log.has("cObjectDevice", log4cpp::Priority::DEBUG, "Add Serial Number 0x00000ABC"));
}

TEST(DeviceTags, MessageLevelTagsComeLastAndWin) {
    D d;
    EXPECT_TRUE(TagGroup().add(8, 7u).add(9, "own").msgLevel(wireTag(8, 99u)).feed(d));
    EXPECT_EQ(summary(d), "serial=99 label=\"own\"");

    D untouched;
    EXPECT_TRUE(untouched.parse(nullptr, nullptr));
    EXPECT_TRUE(TagGroup().feed(untouched));
    EXPECT_EQ(summary(untouched), "");
}

// ---- JSON ----

const char* const kDefaultJson =
    "[{\"TAG_DEV_ID\": -1}, {}, {}, {}, {}, {\"TAG_DEV_NDISCINPUT\": -1}, "
    "{\"TAG_DEV_NDISCOUTPUT\": -1}, {\"TAG_DEV_NANALOGINPUT\": -1}, "
    "{\"TAG_DEV_NANALOGOUTPUT\": -1}, {\"TAG_VERSION\": -1}]";

struct JsonRow {
    const char* name;
    Setter set;
    int index;            // element of the array that changes
    const char* element;  // its text
    const char* summary;  // what parsing the whole array back gives
};

const JsonRow kJsonRows[] = {
    {"serial", serial(7), 0, "{\"TAG_DEV_ID\": 7}", "serial=7"},
    {"serial 0x80000000", serial(0x80000000), 0, "{\"TAG_DEV_ID\": -2147483648}", "serial=2147483648"},
    {"label", [](D& d) { d.setDeviceLabel("Pompe \xC3\xA0 eau"); }, 1,
     "{\"TAG_DEV_LABEL\": \"Pompe \xC3\xA0 eau\"}", "label=\"Pompe \xC3\xA0 eau\""},
    {"label not UTF-8", [](D& d) { d.setDeviceLabel("a\xFF" "b"); }, 1, "{\"TAG_DEV_LABEL\": \"a?b\"}",
     "label=\"a?b\""},
    {"state 1", state(1), 2, "{\"TAG_DEV_STATE\": 0}", "state=1"},
    {"state 3", state(3), 2, "{\"TAG_DEV_STATE\": 2}", "state=3"},
    {"state 4", state(4), 2, "{}", ""},
    {"status 1", status(1), 3, "{\"TAG_DEV_STATUS\": 0}", "status=1"},
    {"status 2", status(2), 3, "{\"TAG_DEV_STATUS\": 1}", "status=2"},
    {"status 3", status(3), 3, "{}", ""},
    {"type 1", type(1), 4, "{\"TAG_DEV_TYPE\": 0}", "type=1"},
    {"type 9", type(9), 4, "{\"TAG_DEV_TYPE\": 8}", "type=9"},
    {"type 10", type(10), 4, "{\"TAG_DEV_TYPE\": 10}", "type=10"},
    {"type 11", type(11), 4, "{}", ""},
    {"din", [](D& d) { d.setDiscreteInCount(3); }, 5, "{\"TAG_DEV_NDISCINPUT\": 3}", "din=3"},
    {"dout", [](D& d) { d.setDiscreteOutCount(4); }, 6, "{\"TAG_DEV_NDISCOUTPUT\": 4}", "dout=4"},
    {"ain", [](D& d) { d.setAnalogInCount(5); }, 7, "{\"TAG_DEV_NANALOGINPUT\": 5}", "ain=5"},
    {"aout", [](D& d) { d.setAnalogOutCount(6); }, 8, "{\"TAG_DEV_NANALOGOUTPUT\": 6}", "aout=6"},
    {"version", [](D& d) { d.setVersion(8); }, 9, "{\"TAG_VERSION\": 8}", "version=8"},
};

// The JSON text of element i of an array.
std::string elementText(json_t* array, std::size_t i) { return dumpJson(json_incref(json_array_get(array, i))); }

TEST(DeviceJson, EachFieldBothWays) {
    D def;
    EXPECT_EQ(jsonOf(def), kDefaultJson);
    json_t* defaults = json_loads(kDefaultJson, 0, nullptr);
    for (const JsonRow& row : kJsonRows) {
        SCOPED_TRACE(row.name);
        D d;
        row.set(d);
        json_t* a = d.getJSONObj();
        ASSERT_EQ(json_array_size(a), 10u);
        for (std::size_t i = 0; i < 10; ++i)
            EXPECT_EQ(elementText(a, i), static_cast<int>(i) == row.index ? row.element
                                                                           : elementText(defaults, i));
        json_decref(a);
        D back;
        EXPECT_TRUE(parseJson(back, jsonOf(d)));
        EXPECT_EQ(summary(back), row.summary);
    }
    json_decref(defaults);
}

struct JsonReadRow {
    const char* array;
    const char* summary;
};

TEST(DeviceJson, ReadingTakesLowBitsAndUnknownCodesAsNotSet) {
    const JsonReadRow rows[] = {
        {"[{\"TAG_DEV_STATE\": 257}]", "state=2"},
        {"[{\"TAG_DEV_STATE\": 3}]", ""},
        {"[{\"TAG_DEV_STATUS\": 5}]", ""},
        {"[{\"TAG_DEV_TYPE\": 9}]", ""},
        {"[{\"TAG_DEV_TYPE\": 264}]", "type=9"},
        {"[{\"TAG_DEV_ID\": 4294967298}]", "serial=2"},
        {"[{\"TAG_DEV_ID\": -1}]", ""},
        {"[{\"TAG_DEV_ID\": -4294967295}]", "serial=1"},
        {"[{\"TAG_DEV_ID\": 1, \"TAG_VERSION\": 2}, {\"TAG_DEV_ID\": 3}]", "serial=3 version=2"},
        {"[{\"TAG_DEV_LABEL\": \"\"}, {\"OTHER\": 1}]", "label=\"\""},
        {"[]", ""},
    };
    for (const JsonReadRow& row : rows) {
        SCOPED_TRACE(row.array);
        D d;
        EXPECT_TRUE(parseJson(d, row.array));
        EXPECT_EQ(summary(d), row.summary);
    }
}

struct JsonRejectRow {
    const char* element;
    const char* warning;
};

TEST(DeviceJson, WrongTypeStopsWithItsWarningKeepingEarlierFields) {
    const JsonRejectRow rows[] = {
        {"{\"TAG_DEV_ID\": \"7\"}", "DeviceSerial in device parse not a number"},
        {"{\"TAG_DEV_ID\": 7.0}", "DeviceSerial in device parse not a number"},
        {"{\"TAG_DEV_LABEL\": 5}", "DeviceLabel in device parse not a string"},
        {"{\"TAG_DEV_STATE\": \"1\"}", "DeviceOpState in device parse not a number"},
        {"{\"TAG_DEV_STATUS\": null}", "DeviceStatus in device parse not a number"},
        {"{\"TAG_DEV_TYPE\": true}", "DeviceType in device parse not a number"},
        {"{\"TAG_DEV_NDISCINPUT\": []}", "DiscreteInCount in device parse not a number"},
        {"{\"TAG_DEV_NDISCOUTPUT\": {}}", "DiscreteOutCount in device parse not a number"},
        {"{\"TAG_DEV_NANALOGINPUT\": \"x\"}", "AnalogInCount in device parse not a number"},
        {"{\"TAG_DEV_NANALOGOUTPUT\": 1.5}", "AnalogOutCount in device parse not a number"},
        {"{\"TAG_VERSION\": false}", "Version in device parse not a number"},
    };
    for (const JsonRejectRow& row : rows) {
        SCOPED_TRACE(row.element);
        LogCapture log;
        D d;
        EXPECT_FALSE(parseJson(d, std::string("[{\"TAG_DEV_ID\": 7}, ") + row.element +
                                      ", {\"TAG_VERSION\": 9}]"));
        EXPECT_EQ(summary(d), "serial=7");
        EXPECT_TRUE(log.has("cObject", log4cpp::Priority::WARN, row.warning));
        EXPECT_EQ(log.count(row.warning), 1);
    }
}

TEST(DeviceJson, NotAnArrayAndElementsThatAreNotObjects) {
    LogCapture log;
    D d;
    EXPECT_FALSE(parseJson(d, "{\"TAG_DEV_ID\": 3}"));
    EXPECT_FALSE(d.parse(nullptr));
    EXPECT_EQ(log.count("object in device parse not a JSON array"), 2);
    EXPECT_EQ(summary(d), "");

    log.clear();
    EXPECT_TRUE(parseJson(d, "[1, {\"TAG_DEV_ID\": 3}]"));
    EXPECT_EQ(summary(d), "serial=3");
    EXPECT_EQ(log.count("object in device parse not a JSON object "), 1);
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::DEBUG, "Array size in device parse array size:2 "));
}

// ---- identity ----

TEST(DeviceIdentity, SerialIsTheKey) {
    D a, b, c;
    a.setDeviceSerial(1);
    b.setDeviceSerial(1);
    c.setDeviceSerial(0xFFFFFFFF);
    StubObject other(cObject::OBJ_PORT, 1);
    expectIdentity(a, b, c, other);
    EXPECT_EQ(a.printKey(), nullptr);
}

TEST(DeviceIdentity, CloneOwnsItsLabel) {
    D* source = new D;
    source->setDeviceSerial(5);
    source->setDeviceLabel("label");
    source->setDeviceType(D::DEVICE_TYPE_9);
    source->setVersion(2);
    std::unique_ptr<cObject> copy(source->clone());
    D* d = dynamic_cast<D*>(copy.get());
    ASSERT_TRUE(d);
    EXPECT_NE(d->getDeviceLabel(), source->getDeviceLabel());
    const std::string before = summary(*source);
    delete source;
    EXPECT_EQ(summary(*d), before);
    EXPECT_EQ(d->getType(), cObject::OBJ_DEVICE);
}

// The getter lends the stored array; handing it (or a part of it) back to
// the setter must copy before the old array is freed.
TEST(DeviceIdentity, LabelSetFromItself) {
    D d;
    d.setDeviceLabel("Pump house");
    d.setDeviceLabel(d.getDeviceLabel());
    EXPECT_STREQ(d.getDeviceLabel(), "Pump house");
    d.setDeviceLabel(d.getDeviceLabel() + 5);
    EXPECT_STREQ(d.getDeviceLabel(), "house");
    d.setDeviceLabel(nullptr);
    EXPECT_EQ(d.getDeviceLabel(), nullptr);
}

// ---- round trips ----

std::function<D*()> kDevices[] = {
    [] { return new D; },
    [] {
        D* d = new D;
        d->setDeviceSerial(0);
        d->setDeviceLabel("");
        d->setDeviceType(D::DEVICE_TYPE_9);
        d->setDiscreteInCount(0);
        return d;
    },
    [] {
        D* d = new D;
        d->setDeviceSerial(0xFFFFFFFE);
        d->setDeviceLabel("Pompe \xC3\xA0 eau");
        d->setDeviceOpState(cObject::OPSTATE_3);
        d->setDeviceStatus(cObject::STATUS_2);
        d->setDeviceType(D::DEVICE_TYPE_10);
        d->setDiscreteInCount(1);
        d->setDiscreteOutCount(2);
        d->setAnalogInCount(0x80000000);
        d->setAnalogOutCount(4);
        d->setVersion(5);
        return d;
    },
};

TEST(DeviceRoundTrip, ThroughTagsDatagramAndJson) {
    for (auto& make : kDevices) {
        std::unique_ptr<D> d(make());
        const std::string want = summary(*d);
        SCOPED_TRACE(want);

        D fromTags;
        feedOwnTags(*d, fromTags);
        EXPECT_EQ(summary(fromTags), want);
        for (Trip trip : kTrips) {
            SCOPED_TRACE(tripName(trip));
            std::unique_ptr<cObject> back = carry(*d, trip);
            const D* got = dynamic_cast<const D*>(back.get());
            ASSERT_TRUE(got);
            EXPECT_EQ(summary(*got), want);
        }
    }
}

// The worked example of docs/wire-format.md.
TEST(DeviceRoundTrip, WorkedExampleDatagram) {
    D* d = new D;
    d->setDeviceSerial(1001);
    d->setDeviceLabel("Pump");
    d->setDeviceOpState(cObject::OPSTATE_1);
    d->setDeviceStatus(cObject::STATUS_2);
    d->setDeviceType(D::DEVICE_TYPE_3);
    d->setDiscreteInCount(8);
    cObjectList list;
    list.setMsgType(0);
    list.setMsgSeq(1);
    list.add(d);
    std::unique_ptr<VMsg> msg(list.toMsg());
    const char* hex =
        "0034 | 02 00 01 0000 0001 0007 | 05 00 0000 | 08 02 0004 000003E9 | 09 01 0004 50756D70 | "
        "06 04 0001 00 | 07 04 0001 01 | 0A 04 0001 02 | 0B 02 0004 00000008";
    EXPECT_EQ(wiretest::encode(*msg), wiretest::canon(hex));
    std::unique_ptr<VMsg> back(wiretest::parseHex(hex));
    std::unique_ptr<cObjectList> objs(cObject::parseMsg(back.get()));
    ASSERT_EQ(objs->numObjects(), 1);
    EXPECT_EQ(summary(*dynamic_cast<D*>(objs->first())), summary(*d));
    objs->deleteObjects();
    list.deleteObjects();
}

}  // namespace
