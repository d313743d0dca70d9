// The client's life: starting, bad datagrams, events, and shutting down.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <future>
#include <memory>
#include <thread>

#include "clientfixture.h"

using namespace clienttest;

namespace {

std::unique_ptr<cObject> own(cObject* obj) { return std::unique_ptr<cObject>(obj); }

void sendEvents(cObjectServerSim& sim, unsigned int from, unsigned int count) {
    for (unsigned int i = 0; i < count; ++i) {
        cObjectList list;
        list.add(device(from + i));
        sim.sendEvent(&list);
        list.deleteObjects();
    }
}

std::string stoppingLine(cObjectClient* client) {
    char text[64];
    std::snprintf(text, sizeof text, "Stopping the ObjectClient %p", static_cast<void*>(client));
    return text;
}

}  // namespace

// ---- starting ----

TEST(ClientStart, UnresolvableHostFailsCleanly) {
    LogCapture log;
    cObjectClient client;
    for (const char* host : {"no-such-host.invalid", "", static_cast<const char*>(nullptr)}) {
        log.clear();
        EXPECT_EQ(0, client.start(host, 5400)) << (host ? host : "(null)");
        EXPECT_TRUE(log.has("cObjectClient", log4cpp::Priority::ERROR, "Could not connect the socket"));
    }
    // A failed start leaves the client able to start later.
    cObjectServerSim sim;
    ASSERT_TRUE(sim.start());
    EXPECT_EQ(1, client.start("127.0.0.1", sim.port()));
    EXPECT_TRUE(log.has("cObjectClient", log4cpp::Priority::INFO,
                        "Starting the client for 127.0.0.1:" + std::to_string(sim.port())));
}

