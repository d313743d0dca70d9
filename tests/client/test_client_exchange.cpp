// Requests and replies against the simulator over loopback.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "clientfixture.h"

using namespace clienttest;

namespace {

std::unique_ptr<cObject> own(cObject* obj) { return std::unique_ptr<cObject>(obj); }

struct ListDeleter {
    void operator()(cObjectList* l) const {
        if (!l) return;
        l->deleteObjects();
        delete l;
    }
};
typedef std::unique_ptr<cObjectList, ListDeleter> OwnedList;

// Nine devices with 240-character labels, stored in the simulator and
// asked for by one list: 256 bytes each on the wire, so their reply takes
// three 1024-byte datagrams of three devices each.
struct LongDevices {
    explicit LongDevices(cObjectServerSim& sim) {
        const std::string label(240, 'x');
        for (unsigned int i = 0; i < 9; ++i) {
            sim.add(device(2000 + i, label.c_str()));
            list.add(device(2000 + i));
            serials.push_back(2000 + i);
        }
    }
    ~LongDevices() { list.deleteObjects(); }
    cObjectList list;
    std::vector<unsigned int> serials;
};

// The devices of the simulator's default site.
std::vector<unsigned int> defaultDevices() {
    OwnedList site(cObject::parseJSON(cObjectServerSim::defaultSiteJSON().c_str()));
    std::vector<unsigned int> out;
    for (cObject* o = site->first(); o; o = site->next())
        if (o->getType() == cObject::OBJ_DEVICE) out.push_back(serialOf(o));
    return out;
}

}  // namespace

class Exchange : public ClientTest {};

TEST_F(Exchange, GetReturnsTheStoredObjectAfterOneTransmission) {
    auto key = own(device(1002));
    auto got = own(client->get(key.get()));
    ASSERT_NE(nullptr, got);
    EXPECT_NE(key.get(), got.get());
    EXPECT_STREQ("Reservoir level", static_cast<cObjectDevice*>(got.get())->getDeviceLabel());
    EXPECT_EQ(1, log.count("Re-Transmit"));
    EXPECT_TRUE(log.has("TxCounter = 1, status = 2"));
    EXPECT_EQ(0u, client->getCounters().retransmissions);
}

TEST_F(Exchange, GetOfAnUnknownObjectIsNull) {
    auto key = own(device(4242));
    EXPECT_EQ(nullptr, client->get(key.get()));
    EXPECT_EQ(0u, client->getCounters().requestsGivenUp);  // answered, just empty
}

TEST_F(Exchange, SetStoresWithoutAReplyAndTheChangeComesBackAsAnEvent) {
    RecordingListener events;
    Listening listening(client.get(), &events);
    auto changed = own(device(1001, "Pump house, renamed"));
    EXPECT_EQ(0, client->set(changed.get()));
    ASSERT_TRUE(events.waitForObjectEvents(1));
    EXPECT_EQ(std::vector<unsigned int>{1001}, events.withObjects()[0].serials);
    EXPECT_EQ(cObjectServerSim::kEventType, events.withObjects()[0].type);
    auto got = own(client->get(changed.get()));
    ASSERT_NE(nullptr, got);
    EXPECT_STREQ("Pump house, renamed", static_cast<cObjectDevice*>(got.get())->getDeviceLabel());
    EXPECT_EQ(-1, client->set(nullptr));
    EXPECT_EQ(nullptr, client->get(static_cast<cObject*>(nullptr)));
}

TEST_F(Exchange, GetOfAListReturnsTheWholeReply) {
    cObjectList asked;
    auto a = own(device(1001)), b = own(device(1003));
    asked.add(a.get());
    asked.add(b.get());
    OwnedList reply(client->get(&asked));
    ASSERT_NE(nullptr, reply);
    EXPECT_EQ(1, asked.getMsgType());
    EXPECT_EQ((std::vector<unsigned int>{1001, 1003}), serials(reply.get()));
    EXPECT_EQ(1, reply->getMsgType());
    EXPECT_EQ(asked.getMsgSeq(), reply->getMsgSeq());
    EXPECT_FALSE(reply->isEvent());
}

