// The client's parts on their own, without sockets: the event pump with
// messages handed to it straight, the request entry, and the read error
// back-off.
#include "backoff.h"
#include "clientfixture.h"

using namespace clienttest;

// Listeners are called in the order added, once per entry, with one list
// carrying the message's type and sequence. From inside onEvent a listener
// may remove listeners, itself included, which are then not called for that
// event either, and add listeners, which are called from the next event on.
TEST(EventPump, ListenersInTheOrderAddedAndChangedFromInside) {
    cObjectClient::cEventPump pump;
    RecordingListener a, b, added;
    int changes = 0;  // read once the pump has counted the event delivered
    CallingListener changer([&](cObjectList*) {
        ++changes;
        pump.removeListener(&changer);
        pump.removeListener(&b);
        pump.addListener(&added);
    });
    for (cObjectListener* l : std::initializer_list<cObjectListener*>{&a, &b, &changer, &b, &a}) pump.addListener(l);
    pump.pumpEvent(messageOf(4, 0x85, 7));
    pump.pumpEvent(messageOf(4, 2, 2));
    ASSERT_TRUE(waitUntil([&] { return pump.getDelivered() == 2; }));
    const std::vector<Seen> first = a.seen(), second = b.seen();
    ASSERT_EQ(4u, first.size());
    ASSERT_EQ(1u, second.size());
    EXPECT_LT(first[0].stamp, second[0].stamp);
    EXPECT_LT(second[0].stamp, first[1].stamp);
    EXPECT_EQ(first[0].list, second[0].list);
    EXPECT_EQ(4, second[0].type);
    EXPECT_EQ(5, second[0].seq);
    EXPECT_EQ(std::vector<unsigned int>{7}, second[0].serials);
    EXPECT_EQ(1, changes);
    EXPECT_EQ(1u, added.seen().size());
}

// While a listener holds the pump, the queue keeps the first events up to
// its limit and drops the newest, counted and warned about once; the kept
// ones follow in the order they came.
TEST(EventPump, FullQueueDropsTheNewestWithOneWarning) {
    LogCapture log;
    BlockingListener slow;
    RecordingListener after;
    cObjectClient::cEventPump pump;
    pump.setQueueLimit(3);
    pump.addListener(&slow);
    pump.addListener(&after);
    pump.pumpEvent(messageOf(4, 0, 100));
    ASSERT_TRUE(waitUntil([&] { return slow.entered.load(); }));
    for (unsigned char i = 1; i <= 10; ++i) pump.pumpEvent(messageOf(4, i, 100 + i));
    EXPECT_EQ(7u, pump.getDropped());
    EXPECT_EQ(1, log.count("Event queue full"));
    slow.release();
    ASSERT_TRUE(waitUntil([&] { return pump.getDelivered() == 4; }));
    std::vector<unsigned int> order;
    for (const Seen& s : after.seen()) order.insert(order.end(), s.serials.begin(), s.serials.end());
    EXPECT_EQ(range(100, 4), order);
}

// Each event gives its bytes back once delivered: ten times the byte
// limit's worth, one after another, goes through without a drop.
TEST(EventPump, DeliveredEventsGiveTheirBytesBack) {
    RecordingListener listener;
    cObjectClient::cEventPump pump;
    pump.setQueueBytes(3 * std::unique_ptr<VMsg>(messageOf(4, 0, 1))->getFootprint());
    pump.addListener(&listener);
    for (unsigned int i = 1; i <= 30; ++i) {
        pump.pumpEvent(messageOf(4, static_cast<int>(i), i));
        ASSERT_TRUE(waitUntil([&] { return pump.getDelivered() + pump.getDropped() == i; }));
    }
    EXPECT_EQ(0u, pump.getDropped());
}

// A request is due again after each transmission but its last.
TEST(MsgReg, GivesUpAtItsLastTransmission) {
    for (int limit : {1, 3, 5}) {
        cObjectList list;
        cObjectClient::cMsgReg reg(&list, limit);
        for (int tx = 0; tx < limit; ++tx, reg.incTx())
            EXPECT_EQ(cObjectClient::cMsgReg::MSG_AWAITING, reg.rxStatus()) << limit << " transmissions";
        EXPECT_EQ(cObjectClient::cMsgReg::MSG_GAVE_UP, reg.rxStatus()) << limit << " transmissions";
    }
}

TEST(Backoff, DoublesToItsCeilingAndStartsOverAfterSuccess) {
    wqx::Backoff b(1, 1000);
    for (unsigned int e : {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1000, 1000}) EXPECT_EQ(e, b.next());
    b.reset();
    EXPECT_EQ(1u, b.next());
}
