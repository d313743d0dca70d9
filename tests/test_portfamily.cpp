// The whole port family through the factory, a JSON document and a datagram.
#include <gtest/gtest.h>

#include <typeinfo>

#include "ainput.h"
#include "aoutput.h"
#include "dinput.h"
#include "doutput.h"
#include "objecttest.h"

using namespace objecttest;

namespace {

// One object of each class with every field its JSON carries, as getJSON
// writes it (the serials are 3000000002 and up, written as signed 32 bits).
const char* const kDocument =
    R"([[{"objectType": "OBJ_PORT"}, {"objectValues": [{"TAG_IO_PNUM": 1}, )"
    R"({"TAG_DEV_ID": -1294967294}, {"TAG_PORT_TYPE": 4}, {"TAG_IO_LABEL": "Port \"é\""}, )"
    R"({"TAG_PORT_ALARM_STATUS": 0}, {"TAG_PORT_STATE": 0}, {"TAG_PORT_LAST_TOGGLED": 4}]}], )"
    R"([{"objectType": "OBJ_PORT_DIN"}, {"objectValues": [{"TAG_DEV_ID": -1294967293}, )"
    R"({"TAG_IO_PNUM": 2}, {"TAG_IO_DEFAULT_STATE": 0}, {"TAG_IO_STATE": 1}, )"
    R"({"TAG_IO_STATUS": 1, "TAG_PORT_ALARM_STATUS": 1}, {"TAG_IO_TYPE": 1}, )"
    R"({"TAG_IO_LABEL": "Door"}, {"TAG_PORT_LAST_TOGGLED": 3}]}], )"
    R"([{"objectType": "OBJ_PORT_DOUT"}, {"objectValues": [{"TAG_DEV_ID": -1294967292}, )"
    R"({"TAG_IO_PNUM": 3}, {"TAG_IO_DEFAULT_STATE": 1}, {"TAG_IO_STATE": 1}, )"
    R"({"TAG_IO_STATUS": 2}, {"TAG_PORT_ALARM_STATUS": 0}, {"TAG_IO_TYPE": 2}, )"
    R"({"TAG_IO_LABEL": "Siren"}, {"TAG_PORT_LAST_TOGGLED": 4}]}], )"
    R"([{"objectType": "OBJ_PORT_AIN"}, {"objectValues": [{"TAG_DEV_ID": -1294967291}, )"
    R"({"TAG_IO_PNUM": 4}, {"TAG_PORT_ALARM_STATUS": 2}, {"TAG_IO_STATUS": 0}, )"
    R"({"TAG_IO_LABEL": "Level"}, {"TAG_IO_SAMPLED_VALUE": 0.10000000149011612}, )"
    R"({"TAG_IO_OFFSET": -7.0}, {"TAG_IO_GAIN": 1.0000000031710769e-30}, )"
    R"({"TAG_AI_CALCULATED_VALUE": 123456.7890625}, {"TAG_AI_ALARM_LOW_WARN": 1.0}, )"
    R"({"TAG_AI_ALARM_LOW_ERR": 0.5}, {"TAG_AI_ALARM_HIGH_WARN": 2.0}, )"
    R"({"TAG_AI_ALARM_HIGH_ERR": 2.5}, {"TAG_AI_SAMPLE_RATE": 5}, {"TAG_AI_REPORT_RATE": 300}, )"
    R"({"TAG_AI_DISPLAY_UNIT": "kPa"}, {"TAG_AI_SAMPLE_SEQ": 41}, )"
    R"({"TAG_AI_ACCEPTABLE_NOISE": 0.0099999997764825821}, {"TAG_AI_TYPE": 3}, )"
    R"({"TAG_PORT_LAST_TOGGLED": 2}]}], )"
    R"([{"objectType": "OBJ_PORT_AOUT"}, {"objectValues": [{"TAG_DEV_ID": -1294967290}, )"
    R"({"TAG_IO_PNUM": 5}, {"TAG_PORT_ALARM_STATUS": 1}, {"TAG_IO_LABEL": "Pump"}, )"
    R"({"TAG_IO_SAMPLED_VALUE": 1499.5}, {"TAG_IO_OFFSET": 0.0}, {"TAG_IO_GAIN": -1.0}, )"
    R"({"TAG_AO_OUTPUT_VALUE": 1500.0}, {"TAG_AO_ALARM_LOW_WARN": 100.0}, )"
    R"({"TAG_AO_ALARM_LOW_ERR": 50.0}, {"TAG_AO_ALARM_HIGH_WARN": 2900.0}, )"
    R"({"TAG_AO_ALARM_HIGH_ERR": 3000.0}, {"TAG_AO_DISPLAY_UNIT": "rpm"}, )"
    R"({"TAG_AO_MAXIMUM_VALUE": 3000.0}, {"TAG_AO_MINIMUM_VALUE": -0.0}, )"
    R"({"TAG_PORT_LAST_TOGGLED": 1}, {"TAG_PORT_STATE": 1}]}]])";

}  // namespace

TEST(PortFamily, FactoryMakesEachClass) {
    for (cObject::eObjectTypes t : {cObject::OBJ_PORT, cObject::OBJ_PORT_DIN, cObject::OBJ_PORT_DOUT,
                                    cObject::OBJ_PORT_AIN, cObject::OBJ_PORT_AOUT}) {
        std::unique_ptr<cObject> obj(cObject::create(t));
        ASSERT_NE(dynamic_cast<cObjectPort*>(obj.get()), nullptr) << t;
        EXPECT_EQ(obj->getType(), t);
        EXPECT_EQ(tagsOf(*obj).front(), std::to_string(cObject::getWireCode(t)));
    }
}

TEST(PortFamily, DocumentReadsBackToTheSameText) {
    ListPtr list(cObject::parseJSON(kDocument));
    ASSERT_EQ(list->numObjects(), 5);
    EXPECT_EQ(static_cast<cObjectPort*>(list->first())->getDeviceSerial(), 3000000002u);
    EXPECT_EQ(documentOf(list.get()), kDocument);
}

TEST(PortFamily, DatagramCarriesEveryClassAndField) {
    ListPtr sent(cObject::parseJSON(kDocument));
    ListPtr back = throughDatagram(*sent);
    ASSERT_EQ(back->numObjects(), sent->numObjects());
    for (cObject *s = sent->first(), *b = back->first(); s && b; s = sent->next(), b = back->next()) {
        SCOPED_TRACE(cObject::getJSONName(s->getType()));
        EXPECT_EQ(b->getType(), s->getType());
        EXPECT_EQ(typeid(*b), typeid(*s));
        EXPECT_TRUE(s->compIndex(b));
        EXPECT_EQ(tagsOf(*b), tagsOf(*s));
    }
}

// The discrete output sends its status before its states, so a status the
// states do not explain is replaced by the derived one on the way; the
// input takes the status as sent.
TEST(PortFamily, DiscreteStatusThroughADatagram) {
    cObjectDOutput out;
    cObjectDInput in;
    for (cObjectPort* p : {static_cast<cObjectPort*>(&out), static_cast<cObjectPort*>(&in)}) {
        p->setPortStatus(cObject::STATUS_3);
        TagGroup().add(20, 1u).add(17, 1u).feed(*p);
    }
    EXPECT_EQ(static_cast<cObjectPort&>(*carry(out, throughDatagram)).getPortStatus(), cObject::STATUS_2);
    EXPECT_EQ(static_cast<cObjectPort&>(*carry(in, throughDatagram)).getPortStatus(), cObject::STATUS_3);
}
