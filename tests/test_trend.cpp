#include "trend.h"

#include <cmath>
#include <limits>

#include "event.h"
#include "objecttest.h"

using namespace objecttest;

namespace {

cObjectTrend* fullTrend() {
    cObjectTrend* t = new cObjectTrend;
    t->setTrendSeqNum(501);
    t->setTimeStamp(1700000100);
    t->setDeviceSerial(42);
    t->setPortId(3);
    t->setObjectType(4);
    t->setCalculatedValue(21.5f);
    t->setStartSeqNum(500);
    return t;
}

const char kFullJson[] =
    "[{\"TAG_EVT_SEQ\": 501}, {\"TAG_EVT_TIMESTAMP\": 1700000100}, {\"TAG_DEV_ID\": 42}, "
    "{\"TAG_PORT_PNUM\": 3}, {\"TAG_EVT_OBJTYPE\": 4}, {\"TAG_AI_CALCULATED_VALUE\": 21.5}, "
    "{\"TAG_EVT_START_SEQ\": 500}]";

const char kDefaultJson[] =
    "[{\"TAG_EVT_SEQ\": -1}, {\"TAG_EVT_TIMESTAMP\": -1}, {\"TAG_DEV_ID\": -1}, "
    "{\"TAG_PORT_PNUM\": -1}, {\"TAG_EVT_OBJTYPE\": 0}, {}, {\"TAG_EVT_START_SEQ\": -1}]";

}  // namespace

TEST(Trend, DefaultAlwaysSendsItsObjectType) {
    cObjectTrend t;
    EXPECT_TRUE(std::isnan(t.getCalculatedValue()));
    EXPECT_EQ((Strings{"72", "40 u8 0"}), tagsOf(t));
    EXPECT_EQ(kDefaultJson, jsonOf(t));
    EXPECT_STREQ("", t.printKey());
}

TEST(Trend, TagsBothWays) {
    std::unique_ptr<cObjectTrend> t(fullTrend());
    EXPECT_EQ(kFullJson, jsonOf(*t));
    t->setObjectType(0x105);  // only the low 8 bits travel
    const Strings expected = {"72",       "37 u32 501", "39 u32 1700000100", "8 u32 42",
                              "25 u32 3", "40 u8 5",    "52 f 21.5",         "44 u32 500"};
    EXPECT_EQ(expected, tagsOf(*t));
    EXPECT_NE(std::string::npos, jsonOf(*t).find("{\"TAG_EVT_OBJTYPE\": 261}"));

    // Incoming, tag 40 keeps the whole value read; unknown tags are skipped.
    cObjectTrend in;
    TagGroup g;
    g.add(VTagFactory::createVTag(40, 0x105u)).add(72).add(41, 1u);
    LogCapture log;
    EXPECT_TRUE(in.parse(g.group(), nullptr));
    EXPECT_EQ(0x105u, in.getObjectType());
    EXPECT_TRUE(log.has("cObjectTrend", log4cpp::Priority::INFO, "Unknown Tag 48(72)"));
    EXPECT_TRUE(log.has("cObjectTrend", log4cpp::Priority::INFO, "Unknown Tag 29(41)"));
}

TEST(Trend, CalculatedValueJsonCannotHoldLeavesAnEmptyElement) {
    for (float v : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        cObjectTrend t;
        t.setCalculatedValue(v);
        EXPECT_EQ(kDefaultJson, jsonOf(t)) << v;  // seven elements, each in its place
    }
    std::unique_ptr<cObjectTrend> t(fullTrend());
    EXPECT_TRUE(parseJson(*t, kDefaultJson));  // an empty element changes nothing
    EXPECT_EQ(21.5f, t->getCalculatedValue());
}

TEST(Trend, JsonTexts) {
    cObjectTrend t;
    LogCapture log;
    EXPECT_TRUE(parseJson(t, "[\"x\", {}]"));
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::DEBUG, "Array size in trend parse array size:2 "));
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::WARN, "object in trend parse not a JSON object "));
    EXPECT_FALSE(t.parse(nullptr));
    EXPECT_FALSE(parseJson(t, "{}"));
    EXPECT_EQ(2, log.count("object in ainput parse not a JSON array"));
}

TEST(Trend, JsonWrongTypeStopsKeepingEarlierFields) {
    const JsonKeyRow rows[] = {
        {"TAG_EVT_SEQ", "1", "\"1\"", "TrendSeqNum in trend parse not a number"},
        {"TAG_EVT_TIMESTAMP", "2", "\"2\"", "TimeStamp in trend parse not a number"},
        {"TAG_DEV_ID", "3", "3.0", "DeviceSerial in trend parse not a number"},
        {"TAG_PORT_PNUM", "4", "null", "PortID in trend parse not a number"},
        {"TAG_EVT_OBJTYPE", "5", "true", "ObjectType in trend parse not a number"},
        // An integer is not a real.
        {"TAG_AI_CALCULATED_VALUE", "6.25", "7", "CalculatedValue in trend parse not a number"},
        {"TAG_EVT_START_SEQ", "8", "\"8\"", "StartSeqNum in trend parse not a number"},
    };
    expectWrongTypeStops<cObjectTrend>(rows);
}

TEST(Trend, IdentityCloneAndRoundTrips) {
    std::unique_ptr<cObjectTrend> a(fullTrend());
    cObjectTrend same, bigger;
    same.setTrendSeqNum(501);
    bigger.setTrendSeqNum(502);
    cObjectEvent other;
    other.setSeqNum(501);
    expectIdentity(*a, same, bigger, other);
    expectCloneOutlivesSource(fullTrend());

    cObjectList list;
    list.add(a.release());
    list.add(new cObjectTrend);
    cObjectTrend* inexact = fullTrend();
    inexact->setCalculatedValue(-0.1f);  // no exact decimal: the float itself must survive
    list.add(inexact);
    expectRoundTrips(list);
    list.deleteObjects();
}
