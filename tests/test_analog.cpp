// The analog input and output: floats with NaN as not set, and where the
// twins deliberately differ.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "ainput.h"
#include "aoutput.h"
#include "logcapture.h"
#include "objecttest.h"

using namespace objecttest;

namespace {

const float kInf = std::numeric_limits<float>::infinity();

void fillInput(cObjectAInput& a) {
    a.setPortStatus(cObject::STATUS_3);
    a.setPortOpState(cObject::OPSTATE_1);
    a.setPortLabel("Level");
    a.setDisplayUnit("m");
    a.setSampledValue(1.5f);
    a.setOffset(-0.25f);
    a.setGain(2.0f);
    a.setCalculatedValue(3.0f);
    a.setAlarmLowWarn(0.5f);
    a.setAlarmLowError(0.125f);
    a.setAlarmHighWarn(8.0f);
    a.setAlarmHighError(9.5f);
    a.setSampleRate(10);
    a.setReportRate(60);
    a.setLastSampleSeq(77);
    a.setAcceptableNoise(0.0625f);
    a.setAnalogInputType(cObjectAInput::AI_TYPE_2);
    a.setPortToggled(cObjectPort::TOGGLED_4);
}

void fillOutput(cObjectAOutput& a) {
    a.setPortStatus(cObject::STATUS_2);
    a.setPortOpState(cObject::OPSTATE_3);
    a.setPortLabel("Valve");
    a.setDisplayUnit("%");
    a.setSampledValue(40.5f);
    a.setOffset(0.0f);
    a.setGain(1.25f);
    a.setOutputValue(42.0f);
    a.setAlarmLowWarn(5.0f);
    a.setAlarmLowError(1.0f);
    a.setAlarmHighWarn(95.0f);
    a.setAlarmHighError(99.0f);
    a.setMaximumValue(-100.0f);  // below the minimum: nothing checks the range
    a.setMinimumValue(100.0f);
    a.setPortToggled(cObjectPort::TOGGLED_1);
}

}  // namespace

TEST(Analog, DefaultForms) {
    cObjectAInput in;
    EXPECT_EQ(in.getType(), cObject::OBJ_PORT_AIN);
    EXPECT_EQ(floatBits(in.getGain()), 0x7FC00000u);
    EXPECT_EQ(tagsOf(in), Strings{"48"});
    EXPECT_EQ(jsonOf(in), R"([{"TAG_DEV_ID": -1}, {"TAG_IO_PNUM": -1}, {}, {}, {}, {}, {}, {}, )"
                          R"({}, {}, {}, {}, {}, {"TAG_AI_SAMPLE_RATE": -1}, )"
                          R"({"TAG_AI_REPORT_RATE": -1}, {}, {"TAG_AI_SAMPLE_SEQ": 0}, {}, )"
                          R"({"TAG_AI_TYPE": 0}, {}])");
    cObjectAOutput out;
    EXPECT_EQ(out.getType(), cObject::OBJ_PORT_AOUT);
    EXPECT_EQ(floatBits(out.getMinimumValue()), 0x7FC00000u);
    EXPECT_EQ(tagsOf(out), Strings{"77"});
    EXPECT_EQ(jsonOf(out), R"([{"TAG_DEV_ID": -1}, {"TAG_IO_PNUM": -1}, {}, {}, {}, {}, {}, {}, )"
                           R"({}, {}, {}, {}, {}, {}, {}, {}, {}])");
}

