// The event pump on its own: messages handed to it straight, no sockets.
#include <gtest/gtest.h>

#include "clientfixture.h"

using namespace clienttest;
typedef cObjectClient::cEventPump cEventPump;

namespace {

VMsg* eventOf(unsigned char type, unsigned char seq, unsigned int serial) {
    cObjectList list;
    list.add(device(serial));
    list.setMsgType(type);
    list.setMsgSeq(seq);
    VMsg* msg = list.toMsg();
    list.deleteObjects();
    return msg;
}

// Calls fn on its first event only.
class OnceListener : public cObjectListener {
public:
    explicit OnceListener(std::function<void()> fn) : fn_(std::move(fn)) {}
    void onEvent(cObjectList*) override {
        if (!done_) fn_();
        done_ = true;
    }

private:
    std::function<void()> fn_;
    bool done_ = false;
};

}  // namespace

TEST(EventPump, EveryListenerInOrderWithTheSameMarkedList) {
    std::vector<std::string> order;
    std::mutex orderMutex;
    RecordingListener a("a", &order, &orderMutex), b("b", &order, &orderMutex),
        c("c", &order, &orderMutex);
    cEventPump pump;
    pump.addListener(&a);
    pump.addListener(&b);
    pump.addListener(&c);
    pump.pumpEvent(eventOf(4, 0x85, 7));
    ASSERT_TRUE(c.waitForObjectEvents(1));
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), order);
    const Seen sa = a.seen()[0], sb = b.seen()[0], sc = c.seen()[0];
    EXPECT_EQ(sa.list, sb.list);
    EXPECT_EQ(sa.list, sc.list);
    EXPECT_EQ(4, sa.type);
    EXPECT_EQ(5, sa.seq);
    EXPECT_EQ(std::vector<unsigned int>{7}, sa.serials);
    EXPECT_EQ(1u, pump.getDelivered());
}

TEST(EventPump, ListenerAddedTwiceIsCalledTwiceAndRemovedAtOnce) {
    RecordingListener twice, last;
    cEventPump pump;
    pump.addListener(&twice);
    pump.addListener(&twice);
    pump.addListener(&last);
    pump.pumpEvent(eventOf(4, 1, 1));
    ASSERT_TRUE(last.waitForObjectEvents(1));
    EXPECT_EQ(2, twice.calls());
    pump.removeListener(&twice);
    pump.pumpEvent(eventOf(4, 2, 2));
    ASSERT_TRUE(last.waitForObjectEvents(2));
    EXPECT_EQ(2, twice.calls());
}

TEST(EventPump, ListenersMayChangeTheListenersFromInsideOnEvent) {
    cEventPump pump;
    RecordingListener removed, added, last;
    OnceListener changer([&] {
        pump.removeListener(&removed);
        pump.addListener(&added);
    });
    pump.addListener(&changer);
    pump.addListener(&removed);
    pump.addListener(&last);
    pump.pumpEvent(eventOf(4, 1, 1));
    ASSERT_TRUE(last.waitForObjectEvents(1));
    // Removed by an earlier listener of the same event: not called for it.
    EXPECT_EQ(0, removed.calls());
    // Added during delivery: called from the next event on.
    EXPECT_EQ(0, added.calls());
    pump.pumpEvent(eventOf(4, 2, 2));
    ASSERT_TRUE(last.waitForObjectEvents(2));
    EXPECT_EQ(1, added.calls());
    EXPECT_EQ(0, removed.calls());
}

TEST(EventPump, ListenerMayRemoveItself) {
    cEventPump pump;
    RecordingListener last;
    struct SelfRemover : cObjectListener {
        cEventPump* pump = nullptr;
        int calls = 0;
        void onEvent(cObjectList*) override {
            ++calls;
            pump->removeListener(this);
        }
    } self;
    self.pump = &pump;
    pump.addListener(&self);
    pump.addListener(&self);
    pump.addListener(&last);
    pump.pumpEvent(eventOf(4, 1, 1));
    pump.pumpEvent(eventOf(4, 2, 2));
    ASSERT_TRUE(last.waitForObjectEvents(2));
    EXPECT_EQ(1, self.calls);
}

TEST(EventPump, FullQueueDropsWithOneWarningAndCounts) {
    LogCapture log;
    BlockingListener slow;
    cEventPump pump;
    pump.setQueueLimit(3);
    pump.addListener(&slow);
    pump.pumpEvent(eventOf(4, 0, 0));
    ASSERT_TRUE(slow.waitEntered());
    for (unsigned char i = 1; i <= 10; ++i) pump.pumpEvent(eventOf(4, i, i));
    EXPECT_EQ(7u, pump.getDropped());
    EXPECT_EQ(1, log.count("Event queue full (3 lists, 1048576 bytes), dropping events"));
    slow.release();
    ASSERT_TRUE(waitUntil([&] { return pump.getDelivered() == 4; }));
    EXPECT_EQ(4, slow.finished());
}

TEST(EventPump, StopLetsTheRunningListenerFinishAndFreesTheQueue) {
    BlockingListener slow;
    cEventPump pump;
    pump.addListener(&slow);
    pump.pumpEvent(eventOf(4, 0, 0));
    ASSERT_TRUE(slow.waitEntered());
    pump.pumpEvent(eventOf(4, 1, 1));
    pump.pumpEvent(eventOf(4, 2, 2));
    std::thread stopper([&] { pump.stop(); });
    slow.release();
    stopper.join();
    // Every call that began has ended; what was still queued is freed
    // (the leak checker sees to that), and nothing is delivered after.
    const unsigned int delivered = pump.getDelivered();
    EXPECT_GE(delivered, 1u);
    EXPECT_EQ(static_cast<int>(delivered), slow.finished());
    pump.pumpEvent(eventOf(4, 3, 3));
    EXPECT_EQ(delivered, pump.getDelivered());
}
