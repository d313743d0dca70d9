// The client's life: starting, what comes in besides replies, listeners,
// and shutting down.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "clientfixture.h"

using namespace clienttest;

namespace {

void sendEvent(cObjectServerSim& sim, unsigned int serial) {
    cObjectList list;
    list.add(device(serial));
    sim.sendEvent(&list);
    list.deleteObjects();
}

}  // namespace

// ---- starting ----

// Signals the application handles must reach its own threads, never the
// client's: the pump's, made with the client, and the two start makes.
TEST(ClientStart, ClientThreadsBlockTheApplicationsSignals) {
    sigset_t ours, old;
    sigemptyset(&ours);
    unsigned long long bits = 0;  // as the kernel shows a mask: bit n-1 for signal n
    for (int sig : {SIGINT, SIGTERM, SIGUSR1}) {
        sigaddset(&ours, sig);
        bits |= 1ULL << (sig - 1);
    }
    // Not blocked here, so the client's threads cannot merely inherit a block.
    pthread_sigmask(SIG_UNBLOCK, &ours, &old);
    cObjectServerSim sim;
    ASSERT_TRUE(sim.start());
    const std::set<std::string> before = entryNames("/proc/self/task");
    std::vector<unsigned long long> masks;
    {
        cObjectClient client;
        ASSERT_EQ(1, client.start("127.0.0.1", sim.port()));
        for (const std::string& tid : entryNames("/proc/self/task")) {
            if (before.count(tid)) continue;
            std::ifstream status("/proc/self/task/" + tid + "/status");
            for (std::string line; std::getline(status, line);)
                if (line.compare(0, 7, "SigBlk:") == 0) masks.push_back(std::strtoull(line.c_str() + 7, nullptr, 16));
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ASSERT_EQ(masks.size(), 3u);
    for (unsigned long long mask : masks) EXPECT_EQ(mask & bits, bits);
}

// The first datagram, and every one of an idle client after it, is the
// keep-alive ping: format 2, type 1, sequence 0, segment 0 of 1, one
// 32-bit tag 8 = 0xFFFFFFFF. A name that also has an IPv6 address reaches
// a server bound to IPv4 alone.
TEST(ClientStart, IdleClientPingsAtItsInterval) {
    cObjectServerSim sim;
    ASSERT_TRUE(sim.start());
    cObjectClient client;
    client.setPingInterval(kShortWaitMs);
    ASSERT_EQ(1, client.start("localhost", sim.port()));
    ASSERT_TRUE(sim.waitFor([](const std::vector<cObjectServerSim::cDatagram>& r) { return r.size() >= 4; },
                            kPatienceMs));
    const std::vector<unsigned char> ping = {0, 17, 2, 1, 0, 0, 0, 0, 1, 0, 1,
                                             8, 2, 0, 4, 0xFF, 0xFF, 0xFF, 0xFF};
    for (const auto& d : sim.received()) EXPECT_EQ(ping, d.bytes);
    // Counted once written, which may be a moment after the server read it.
    EXPECT_TRUE(waitUntil([&] { return client.getCounters().datagramsSent >= 4u; }));
}

// A second start is refused and starts no threads. A start that fails (a
// host that cannot be resolved or connected) leaves the client able to
// start later, or to be destroyed.
TEST_F(ClientTest, OnlyTheFirstSuccessfulStartStartsTheClient) {
    const int threads = entries("/proc/self/task");
    EXPECT_EQ(0, client->start("127.0.0.1", sim.port()));
    EXPECT_EQ(threads, entries("/proc/self/task"));
    EXPECT_EQ(1001u, serialOf(own(client->get(own(device(1001)).get())).get()));
    { cObjectClient failed; EXPECT_EQ(0, failed.start(nullptr, 0)); }
    cObjectClient later;
    for (const char* host : {"no-such-host.invalid", ""}) EXPECT_EQ(0, later.start(host, 5400)) << host;
    EXPECT_EQ(0, later.start(nullptr, 5400));
    EXPECT_EQ(1, later.start("127.0.0.1", sim.port()));
}

// A request before start fails at once and leaves nothing behind to go out
// later, long after its caller gave up on it.
TEST(ClientStart, RequestsBeforeStartFailAtOnceAndNothingGoesOutLater) {
    cObjectServerSim sim;
    sim.seedDefaultSite();
    ASSERT_TRUE(sim.start());
    cObjectClient client;
    client.setReplyWait(10 * kPatienceMs);  // a request that waited would hang the test
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

    ASSERT_EQ(1, client.start("127.0.0.1", sim.port()));
    EXPECT_EQ(1002u, serialOf(own(client.get(key.get())).get()));
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

// An empty datagram is a read error, bytes that do not decode are dropped;
// both are counted, and the client goes on. A refusal (nobody listens while
// the server restarts) is no read error and no reason to pause reading: the
// server's answers are read the moment it is back.
TEST_F(ClientTest, BadDatagramsAndRefusalsAreSurvived) {
    const unsigned char garbage[] = {0x00, 0x09, 0x01, 0x80, 0xFF, 0xFF, 0x08, 0x02, 0x00};
    sim.sendRaw("", 0);
    sim.sendRaw(garbage, sizeof garbage);
    ASSERT_TRUE(waitUntil([&] {
        const cObjectClient::cCounters c = client->getCounters();
        return c.readErrors == 1 && c.malformedDropped == 1;
    }));
    const unsigned short port = sim.port();
    sim.stop();
    client->setReplyWait(kShortWaitMs);
    auto key = own(device(1001));
    EXPECT_EQ(nullptr, own(client->get(key.get())));
    ASSERT_TRUE(waitUntil([&] { return log.has("Server refused a datagram"); }));
    EXPECT_EQ(1u, client->getCounters().readErrors);
    cObjectServerSim second;
    second.seedDefaultSite();
    ASSERT_TRUE(second.start(port));
    client->setReplyWait(kPatienceMs);
    EXPECT_EQ(1001u, serialOf(own(client->get(key.get())).get()));
}

// ---- shutting down ----

// A listener may make a request of the client that called it: the reply
// comes in on the receive thread while the pump's thread waits for it.
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
    sendEvent(sim, 1);
    ASSERT_TRUE(waitUntil([&] { return asker.answer.load() != 0; }));
    EXPECT_EQ(1003u, asker.answer.load());
}

// Destroyed while a listener runs with events queued behind it: the
// destructor returns only once that listener has finished, and nothing is
// called after it.
TEST_F(ClientTest, DestroyingWaitsForTheRunningListenerAndCallsNoMore) {
    BlockingListener slow;
    client->addListener(&slow);
    const unsigned int received = client->getCounters().datagramsReceived;
    for (unsigned int serial = 1; serial <= 4; ++serial) sendEvent(sim, serial);
    ASSERT_TRUE(slow.waitEntered());
    ASSERT_TRUE(waitUntil([&] { return client->getCounters().datagramsReceived == received + 4; }));
    char stopping[64];
    std::snprintf(stopping, sizeof stopping, "Stopping the ObjectClient %p", static_cast<void*>(client.get()));
    std::atomic<int> finishedWhenDestroyed(-1);
    std::thread destroyer([&] {
        client.reset();
        finishedWhenDestroyed = slow.finished.load();
    });
    ASSERT_TRUE(waitUntil([&] { return log.has(stopping); }));
    slow.release();
    destroyer.join();
    EXPECT_GE(finishedWhenDestroyed.load(), 1);
    EXPECT_EQ(finishedWhenDestroyed.load(), slow.finished.load());
}
