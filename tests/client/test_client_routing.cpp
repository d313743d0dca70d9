// Routing of received messages, driven straight through queue_rx_msg on a
// client that never starts: no sockets, no timing.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "clientfixture.h"

using namespace clienttest;

namespace {

struct ListDeleter {
    void operator()(cObjectList* l) const {
        if (!l) return;
        l->deleteObjects();
        delete l;
    }
};

VMsg* replyOf(unsigned char type, unsigned char seq, bool last, unsigned int serial) {
    cObjectList list;
    list.add(device(serial, "from the server"));
    list.setMsgType(type);
    list.setMsgSeq(seq);
    VMsg* msg = list.toMsg();
    msg->setLastSegment(last);
    list.deleteObjects();
    return msg;
}

// What the server may send back for a ping: the ping itself.
VMsg* pingEcho() {
    VMsg* msg = new VMsg(1);
    msg->addTag(VTagFactory::createVTag(8, 0xFFFFFFFFu));
    return msg;
}

class Routing : public ::testing::Test {
protected:
    void SetUp() override {
        client.setReplyWait(10 * kPatienceMs);
        client.addListener(&events);
    }
    // Starts a get of device 1001 on another thread and waits until it
    // is registered and queued (it is never written: no start).
    void startGet() {
        caller = std::thread([this] {
            list.add(device(1001));
            reply.reset(client.get(&list));
        });
        ASSERT_TRUE(waitUntil([&] { return log.has("Queue message q size 1"); }));
    }
    void TearDown() override {
        if (caller.joinable()) caller.join();
        list.deleteObjects();
    }

    LogCapture log;
    RecordingListener events;
    cObjectClient client;
    cObjectList list;
    std::unique_ptr<cObjectList, ListDeleter> reply;
    std::thread caller;
};

}  // namespace

TEST_F(Routing, PingAnswerIsNotTakenForAReplySegment) {
    startGet();  // sequence 0, like every ping
    client.queue_rx_msg(pingEcho());
    client.queue_rx_msg(replyOf(1, 0, true, 1001));
    caller.join();
    ASSERT_NE(nullptr, reply);
    ASSERT_EQ(1, reply->numObjects());
    EXPECT_EQ(1001u, serialOf(reply->first()));
    ASSERT_TRUE(waitUntil([&] { return events.calls() == 1; }));
    EXPECT_EQ(1, events.seen()[0].type);
    EXPECT_TRUE(events.seen()[0].serials.empty());
}

TEST_F(Routing, SecondCompleteReplyBecomesAnEvent) {
    startGet();
    client.queue_rx_msg(replyOf(1, 0, true, 1001));
    client.queue_rx_msg(replyOf(1, 0, true, 1001));
    caller.join();
    ASSERT_NE(nullptr, reply);
    EXPECT_EQ(1, reply->numObjects());
    ASSERT_TRUE(events.waitForObjectEvents(1));
    EXPECT_EQ(0, events.seen()[0].seq);
    EXPECT_EQ(1u, client.getCounters().lateReplies);
}

TEST_F(Routing, UnsolicitedMessagesAreEventsNotLateReplies) {
    client.queue_rx_msg(replyOf(4, 3, true, 7));
    client.queue_rx_msg(nullptr);
    ASSERT_TRUE(events.waitForObjectEvents(1));
    EXPECT_EQ(4, events.seen()[0].type);
    EXPECT_EQ(3, events.seen()[0].seq);
    EXPECT_EQ(0u, client.getCounters().lateReplies);
}

TEST_F(Routing, SequenceOfAWaitingRequestIsNotGivenOut) {
    startGet();  // waits with sequence 0
    cObjectList empty;
    empty.setMsgType(0);
    for (int i = 1; i < 128; ++i) client.send(&empty);
    EXPECT_EQ(127, empty.getMsgSeq());
    client.send(&empty);
    EXPECT_EQ(1, empty.getMsgSeq());  // 0 is still waiting for its reply
    client.queue_rx_msg(replyOf(1, 0, true, 1001));
    caller.join();
    ASSERT_NE(nullptr, reply);
    client.send(&empty);
    EXPECT_EQ(2, empty.getMsgSeq());
}
