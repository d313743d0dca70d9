// The discrete input and output: the status derived from the two states,
// and where the twins deliberately differ.
#include <gtest/gtest.h>

#include "dinput.h"
#include "doutput.h"
#include "logcapture.h"
#include "objecttest.h"

using namespace objecttest;
using IO = cObject::eObjectIOState;

namespace {

template <class T>
void fill(T& p, void (T::*setPresent)(IO)) {
    p.setDeviceSerial(1001);
    p.setPortId(4);
    p.setPortOpState(cObject::OPSTATE_3);
    p.setDefaultState(cObject::IOSTATE_1);
    (p.*setPresent)(cObject::IOSTATE_2);
    p.setPortToggled(cObjectPort::TOGGLED_3);
    p.setPortLabel("Door");
}

}  // namespace

TEST(Discrete, DefaultForms) {
    cObjectDInput in;
    EXPECT_EQ(in.getType(), cObject::OBJ_PORT_DIN);
    EXPECT_EQ(tagsOf(in), (Strings{"15", "19 u8 1"}));
    EXPECT_EQ(jsonOf(in), R"([{"TAG_DEV_ID": -1}, {"TAG_IO_PNUM": -1}, {}, {}, {}, )"
                          R"({"TAG_IO_TYPE": 1}, {}, {"TAG_PORT_LAST_TOGGLED": 0}])");
    cObjectDOutput out;
    EXPECT_EQ(out.getType(), cObject::OBJ_PORT_DOUT);
    EXPECT_EQ(tagsOf(out), (Strings{"16", "19 u8 2"}));
    EXPECT_EQ(jsonOf(out), R"([{"TAG_DEV_ID": -1}, {"TAG_IO_PNUM": -1}, {}, {}, {}, {}, )"
                           R"({"TAG_IO_TYPE": 2}, {}, {"TAG_PORT_LAST_TOGGLED": 0}])");
}

// Both send the status (28) before the states (17, 20); the output sends
// the operational state first. The input's JSON shares one element between
// operational state and alarm status.
TEST(Discrete, FullForms) {
    cObjectDInput in;
    fill(in, &cObjectDInput::setInputState);
    EXPECT_EQ(tagsOf(in), (Strings{"15", "8 u32 1001", "18 u32 4", "28 u8 1", "22 u8 2", "17 u8 0",
                                   "20 u8 1", "88 u8 4", "21 'Door'", "19 u8 1"}));
    EXPECT_EQ(jsonOf(in),
              R"([{"TAG_DEV_ID": 1001}, {"TAG_IO_PNUM": 4}, {"TAG_IO_DEFAULT_STATE": 1}, )"
              R"({"TAG_IO_STATE": 0}, {"TAG_IO_STATUS": 2, "TAG_PORT_ALARM_STATUS": 1}, )"
              R"({"TAG_IO_TYPE": 1}, {"TAG_IO_LABEL": "Door"}, {"TAG_PORT_LAST_TOGGLED": 4}])");
    cObjectDOutput out;
    fill(out, &cObjectDOutput::setOutputState);
    EXPECT_EQ(tagsOf(out), (Strings{"16", "8 u32 1001", "18 u32 4", "22 u8 2", "28 u8 1", "17 u8 0",
                                    "20 u8 1", "88 u8 4", "21 'Door'", "19 u8 2"}));
    EXPECT_EQ(jsonOf(out),
              R"([{"TAG_DEV_ID": 1001}, {"TAG_IO_PNUM": 4}, {"TAG_IO_DEFAULT_STATE": 1}, )"
              R"({"TAG_IO_STATE": 0}, {"TAG_IO_STATUS": 2}, {"TAG_PORT_ALARM_STATUS": 1}, )"
              R"({"TAG_IO_TYPE": 2}, {"TAG_IO_LABEL": "Door"}, {"TAG_PORT_LAST_TOGGLED": 4}])");
}

TEST(Discrete, SettersDeriveTheStatus) {
    const int cases[][3] = {{0, 1, 0}, {1, 0, 0}, {1, 1, 2}, {2, 2, 2}, {1, 2, 1}, {2, 1, 1}};
    for (const auto& c : cases) {
        cObjectDInput in;
        in.setInputState(IO(c[1]));
        in.setDefaultState(IO(c[0]));
        cObjectDOutput out;
        out.setDefaultState(IO(c[0]));
        out.setOutputState(IO(c[1]));
        EXPECT_EQ(in.getPortStatus(), c[2]) << c[0] << "/" << c[1];
        EXPECT_EQ(out.getPortStatus(), c[2]) << c[0] << "/" << c[1];
    }
    // Status 3 only comes from a tag; the alarm key has no code for it.
    cObjectDInput in;
    TagGroup().add(28, 2u).feed(in);
    EXPECT_EQ(tagsOf(in), (Strings{"15", "28 u8 2", "19 u8 1"}));
    EXPECT_EQ(jsonOf(in).find("TAG_PORT_ALARM_STATUS"), std::string::npos);
}