TEST(ClientStart, FirstDatagramIsAPing) {
    cObjectServerSim sim;
    ASSERT_TRUE(sim.start());
    cObjectClient client;
    ASSERT_EQ(1, client.start("localhost", sim.port()));
    ASSERT_TRUE(sim.waitFor([](const std::vector<cObjectServerSim::cDatagram>& r) { return !r.empty(); },
                            kPatienceMs));
    const auto first = sim.received()[0];
    EXPECT_TRUE(first.ping);
    EXPECT_EQ(1, first.type);
    // format 2, type 1, sequence 0, segment 0 of 1, one 32-bit tag 8 = 0xFFFFFFFF
    const std::vector<unsigned char> ping = {0, 17, 2, 1, 0, 0, 0, 0, 1, 0, 1,
                                             8, 2, 0, 4, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(ping, first.bytes);
}

TEST(ClientStart, IdleClientPingsAtItsInterval) {
    cObjectServerSim sim;
    ASSERT_TRUE(sim.start());
    cObjectClient client;
    client.setPingInterval(kShortWaitMs);
    ASSERT_EQ(1, client.start("127.0.0.1", sim.port()));
    ASSERT_TRUE(sim.waitFor([](const std::vector<cObjectServerSim::cDatagram>& r) {
        return r.size() >= 4;
    }, kPatienceMs));
    for (const auto& d : sim.received()) EXPECT_TRUE(d.ping);
    // Counted once written, which may be a moment after the server read it.
    EXPECT_TRUE(waitUntil([&] { return client.getCounters().datagramsSent >= 4u; }));
}

TEST_F(ClientTest, SecondStartIsRefusedAndStartsNoThreads) {
    const int threads = threadCount();
    EXPECT_EQ(0, client->start("127.0.0.1", sim.port()));
    EXPECT_TRUE(log.has("cObjectClient", log4cpp::Priority::WARN,
                        "Client already started, not starting it again"));
    EXPECT_EQ(threads, threadCount());
    auto key = own(device(1001));
    EXPECT_NE(nullptr, own(client->get(key.get())));
}

// A request before start fails at once and leaves nothing behind to go
// out later, long after its caller gave up on it.
TEST(ClientStart, RequestsBeforeStartFailAtOnceAndNothingGoesOutLater) {
    LogCapture log;
    cObjectServerSim sim;
    sim.seedDefaultSite();
    ASSERT_TRUE(sim.start());
    cObjectClient client;
    client.setReplyWait(kPatienceMs);  // a request that waited would hang the test
    auto key = own(device(1002));
    cObjectList list;
    list.add(key.get());
    EXPECT_EQ(nullptr, client.get(key.get()));
    EXPECT_EQ(nullptr, client.get(&list));
    EXPECT_EQ(nullptr, client.getIndexes(key.get()));
    EXPECT_EQ(-1, client.set(key.get()));
    EXPECT_EQ(nullptr, client.send(&list));
    client.queue_tx_msg(list.toMsg());
    EXPECT_EQ(6u, client.getCounters().requestsRefused);
    EXPECT_TRUE(log.has("cObjectClient", log4cpp::Priority::WARN, "Client not started, request not sent"));

    ASSERT_EQ(1, client.start("127.0.0.1", sim.port()));
    auto got = own(client.get(key.get()));
    EXPECT_EQ(1002u, serialOf(got.get()));
    // The ping, then the one request made after start (recorded once the
    // simulator has answered it, which may be a moment after the reply).
    ASSERT_TRUE(sim.waitFor([](const std::vector<cObjectServerSim::cDatagram>& r) { return r.size() >= 2; },
                            kPatienceMs));
    const auto seen = sim.received();
    ASSERT_EQ(2u, seen.size());
    EXPECT_TRUE(seen[0].ping);
    EXPECT_FALSE(seen[1].ping);
}

// ---- what comes in ----

TEST_F(ClientTest, EmptyDatagramIsLoggedAndSurvived) {
    const unsigned int before = client->getCounters().readErrors;
    sim.sendRaw("", 0);
    ASSERT_TRUE(waitUntil([&] { return log.has("Socket Read Error 0"); }));
    EXPECT_EQ(before + 1, client->getCounters().readErrors);
    auto key = own(device(1001));
    EXPECT_NE(nullptr, own(client->get(key.get())));
}

TEST_F(ClientTest, GarbageIsDroppedAndCounted) {
    const unsigned char garbage[] = {0x00, 0x09, 0x01, 0x80, 0xFF, 0xFF, 0x08, 0x02, 0x00};
    sim.sendRaw(garbage, sizeof garbage);
    ASSERT_TRUE(waitUntil([&] { return client->getCounters().malformedDropped == 1; }));
    auto key = own(device(1001));
    EXPECT_NE(nullptr, own(client->get(key.get())));
}

TEST(ClientReceive, RefusalWhileTheServerRestartsIsNoReadError) {
    LogCapture log;
    cObjectServerSim first;
    first.seedDefaultSite();
    ASSERT_TRUE(first.start());
    const unsigned short port = first.port();
    cObjectClient client;
    client.setPingInterval(10 * kPatienceMs);
    ASSERT_EQ(1, client.start("127.0.0.1", port));
    ASSERT_TRUE(first.waitFor([](const std::vector<cObjectServerSim::cDatagram>& r) { return !r.empty(); },
                              kPatienceMs));
    first.stop();
    // Nobody listens now: the kernel refuses the request and the next read
    // reports the refusal. That is the server restarting, not a broken
    // socket: no read error, and no pause before the next read.
    client.setReplyWait(kShortWaitMs);
    auto key = own(device(1001));
    EXPECT_EQ(nullptr, client.get(key.get()));
    ASSERT_TRUE(waitUntil([&] { return log.has("Server refused a datagram"); }));
    EXPECT_EQ(0u, client.getCounters().readErrors);

    cObjectServerSim second;
    second.seedDefaultSite();
    ASSERT_TRUE(second.start(port));
    client.setReplyWait(kPatienceMs);
    EXPECT_EQ(1001u, serialOf(own(client.get(key.get())).get()));
}

TEST_F(ClientTest, ListenersInOrderTwiceWhenAddedTwiceNoneAfterRemoval) {
    std::vector<std::string> order;
    std::mutex orderMutex;
    RecordingListener a("a", &order, &orderMutex), b("b", &order, &orderMutex),
        c("c", &order, &orderMutex);
    Listening la(client.get(), &a), lb(client.get(), &b), lc(client.get(), &c);
    client->addListener(&a);
    sendEvents(sim, 7, 1);
    ASSERT_TRUE(a.waitForObjectEvents(2));
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c", "a"}), order);
    EXPECT_EQ(a.seen()[0].list, c.seen()[0].list);
    client->removeListener(&a);
    sendEvents(sim, 8, 1);
    ASSERT_TRUE(c.waitForObjectEvents(2));
    EXPECT_EQ(2, a.calls());
    EXPECT_EQ(2, b.calls());
}

TEST_F(ClientTest, EventsArriveInTheOrderRead) {
    RecordingListener events;
    Listening listening(client.get(), &events);
    sendEvents(sim, 100, 40);
    ASSERT_TRUE(events.waitForObjectEvents(40));
    const auto seen = events.withObjects();
    for (unsigned int i = 0; i < 40; ++i) {
        EXPECT_EQ(std::vector<unsigned int>{100 + i}, seen[i].serials);
        EXPECT_EQ(cObjectServerSim::kEventType, seen[i].type);
        EXPECT_EQ(i & 0x7F, seen[i].seq);
    }
    EXPECT_EQ(0u, client->getCounters().lateReplies);
}

TEST_F(ClientTest, FloodWithASlowListenerKeepsTheQueueBounded) {
    BlockingListener slow;
    client->setEventQueueLimit(5);
    Listening listening(client.get(), &slow);
    const cObjectClient::cCounters before = client->getCounters();
    sendEvents(sim, 1, 1);
    ASSERT_TRUE(slow.waitEntered());
    sendEvents(sim, 2, 30);
    ASSERT_TRUE(waitUntil([&] {
        return client->getCounters().eventsDropped == before.eventsDropped + 25;
    }));
    EXPECT_EQ(before.datagramsReceived + 31, client->getCounters().datagramsReceived);
    EXPECT_TRUE(log.has("cObjectClient::cEventPump", log4cpp::Priority::WARN,
                        "Event queue full (5 lists, 1048576 bytes), dropping events"));
    slow.release();
    ASSERT_TRUE(waitUntil(
        [&] { return client->getCounters().eventsDelivered == before.eventsDelivered + 6; }));
    EXPECT_EQ(6, slow.finished());
}

TEST_F(ClientTest, ListenerMayRequestFromInsideOnEvent) {
    struct Asker : cObjectListener {
        cObjectClient* client = nullptr;
        std::atomic<unsigned int> answer{0};
        void onEvent(cObjectList* list) override {
            if (list->numObjects() == 0 || answer.load()) return;
            auto key = own(device(1003));
            answer = serialOf(own(client->get(key.get())).get());
        }
    } asker;
    asker.client = client.get();
    Listening listening(client.get(), &asker);
    sendEvents(sim, 1, 1);
    ASSERT_TRUE(waitUntil([&] { return asker.answer.load() != 0; }));
    EXPECT_EQ(1003u, asker.answer.load());
}

// ---- shutting down ----

TEST_F(ClientTest, DestroyingMakesAWaitingRequestReturnNull) {
    sim.setFaults([] { cObjectServerSim::cFaults f; f.silent = true; return f; }());
    client->setReplyWait(10 * kPatienceMs);
    std::atomic<bool> returned(false);
    cObject* result = nullptr;
    cObjectClient* raw = client.get();
    std::thread caller([&] {
        auto key = own(device(1001));
        result = raw->get(key.get());
        returned = true;
    });
    ASSERT_TRUE(waitUntil([&] { return requests().size() == 1; }));
    auto destroyed = std::async(std::launch::async, [&] { client.reset(); });
    ASSERT_EQ(std::future_status::ready,
              destroyed.wait_for(std::chrono::milliseconds(kPatienceMs)));
    // The client may be gone a moment before the caller's thread has
    // stored what get returned.
    EXPECT_TRUE(waitUntil([&] { return returned.load(); }));
    caller.join();
    EXPECT_EQ(nullptr, result);
}

TEST_F(ClientTest, DestroyingWaitsForTheRunningListenerAndCallsNoMore) {
    std::atomic<int> step(0);
    struct Stamping : BlockingListener {
        std::atomic<int>* step = nullptr;
        std::atomic<int> finishedAt{-1};
        void onEvent(cObjectList* list) override {
            BlockingListener::onEvent(list);
            if (finishedAt.load() < 0) finishedAt = (*step)++;
        }
    } slow;
    slow.step = &step;
    RecordingListener after;
    client->addListener(&slow);
    client->addListener(&after);
    const unsigned int received = client->getCounters().datagramsReceived;
    sendEvents(sim, 1, 1);
    ASSERT_TRUE(slow.waitEntered());
    sendEvents(sim, 2, 3);
    ASSERT_TRUE(waitUntil([&] { return client->getCounters().datagramsReceived == received + 4; }));
    std::atomic<int> destroyedAt(-1);
    cObjectClient* raw = client.get();
    std::thread destroyer([&] {
        client.reset();
        destroyedAt = step++;
    });
    ASSERT_TRUE(waitUntil([&] { return log.has(stoppingLine(raw)); }));
    slow.release();
    destroyer.join();
    EXPECT_EQ(0, slow.finishedAt.load());
    EXPECT_EQ(1, destroyedAt.load());
    EXPECT_EQ(slow.finished(), after.calls());  // every event begun was delivered whole
    const int calls = after.calls();
    sendEvents(sim, 10, 3);
    EXPECT_EQ(calls, after.calls());
}

TEST(ClientStop, ClientWhoseStartFailedShutsDown) {
    cObjectClient* client = new cObjectClient;
    EXPECT_EQ(0, client->start(nullptr, 0));
    delete client;
    SUCCEED();
}