TEST_F(Exchange, GetIndexesSendsTheMessageInfoFirstAndGetsIdentitiesOnly) {
    auto every = own(new cObjectDevice);
    OwnedList reply(client->getIndexes(every.get()));
    ASSERT_NE(nullptr, reply);
    EXPECT_EQ(defaultDevices(), serials(reply.get()));
    for (cObject* o = reply->first(); o; o = reply->next())
        EXPECT_EQ(nullptr, static_cast<cObjectDevice*>(o)->getDeviceLabel());
    const auto sent = requestsOnce(1);
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(1, sent[0].type);
    EXPECT_EQ((std::vector<unsigned char>{65, 5}), sent[0].objectCodes);
    EXPECT_TRUE(sent[0].indexesOnly);
    // The message info travels as its code and the bare indexes-only tag.
    const std::vector<unsigned char>& b = sent[0].bytes;
    ASSERT_GE(b.size(), 19u);
    EXPECT_EQ(65, b[11]);
    EXPECT_EQ(66, b[15]);
    EXPECT_EQ(nullptr, client->getIndexes(nullptr));
    EXPECT_TRUE(log.has("cObjectClient", log4cpp::Priority::WARN,
                        "Getting Indexes for NULL objects is unhealthy"));
}

TEST_F(Exchange, SendUsesTheListsOwnTypeAndWaitsForNothing) {
    RecordingListener events;
    Listening listening(client.get(), &events);
    cObjectList list;
    auto d = own(device(1004));
    list.add(d.get());
    list.setMsgType(5);
    EXPECT_EQ(nullptr, client->send(&list));
    // No request waits for it, so the server's answer is an event.
    ASSERT_TRUE(events.waitForObjectEvents(1));
    EXPECT_EQ(5, events.withObjects()[0].type);
    EXPECT_EQ(list.getMsgSeq(), events.withObjects()[0].seq);
    EXPECT_EQ(std::vector<unsigned int>{1004}, events.withObjects()[0].serials);
}

TEST_F(Exchange, SilentServerGetsThreeTransmissionsThenNull) {
    sim.setFaults([] { cObjectServerSim::cFaults f; f.silent = true; return f; }());
    client->setReplyWait(kShortWaitMs);
    auto key = own(device(1001));
    EXPECT_EQ(nullptr, client->get(key.get()));
    EXPECT_EQ(3, log.count("Re-Transmit"));
    EXPECT_TRUE(log.has("TxCounter = 3, status = 1"));
    ASSERT_TRUE(sim.waitFor([](const std::vector<cObjectServerSim::cDatagram>& r) {
        int n = 0;
        for (const auto& d : r) n += !d.ping && d.type == 1;
        return n == 3;
    }, kPatienceMs));
    const auto sent = requests();
    EXPECT_EQ(sent[0].bytes, sent[1].bytes);  // the same list, sequence and all
    EXPECT_EQ(sent[0].bytes, sent[2].bytes);
    const auto c = client->getCounters();
    EXPECT_EQ(2u, c.retransmissions);
    EXPECT_EQ(1u, c.requestsGivenUp);
}

TEST_F(Exchange, AnswerToTheSecondTransmissionIsReturned) {
    sim.setFaults([] { cObjectServerSim::cFaults f; f.dropRequests = 1; return f; }());
    // Long enough for the answer to the second transmission to come back
    // before a third is due even on a loaded machine.
    client->setReplyWait(stretched(1000));
    auto key = own(device(1003));
    auto got = own(client->get(key.get()));
    ASSERT_NE(nullptr, got);
    EXPECT_EQ(1003u, serialOf(got.get()));
    EXPECT_EQ(2, log.count("Re-Transmit"));
    EXPECT_EQ(1u, client->getCounters().retransmissions);
}