// The input stores states and status as sent and keeps fields on unknown
// codes; the output derives the status through its setters, clears it on
// an unknown code, and also takes its label from tag 26.
TEST(Discrete, TagReadersDiffer) {
    LogCapture log;
    cObjectDInput in;
    in.setPortType(cObjectPort::PORT_TYPE_PLAIN);
    TagGroup().add(15).add(28, 1u).add(17, 0u).add(19, 0u).add(26, "x").feed(in);
    EXPECT_EQ(in.getPortStatus(), cObject::STATUS_1);
    EXPECT_EQ(in.getInputState(), cObject::IOSTATE_2);
    EXPECT_EQ(in.getPortType(), cObjectPort::PORT_TYPE_DIN);
    EXPECT_EQ(in.getPortLabel(), nullptr);
    TagGroup().add(28, 9u).add(17, 5u).add(22, 5u).feed(in);
    EXPECT_EQ(in.getPortStatus(), cObject::STATUS_1);
    EXPECT_EQ(in.getInputState(), cObject::IOSTATE_2);
    EXPECT_TRUE(log.has("cObjectDInput", log4cpp::Priority::INFO, "Unknown Input Tag 0F(15)"));
    EXPECT_TRUE(log.has("cObjectDInput", log4cpp::Priority::INFO, "Unknown Input Tag 1A(26)"));

    cObjectDOutput out;
    TagGroup().add(16).add(28, 2u).add(17, 1u).add(20, 1u).add(26, "Out").feed(out);
    EXPECT_EQ(out.getPortStatus(), cObject::STATUS_2);  // derived, not the 3 sent
    EXPECT_STREQ(out.getPortLabel(), "Out");
    TagGroup().add(17, 5u).feed(out);
    EXPECT_EQ(out.getOutputState(), cObject::IOSTATE_1);
    TagGroup().add(28, 7u).feed(out);
    EXPECT_EQ(out.getPortStatus(), cObject::STATUS_NOT_SET);
    EXPECT_TRUE(log.has("cObjectDOutput", log4cpp::Priority::INFO, "Unknown Tag: 10(16)"));
}

TEST(Discrete, JsonReadersDiffer) {
    const char* doc = R"([{"TAG_IO_DEFAULT_STATE": 1, "TAG_IO_STATE": 0}, )"
                      R"({"TAG_PORT_ALARM_STATUS": 2, "TAG_IO_STATUS": 5}])";
    cObjectDInput in;
    in.setPortOpState(cObject::OPSTATE_2);
    in.setPortType(cObjectPort::PORT_TYPE_PLAIN);
    EXPECT_TRUE(parseJson(in, doc));
    EXPECT_EQ(in.getDefaultState(), cObject::IOSTATE_1);
    EXPECT_EQ(in.getInputState(), cObject::IOSTATE_2);
    EXPECT_EQ(in.getPortStatus(), cObject::STATUS_1);  // the alarm key is not read
    EXPECT_EQ(in.getPortOpState(), cObject::OPSTATE_2);
    EXPECT_EQ(in.getPortType(), cObjectPort::PORT_TYPE_DIN);

    cObjectDOutput out;
    EXPECT_TRUE(parseJson(out, doc));
    EXPECT_EQ(out.getOutputState(), cObject::IOSTATE_2);
    EXPECT_EQ(out.getPortStatus(), cObject::STATUS_3);  // read after the states

    // The port type is reset after each element, skipped ones too, but not
    // after an element that stops the parse.
    LogCapture log;
    out.setPortType(cObjectPort::PORT_TYPE_PLAIN);
    EXPECT_FALSE(parseJson(out, R"([{"TAG_IO_DEFAULT_STATE": 1.0}])"));
    EXPECT_EQ(out.getPortType(), cObjectPort::PORT_TYPE_PLAIN);
    EXPECT_TRUE(parseJson(out, "[7]"));
    EXPECT_EQ(out.getPortType(), cObjectPort::PORT_TYPE_DOUT);
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::WARN,
                        "portDefaultState in doutput parse not a number"));
    EXPECT_TRUE(log.has("object in doutput parse not a JSON object "));
    EXPECT_FALSE(parseJson(in, R"([{"TAG_IO_LABEL": 3}])"));
    EXPECT_TRUE(log.has("portLabel in dinput parse not a string"));
}

TEST(Discrete, ToggleCodeExchangesThreeAndFour) {
    const int cases[][2] = {{0, 0}, {1, 1}, {2, 2}, {3, 4}, {4, 3}};
    for (const auto& c : cases) {
        cObjectDOutput out;
        out.setPortToggled(cObjectPort::ePortLastToggled(c[0]));
        const std::string key = "{\"TAG_PORT_LAST_TOGGLED\": " + std::to_string(c[1]) + "}";
        EXPECT_NE(jsonOf(out).find(key), std::string::npos) << c[0];
        cObjectDInput in;
        in.setPortToggled(cObjectPort::TOGGLED_2);
        EXPECT_TRUE(parseJson(in, "[" + key + "]"));
        EXPECT_EQ(in.getPortToggled(), c[0]);
    }
}

TEST(Discrete, IdentityAndOrderStayWithinTheClass) {
    cObjectDInput a, b;
    a.setPortId(1);
    a.setDeviceSerial(7);
    b.setPortId(1);
    b.setDeviceSerial(8);
    b.setPortType(cObjectPort::PORT_TYPE_AOUT);  // not part of the identity
    EXPECT_FALSE(a.compIndex(&b));
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    b.setDeviceSerial(7);
    EXPECT_TRUE(a.compIndex(&b));
    EXPECT_FALSE(a < b);
    cObjectDOutput out;
    out.setPortId(9);
    out.setDeviceSerial(7);
    EXPECT_FALSE(out.compIndex(&a));
    EXPECT_FALSE(a < out);
    EXPECT_FALSE(a.compIndex(nullptr));
}

TEST(Discrete, CopiesTakeTheStatusAsHeld) {
    cObjectDOutput out;
    out.setDefaultState(cObject::IOSTATE_1);
    out.setOutputState(cObject::IOSTATE_1);
    out.setPortStatus(cObject::STATUS_3);
    std::unique_ptr<cObject> copy(out.clone());
    EXPECT_EQ(copy->getType(), cObject::OBJ_PORT_DOUT);
    EXPECT_EQ(static_cast<cObjectDOutput*>(copy.get())->getPortStatus(), cObject::STATUS_3);
    EXPECT_EQ(tagsOf(*copy), tagsOf(out));
}
