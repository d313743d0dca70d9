// What the object classes do that the golden vectors and quirks.txt cannot
// state as data, because only the accessors show it: the value stored
// behind a code, the object type a port is built with, the site's north mode
// and number; and a text handed back to its own setter.
#include <gtest/gtest.h>

#include "event.h"
#include "port.h"
#include "objecttest.h"
#include "sitecfg.h"

using namespace objecttest;

namespace {

// The getter's value once a new T has read the JSON array.
template <class T, class Getter>
int readBy(const char* json, Getter get) {
    T obj;
    EXPECT_TRUE(parseJson(obj, json)) << json;
    return static_cast<int>((obj.*get)());
}

}  // namespace

// A text handed back to its setter, whole or from its middle: the setter
// must copy it before it frees the array the text lives in. (Every reader
// stores its texts through these setters, so the golden vectors show that
// each is wired to its own field.)
TEST(Classes, TextSetFromItsOwnText) {
    cObjectSiteConfig site;
    site.setSiteLabel("Pump house");
    site.setSiteLabel(site.getSiteLabel());
    EXPECT_STREQ(site.getSiteLabel(), "Pump house");
    site.setSiteLabel(site.getSiteLabel() + 5);
    EXPECT_STREQ(site.getSiteLabel(), "house");
}

// A field whose tags and JSON share one code table reads back what it wrote
// even through a table with two codes crossed; only the stored value shows
// that. One row a table, from a code the table maps to another number.
TEST(Classes, CodesReadIntoTheValuesTheAccessorsShow) {
    EXPECT_EQ(readBy<cObjectDevice>(R"([{"TAG_DEV_STATE": 0}])", &cObjectDevice::getDeviceOpState), 1);
    EXPECT_EQ(readBy<cObjectDevice>(R"([{"TAG_DEV_STATUS": 1}])", &cObjectDevice::getDeviceStatus), 2);
    EXPECT_EQ(readBy<cObjectDevice>(R"([{"TAG_DEV_TYPE": 8}])", &cObjectDevice::getDeviceType), 9);
    EXPECT_EQ(readBy<cObjectPort>(R"([{"TAG_PORT_ALARM_STATUS": 0}])", &cObjectPort::getPortStatus), 2);
    EXPECT_EQ(readBy<cObjectPort>(R"([{"TAG_PORT_LAST_TOGGLED": 3}])", &cObjectPort::getPortToggled), 4);
    EXPECT_EQ(readBy<cObjectPort>(R"([{"TAG_PORT_TYPE": 3}])", &cObjectPort::getPortType), 3);
    EXPECT_EQ(readBy<cObjectEvent>(R"([{"TAG_EVT_ALARM_STATUS": 1}])", &cObjectEvent::getStatus), 2);
    EXPECT_EQ(readBy<cObjectEvent>(R"([{"TAG_EVT_OPERATION_TYPE": 3}])", &cObjectEvent::getEventOp), 3);
}

// A port's object type follows the port type it is built with; setting the
// port type later leaves it.
TEST(Classes, PortObjectTypeComesFromTheConstructor) {
    const int objectTypes[] = {1, 2, 3, 4, 11, 1, 1};  // for port types 0 to 6
    for (int t = 0; t < 7; ++t) {
        cObjectPort p(static_cast<cObjectPort::ePortType>(t));
        EXPECT_EQ(p.getPortType(), t);
        p.setPortType(t == 2 ? cObjectPort::PORT_TYPE_DIN : cObjectPort::PORT_TYPE_DOUT);
        EXPECT_EQ(p.getType(), objectTypes[t]) << t;
    }
}

// The site's north status travels in tag 7 (the byte 1 stands for status
// 2); its north mode is read from its own tag 182 and never sent, so tag 7
// leaves it. The site's number, its identity, travels in neither form: a
// site read from either has number 1.
TEST(Classes, SiteNorthAndNumber) {
    cObjectSiteConfig s;
    s.setNorthMode(static_cast<cObjectSiteConfig::eSiteNorthMode>(4));
    TagGroup().add(7, static_cast<unsigned char>(1)).feed(s);
    EXPECT_EQ(s.getNorthStatus(), cObject::STATUS_2);
    EXPECT_EQ(s.getNorthMode(), 4);
    TagGroup().add(182, static_cast<unsigned char>(7)).feed(s);
    EXPECT_EQ(s.getNorthMode(), 7);
    s.setConfigNum(9);
    cObjectSiteConfig first;
    EXPECT_FALSE(s.compIndex(&first) || first.compIndex(&s));
    EXPECT_TRUE(first < s && !(s < first));
    for (Trip trip : kTrips)
        EXPECT_EQ(static_cast<cObjectSiteConfig&>(*carry(s, trip)).getConfigNum(), 1u) << tripName(trip);
}
