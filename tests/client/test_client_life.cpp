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
    for (int sig : {SIGINT, SIGTERM, SIGUSR1}) sigaddset(&ours, sig);
    // The same, as the kernel shows a mask: bit n-1 for signal n.
    const unsigned long long bits = 1ULL << (SIGINT - 1) | 1ULL << (SIGTERM - 1) | 1ULL << (SIGUSR1 - 1);
    // Not blocked here, so the new client's threads cannot merely inherit
    // a block.
    pthread_sigmask(SIG_UNBLOCK, &ours, &old);
    const std::set<std::string> before = entryNames("/proc/self/task");
    cObjectClient other;
    ASSERT_EQ(1, other.start("127.0.0.1", sim.port()));
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    std::vector<unsigned long long> blocked;  // of those signals, by each thread the new client made
    for (const std::string& tid : entryNames("/proc/self/task")) {
        std::ifstream status("/proc/self/task/" + tid + "/status");
        for (std::string line; !before.count(tid) && std::getline(status, line);)
            if (line.compare(0, 7, "SigBlk:") == 0) blocked.push_back(std::stoull(line.substr(7), nullptr, 16) & bits);
    }
    EXPECT_EQ(std::vector<unsigned long long>(3, bits), blocked);
}

// The first datagram, and every one of an idle client after it, is the
// keep-alive ping: format 2, type 1, sequence 0, segment 0 of 1, one
// 32-bit tag 8 = 0xFFFFFFFF. A name that also has an IPv6 address reaches
// a server bound to IPv4 alone.
TEST_F(ClientTest, IdleClientPingsAtItsInterval) {
    cObjectClient idle;
    idle.setPingInterval(kShortWaitMs);
    ASSERT_EQ(1, idle.start("localhost", sim.port()));
    ASSERT_TRUE(sim.waitFor([](const auto& received) { return received.size() >= 5; }, kPatienceMs));
    const std::vector<unsigned char> ping = {0, 17, 2, 1, 0, 0, 0, 0, 1, 0, 1, 8, 2, 0, 4, 0xFF, 0xFF, 0xFF, 0xFF};
    for (const auto& d : sim.received()) EXPECT_EQ(ping, d.bytes);
}

// A second start is refused and starts no threads. Requests before start
// fail at once and leave nothing behind to go out later, long after their
// callers gave up on them. A start that fails (a host that cannot be
// resolved or connected) leaves the client able to start later, or to be
// destroyed.
TEST_F(ClientTest, StartsOnceAndServesOnlyOnceStarted) {
    const std::set<std::string> threads = entryNames("/proc/self/task");
    EXPECT_EQ(0, client->start("127.0.0.1", sim.port()));
    EXPECT_EQ(threads, entryNames("/proc/self/task"));
    EXPECT_EQ(1001u, fetch(*client, 1001));
    { cObjectClient failed; EXPECT_EQ(0, failed.start(nullptr, 0)); }

    cObjectClient later;
    later.setReplyWait(10 * kPatienceMs);  // a request that waited would hang the test
    OwnedList list = listOf({device(1002)});
    EXPECT_EQ(nullptr, later.get(list->first()));
    EXPECT_EQ(nullptr, later.get(list.get()));
    EXPECT_EQ(nullptr, later.getIndexes(list->first()));
    EXPECT_EQ(-1, later.set(list->first()));
    EXPECT_EQ(nullptr, later.send(list.get()));
    later.queue_tx_msg(list->toMsg());
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
    ASSERT_TRUE(waitUntil([&] { return counters().readErrors == 1 && counters().malformedDropped == 1; }));
    sim.stop();
    client->setReplyWait(kShortWaitMs);
    EXPECT_EQ(0u, fetch(*client, 1001));
    ASSERT_TRUE(waitUntil([&] { return log.count("Server refused a datagram", log4cpp::Priority::DEBUG) > 0; }));
    EXPECT_EQ(1u, counters().readErrors);
    ASSERT_TRUE(sim.start(sim.port()));
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
    const unsigned int received = counters().datagramsReceived;
    sim.floodEvents(4, 100);
    ASSERT_TRUE(waitUntil([&] { return slow.entered.load(); }));
    ASSERT_TRUE(waitUntil([&] { return counters().datagramsReceived == received + 4; }));
    auto destroyed = std::async(std::launch::async, [&] { client.reset(); return slow.finished.load(); });
    EXPECT_TRUE(waitUntil([&] { return log.count("Stopping the ObjectClient", log4cpp::Priority::DEBUG); }));
    slow.release();
    const int finishedWhenDestroyed = destroyed.get();
    EXPECT_GE(finishedWhenDestroyed, 1);
    EXPECT_EQ(finishedWhenDestroyed, slow.finished.load());
}
