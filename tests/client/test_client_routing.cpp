// Routing of received messages, driven straight through queue_rx_msg: the
// client is started against a server that never answers, so every message
// a request sees is one the test made, in the order the test chose.
#include "clientfixture.h"
#include "wiretest.h"

using namespace clienttest;

// The segments of msg as a receiver gets them, each decoded from its own
// datagram. msg is freed.
static std::vector<VMsg*> segmentsOf(VMsg* msg) {
    std::vector<VMsg*> out;
    for (const wiretest::Bytes& d : wiretest::segmentDatagrams(*std::unique_ptr<VMsg>(msg)))
        out.push_back(wiretest::parseBytes(d));
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
    // Starts a get of device 1001 on another thread and returns the
    // sequence number it went out with, once the server has read it (so it
    // is registered). Destroying the client makes a get still waiting
    // return, before the future waits for it.
    int startGet() {
        const std::size_t before = requests().size();
        pending = std::async(std::launch::async, [c = client.get()] { return fetch(*c, 1001); });
        return requests(before + 1).size() > before ? requests().back().seq : -1;
    }
    // What that get returned (0 for null), or -1 while it still waits: then
    // the test must stop (ASSERT), as the next get would wait for this one
    // until the client goes.
    long long returned() {
        using namespace std::chrono_literals;
        return waitUntil([&] { return pending.wait_for(0s) == std::future_status::ready; }) ? pending.get() : -1;
    }

    std::future<unsigned int> pending;
};

// A number is not handed out while its request waits, nor, after a request
// ended without its reply, while answers to it may still come: such an
// answer is a late reply and an event, never the next request's reply.
TEST_F(Routing, NumbersOfWaitingAndEndedRequestsAreNotGivenOut) {
    client->setReplyWait(stretched(200));
    const int ended = startGet();
    // Read when the request ends: how long its number rests.
    client->setReplyWait(10 * kPatienceMs);
    ASSERT_EQ(0, returned());
    const int waiting = startGet();
    ASSERT_TRUE(ended > 0 && waiting > 0);
    cObjectList empty;
    empty.setMsgType(0);
    for (int i = 0; i < 300; ++i) {
        client->send(&empty);
        const int seq = empty.getMsgSeq();
        ASSERT_TRUE(seq != ended && seq != waiting && seq != 0) << seq;
    }
    client->queue_rx_msg(messageOf(1, ended, 1001));
    ASSERT_TRUE(events.waitFor(1));
    EXPECT_EQ(1u, counters().lateReplies);
    client->queue_rx_msg(messageOf(1, waiting, 1001));
    EXPECT_EQ(1001, returned());
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
    ASSERT_TRUE(waitUntil([&] { return counters().eventsIncomplete == 1; }));
    const std::vector<Seen> seen = events.seen();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(5, seen[0].type);
    EXPECT_EQ(range(8000, 30), seen[0].serials);
    EXPECT_EQ(4, seen[1].type);
    EXPECT_EQ(3, seen[1].seq);
    EXPECT_EQ(range(7000, 30), seen[1].serials);
    EXPECT_EQ(1, log.count("Event Seq=9 dropped"));
    EXPECT_EQ(0u, client->getAssemblyHeld());
}

// A segmented reply may hold only so much while it is put together, alone
// and with the other partial replies: past either limit its request ends at
// once with null, and the rest of it, taken for an event, is freed too.
TEST_F(Routing, ReplyPastAMemoryLimitEndsItsRequestAtOnce) {
    const std::size_t kLimit = 8 * 1024, kNone = static_cast<std::size_t>(-1);
    const struct { const char* name; std::size_t reply, all; } cases[] = {
        {"its own limit", kLimit, kNone}, {"all replies' limit", kNone, kLimit}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        client->setReplyLimit(c.reply);
        client->setAssemblyLimit(c.all);
        client->setReplyWait(10 * kPatienceMs);
        const cObjectClient::cCounters before = counters();
        const int seq = startGet();
        client->setReplyWait(stretched(100));  // how long the rest waits as an event
        for (VMsg* m : segmentsOf(messageOf(1, seq, 4000, 200, 100))) client->queue_rx_msg(m);
        ASSERT_EQ(0, returned());
        EXPECT_GE(counters().messagesTooLarge - before.messagesTooLarge, 1u);
        EXPECT_EQ(1u, counters().requestsGivenUp - before.requestsGivenUp);
        EXPECT_TRUE(waitUntil([&] { return client->getAssemblyHeld() == 0; }));
    }
}
