// Routing of received messages, driven straight through queue_rx_msg: the
// client is started against a server that never answers, so every message
// a request sees is one the test made, in the order the test chose.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
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
typedef std::unique_ptr<cObjectList, ListDeleter> OwnedList;

// A whole reply of devices first..first+n-1, each labelled with labelLen
// characters (long labels make the reply take several segments).
VMsg* replyOf(unsigned char type, unsigned char seq, unsigned int first, unsigned int n = 1,
              std::size_t labelLen = 8) {
    cObjectList list;
    const std::string label(labelLen, 'L');
    for (unsigned int i = 0; i < n; ++i) list.add(device(first + i, label.c_str()));
    list.setMsgType(type);
    list.setMsgSeq(seq);
    VMsg* msg = list.toMsg();
    list.deleteObjects();
    return msg;
}

// The segments of msg as a receiver gets them: each decoded from its own
// datagram. msg is freed.
std::vector<VMsg*> segmentsOf(VMsg* msg) {
    std::vector<VMsg*> out;
    EXPECT_GT(msg->segmentMessage(VMsg::kMaxSegment), 0u);
    msg->resetSegment();
    unsigned char buf[VMsg::kMaxSegment];
    while (VMsg* s = msg->getNextSegment())
        out.push_back(VMsg::parseMsg(buf, s->getMsg(buf, sizeof buf)));
    delete msg;
    return out;
}

std::vector<unsigned int> range(unsigned int first, unsigned int n) {
    std::vector<unsigned int> out;
    for (unsigned int i = 0; i < n; ++i) out.push_back(first + i);
    return out;
}

class Routing : public ::testing::Test {
protected:
    void SetUp() override {
        cObjectServerSim::cFaults silent;
        silent.silent = true;
        sim.setFaults(silent);
        ASSERT_TRUE(sim.start());
        client.setReplyWait(10 * kPatienceMs);
        client.setTransmissions(1);
        client.addListener(&events);
        ASSERT_EQ(1, client.start("127.0.0.1", sim.port()));
    }
    void TearDown() override {
        if (caller.joinable()) caller.join();
        client.removeListener(&events);
    }
    // Starts a get of a list of n devices on another thread and returns
    // the sequence number it went out with, once the server has read it
    // (so it is registered).
    int startGet(unsigned int n = 1) {
        const std::size_t before = requests();
        caller = std::thread([this, n] {
            cObjectList list;
            for (unsigned int i = 0; i < n; ++i) list.add(device(1001 + i));
            reply.reset(client.get(&list));
            list.deleteObjects();
        });
        if (!waitUntil([&] { return requests() > before; })) return -1;
        const auto seen = sim.received();
        for (auto it = seen.rbegin(); it != seen.rend(); ++it)
            if (!it->ping && it->type == 1) return it->seq;
        return -1;
    }
    // Gets read so far (sends of type 0 are not counted).
    std::size_t requests() const {
        std::size_t n = 0;
        for (const auto& d : sim.received()) n += !d.ping && d.type == 1;
        return n;
    }
    void feed(const std::vector<VMsg*>& msgs) {
        for (VMsg* m : msgs) client.queue_rx_msg(m);
    }

    LogCapture log;
    cObjectServerSim sim;
    RecordingListener events;
    cObjectClient client;
    OwnedList reply;
    std::thread caller;
};

}  // namespace

// What the server may send back for a ping (sequence 0) never completes a
// request, whatever its shape: requests are numbered from 1.
TEST_F(Routing, PingAnswersAreEventsNeverReplies) {
    const int seq = startGet();
    ASSERT_GE(seq, 1);
    VMsg* echo = new VMsg(1);
    echo->addTag(VTagFactory::createVTag(8, 0xFFFFFFFFu));
    client.queue_rx_msg(echo);
    client.queue_rx_msg(new VMsg(1));  // empty, like a ping's answer
    ASSERT_TRUE(waitUntil([&] { return events.calls() == 2; }));
    client.queue_rx_msg(replyOf(1, static_cast<unsigned char>(seq), 1001));
    caller.join();
    ASSERT_NE(nullptr, reply);
    EXPECT_EQ(std::vector<unsigned int>{1001}, serials(reply.get()));
    for (const Seen& s : events.seen()) EXPECT_EQ(0, s.seq);
}

