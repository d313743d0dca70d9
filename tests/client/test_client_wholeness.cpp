// A reply is whole or null, never part of one, never another's: segments
// lost, interleaved and flooded, objects larger than a datagram, the ping's
// empty answer, every number in use at once; and what the client owes the
// application besides: bounded memory, its signals, IPv6.
#include <gtest/gtest.h>

#include <dirent.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>

#include "clientfixture.h"
#include "sitecfg.h"

using namespace clienttest;

namespace {

typedef cObjectServerSim::cFaults Faults;

std::unique_ptr<cObject> own(cObject* obj) { return std::unique_ptr<cObject>(obj); }

Faults faults(const std::function<void(Faults&)>& set) {
    Faults f;
    set(f);
    return f;
}

struct ListDeleter {
    void operator()(cObjectList* l) const {
        if (l) l->deleteObjects();
        delete l;
    }
};
typedef std::unique_ptr<cObjectList, ListDeleter> OwnedList;

// A text that never repeats itself, so that a piece lost, doubled or put
// back in the wrong place shows.
std::string text(std::size_t n, int variant) {
    std::string s = std::to_string(variant) + ":";
    for (int i = 0; s.size() < n; ++i) s += std::to_string(i) + ",";
    s.resize(n);
    return s;
}

std::vector<std::string> textsOf(cObject* obj) {
    auto str = [](const char* t) { return std::string(t ? t : "(unset)"); };
    if (auto* d = dynamic_cast<cObjectDevice*>(obj)) return {str(d->getDeviceLabel())};
    if (auto* s = dynamic_cast<cObjectSiteConfig*>(obj))
        return {str(s->getSiteId()), str(s->getSiteLabel()), str(s->getNmsAddress()),
                str(s->getSVPAddress())};
    return {};
}

// Keeps the texts of every object of every event.
class TextListener : public cObjectListener {
public:
    void onEvent(cObjectList* list) override {
        std::lock_guard<std::mutex> lock(mutex_);
        for (cObject* o = list->first(); o; o = list->next()) texts_.push_back(textsOf(o));
    }
    std::vector<std::vector<std::string>> texts() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::vector<std::string>> texts_;
};


std::set<std::string> threadIds() {
    std::set<std::string> out;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') out.insert(e->d_name);
        closedir(dir);
    }
    return out;
}

// A thread's blocked signals as the kernel shows them: bit n-1 for signal n.
unsigned long long blockedSignals(const std::string& tid) {
    std::ifstream status("/proc/self/task/" + tid + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 7, "SigBlk:") == 0) return std::strtoull(line.c_str() + 7, nullptr, 16);
    return 0;
}

}  // namespace

class Wholeness : public ClientTest {};

// ClientTest without its log capture: the debug lines of a flood take more
// memory than the client, and the client's memory is what is measured.
class QuietClient : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.start());
        client->setPingInterval(10 * kPatienceMs);
        ASSERT_EQ(1, client->start("127.0.0.1", sim.port()));
        ASSERT_TRUE(waitUntil([&] { return client->getCounters().eventsDelivered == 1; }));
    }
    cObjectServerSim sim;
    RecordingListener events;  // outlives the client it may be added to
    std::unique_ptr<cObjectClient> client{new cObjectClient};
};