TEST_F(Exchange, AnswerToTheThirdTransmissionIsReturned) {
    sim.setFaults([] { cObjectServerSim::cFaults f; f.dropRequests = 2; return f; }());
    client->setReplyWait(stretched(200));
    auto key = own(device(1004));
    auto got = own(client->get(key.get()));
    ASSERT_NE(nullptr, got);
    EXPECT_EQ(1004u, serialOf(got.get()));
    EXPECT_EQ(3, log.count("Re-Transmit"));
    const auto c = client->getCounters();
    EXPECT_EQ(2u, c.retransmissions);
    EXPECT_EQ(0u, c.requestsGivenUp);
}

TEST_F(Exchange, LateAnswersReachTheListeners) {
    RecordingListener events;
    Listening listening(client.get(), &events);
    sim.setFaults([] { cObjectServerSim::cFaults f; f.hold = true; return f; }());
    client->setReplyWait(kShortWaitMs);
    cObjectList asked;
    auto key = own(device(1002));
    asked.add(key.get());
    EXPECT_EQ(nullptr, client->get(&asked));
    ASSERT_TRUE(waitUntil([&] { return requestCount(1, asked.getMsgSeq()) == 3; }));
    sim.releaseHeld();
    ASSERT_TRUE(events.waitForObjectEvents(3));
    for (const Seen& s : events.withObjects()) {
        EXPECT_EQ(1, s.type);
        EXPECT_EQ(asked.getMsgSeq(), s.seq);
        EXPECT_EQ(std::vector<unsigned int>{1002}, s.serials);
    }
    EXPECT_EQ(3u, client->getCounters().lateReplies);
}

// Requests are numbered 1 to 127 and start again at 1: 0 is the ping's.
TEST_F(Exchange, SequenceRunsFromOneTo127AndWrapsToOne) {
    cObjectList empty;
    empty.setMsgType(0);
    for (int i = 1; i <= 127; ++i) {
        client->send(&empty);
        EXPECT_EQ(i, empty.getMsgSeq());
    }
    auto key = own(device(1001));
    cObjectList asked;
    asked.add(key.get());
    OwnedList reply(client->get(&asked));
    EXPECT_EQ(1, asked.getMsgSeq());
    ASSERT_NE(nullptr, reply);
    EXPECT_EQ(std::vector<unsigned int>{1001}, serials(reply.get()));
    const auto sent = requestsOnce(128);
    ASSERT_EQ(128u, sent.size());
    EXPECT_EQ(1, sent.back().type);
    EXPECT_EQ(1, sent.back().seq);
}

TEST_F(Exchange, ReplyOfAnotherTypeDoesNotMatch) {
    RecordingListener events;
    Listening listening(client.get(), &events);
    sim.setFaults([] { cObjectServerSim::cFaults f; f.replyType = 0; return f; }());
    client->setReplyWait(kShortWaitMs);
    auto key = own(device(1001));
    EXPECT_EQ(nullptr, client->get(key.get()));
    ASSERT_TRUE(events.waitForObjectEvents(1));
    EXPECT_EQ(0, events.withObjects()[0].type);
    EXPECT_TRUE(log.has("Request type does not match"));
}

TEST_F(Exchange, ThreeSegmentReplyIsAssembledIntoOneList) {
    LongDevices asked(sim);
    OwnedList reply(client->get(&asked.list));
    ASSERT_NE(nullptr, reply);
    EXPECT_EQ(asked.serials, serials(reply.get()));
    EXPECT_EQ(1, reply->getMsgType());
    EXPECT_EQ(asked.list.getMsgSeq(), reply->getMsgSeq());
    EXPECT_EQ(1, log.count("Re-Transmit"));
}

