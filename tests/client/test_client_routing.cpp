// Routing of received messages, driven straight through queue_rx_msg: the
// client is started against a server that never answers, so every message
// a request sees is one the test made, in the order the test chose.
#include <gtest/gtest.h>

#include <atomic>
#include <numeric>

#include "clientfixture.h"

using namespace clienttest;

namespace {

// The segments of msg as a receiver gets them, each decoded from its own
// datagram. msg is freed.
std::vector<VMsg*> segmentsOf(VMsg* msg) {
    std::vector<VMsg*> out;
    EXPECT_GT(msg->segmentMessage(VMsg::kMaxSegment), 0u);
    msg->resetSegment();
    unsigned char buf[VMsg::kMaxSegment];
    while (VMsg* s = msg->getNextSegment()) out.push_back(VMsg::parseMsg(buf, s->getMsg(buf, sizeof buf)));
    delete msg;
    return out;
}

std::vector<unsigned int> range(unsigned int first, unsigned int n) {
    std::vector<unsigned int> out(n);
    std::iota(out.begin(), out.end(), first);
    return out;
}

// A client started against a server that answers nothing, sending each
// request once.
class Routing : public ClientTest {
protected:
    void SetUp() override {
        ClientTest::SetUp();
        sim.setFaults(faults([](Faults& f) { f.silent = true; }));
        client->setReplyWait(10 * kPatienceMs);
        client->setTransmissions(1);
    }
    // Destroying the client makes a request still waiting return.
    void TearDown() override {
        client.reset();
        if (caller.joinable()) caller.join();
    }
    // Starts a get on another thread and returns the sequence number it
    // went out with, once the server has read it (so it is registered).
    int startGet() {
        if (caller.joinable()) caller.join();
        const std::size_t before = requests().size();
        returned = false;
        caller = std::thread([this, c = client.get()] {
            reply.reset(c->get(own(device(1001)).get()));
            returned = true;
        });
        return requests(before + 1).size() > before ? requests().back().seq : -1;
    }
    bool waitReturned() {
        const bool done = waitUntil([&] { return returned.load(); });
        if (done) caller.join();
        return done;
    }

    std::unique_ptr<cObject> reply;
    std::atomic<bool> returned{false};
    std::thread caller;
};

}  // namespace

// A number is not handed out while its request waits, nor, after a request
// ended without its reply, while answers to it may still come: such an
// answer is a late reply and an event, never the next request's reply.
TEST_F(Routing, NumbersOfWaitingAndEndedRequestsAreNotGivenOut) {
    client->setReplyWait(stretched(200));
    const int ended = startGet();
    // Read when the request ends: how long its number rests.
    client->setReplyWait(10 * kPatienceMs);
    ASSERT_TRUE(waitReturned());
    EXPECT_EQ(nullptr, reply);
    const int waiting = startGet();
    ASSERT_TRUE(ended > 0 && waiting > 0);
    cObjectList empty;
    empty.setMsgType(0);
    for (int i = 0; i < 300; ++i) {
        client->send(&empty);
        ASSERT_NE(ended, empty.getMsgSeq());
        ASSERT_NE(waiting, empty.getMsgSeq());
        ASSERT_NE(0, empty.getMsgSeq());
    }
    client->queue_rx_msg(messageOf(1, ended, 1001));
    ASSERT_TRUE(events.waitFor(1));
    EXPECT_EQ(1u, client->getCounters().lateReplies);
    client->queue_rx_msg(messageOf(1, waiting, 1001));
    ASSERT_TRUE(waitReturned());
    EXPECT_EQ(1001u, serialOf(reply.get()));
}

// Unsolicited segmented messages reach the listeners once and whole, also
// two of different types with one sequence number, interleaved; one whose
// segments stop coming is dropped, counted and warned about.
TEST_F(Routing, SegmentedEventsAreDeliveredWholeOrDropped) {
    client->setReplyWait(stretched(100));  // how long an event waits for its rest
    std::vector<VMsg*> a = segmentsOf(messageOf(4, 3, 7000, 30, 100));
    std::vector<VMsg*> b = segmentsOf(messageOf(5, 3, 8000, 30, 100));
    std::vector<VMsg*> cut = segmentsOf(messageOf(4, 9, 9000, 30, 100));
    ASSERT_EQ(12u, a.size() + b.size() + cut.size());
    for (VMsg* m : {a[3], b[0], a[1], b[1], cut[0], a[0], b[3], cut[1], cut[3], b[2], a[2]})
        client->queue_rx_msg(m);
    delete cut[2];
    ASSERT_TRUE(events.waitFor(2));
    ASSERT_TRUE(waitUntil([&] { return client->getCounters().eventsIncomplete == 1; }));
    const std::vector<Seen> seen = events.seen();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(5, seen[0].type);
    EXPECT_EQ(range(8000, 30), seen[0].serials);
    EXPECT_EQ(4, seen[1].type);
    EXPECT_EQ(3, seen[1].seq);
    EXPECT_EQ(range(7000, 30), seen[1].serials);
    EXPECT_EQ(1, warnings(log, "Event Seq=9 dropped"));
    EXPECT_EQ(0u, client->getAssemblyHeld());
}

// A segmented reply may hold only so much while it is put together, alone
// and with the other partial replies: past either limit its request ends at
// once with null, and the rest of it, taken for an event, is freed too.
TEST_F(Routing, ReplyPastAMemoryLimitEndsItsRequestAtOnce) {
    const std::size_t kLimit = 8 * 1024, kNone = static_cast<std::size_t>(-1);
    const struct {
        const char* name;
        std::size_t reply, all;
    } cases[] = {{"its own limit", kLimit, kNone}, {"all replies' limit", kNone, kLimit}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        client->setReplyLimit(c.reply);
        client->setAssemblyLimit(c.all);
        client->setReplyWait(10 * kPatienceMs);
        const cObjectClient::cCounters before = client->getCounters();
        const int seq = startGet();
        client->setReplyWait(stretched(100));  // how long the rest waits as an event
        for (VMsg* m : segmentsOf(messageOf(1, seq, 4000, 200, 100))) client->queue_rx_msg(m);
        ASSERT_TRUE(waitReturned());
        EXPECT_EQ(nullptr, reply);
        const cObjectClient::cCounters after = client->getCounters();
        EXPECT_GE(after.messagesTooLarge - before.messagesTooLarge, 1u);
        EXPECT_EQ(1u, after.requestsGivenUp - before.requestsGivenUp);
        EXPECT_TRUE(waitUntil([&] { return client->getAssemblyHeld() == 0; }));
    }
}
