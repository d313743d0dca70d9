#include "msginfo.h"

#include "event.h"
#include "objecttest.h"

using namespace objecttest;

TEST(MsgInfo, TagsCarryOnlyWhatIsSet) {
    struct Row {
        bool indexesOnly;
        unsigned int maxReplies;
        Strings tags;
    };
    const Row rows[] = {
        {false, 0, {"65"}},
        {true, 0, {"65", "66"}},
        {false, 10, {"65", "69 u32 10"}},
        {true, 0xFFFFFFFFu, {"65", "66", "69 u32 4294967295"}},
    };
    for (const Row& r : rows) {
        cObjectMsgInfo m;
        m.setIndexesOnly(r.indexesOnly);
        m.setMaxReplies(r.maxReplies);
        EXPECT_EQ(r.tags, tagsOf(m));
    }
}

TEST(MsgInfo, ReadsItsGroupButNotMessageLevelTags) {
    cObjectMsgInfo m;
    TagGroup g;
    g.add(66).add(69, 5u).add(70, 1u).msgLevel(wireTag(69, 99u));
    LogCapture log;
    EXPECT_TRUE(g.feed(m));
    EXPECT_EQ("[{\"TAG_MSG_INFO_IDX_ONLY\": true}, {\"TAG_MSG_INFO_MAX_REPLIES\": 5}]", jsonOf(m));
    EXPECT_TRUE(log.has("cObjectMsgInfo", log4cpp::Priority::INFO, "Unknown Tag 46(70)"));
    EXPECT_TRUE(m.parse(nullptr, nullptr));
}

TEST(MsgInfo, JsonBothWays) {
    cObjectMsgInfo m;
    EXPECT_EQ("[{\"TAG_MSG_INFO_IDX_ONLY\": false}, {\"TAG_MSG_INFO_MAX_REPLIES\": 0}]", jsonOf(m));
    m.setIndexesOnly(true);
    m.setMaxReplies(12);
    const std::string full = jsonOf(m);
    EXPECT_EQ("[{\"TAG_MSG_INFO_IDX_ONLY\": true}, {\"TAG_MSG_INFO_MAX_REPLIES\": 12}]", full);

    cObjectMsgInfo back;
    LogCapture log;
    EXPECT_TRUE(parseJson(back, "[3, " + full.substr(1)));
    EXPECT_EQ(full, jsonOf(back));
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::DEBUG, "Array size in msginfo parse array size:3 "));
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::WARN, "object in msginfo parse not a JSON object "));
    EXPECT_FALSE(parseJson(back, "{}"));
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::WARN, "object in msginfo parse not a JSON object"));
}

TEST(MsgInfo, JsonWrongTypeStopsKeepingEarlierFields) {
    const JsonKeyRow rows[] = {
        {"TAG_MSG_INFO_MAX_REPLIES", "7", "\"7\"", "MaxReplies in msginfo parse not a number"},
        {"TAG_MSG_INFO_IDX_ONLY", "true", "1", " in IndexesOnly parse not a boolean"},
    };
    expectWrongTypeStops<cObjectMsgInfo>(rows);
}

TEST(MsgInfo, MatchesEverythingOrdersNothing) {
    cObjectMsgInfo m;
    cObjectEvent e;
    EXPECT_TRUE(m.compIndex(nullptr));
    EXPECT_TRUE(m.compIndex(&e));
    EXPECT_FALSE(m < e);
    EXPECT_STREQ("None", m.printKey());
    cObjectMsgInfo* source = new cObjectMsgInfo;
    source->setMaxReplies(3);
    expectCloneOutlivesSource(source);

    // As a lookup key it takes the first object, whatever its class.
    cObjectList list;
    list.add(new cObjectEvent);
    cObject* first = list.first();
    EXPECT_EQ(first, list.get(&m));
    delete first;
}

TEST(MsgInfo, IsSentButNeverReadBack) {
    std::unique_ptr<cObject> made(cObject::create(cObject::OBJ_MSG_INFO));
    ASSERT_TRUE(dynamic_cast<cObjectMsgInfo*>(made.get()));

    cObjectList list;
    cObjectMsgInfo* m = new cObjectMsgInfo;
    m->setIndexesOnly(true);
    m->setMaxReplies(4);
    list.add(m);
    cObjectEvent* e = new cObjectEvent;
    e->setSeqNum(8);
    list.add(e);

    for (Trip trip : kTrips) {
        ListPtr back = trip(list);
        ASSERT_EQ(1, back->numObjects());
        ASSERT_EQ(cObject::OBJ_EVENT, back->first()->getType());
        EXPECT_TRUE(e->compIndex(back->first()));
    }
    list.deleteObjects();
}