// The output has tag numbers of its own for thresholds and unit, puts the
// label before the operational state, and writes the state last in JSON
// under the plain port's key.
TEST(Analog, FullForms) {
    cObjectAInput in;
    fillInput(in);
    EXPECT_EQ(tagsOf(in), (Strings{"48", "28 u8 2", "22 u8 0", "21 'Level'", "59 'm'", "49 f 1.5",
                                   "50 f -0.25", "51 f 2", "52 f 3", "53 f 0.5", "54 f 0.125",
                                   "55 f 8", "56 f 9.5", "57 u32 10", "58 u32 60", "75 f 0.0625",
                                   "76 u8 2", "88 u8 3"}));
    EXPECT_EQ(jsonOf(in),
              R"([{"TAG_DEV_ID": -1}, {"TAG_IO_PNUM": -1}, {"TAG_PORT_ALARM_STATUS": 2}, )"
              R"({"TAG_IO_STATUS": 0}, {"TAG_IO_LABEL": "Level"}, {"TAG_IO_SAMPLED_VALUE": 1.5}, )"
              R"({"TAG_IO_OFFSET": -0.25}, {"TAG_IO_GAIN": 2.0}, {"TAG_AI_CALCULATED_VALUE": 3.0}, )"
              R"({"TAG_AI_ALARM_LOW_WARN": 0.5}, {"TAG_AI_ALARM_LOW_ERR": 0.125}, )"
              R"({"TAG_AI_ALARM_HIGH_WARN": 8.0}, {"TAG_AI_ALARM_HIGH_ERR": 9.5}, )"
              R"({"TAG_AI_SAMPLE_RATE": 10}, {"TAG_AI_REPORT_RATE": 60}, )"
              R"({"TAG_AI_DISPLAY_UNIT": "m"}, {"TAG_AI_SAMPLE_SEQ": 77}, )"
              R"({"TAG_AI_ACCEPTABLE_NOISE": 0.0625}, {"TAG_AI_TYPE": 2}, )"
              R"({"TAG_PORT_LAST_TOGGLED": 3}])");
    cObjectAOutput out;
    fillOutput(out);
    EXPECT_EQ(tagsOf(out), (Strings{"77", "28 u8 0", "21 'Valve'", "22 u8 2", "83 '%'", "49 f 40.5",
                                    "50 f 0", "51 f 1.25", "84 f 42", "79 f 5", "80 f 1",
                                    "81 f 95", "82 f 99", "85 f -100", "86 f 100", "88 u8 1"}));
    EXPECT_EQ(jsonOf(out),
              R"([{"TAG_DEV_ID": -1}, {"TAG_IO_PNUM": -1}, {"TAG_PORT_ALARM_STATUS": 0}, )"
              R"({"TAG_IO_LABEL": "Valve"}, {"TAG_IO_SAMPLED_VALUE": 40.5}, {"TAG_IO_OFFSET": 0.0}, )"
              R"({"TAG_IO_GAIN": 1.25}, {"TAG_AO_OUTPUT_VALUE": 42.0}, {"TAG_AO_ALARM_LOW_WARN": 5.0}, )"
              R"({"TAG_AO_ALARM_LOW_ERR": 1.0}, {"TAG_AO_ALARM_HIGH_WARN": 95.0}, )"
              R"({"TAG_AO_ALARM_HIGH_ERR": 99.0}, {"TAG_AO_DISPLAY_UNIT": "%"}, )"
              R"({"TAG_AO_MAXIMUM_VALUE": -100.0}, {"TAG_AO_MINIMUM_VALUE": 100.0}, )"
              R"({"TAG_PORT_LAST_TOGGLED": 1}, {"TAG_PORT_STATE": 2}])");
}

// Any NaN is "not set"; zero and infinities go out in their tags. JSON has
// no infinity, so that element stays empty, and the count never changes.
TEST(Analog, NaNIsTheOnlyUnsetFloat) {
    cObjectAInput in;
    in.setSampledValue(0.0f);
    in.setGain(std::nanf("0x123"));
    in.setOffset(-kInf);
    EXPECT_EQ(tagsOf(in), (Strings{"48", "49 f 0", "50 f -inf"}));
    EXPECT_NE(jsonOf(in).find(R"(-1}, {}, {}, {}, {"TAG_IO_SAMPLED_VALUE": 0.0}, {}, {}, {}, {})"),
              std::string::npos);
    cObjectAOutput out;
    out.setMaximumValue(kInf);
    json_t* array = out.getJSONObj();
    EXPECT_EQ(json_array_size(array), 17u);
    json_decref(array);
}

