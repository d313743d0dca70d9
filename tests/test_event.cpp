#include "event.h"

#include "objecttest.h"
#include "trend.h"

using namespace objecttest;

namespace {

cObjectEvent* fullEvent() {
    cObjectEvent* e = new cObjectEvent;
    e->setSeqNum(1001);
    e->setEventType(cObjectEvent::EVENT_TYPE_3);
    e->setTimeStamp(1700000000);
    e->setDeviceSerial(0x80000001u);
    e->setPortId(4);
    e->setObjectType(2);
    e->setStatus(cObject::STATUS_1);
    e->setOpState(cObject::OPSTATE_3);
    e->setEventOp(cObjectEvent::EVENT_OP_4);
    e->setDeviceSerialOld(77);
    e->setStartSeq(10);
    e->setEndSeq(20);
    e->setStartTime(30);
    e->setEndTime(40);
    return e;
}

const char kFullJson[] =
    "[{\"TAG_EVT_SEQ\": 1001}, {\"TAG_EVT_TYPE\": 3}, {\"TAG_EVT_TIMESTAMP\": 1700000000}, "
    "{\"TAG_DEV_ID\": -2147483647}, {\"TAG_PORT_PNUM\": 4}, {\"TAG_EVT_OBJTYPE\": 2}, "
    "{\"TAG_EVT_ALARM_STATUS\": 2}, {\"TAG_EVT_OP_STATE\": 2}, {\"TAG_EVT_OPERATION_TYPE\": 4}, "
    "{\"TAG_DEV_ID_OLD\": 77}, {\"TAG_EVT_START_SEQ\": 10}, {\"TAG_EVT_END_SEQ\": 20}, "
    "{\"TAG_EVT_START_TIME\": 30}, {\"TAG_EVT_END_TIME\": 40}]";

}  // namespace

TEST(Event, DefaultEmitsOnlyItsCodeAndWritesEveryJsonElement) {
    cObjectEvent e;
    EXPECT_EQ((Strings{"36"}), tagsOf(e));
    EXPECT_EQ("[{\"TAG_EVT_SEQ\": -1}, {\"TAG_EVT_TYPE\": 0}, {\"TAG_EVT_TIMESTAMP\": -1}, "
              "{\"TAG_DEV_ID\": -1}, {\"TAG_PORT_PNUM\": -1}, {\"TAG_EVT_OBJTYPE\": -1}, "
              "{}, {}, {}, {\"TAG_DEV_ID_OLD\": -1}, {\"TAG_EVT_START_SEQ\": -1}, "
              "{\"TAG_EVT_END_SEQ\": -1}, {\"TAG_EVT_START_TIME\": -1}, {\"TAG_EVT_END_TIME\": -1}]",
              jsonOf(e));
    EXPECT_EQ(nullptr, e.printKey());
}

TEST(Event, EmitsEveryFieldInTableOrder) {
    std::unique_ptr<cObjectEvent> e(fullEvent());
    EXPECT_EQ(kFullJson, jsonOf(*e));
    e->setObjectType(0x1234);  // only the low 8 bits travel in a message
    const Strings expected = {
        "36",       "37 u32 1001", "38 u8 3",   "39 u32 1700000000", "8 u32 2147483649",
        "25 u32 4", "40 u8 52",    "41 u8 2",   "42 u8 2",           "43 u8 4",
        "67 u32 77", "44 u32 10",  "45 u32 20", "46 u32 30",         "47 u32 40",
    };
    EXPECT_EQ(expected, tagsOf(*e));
    EXPECT_NE(std::string::npos, jsonOf(*e).find("{\"TAG_EVT_OBJTYPE\": 4660}"));
}

TEST(Event, EnumCodesBothWays) {
    // Status 1 and 2 swap places on the wire, states 1 to 3 travel as 0 to 2,
    // event type and operation as they are stored.
    struct Row {
        int value, statusCode, opStateCode;
    };
    cObjectList list;
    for (const Row& r : {Row{1, 2, 0}, Row{2, 1, 1}, Row{3, 3, 2}}) {
        cObjectEvent* e = new cObjectEvent;
        e->setEventType(static_cast<cObjectEvent::eEventType>(r.value));
        e->setStatus(static_cast<cObject::eObjectStatus>(r.value));
        e->setOpState(static_cast<cObject::eObjectOpState>(r.value));
        e->setEventOp(static_cast<cObjectEvent::eEventOpType>(r.value + 1));
        const Strings expected = {"36", "38 u8 " + std::to_string(r.value),
                                  "41 u8 " + std::to_string(r.statusCode),
                                  "42 u8 " + std::to_string(r.opStateCode),
                                  "43 u8 " + std::to_string(r.value + 1)};
        EXPECT_EQ(expected, tagsOf(*e));
        list.add(e);
    }
    expectRoundTrips(list);  // and back from the codes, in both forms
    list.deleteObjects();
}