TEST_F(Wholeness, SegmentFaultsGiveTheWholeReplyOrNull) {
    // Thirty devices with 100-character labels: a reply of four datagrams.
    OwnedList asked(new cObjectList);
    std::vector<unsigned int> expected;
    for (unsigned int i = 0; i < 30; ++i) {
        sim.add(device(3000 + i, text(100, static_cast<int>(i)).c_str()));
        asked->add(device(3000 + i));
        expected.push_back(3000 + i);
    }
    const struct {
        const char* name;
        Faults faults;
        bool whole;
    } cases[] = {
        {"segment 1 lost once", faults([](Faults& f) { f.loseSegment = 1; }), true},
        {"segment 1 lost every time",
         faults([](Faults& f) { f.loseSegment = 1; f.loseSegmentAlways = true; }), false},
        // The first answer lacks segment 1; the second goes out mixed with
        // a copy of the first.
        {"second answer interleaved with the first",
         faults([](Faults& f) { f.loseSegment = 1; f.interleaveAnswers = true; }), true},
        {"last segment never sent", faults([](Faults& f) { f.stopBeforeLast = true; }), false},
    };
    client->setReplyWait(stretched(50));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.setFaults(c.faults);
        const cObjectClient::cCounters before = client->getCounters();
        OwnedList reply(client->get(asked.get()));
        const cObjectClient::cCounters after = client->getCounters();
        const unsigned int retransmissions = after.retransmissions - before.retransmissions;
        EXPECT_EQ(c.whole ? 0u : 1u, after.requestsGivenUp - before.requestsGivenUp);
        if (c.whole) {
            ASSERT_NE(nullptr, reply);
            std::vector<unsigned int> got;
            for (cObject* o = reply->first(); o; o = reply->next()) got.push_back(serialOf(o));
            EXPECT_EQ(expected, got);
            EXPECT_GE(retransmissions, 1u);  // the lost segment came with a later answer
        } else {
            EXPECT_EQ(nullptr, reply);
            EXPECT_EQ(2u, retransmissions);  // a partial reply is sent for again
        }
    }
}

