// The plain port: object types, tag and JSON forms, the family's codes,
// identity, order and copies.
#include <gtest/gtest.h>

#include "device.h"
#include "dinput.h"
#include "logcapture.h"
#include "objecttest.h"

using namespace objecttest;

TEST(Port, ObjectTypeFollowsTheConstructedPortTypeOnly) {
    const int objectTypes[] = {1, 2, 3, 4, 11, 1, 1, 1};  // for port types 0 to 7
    for (int t = 0; t < 8; ++t) {
        cObjectPort p(static_cast<cObjectPort::ePortType>(t));
        EXPECT_EQ(p.getType(), objectTypes[t]) << t;
        EXPECT_EQ(p.getPortType(), t);
    }
    // A port type without a code is kept but written nowhere.
    cObjectPort odd(static_cast<cObjectPort::ePortType>(7));
    EXPECT_EQ(tagsOf(odd), Strings{"23"});
    EXPECT_EQ(jsonOf(odd), R"([{"TAG_IO_PNUM": -1}, {"TAG_DEV_ID": -1}, {}, {}, {}, {}, {}])");
    cObjectPort p;
    p.setPortType(cObjectPort::PORT_TYPE_DOUT);
    EXPECT_EQ(p.getType(), cObject::OBJ_PORT);
    EXPECT_EQ(p.printKey(), nullptr);
}

TEST(Port, FullPortTagsAndJson) {
    cObjectPort p;
    p.setPortId(7);
    p.setDeviceSerial(3000000000u);
    p.setPortType(cObjectPort::PORT_TYPE_AIN);
    p.setPortLabel("Pump");
    p.setPortOpState(cObject::OPSTATE_2);
    p.setPortStatus(cObject::STATUS_3);
    p.setPortToggled(cObjectPort::TOGGLED_3);
    EXPECT_EQ(tagsOf(p), (Strings{"23", "25 u32 7", "8 u32 3000000000", "24 u8 3", "21 'Pump'",
                                  "27 u8 1", "28 u8 2", "88 u8 4"}));
    EXPECT_EQ(jsonOf(p), R"([{"TAG_IO_PNUM": 7}, {"TAG_DEV_ID": -1294967296}, )"
                         R"({"TAG_PORT_TYPE": 3}, {"TAG_IO_LABEL": "Pump"}, )"
                         R"({"TAG_PORT_ALARM_STATUS": 2}, {"TAG_PORT_STATE": 1}, )"
                         R"({"TAG_PORT_LAST_TOGGLED": 4}])");
}

// Every code read back from a tag and from JSON; codes outside a table
// clear the field.
TEST(Port, CodesReadBackFromTagsAndJson) {
    const struct {
        int tag;
        const char* key;
        int code, value;
    } cases[] = {{28, "TAG_PORT_ALARM_STATUS", 0, 2}, {28, "TAG_PORT_ALARM_STATUS", 1, 1},
                 {28, "TAG_PORT_ALARM_STATUS", 2, 3}, {28, "TAG_PORT_ALARM_STATUS", 9, 0},
                 {27, "TAG_PORT_STATE", 0, 1},        {27, "TAG_PORT_STATE", 2, 3},
                 {27, "TAG_PORT_STATE", 5, 0},        {88, "TAG_PORT_LAST_TOGGLED", 3, 4},
                 {88, "TAG_PORT_LAST_TOGGLED", 4, 3}, {88, "TAG_PORT_LAST_TOGGLED", 2, 2},
                 {88, "TAG_PORT_LAST_TOGGLED", 7, 0}};
    auto field = [](cObjectPort& p, int tag) {
        return tag == 28 ? int(p.getPortStatus())
                         : tag == 27 ? int(p.getPortOpState()) : int(p.getPortToggled());
    };
    for (const auto& c : cases) {
        cObjectPort fromTag, fromJson;
        fromTag.setPortStatus(cObject::STATUS_1);
        fromTag.setPortOpState(cObject::OPSTATE_2);
        fromTag.setPortToggled(cObjectPort::TOGGLED_1);
        TagGroup().add(c.tag, static_cast<unsigned char>(c.code)).feed(fromTag);
        EXPECT_EQ(field(fromTag, c.tag), c.value) << c.key << " " << c.code;
        const std::string doc = "[{\"" + std::string(c.key) + "\": " + std::to_string(c.code) + "}]";
        EXPECT_TRUE(parseJson(fromJson, doc));
        EXPECT_EQ(field(fromJson, c.tag), c.value) << doc;
    }
}

