// cObjectList and the message conversions: the list operations, the event
// flag, toMsg, match, cObject::parseMsg and cObject::create.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "device.h"
#include "objecttest.h"
#include "stubobject.h"

using namespace objecttest;
using namespace wiretest;

namespace {

// get() hands the first over; get(key) and remove(key) take every entry of
// the match (an object in the list twice leaves with both, so the list never
// keeps a pointer to an object it deleted); a key of another class matches
// nothing.
TEST(ObjectList, GetAndRemoveTakeEveryEntryOfTheMatch) {
    cObjectList list;
    cObjectDevice* twice = makeDevice(2);
    for (cObject* o : {static_cast<cObject*>(makeDevice(1)), static_cast<cObject*>(twice),
                       static_cast<cObject*>(makeDevice(3)), static_cast<cObject*>(twice),
                       static_cast<cObject*>(makeDevice(4))})
        list.add(o);
    cObjectDevice key;
    key.setDeviceSerial(2);
    StubObject other(cObject::OBJ_PORT);
    EXPECT_EQ(list.get(&other), nullptr);
    EXPECT_EQ(list.get(nullptr), nullptr);
    EXPECT_FALSE(list.remove(nullptr));
    std::unique_ptr<cObject> got(list.get(&key));
    EXPECT_EQ(got.get(), twice);
    EXPECT_EQ(serialsOf(list), "1,3,4");
    EXPECT_EQ(list.get(&key), nullptr);
    list.add(got.release());
    list.add(twice);
    EXPECT_TRUE(list.remove(&key));
    EXPECT_FALSE(list.remove(&key));
    std::unique_ptr<cObject> first(list.get());
    EXPECT_EQ(dynamic_cast<cObjectDevice*>(first.get())->getDeviceSerial(), 1u);
    EXPECT_EQ(serialsOf(list), "3,4");
    list.add(nullptr);
    list.deleteObjects();  // null entries skipped
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.next(), nullptr);
}