// Each object is cut across segments: a device whose label nearly fills a
// datagram, a site configuration of four long texts.
TEST_F(Wholeness, ObjectsLargerThanADatagramTravelWholeBothWays) {
    TextListener echoes;
    Listening listening(client.get(), &echoes);
    const struct {
        const char* name;
        std::function<cObject*(int)> make;  // variant < 0: the key alone
    } cases[] = {
        {"device, 1000-byte label",
         [](int v) { return device(7100, v < 0 ? nullptr : text(1000, v).c_str()); }},
        {"site configuration, four 250-character texts",
         [](int v) -> cObject* {
             cObjectSiteConfig* s = new cObjectSiteConfig;
             if (v < 0) return s;
             s->setSiteId(text(250, v).c_str());
             s->setSiteLabel(text(250, v + 10).c_str());
             s->setNmsAddress(text(250, v + 20).c_str());
             s->setSVPAddress(text(250, v + 30).c_str());
             return s;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto key = own(c.make(-1)), stored = own(c.make(1)), changed = own(c.make(2));
        sim.add(c.make(1));
        auto got = own(client->get(key.get()));
        ASSERT_NE(nullptr, got);
        EXPECT_EQ(textsOf(stored.get()), textsOf(got.get()));

        const std::size_t echoed = echoes.texts().size();
        EXPECT_EQ(0, client->set(changed.get()));
        ASSERT_TRUE(waitUntil([&] { return echoes.texts().size() > echoed; }));
        EXPECT_EQ(textsOf(changed.get()), echoes.texts()[echoed]);
        got = own(client->get(key.get()));
        ASSERT_NE(nullptr, got);
        EXPECT_EQ(textsOf(changed.get()), textsOf(got.get()));
    }
}

// Pings answered with a bare message of type 1, sequence 0, while requests
// run through every number twice.
TEST_F(Wholeness, EmptyPingAnswersNeverCompleteARequest) {
    // Each reply waits a moment, so that pings go out among the requests.
    sim.setFaults(faults([](Faults& f) { f.emptyPingAnswer = true; f.delayMs = 1; }));
    cObjectClient pinging;
    pinging.setReplyWait(kPatienceMs);
    pinging.setPingInterval(1);
    RecordingListener pings;
    Listening listening(&pinging, &pings);
    ASSERT_EQ(1, pinging.start("127.0.0.1", sim.port()));
    std::atomic<bool> stop(false);
    std::atomic<int> done(0), wrong(0);
    std::vector<std::thread> callers;
    for (unsigned int serial = 1001; serial <= 1003; ++serial)
        callers.emplace_back([&, serial] {
            while (!stop) {
                auto key = own(device(serial));
                auto got = own(pinging.get(key.get()));
                if (serialOf(got.get()) != serial) ++wrong;
                ++done;
            }
        });
    const bool enough = waitUntil([&] { return done >= 260 && pings.calls() >= 10; });
    stop = true;
    for (std::thread& t : callers) t.join();
    EXPECT_TRUE(enough) << done << " requests, " << pings.calls() << " ping answers";
    EXPECT_EQ(0, wrong.load());
    for (const Seen& s : pings.seen()) {
        EXPECT_EQ(0, s.seq);
        EXPECT_TRUE(s.serials.empty());
    }
}

// 130 callers while the server holds every reply: 127 requests go out, each
// with a number of its own; the rest wait for a number to come free.
TEST_F(Wholeness, EveryNumberInUseAtOnceAndEachCallerGetsItsOwnObject) {
    const unsigned int kCallers = 130;
    for (unsigned int i = 0; i < kCallers; ++i)
        sim.add(device(6000 + i, std::to_string(6000 + i).c_str()));
    sim.setFaults(faults([](Faults& f) { f.hold = true; }));
    client->setReplyWait(10 * kPatienceMs);  // nobody retransmits
    std::atomic<int> wrong(0);
    std::vector<std::thread> callers;
    for (unsigned int i = 0; i < kCallers; ++i)
        callers.emplace_back([&, i] {
            auto key = own(device(6000 + i));
            auto got = own(client->get(key.get()));
            auto* d = dynamic_cast<cObjectDevice*>(got.get());
            wrong += !d || d->getDeviceSerial() != 6000 + i ||
                     std::to_string(6000 + i) != d->getDeviceLabel();
        });
    const bool allOut = waitUntil([&] { return requests().size() >= 127; });
    std::vector<int> held, everyNumber;
    for (const auto& d : requests()) held.push_back(d.seq);
    sim.setFaults(Faults());
    sim.releaseHeld();
    for (std::thread& t : callers) t.join();
    ASSERT_TRUE(allOut);
    std::sort(held.begin(), held.end());
    for (int seq = 1; seq <= 127; ++seq) everyNumber.push_back(seq);
    EXPECT_EQ(everyNumber, held);
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(0u, client->getCounters().retransmissions);
}

// The answer is 6000 segments of a message that never ends: the request
// ends when its reply passes its memory limit, long before its deadline,
// and what the run left behind is freed.
TEST_F(QuietClient, EndlessSegmentedReplyEndsItsRequestAndIsFreed) {
    client->addListener(&events);
    sim.setFaults(faults([](Faults& f) { f.floodSegments = 6000; }));
    client->setTransmissions(1);
    client->setReplyWait(10 * kPatienceMs);
    const long resident = residentBytes();
    std::atomic<bool> done(false);
    auto got = own(device(1));
    std::thread caller([&] {
        auto key = own(device(1001));
        got.reset(client->get(key.get()));
        done = true;
    });
    // The request keeps the wait it began with; the rest of the run comes
    // after it as events, which wait for their missing segments as long as
    // the wait set now.
    EXPECT_TRUE(waitUntil([&] { return client->getCounters().datagramsSent > 1; }));
    client->setReplyWait(kShortWaitMs);
    const bool returned = waitUntil([&] { return done.load(); });
    if (!returned) client.reset();  // makes the request return, so it can be joined
    caller.join();
    ASSERT_TRUE(returned);
    EXPECT_EQ(nullptr, got);
    // The simulator records the request once it has sent the run and freed
    // it; an event sent after that is delivered once the whole run is routed.
    ASSERT_TRUE(sim.waitFor(
        [](const std::vector<cObjectServerSim::cDatagram>& r) { return r.size() == 2; }, kPatienceMs));
    auto markerDevice = own(device(4242));
    cObjectList marker;
    marker.add(markerDevice.get());
    ASSERT_TRUE(waitUntil([&] {
        sim.sendEvent(&marker);
        return events.waitForObjectEvents(1, kShortWaitMs);
    }));
    const long grown = residentBytes() - resident;
    EXPECT_TRUE(waitUntil([&] { return client->getAssemblyHeld() == 0; }));
    const cObjectClient::cCounters c = client->getCounters();
    std::printf("endless reply: %u datagrams read, %u messages too large, resident growth %ld kB\n",
                c.datagramsReceived, c.messagesTooLarge, grown / 1024);
    EXPECT_GE(c.messagesTooLarge, 1u);
    EXPECT_EQ(1u, c.requestsGivenUp);
}

// 1100 events of 2 KB against a listener that does not return: the queue
// stops at its bound in bytes, long before its bound in lists.
TEST_F(QuietClient, EventFloodAgainstABlockedListenerIsBoundedInBytes) {
    BlockingListener slow;
    Listening listening(client.get(), &slow);
    const unsigned int kEvents = 1100;
    unsigned int flooded = 0;
    // In batches the client has read before the next, so the socket buffer
    // never overflows and every event is accounted for.
    auto flood = [&](unsigned int n) {
        sim.floodEvents(n, 2048);
        flooded += n;
        return waitUntil([&] { return client->getCounters().datagramsReceived == 1 + flooded; });
    };
    ASSERT_TRUE(flood(1));
    ASSERT_TRUE(slow.waitEntered());
    const long resident = residentBytes();
    while (flooded < kEvents) ASSERT_TRUE(flood(std::min(20u, kEvents - flooded)));
    ASSERT_TRUE(waitUntil([&] { return client->getCounters().eventsDropped > 0; }));
    const long grown = residentBytes() - resident;
    std::printf("event flood: %u events, resident growth %ld kB with the listener blocked\n", kEvents,
                grown / 1024);
    if (!memoryIsInstrumented()) {
        EXPECT_LT(grown, 4L * 1024 * 1024);
    }
    slow.release();
    // The ping's answer, the event in the listener, those queued behind it
    // and the dropped ones.
    ASSERT_TRUE(waitUntil([&] {
        const cObjectClient::cCounters c = client->getCounters();
        return c.eventsDelivered + c.eventsDropped == 1 + kEvents;
    }));
    // Bounded in lists alone, all but the 1024 queued would be dropped.
    EXPECT_GT(client->getCounters().eventsDropped,
              kEvents - 1 - cObjectClient::cEventPump::kDefaultQueueLimit);
}

// Signals the application handles must reach its own threads, never the
// client's: the pump's, made with the client, and the two start makes.
TEST(ClientThreads, EveryThreadOfTheClientBlocksTheApplicationsSignals) {
    const int kSignals[] = {SIGINT, SIGTERM, SIGUSR1};
    sigset_t ours, old;
    sigemptyset(&ours);
    for (int sig : kSignals) sigaddset(&ours, sig);
    // Not blocked here, so the client's threads cannot merely inherit a block.
    pthread_sigmask(SIG_UNBLOCK, &ours, &old);
    cObjectServerSim sim;
    EXPECT_TRUE(sim.start());
    const std::set<std::string> before = threadIds();
    std::vector<unsigned long long> masks;
    {
        cObjectClient client;
        client.setPingInterval(10 * kPatienceMs);
        EXPECT_EQ(1, client.start("127.0.0.1", sim.port()));
        for (const std::string& tid : threadIds())
            if (!before.count(tid)) masks.push_back(blockedSignals(tid));
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    EXPECT_EQ(3u, masks.size());
    for (unsigned long long mask : masks)
        for (int sig : kSignals) EXPECT_TRUE(mask & (1ULL << (sig - 1))) << "signal " << sig;
}

TEST(ClientStart, ConnectsToAnIPv6Literal) {
    const int fd = socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin6_family = AF_INET6;
    addr.sin6_addr = in6addr_loopback;
    socklen_t len = sizeof addr;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (fd >= 0) close(fd);
        GTEST_SKIP() << "no IPv6 here: a UDP socket cannot be bound to [::1]";
    }
    cObjectClient client;
    client.setPingInterval(10 * kPatienceMs);
    const bool started = client.start("::1", ntohs(addr.sin6_port)) == 1;
    pollfd readable = {fd, POLLIN, 0};
    unsigned char buf[VMsg::kMaxDatagram];
    const ssize_t n = started && poll(&readable, 1, static_cast<int>(kPatienceMs)) == 1
                          ? recv(fd, buf, sizeof buf, 0)
                          : -1;
    close(fd);
    ASSERT_TRUE(started);
    ASSERT_GT(n, 0) << "the ping never came";
    std::unique_ptr<VMsg> ping(VMsg::parseMsg(buf, static_cast<unsigned short>(n)));
    ASSERT_NE(nullptr, ping);
    EXPECT_EQ(1, ping->getType());
    EXPECT_EQ(0, ping->getSeq());
    EXPECT_TRUE(ping->isWhole());
}