TEST_F(Exchange, ManyCallersOnSeveralThreadsEachGetTheirOwnReply) {
    const unsigned int kThreads = 6, kEach = 20;
    for (unsigned int i = 0; i < kThreads * kEach; ++i)
        sim.add(device(5000 + i, std::to_string(5000 + i).c_str()));
    std::atomic<int> wrong(0);
    std::vector<std::thread> callers;
    for (unsigned int t = 0; t < kThreads; ++t) {
        callers.emplace_back([&, t] {
            for (unsigned int i = 0; i < kEach; ++i) {
                const unsigned int serial = 5000 + t * kEach + i;
                auto key = own(device(serial));
                auto got = own(client->get(key.get()));
                cObjectDevice* d = static_cast<cObjectDevice*>(got.get());
                if (!d || d->getDeviceSerial() != serial ||
                    std::to_string(serial) != d->getDeviceLabel())
                    ++wrong;
            }
        });
    }
    for (std::thread& t : callers) t.join();
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(0u, client->getCounters().retransmissions);
}

TEST_F(Exchange, RepliesInAnotherOrderStillFindTheirRequests) {
    sim.setFaults([] { cObjectServerSim::cFaults f; f.reorder = true; return f; }());
    std::unique_ptr<cObject> got[2];
    std::thread first([&] { auto k = own(device(1001)); got[0].reset(client->get(k.get())); });
    std::thread second([&] { auto k = own(device(1004)); got[1].reset(client->get(k.get())); });
    first.join();
    second.join();
    EXPECT_EQ(1001u, serialOf(got[0].get()));
    EXPECT_EQ(1004u, serialOf(got[1].get()));
}

TEST_F(Exchange, DuplicateReplyGoesToTheListenersOnce) {
    RecordingListener events;
    Listening listening(client.get(), &events);
    sim.setFaults([] { cObjectServerSim::cFaults f; f.duplicate = true; return f; }());
    cObjectList asked;
    auto key = own(device(1003));
    asked.add(key.get());
    OwnedList reply(client->get(&asked));
    ASSERT_NE(nullptr, reply);
    EXPECT_EQ(std::vector<unsigned int>{1003}, serials(reply.get()));
    ASSERT_TRUE(events.waitForObjectEvents(1));
    EXPECT_EQ(asked.getMsgSeq(), events.withObjects()[0].seq);
    EXPECT_EQ(1u, client->getCounters().lateReplies);
}

// Every answer lacks its last segment: the request is sent for again each
// time (an answer may bring what an earlier one lost) and ends with null
// after its last transmission, never with the part that came.
TEST_F(Exchange, SegmentedReplyThatNeverEndsIsNullAfterTheLastTransmission) {
    LongDevices asked(sim);
    sim.setFaults([] { cObjectServerSim::cFaults f; f.stopBeforeLast = true; return f; }());
    client->setReplyWait(stretched(200));
    EXPECT_EQ(nullptr, client->get(&asked.list));
    const cObjectClient::cCounters c = client->getCounters();
    EXPECT_EQ(1u, c.requestsGivenUp);
    EXPECT_EQ(2u, c.retransmissions);
    EXPECT_EQ(3u, requestCount(1, asked.list.getMsgSeq()));
}

TEST_F(Exchange, RepliesToOthersDoNotPostponeARetransmission) {
    // The first request is lost; while it waits, another caller keeps the
    // reply condition busy. Its retransmission must still come when due.
    sim.setFaults([] { cObjectServerSim::cFaults f; f.dropRequests = 1; return f; }());
    // Short waits, but transmissions enough that a slow machine cannot
    // make the lost request give up before its answer is in.
    client->setReplyWait(200);
    client->setTransmissions(20);
    std::atomic<bool> lostOneDone(false);
    std::unique_ptr<cObject> got;
    cObjectClient* raw = client.get();
    std::thread lostOne([&] {
        auto key = own(device(1002));
        got.reset(raw->get(key.get()));
        lostOneDone = true;
    });
    ASSERT_TRUE(waitUntil([&] { return requests().size() == 1; }));
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
    bool busyUntilDone = false;
    while (std::chrono::steady_clock::now() < giveUp) {
        if (lostOneDone.load()) {
            busyUntilDone = true;
            break;
        }
        auto key = own(device(1001));
        own(client->get(key.get()));
    }
    lostOne.join();
    EXPECT_TRUE(busyUntilDone);
    EXPECT_EQ(1002u, serialOf(got.get()));
}