TEST(Event, UnknownCodesAndTagsChangeNothing) {
    std::unique_ptr<cObjectEvent> e(fullEvent());
    const std::string before = jsonOf(*e);
    TagGroup g;
    for (int tag : {38, 41, 42, 43}) g.add(tag, static_cast<unsigned char>(9));
    g.add(36).add(52, 1.5f);
    LogCapture log;
    EXPECT_TRUE(e->parse(g.group(), nullptr));
    EXPECT_EQ(before, jsonOf(*e));
    EXPECT_TRUE(log.has("cObjectEvent", log4cpp::Priority::INFO, "Unknown tag 36"));
    EXPECT_TRUE(log.has("cObjectEvent", log4cpp::Priority::INFO, "Unknown tag 52"));

    // Likewise in JSON, event type 0 included.
    EXPECT_TRUE(parseJson(*e, "[{\"TAG_EVT_TYPE\": 0, \"TAG_EVT_ALARM_STATUS\": 4, "
                                  "\"TAG_EVT_OP_STATE\": 3, \"TAG_EVT_OPERATION_TYPE\": 5}]"));
    EXPECT_EQ(before, jsonOf(*e));
}

TEST(Event, JsonReadsLowBitsAndSkipsNonObjects) {
    cObjectEvent e;
    LogCapture log;
    // 258 reads as its low byte 2, which is status 1; 2^32 + 5 as 5.
    EXPECT_TRUE(parseJson(e, "[7, {\"TAG_EVT_ALARM_STATUS\": 258, "
                                 "\"TAG_EVT_SEQ\": 4294967301}, null]"));
    EXPECT_EQ(cObject::STATUS_1, e.getStatus());
    EXPECT_EQ(5u, e.getSeqNum());
    EXPECT_EQ(2, log.count("object in event parse not a JSON object "));
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::DEBUG, "Array size in event parse array size:3 "));

    // -1 reads back as not set; the last element holding a key wins.
    EXPECT_TRUE(parseJson(e, "[{\"TAG_EVT_SEQ\": 9}, {\"TAG_EVT_SEQ\": -1}]"));
    EXPECT_EQ(0xFFFFFFFFu, e.getSeqNum());

    EXPECT_FALSE(parseJson(e, "{\"TAG_EVT_SEQ\": 1}"));
    EXPECT_FALSE(e.parse(nullptr));
    EXPECT_EQ(2, log.count("object in event parse not a JSON array"));
}

TEST(Event, JsonWrongTypeStopsKeepingEarlierFields) {
    const JsonKeyRow rows[] = {
        {"TAG_EVT_SEQ", "1", "\"1\"", "SeqNum in event parse not a number"},
        {"TAG_EVT_TYPE", "2", "2.0", "event type in event parse not a number"},
        {"TAG_EVT_TIMESTAMP", "3", "\"3\"", "TimeStamp in event parse not a number"},
        {"TAG_DEV_ID", "4", "\"4\"", "DeviceSerial in event parse not a number"},
        {"TAG_PORT_PNUM", "5", "null", "PortId in event parse not a number"},
        {"TAG_EVT_OBJTYPE", "6", "[]", "ObjectType in event parse not a number"},
        {"TAG_EVT_ALARM_STATUS", "3", "true", "Status in event parse not a number"},
        {"TAG_EVT_OP_STATE", "1", "{}", "OpState in event parse not a number"},
        {"TAG_EVT_OPERATION_TYPE", "3", "\"3\"", "EventOp in event parse not a number"},
        {"TAG_DEV_ID_OLD", "10", "\"x\"", "DeviceSerialOld in event parse not a number"},
        {"TAG_EVT_START_SEQ", "11", "\"x\"", "StartSeq in event parse not a number"},
        {"TAG_EVT_END_SEQ", "12", "\"x\"", "EndSeq in event parse not a number"},
        {"TAG_EVT_START_TIME", "13", "\"x\"", "StartTime in event parse not a number"},
        {"TAG_EVT_END_TIME", "14", "\"x\"", "EndTime in event parse not a number"},
    };
    expectWrongTypeStops<cObjectEvent>(rows);
}

TEST(Event, IdentityCloneAndRoundTrips) {
    std::unique_ptr<cObjectEvent> a(fullEvent());
    cObjectEvent same, bigger;
    same.setSeqNum(1001);
    bigger.setSeqNum(1002);
    cObjectTrend other;
    other.setTrendSeqNum(1001);
    expectIdentity(*a, same, bigger, other);
    expectCloneOutlivesSource(fullEvent());

    cObjectList list;
    list.add(a.release());
    list.add(new cObjectEvent);
    expectRoundTrips(list);
    list.deleteObjects();
}

TEST(Event, MessageLevelTagsComeLastAndWin) {
    VMsg msg(0);
    msg.addTag(wireTag(37, 99u));  // before any object: applies to every object
    msg.addTag(VTagFactory::createVTag(36));
    msg.addTag(wireTag(37, 5u));
    msg.addTag(wireTag(39, 6u));
    ListPtr back(cObject::parseMsg(&msg));
    cObjectEvent* e = dynamic_cast<cObjectEvent*>(back->first());
    ASSERT_TRUE(e);
    EXPECT_EQ(99u, e->getSeqNum());
    EXPECT_EQ(6u, e->getTimeStamp());
}