TEST(Analog, FloatsCrossDatagramAndDocumentBitExact) {
    for (float v : {0.1f, -0.0f, 1e-45f, FLT_MIN, FLT_MAX, -123.456f}) {
        cObjectAInput in;
        in.setAcceptableNoise(v);
        cObjectAOutput out;
        out.setMinimumValue(v);
        auto a = carry(in, throughDatagram);
        auto b = carry(out, throughDatagram);
        auto c = carry(in, throughDocument);
        EXPECT_EQ(floatBits(static_cast<cObjectAInput&>(*a).getAcceptableNoise()), floatBits(v)) << v;
        EXPECT_EQ(floatBits(static_cast<cObjectAOutput&>(*b).getMinimumValue()), floatBits(v)) << v;
        EXPECT_EQ(floatBits(static_cast<cObjectAInput&>(*c).getAcceptableNoise()), floatBits(v)) << v;
        EXPECT_TRUE(std::isnan(static_cast<cObjectAInput&>(*a).getGain()));
    }
}

TEST(Analog, JsonRealsAndIntegersAreNotInterchangeable) {
    const struct {
        bool output;
        const char* doc;
        const char* warning;  // null: accepted
    } cases[] = {
        {false, R"([{"TAG_IO_GAIN": 2}])", "gain in ainput parse not a number"},
        {false, R"([{"TAG_IO_GAIN": 2.0}])", nullptr},
        {false, R"([{"TAG_AI_SAMPLE_RATE": 1.5}])", "sampleRate in ainput parse not a number"},
        {false, R"([{"TAG_PORT_LAST_TOGGLED": 1.0}])", "alarmStatus in aoutput parse not a number"},
        {true, R"([{"TAG_AO_MAXIMUM_VALUE": 10}])", "maxValue in aoutput parse not a number"},
        {true, R"([{"TAG_AO_MAXIMUM_VALUE": 10.0}])", nullptr},
        {true, R"([{"TAG_PORT_STATE": 1.0}])", "portState in port parse not a number"},
        {true, R"([{"TAG_IO_LABEL": 1}])", "Port Label in aoutput parse not a string"},
    };
    for (const auto& c : cases) {
        LogCapture log;
        cObjectAInput in;
        cObjectAOutput out;
        cObjectPort& p = c.output ? static_cast<cObjectPort&>(out) : in;
        EXPECT_EQ(parseJson(p, c.doc), c.warning == nullptr) << c.doc;
        if (c.warning) {
            EXPECT_TRUE(log.has("cObject", log4cpp::Priority::WARN, c.warning)) << c.doc;
        } else {
            EXPECT_EQ(c.output ? out.getMaximumValue() : in.getGain(), c.output ? 10.0f : 2.0f);
        }
    }
    // A real beyond the float range becomes an infinity of its sign.
    cObjectAInput in;
    EXPECT_TRUE(parseJson(in, R"([{"TAG_IO_OFFSET": 1e300, "TAG_IO_GAIN": -1e300}])"));
    EXPECT_EQ(in.getOffset(), kInf);
    EXPECT_EQ(in.getGain(), -kInf);
}

