// The client's life: starting, what comes in besides replies, listeners,
// and shutting down.
#include <csignal>
#include <fstream>

#include "clientfixture.h"

using namespace clienttest;

// ---- starting ----

// Signals the application handles must reach its own threads, never the
// client's: the pump's, made with the client, and the two start makes.
TEST_F(ClientTest, ClientThreadsBlockTheApplicationsSignals) {
    sigset_t ours, old;
    sigemptyset(&ours);
    unsigned long long bits = 0;  // as the kernel shows a mask: bit n-1 for signal n
    for (int sig : {SIGINT, SIGTERM, SIGUSR1}) {
        sigaddset(&ours, sig);
        bits |= 1ULL << (sig - 1);
    }
    // Not blocked here, so the new client's threads cannot merely inherit
    // a block.
    pthread_sigmask(SIG_UNBLOCK, &ours, &old);
    const std::set<std::string> before = entryNames("/proc/self/task");
    cObjectClient other;
    ASSERT_EQ(1, other.start("127.0.0.1", sim.port()));
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    std::vector<unsigned long long> masks;  // of the threads the new client made
    for (const std::string& tid : entryNames("/proc/self/task")) {
        std::ifstream status("/proc/self/task/" + tid + "/status");
        for (std::string line; !before.count(tid) && std::getline(status, line);)
            if (line.compare(0, 7, "SigBlk:") == 0) masks.push_back(std::strtoull(line.c_str() + 7, nullptr, 16));
    }
    ASSERT_EQ(3u, masks.size());
    for (unsigned long long mask : masks) EXPECT_EQ(bits, mask & bits);
}

// The first datagram, and every one of an idle client after it, is the
// keep-alive ping: format 2, type 1, sequence 0, segment 0 of 1, one
// 32-bit tag 8 = 0xFFFFFFFF. A name that also has an IPv6 address reaches
// a server bound to IPv4 alone.
TEST_F(ClientTest, IdleClientPingsAtItsInterval) {
    cObjectClient idle;
    idle.setPingInterval(kShortWaitMs);
    ASSERT_EQ(1, idle.start("localhost", sim.port()));
    ASSERT_TRUE(sim.waitFor([](const std::vector<cObjectServerSim::cDatagram>& r) { return r.size() >= 5; },
                            kPatienceMs));
    const std::vector<unsigned char> ping = {0, 17, 2, 1, 0, 0, 0, 0, 1, 0, 1,
                                             8, 2, 0, 4, 0xFF, 0xFF, 0xFF, 0xFF};
    for (const auto& d : sim.received()) EXPECT_EQ(ping, d.bytes);
    // Counted once written, which may be a moment after the server read it.
    EXPECT_TRUE(waitUntil([&] { return idle.getCounters().datagramsSent >= 4u; }));
}

// A second start is refused and starts no threads. Requests before start
// fail at once and leave nothing behind to go out later, long after their
// callers gave up on them. A start that fails (a host that cannot be
// resolved or connected) leaves the client able to start later, or to be
// destroyed.
TEST_F(ClientTest, StartsOnceAndServesOnlyOnceStarted) {
    const int threads = entries("/proc/self/task");
    EXPECT_EQ(0, client->start("127.0.0.1", sim.port()));
    EXPECT_EQ(threads, entries("/proc/self/task"));
    EXPECT_EQ(1001u, fetch(*client, 1001));
    { cObjectClient failed; EXPECT_EQ(0, failed.start(nullptr, 0)); }

    cObjectClient later;
    later.setReplyWait(10 * kPatienceMs);  // a request that waited would hang the test
    auto key = own(device(1002));
    cObjectList list;
    list.add(key.get());
    EXPECT_EQ(nullptr, later.get(key.get()));
    EXPECT_EQ(nullptr, later.get(&list));
    EXPECT_EQ(nullptr, later.getIndexes(key.get()));
    EXPECT_EQ(-1, later.set(key.get()));
    EXPECT_EQ(nullptr, later.send(&list));
    later.queue_tx_msg(list.toMsg());
    EXPECT_EQ(6u, later.getCounters().requestsRefused);
    for (const char* host : {"no-such-host.invalid", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(0, later.start(host, 5400)) << (host ? host : "null");
    ASSERT_EQ(1, later.start("127.0.0.1", sim.port()));
    EXPECT_EQ(1002u, fetch(later, 1002));
    // Two requests went out after start, the fixture's and this one.
    EXPECT_EQ(2u, requests(2).size());
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
    EXPECT_EQ(0u, fetch(*client, 1001));
    ASSERT_TRUE(waitUntil([&] { return log.has("Server refused a datagram"); }));
    EXPECT_EQ(1u, client->getCounters().readErrors);
    cObjectServerSim second;
    second.seedDefaultSite();
    ASSERT_TRUE(second.start(port));
    client->setReplyWait(kPatienceMs);
    EXPECT_EQ(1001u, fetch(*client, 1001));
}

// ---- listeners and shutting down ----

// A listener may make a request of the client that called it: the reply
// comes in on the receive thread while the pump's thread waits for it.
TEST_F(ClientTest, ListenerMayRequestFromInsideOnEvent) {
    std::atomic<unsigned int> answer{0};
    CallingListener asker([&](cObjectList*) { answer = fetch(*client, 1003); });
    const auto listened = listening(client.get(), &asker);
    sim.floodEvents(1, 100);
    ASSERT_TRUE(waitUntil([&] { return answer.load() != 0; }));
    EXPECT_EQ(1003u, answer.load());
}

// Destroyed while a listener runs with events queued behind it: the
// destructor returns only once that listener has finished, and nothing is
// called after it.
TEST_F(ClientTest, DestroyingWaitsForTheRunningListenerAndCallsNoMore) {
    BlockingListener slow;
    client->addListener(&slow);
    const unsigned int received = client->getCounters().datagramsReceived;
    sim.floodEvents(4, 100);
    ASSERT_TRUE(slow.waitEntered());
    ASSERT_TRUE(waitUntil([&] { return client->getCounters().datagramsReceived == received + 4; }));
    std::atomic<int> finishedWhenDestroyed(-1);
    std::thread destroyer([&] {
        client.reset();
        finishedWhenDestroyed = slow.finished.load();
    });
    ASSERT_TRUE(waitUntil([&] { return logged(log, "Stopping the ObjectClient", log4cpp::Priority::DEBUG) == 1; }));
    slow.release();
    destroyer.join();
    EXPECT_GE(finishedWhenDestroyed.load(), 1);
    EXPECT_EQ(finishedWhenDestroyed.load(), slow.finished.load());
}