// A segmented reply: segments in any order and any number of copies give
// the reply once, whole; a missing segment gives null, never the rest.
TEST_F(Routing, SegmentedRepliesAreWholeOrNull) {
    struct Case {
        const char* name;
        std::vector<int> order;  // indexes of the four segments, as fed
        bool whole;
    } cases[] = {
        {"in order", {0, 1, 2, 3}, true},
        {"reversed", {3, 2, 1, 0}, true},
        {"shuffled", {2, 0, 3, 1}, true},
        {"every segment twice", {0, 0, 1, 1, 2, 3, 2, 3}, true},
        {"two answers interleaved", {0, 0, 1, 1, 2, 2, 3, 3}, true},
        {"second lost", {0, 2, 3}, false},
        {"last lost", {0, 1, 2}, false},
        {"only copies of one", {1, 1, 1}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        client.setReplyWait(c.whole ? 10 * kPatienceMs : stretched(200));
        const int seq = startGet();
        ASSERT_GE(seq, 1);
        std::vector<VMsg*> a = segmentsOf(replyOf(1, static_cast<unsigned char>(seq), 3000, 30, 100));
        std::vector<VMsg*> b = segmentsOf(replyOf(1, static_cast<unsigned char>(seq), 3000, 30, 100));
        ASSERT_EQ(4u, a.size());
        std::vector<int> used(4, 0);
        for (int i : c.order) {
            client.queue_rx_msg(used[i]++ == 0 ? a[i] : b[i]);
            if (used[i] == 2) b[i] = nullptr;
            else a[i] = nullptr;
        }
        caller.join();
        if (c.whole) {
            ASSERT_NE(nullptr, reply);
            EXPECT_EQ(range(3000, 30), serials(reply.get()));
        } else {
            EXPECT_EQ(nullptr, reply);
        }
        for (VMsg* m : a) delete m;
        for (VMsg* m : b) delete m;
        reply.reset();
    }
    EXPECT_EQ(3u, client.getCounters().requestsGivenUp);
}

TEST_F(Routing, SecondCompleteReplyBecomesAnEvent) {
    const int seq = startGet();
    client.queue_rx_msg(replyOf(1, static_cast<unsigned char>(seq), 1001));
    client.queue_rx_msg(replyOf(1, static_cast<unsigned char>(seq), 1001));
    caller.join();
    ASSERT_NE(nullptr, reply);
    EXPECT_EQ(1, reply->numObjects());
    ASSERT_TRUE(events.waitForObjectEvents(1));
    EXPECT_EQ(seq, events.seen()[0].seq);
    EXPECT_EQ(1u, client.getCounters().lateReplies);
}

// Unsolicited segmented messages reach the listeners once, whole, or not
// at all (counted) when a segment never comes.
TEST_F(Routing, SegmentedEventsAreDeliveredWholeOrDropped) {
    client.setReplyWait(stretched(100));  // how long an event waits for its rest
    std::vector<VMsg*> whole = segmentsOf(replyOf(4, 3, 7000, 30, 100));
    std::vector<VMsg*> cut = segmentsOf(replyOf(4, 9, 8000, 30, 100));
    ASSERT_EQ(4u, whole.size());
    feed({whole[3], whole[1], whole[0]});
    feed({cut[0], cut[1], cut[3]});
    delete cut[2];
    client.queue_rx_msg(whole[2]);
    ASSERT_TRUE(events.waitForObjectEvents(1));
    EXPECT_EQ(range(7000, 30), events.withObjects()[0].serials);
    EXPECT_EQ(4, events.seen()[0].type);
    EXPECT_EQ(3, events.seen()[0].seq);
    ASSERT_TRUE(waitUntil([&] { return client.getCounters().eventsIncomplete == 1; }));
    EXPECT_EQ(1, events.calls());
    EXPECT_EQ(0u, client.getAssemblyHeld());
}

// A segmented reply may hold only so much while it is put together: past
// that its request ends at once with null, and what it held is freed.
TEST_F(Routing, ReplyPastItsMemoryLimitEndsItsRequestAtOnce) {
    client.setReplyLimit(8 * 1024);
    client.setReplyWait(stretched(1000));  // also how long the tail waits as an event
    const int seq = startGet();
    std::vector<VMsg*> big = segmentsOf(replyOf(1, static_cast<unsigned char>(seq), 4000, 200, 100));
    ASSERT_GT(big.size(), 16u);
    for (VMsg* m : big) client.queue_rx_msg(m);
    caller.join();
    EXPECT_EQ(nullptr, reply);
    const cObjectClient::cCounters c = client.getCounters();
    EXPECT_GE(c.messagesTooLarge, 1u);
    EXPECT_EQ(1u, c.requestsGivenUp);
    // Segments read after the request left are late; they wait as an event
    // within the same limit, then go, and nothing stays held.
    EXPECT_TRUE(waitUntil([&] { return client.getAssemblyHeld() == 0; }));
}

// A request that gave up keeps its number out of use until answers to it
// can no longer come: its late answer is an event, never another
// request's reply.
TEST_F(Routing, LateAnswerOfAnEndedRequestNeverReachesTheNextOne) {
    client.setReplyWait(stretched(300));  // also how long the number rests
    const int first = startGet();
    caller.join();
    EXPECT_EQ(nullptr, reply);
    client.setReplyWait(10 * kPatienceMs);
    // Every other number is used once more; the ended request's is not.
    std::vector<int> seen;
    cObjectList empty;
    empty.setMsgType(0);
    for (int i = 0; i < 126; ++i) {
        client.send(&empty);
        seen.push_back(empty.getMsgSeq());
    }
    EXPECT_EQ(seen.end(), std::find(seen.begin(), seen.end(), first));
    const int second = startGet();
    EXPECT_NE(first, second);
    client.queue_rx_msg(replyOf(1, static_cast<unsigned char>(first), 1001));
    ASSERT_TRUE(events.waitForObjectEvents(1));
    EXPECT_EQ(1u, client.getCounters().lateReplies);
    client.queue_rx_msg(replyOf(1, static_cast<unsigned char>(second), 1001));
    caller.join();
    EXPECT_NE(nullptr, reply);
}

TEST_F(Routing, SequenceOfAWaitingRequestIsNotGivenOut) {
    const int waiting = startGet();
    cObjectList empty;
    empty.setMsgType(0);
    for (int i = 0; i < 300; ++i) {
        client.send(&empty);
        ASSERT_NE(waiting, empty.getMsgSeq());
        ASSERT_NE(0, empty.getMsgSeq());
    }
    client.queue_rx_msg(replyOf(1, static_cast<unsigned char>(waiting), 1001));
    caller.join();
    EXPECT_NE(nullptr, reply);
}

// Many requests, each answered by a random schedule of its reply's
// segments: lost, repeated, reordered, mixed with a second answer's copies
// and with a stranger's reply. A request returns exactly its reply or
// null, and null exactly when some segment never came.
TEST_F(Routing, RandomSegmentSchedulesGiveTheWholeReplyOrNull) {
    std::mt19937 random(20261206);
    int whole = 0, null = 0;
    for (int round = 0; round < 60; ++round) {
        const unsigned int n = 1 + random() % 40;
        const unsigned int first = 10000 + 100 * static_cast<unsigned int>(round);
        std::vector<int> order;
        std::vector<VMsg*> probe = segmentsOf(replyOf(1, 1, first, n, 60));
        const int segments = static_cast<int>(probe.size());
        for (VMsg* m : probe) delete m;
        std::vector<bool> came(static_cast<std::size_t>(segments), false);
        for (int i = 0; i < segments; ++i) {
            const unsigned int roll = random() % 10;
            if (roll == 0) continue;  // lost
            order.push_back(i);
            came[static_cast<std::size_t>(i)] = true;
            if (roll == 1) order.push_back(i);  // repeated
        }
        std::shuffle(order.begin(), order.end(), random);
        const bool complete = std::all_of(came.begin(), came.end(), [](bool b) { return b; });
        client.setReplyWait(complete ? 10 * kPatienceMs : stretched(30));
        const int seq = startGet();
        ASSERT_GE(seq, 1);
        std::vector<VMsg*> a = segmentsOf(replyOf(1, static_cast<unsigned char>(seq), first, n, 60));
        std::vector<VMsg*> b = segmentsOf(replyOf(1, static_cast<unsigned char>(seq), first, n, 60));
        client.queue_rx_msg(replyOf(1, static_cast<unsigned char>(seq == 127 ? 1 : seq + 1), 999));
        for (int i : order) {
            VMsg*& m = a[static_cast<std::size_t>(i)] ? a[static_cast<std::size_t>(i)]
                                                      : b[static_cast<std::size_t>(i)];
            client.queue_rx_msg(m);
            m = nullptr;
        }
        caller.join();
        for (VMsg* m : a) delete m;
        for (VMsg* m : b) delete m;
        if (complete) {
            ASSERT_NE(nullptr, reply) << "round " << round;
            EXPECT_EQ(range(first, n), serials(reply.get())) << "round " << round;
            ++whole;
        } else {
            EXPECT_EQ(nullptr, reply) << "round " << round;
            ++null;
        }
        reply.reset();
    }
    EXPECT_GT(whole, 10);
    EXPECT_GT(null, 10);
    EXPECT_EQ(static_cast<unsigned int>(null), client.getCounters().requestsGivenUp);
    RecordProperty("whole", whole);
    RecordProperty("null", null);
}