TEST(Port, TagReaderKeepsPortTypeOnUnknownCodeAndLogsUnknownTags) {
    LogCapture log;
    cObjectPort p;
    const std::string label(300, 'x');
    TagGroup().add(23).add(24, 2u).add(24, 9u).add(18, 4u).add(21, label.c_str()).feed(p);
    EXPECT_EQ(p.getPortType(), cObjectPort::PORT_TYPE_DOUT);
    EXPECT_EQ(p.getType(), cObject::OBJ_PORT);
    EXPECT_EQ(std::string(p.getPortLabel()), label);
    EXPECT_TRUE(log.has("cObjectPort", log4cpp::Priority::INFO, "Unknown Tag 17(23)"));
    EXPECT_TRUE(log.has("cObjectPort", log4cpp::Priority::INFO, "Unknown Tag 12(18)"));
}

TEST(Port, JsonReaderEdges) {
    cObjectPort p;
    EXPECT_TRUE(parseJson(p, R"([{"TAG_PORT_TYPE": 260}, 5, {"TAG_DEV_ID": 3000000000}])"));
    EXPECT_EQ(p.getPortType(), cObjectPort::PORT_TYPE_AOUT);  // low 8 bits
    EXPECT_EQ(p.getDeviceSerial(), 3000000000u);
    EXPECT_EQ(p.getType(), cObject::OBJ_PORT);
    EXPECT_TRUE(parseJson(p, R"([{"TAG_PORT_TYPE": 9, "TAG_IO_PNUM": -1}])"));
    EXPECT_EQ(p.getPortType(), cObjectPort::PORT_TYPE_AOUT);
    EXPECT_EQ(tagsOf(p), (Strings{"23", "8 u32 3000000000", "24 u8 4"}));

    LogCapture log;
    cObjectPort q;
    EXPECT_FALSE(parseJson(q, R"([{"TAG_IO_PNUM": 3}, {"TAG_DEV_ID": 2.5}, {"TAG_PORT_TYPE": 1}])"));
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::WARN, "devId in port parse not a number"));
    EXPECT_EQ(q.getPortId(), 3u);
    EXPECT_EQ(q.getPortType(), cObjectPort::PORT_TYPE_PLAIN);
    // The toggle key's warning names the discrete input, as it always has.
    EXPECT_FALSE(parseJson(q, R"([{"TAG_PORT_LAST_TOGGLED": 1.0}])"));
    EXPECT_TRUE(log.has("portLastToggled in dinput parse not a number"));
    EXPECT_FALSE(parseJson(q, R"({"TAG_IO_PNUM": 4})"));
    EXPECT_TRUE(log.has("object in port parse not a JSON array"));
    EXPECT_EQ(q.getPortId(), 3u);
}

TEST(Port, IdentityAcrossTheFamilyAndCheckedOrder) {
    cObjectPort p;
    p.setPortId(2);
    p.setDeviceSerial(5);
    p.setPortType(cObjectPort::PORT_TYPE_DIN);
    cObjectDInput din;
    din.setPortId(2);
    din.setDeviceSerial(5);
    EXPECT_TRUE(p.compIndex(&din));
    EXPECT_FALSE(din.compIndex(&p));
    cObjectDevice device;
    EXPECT_FALSE(p.compIndex(&device));
    EXPECT_FALSE(p.compIndex(nullptr));

    // Port id, then serial, then port type decide, each unsigned but the type.
    cObjectPort q;
    q.setPortId(2);
    q.setDeviceSerial(5);
    q.setPortType(cObjectPort::PORT_TYPE_DOUT);
    EXPECT_TRUE(p < q);
    q.setDeviceSerial(4);
    EXPECT_FALSE(p < q);
    q.setPortId(0xFFFFFFFFu);
    EXPECT_TRUE(p < q);
    EXPECT_FALSE(p < p);
    // Another class has no port fields to read: never less.
    EXPECT_FALSE(p < device);
}

TEST(Port, CopyOwnsItsLabelAndNamesTheSameClass) {
    cObjectPort* source = new cObjectPort(cObjectPort::PORT_TYPE_AIN);
    source->setPortLabel("Tank");
    source->setPortToggled(cObjectPort::TOGGLED_4);
    std::unique_ptr<cObject> copy(source->clone());
    const std::string json = jsonOf(*source);
    EXPECT_NE(static_cast<cObjectPort*>(copy.get())->getPortLabel(), source->getPortLabel());
    delete source;
    EXPECT_EQ(jsonOf(*copy), json);
    EXPECT_EQ(copy->getType(), cObject::OBJ_PORT_AIN);

    // Port type changed after construction: the copy still names the class
    // of its source.
    cObjectPort plain;
    plain.setPortType(cObjectPort::PORT_TYPE_DOUT);
    EXPECT_EQ(std::unique_ptr<cObject>(plain.clone())->getType(), cObject::OBJ_PORT);
    EXPECT_EQ(tagsOf(*std::make_unique<cObjectPort>(static_cast<cObjectPort*>(nullptr))),
              Strings{"23"});
}