TEST(Analog, EnumeratedFieldsUseTheirOwnWidthsAndFallbacks) {
    cObjectAInput in;
    in.setPortOpState(cObject::OPSTATE_2);
    // The input maps its operational state from 32 bits, the status from 8.
    EXPECT_TRUE(parseJson(in, R"([{"TAG_IO_STATUS": 257, "TAG_PORT_ALARM_STATUS": 257}])"));
    EXPECT_EQ(in.getPortOpState(), cObject::OPSTATE_2);
    EXPECT_EQ(in.getPortStatus(), cObject::STATUS_1);
    EXPECT_TRUE(parseJson(in, R"([{"TAG_AI_TYPE": 259}])"));
    EXPECT_EQ(in.getAnalogInputType(), cObjectAInput::AI_TYPE_3);
    EXPECT_TRUE(parseJson(in, R"([{"TAG_AI_TYPE": 4}])"));
    EXPECT_EQ(in.getAnalogInputType(), cObjectAInput::AI_TYPE_NOT_SET);

    // The output's JSON clears an unknown operational state; its tag keeps it.
    cObjectAOutput out;
    out.setPortOpState(cObject::OPSTATE_2);
    TagGroup().add(22, 5u).feed(out);
    EXPECT_EQ(out.getPortOpState(), cObject::OPSTATE_2);
    EXPECT_TRUE(parseJson(out, R"([{"TAG_PORT_STATE": 5}])"));
    EXPECT_EQ(out.getPortOpState(), cObject::OPSTATE_NOT_SET);
}

TEST(Analog, TagReadersKnowOnlyTheirOwnNumbers) {
    LogCapture log;
    cObjectAInput in;
    TagGroup().add(60, 12u).add(76, 5u).add(19, 1u).add(20, 1u).add(48).add(59, "degC").add(56, 7.5f).feed(in);
    EXPECT_EQ(in.getLastSampleSeq(), 12u);
    EXPECT_EQ(in.getAnalogInputType(), cObjectAInput::AI_TYPE_NOT_SET);
    EXPECT_STREQ(in.getDisplayUnit(), "degC");
    EXPECT_EQ(in.getAlarmHighError(), 7.5f);
    EXPECT_TRUE(log.has("cObjectAInput", log4cpp::Priority::INFO, "Unknown Tag 14(20)"));
    EXPECT_TRUE(log.has("cObjectAInput", log4cpp::Priority::INFO, "Unknown Tag 30(48)"));
    // The sequence is only received: JSON writes it, the tags never do.
    EXPECT_NE(jsonOf(in).find(R"({"TAG_AI_SAMPLE_SEQ": 12})"), std::string::npos);
    EXPECT_EQ(tagsOf(in), (Strings{"48", "59 'degC'", "56 f 7.5"}));

    cObjectAOutput out;
    TagGroup().add(79, 1.0f).add(82, 4.0f).add(83, "bar").add(53, 9.0f).add(59, "psi").add(19, 4u).feed(out);
    EXPECT_EQ(out.getAlarmLowWarn(), 1.0f);
    EXPECT_EQ(out.getAlarmHighError(), 4.0f);
    EXPECT_STREQ(out.getDisplayUnit(), "bar");
    EXPECT_TRUE(log.has("cObjectAOutput", log4cpp::Priority::INFO, "Unknown Tag 35(53)"));
    EXPECT_TRUE(log.has("cObjectAOutput", log4cpp::Priority::INFO, "Unknown Tag 3B(59)"));
    EXPECT_FALSE(log.has("Unknown Tag 13(19)"));
}

TEST(Analog, IdentityOrderAndCopies) {
    cObjectAInput a, b;
    a.setPortId(1);
    b.setPortId(1);
    b.setDeviceSerial(0);
    EXPECT_FALSE(a.compIndex(&b));
    EXPECT_TRUE(b < a);
    cObjectAOutput o;
    o.setPortId(0);
    EXPECT_FALSE(o.compIndex(&a));
    EXPECT_FALSE(o < a);

    cObjectAInput* source = new cObjectAInput;
    fillInput(*source);
    source->setSampleCounter(5);
    std::unique_ptr<cObject> copy(source->clone());
    const std::string json = jsonOf(*source);
    EXPECT_NE(static_cast<cObjectAInput&>(*copy).getDisplayUnit(), source->getDisplayUnit());
    delete source;
    EXPECT_EQ(jsonOf(*copy), json);
    EXPECT_EQ(static_cast<cObjectAInput&>(*copy).getSampleCounter(), 5u);
    fillOutput(o);
    EXPECT_EQ(jsonOf(*std::unique_ptr<cObject>(o.clone())), jsonOf(o));
}