// Taking entries out while iterating neither skips nor repeats the rest.
TEST(ObjectList, CursorStaysOnTheNextEntryWhenEntriesGo) {
    struct Case {
        const char* name;
        int stepsTaken;  // objects returned by first()/next() before the change
        std::function<void(cObjectList&, cObjectDevice&)> change;
        unsigned int next;  // serial next() returns afterwards; 0 for null
    };
    auto getKey = [](unsigned int s) {
        return [s](cObjectList& l, cObjectDevice& key) {
            key.setDeviceSerial(s);
            delete l.get(&key);
        };
    };
    auto removeKey = [](unsigned int s) {
        return [s](cObjectList& l, cObjectDevice& key) {
            key.setDeviceSerial(s);
            l.remove(&key);
        };
    };
    const Case cases[] = {
        {"get() after first", 1, [](cObjectList& l, cObjectDevice&) { delete l.get(); }, 2},
        {"get(key) of the one returned", 1, getKey(1), 2},
        {"remove of an earlier one", 2, removeKey(1), 3},
        {"remove of the one returned", 2, removeKey(2), 3},
        {"remove of the one due next", 1, removeKey(2), 3},
        {"remove of the last", 2, removeKey(3), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cObjectList list;
        for (unsigned int s : {1u, 2u, 3u}) list.add(makeDevice(s));
        list.first();
        for (int i = 1; i < c.stepsTaken; ++i) list.next();
        cObjectDevice key;
        c.change(list, key);
        cObjectDevice* next = dynamic_cast<cObjectDevice*>(list.next());
        EXPECT_EQ(next ? next->getDeviceSerial() : 0u, c.next);
        list.deleteObjects();
    }
}

TEST(ObjectList, EventListRefusesToGiveObjectsUp) {
    cObjectList list;
    list.add(makeDevice(1));
    list.add(makeDevice(2));
    list.setEvent();
    cObjectDevice key;
    key.setDeviceSerial(1);
    EXPECT_EQ(list.get(), nullptr);
    EXPECT_EQ(list.get(&key), nullptr);
    EXPECT_FALSE(list.remove(&key));
    EXPECT_EQ(serialsOf(list), "1,2");
    std::unique_ptr<VMsg> msg(list.toMsg());
    EXPECT_EQ(msg->getTagCount(), 4u);
    list.deleteObjects();
    EXPECT_EQ(list.numObjects(), 0);
    EXPECT_TRUE(list.isEvent());
}

// ---- toMsg and match ----

TEST(ObjectListMsg, ToMsgSkipsNullEntries) {
    cObjectList list;
    list.setMsgType(3);
    list.setMsgSeq(5);
    list.add(makeDevice(7));
    list.add(nullptr);
    list.add(new StubObject(cObject::OBJ_PORT));  // no tag list at all
    std::unique_ptr<VMsg> msg(list.toMsg());
    EXPECT_EQ(encode(*msg), canon("0015 | 02 03 05 0000 0001 0002 | 05 00 0000 | 08 02 0004 00000007"));
    EXPECT_EQ(list.numObjects(), 3);
    list.deleteObjects();
    cObjectList unset;  // an unset sequence travels as its low 7 bits
    EXPECT_EQ(encode(*std::unique_ptr<VMsg>(unset.toMsg())), canon("0009 | 02 FF 7F 0000 0001 0000"));
}

TEST(ObjectListMsg, MatchComparesTypeAndSevenBitSequence) {
    const struct {
        unsigned char listType, listSeq;
        const char* datagram;
        bool match;
    } cases[] = {
        {3, 5, "0009 | 02 03 05 0000 0001 0000", true},
        {3, 5, "0009 | 02 03 05 0001 0003 0000", true},  // any segment
        {3, 5, "0009 | 02 03 06 0000 0001 0000", false},
        {3, 5, "0009 | 02 04 05 0000 0001 0000", false},
        {3, 0x7F, "0009 | 02 03 7F 0000 0001 0000", true},
        {0x85, 0x85, "0009 | 02 85 05 0000 0001 0000", true},  // 7 bits of the sequence travel
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.datagram);
        cObjectList list;
        list.setMsgType(c.listType);
        list.setMsgSeq(c.listSeq);
        std::unique_ptr<VMsg> msg(parseHex(c.datagram));
        ASSERT_TRUE(msg);
        EXPECT_EQ(list.match(msg.get()), c.match);
    }
    cObjectList fresh;  // never numbered: no 7-bit sequence number matches 0xFF
    std::unique_ptr<VMsg> msg(parseHex("0009 | 02 FF 7F 0000 0001 0000"));
    EXPECT_FALSE(fresh.match(msg.get()));
}

// ---- parseMsg ----

VMsg* message(std::initializer_list<VTag*> tags) {
    VMsg* m = new VMsg(1);
    for (VTag* t : tags) m->addTag(t);
    return m;
}

// A message info and unknown codes are skipped; a message without objects
// (an empty reply, a ping's answer) is an empty list, and so is no message.
TEST(ObjectListParse, OnlyKnownObjectsAreRead) {
    std::unique_ptr<VMsg> msg(message({VTagFactory::createVTag(5), VTagFactory::createVTag(8, 7u),
                                       VTagFactory::createVTag(65), VTagFactory::createVTag(66)}));
    std::unique_ptr<cObjectList> list(cObject::parseMsg(msg.get()));
    EXPECT_EQ(serialsOf(*list), "7");
    EXPECT_FALSE(list->isEvent());
    list->deleteObjects();
    std::unique_ptr<VMsg> noGroup(message({VTagFactory::createVTag(8, 1u)}));
    std::unique_ptr<VMsg> empty(message({}));
    for (VMsg* m : {noGroup.get(), empty.get(), static_cast<VMsg*>(nullptr)}) {
        std::unique_ptr<cObjectList> list(cObject::parseMsg(m));
        ASSERT_TRUE(list);
        EXPECT_EQ(list->numObjects(), 0);
    }
}

// ---- the factory ----

TEST(ObjectFactory, CreatesByType) {
    for (int t = 0; t <= 13; ++t) {
        std::unique_ptr<cObject> o(cObject::create(static_cast<cObject::eObjectTypes>(t)));
        ASSERT_TRUE(o) << t;
        EXPECT_EQ(o->getType(), t);
    }
    for (int t : {14, 200, -1})
        EXPECT_EQ(cObject::create(static_cast<cObject::eObjectTypes>(t)), nullptr) << t;
}

}  // namespace
