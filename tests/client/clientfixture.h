// Shared pieces of the client tests: waiting on conditions, owning what the
// client returns, listeners that record, block or run a function, and a
// fixture with a simulator and a started client whose initial ping has been
// answered. Header only: each piece is small and used from several files.
#ifndef WQX_TEST_CLIENTFIXTURE_H
#define WQX_TEST_CLIENTFIXTURE_H

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <numeric>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device.h"
#include "logcapture.h"
#include "objclient.h"
#include "simulator.h"

namespace clienttest {

// How long anything may take to come true before a test gives up on it:
// 10 s, or WQX_TEST_PATIENCE_MS for runs that are many times slower
// (valgrind, an emulator).
const unsigned int kDefaultPatienceMs = 10000;
inline const unsigned int kPatienceMs = [] {
    const char* text = std::getenv("WQX_TEST_PATIENCE_MS");
    const unsigned long ms = text ? std::strtoul(text, nullptr, 10) : 0;
    return ms > kDefaultPatienceMs && ms < 3600000 ? static_cast<unsigned int>(ms) : kDefaultPatienceMs;
}();
// A reply wait that makes a silent server cost milliseconds.
const unsigned int kShortWaitMs = 20;
// ms stretched in the proportion the patience was raised, for timings
// that must hold against a working server (a reply within the reply wait).
inline unsigned int stretched(unsigned int ms) {
    return static_cast<unsigned int>(static_cast<unsigned long long>(ms) * kPatienceMs / kDefaultPatienceMs);
}

// Polls pred until it holds or timeoutMs passes; the result of pred.
inline bool waitUntil(const std::function<bool()>& pred, unsigned int timeoutMs = kPatienceMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (; !pred(); std::this_thread::sleep_for(std::chrono::milliseconds(1)))
        if (std::chrono::steady_clock::now() > end) return pred();
    return true;
}

inline cObjectDevice* device(unsigned int serial, const char* label = nullptr) {
    cObjectDevice* d = new cObjectDevice;
    d->setDeviceSerial(serial);
    if (label) d->setDeviceLabel(label);
    return d;
}
inline std::unique_ptr<cObject> own(cObject* obj) { return std::unique_ptr<cObject>(obj); }
inline unsigned int serialOf(cObject* obj) {
    cObjectDevice* d = dynamic_cast<cObjectDevice*>(obj);
    return d ? d->getDeviceSerial() : 0;
}
// Asks c for device serial: the serial of the device it returns, 0 for none.
inline unsigned int fetch(cObjectClient& c, unsigned int serial) {
    return serialOf(own(c.get(own(device(serial)).get())).get());
}
// The serials of a list's objects, in order (none for a null list).
inline std::vector<unsigned int> serials(cObjectList* list) {
    std::vector<unsigned int> out;
    for (cObject* o = list ? list->first() : nullptr; o; o = list->next()) out.push_back(serialOf(o));
    return out;
}
inline std::vector<unsigned int> range(unsigned int first, unsigned int n) {
    std::vector<unsigned int> out(n);
    std::iota(out.begin(), out.end(), first);
    return out;
}
// A list that deletes its objects with itself.
struct OwnedList : std::unique_ptr<cObjectList> {
    using std::unique_ptr<cObjectList>::unique_ptr;
    ~OwnedList() { if (get()) get()->deleteObjects(); }
};
// A new list of the objects, which it deletes with itself.
inline OwnedList listOf(std::initializer_list<cObject*> objects) {
    cObjectList* list = new cObjectList;
    for (cObject* o : objects) list->add(o);
    return OwnedList(list);
}

// A whole message of devices first..first+n-1, each labelled with labelLen
// characters (long labels make it take several segments).
inline VMsg* messageOf(unsigned char type, int seq, unsigned int first, unsigned int n = 1,
                       std::size_t labelLen = 8) {
    OwnedList list(new cObjectList);
    for (unsigned int i = 0; i < n; ++i) list->add(device(first + i, std::string(labelLen, 'L').c_str()));
    list->setMsgType(type);
    list->setMsgSeq(static_cast<unsigned char>(seq));
    return list->toMsg();
}
// The list's objects as a JSON document: two objects are the same when
// their documents are.
inline std::string jsonOf(cObjectList* list) {
    char* text = cObject::getJSON(list);
    const std::string out(text ? text : "");
    cObject::deleteJSON(text);
    return out;
}

typedef cObjectServerSim::cFaults Faults;
inline Faults faults(const std::function<void(Faults&)>& set) {
    Faults f;
    set(f);
    return f;
}

// What one listener call saw.
struct Seen {
    unsigned char type, seq;
    const void* list;
    std::vector<unsigned int> serials;
    std::string json;
    unsigned long stamp;  // rises with every call of every listener
};

// Records the calls whose list carries objects (a ping's answer carries
// none).
struct RecordingListener : cObjectListener {
    void onEvent(cObjectList* list) override {
        static std::atomic<unsigned long> stamps(0);
        if (list->numObjects() == 0) return;
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.push_back({list->getMsgType(), list->getMsgSeq(), list, serials(list), jsonOf(list), ++stamps});
    }
    std::vector<Seen> seen() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }
    bool waitFor(std::size_t calls) const { return waitUntil([&] { return seen().size() >= calls; }); }

    mutable std::mutex mutex_;
    std::vector<Seen> seen_;
};

// A listener that holds the pump in onEvent until the test releases it.
// The test holds no lock meanwhile, so it may call the client or the pump.
struct BlockingListener : cObjectListener {
    void onEvent(cObjectList*) override {
        entered = true;
        gate.wait();
        ++finished;
    }
    void release() { opener.set_value(); }
    std::promise<void> opener;
    std::shared_future<void> gate = opener.get_future().share();
    std::atomic<bool> entered{false};
    std::atomic<int> finished{0};
};

// A listener that hands each list to a function.
struct CallingListener : cObjectListener {
    explicit CallingListener(std::function<void(cObjectList*)> f) : call(std::move(f)) {}
    void onEvent(cObjectList* list) override { call(list); }
    std::function<void(cObjectList*)> call;
};

// Registers l with c until the result goes: a listener that goes away
// while its client lives must be removed first, or a late event reaches it.
inline std::shared_ptr<void> listening(cObjectClient* c, cObjectListener* l) {
    c->addListener(l);
    return std::shared_ptr<void>(l, [c](cObjectListener* p) { c->removeListener(p); });
}

// The entries of a directory: of /proc/self/task, the threads of this
// process; of /proc/self/fd, its open descriptors.
inline std::set<std::string> entryNames(const char* dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename());
    return names;
}

// A simulator with the default site and a client started against it, its
// initial ping answered and that answer delivered, so tests start quiet;
// events records every event after that. Replies come at once, so the reply
// wait is long: a retransmission in these tests is a fault, never a slow
// machine.
class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.seedDefaultSite();
        ASSERT_TRUE(sim.start());
        client.reset(new cObjectClient);
        client->setReplyWait(kPatienceMs);
        client->setPingInterval(10 * kPatienceMs);
        ASSERT_EQ(1, client->start("127.0.0.1", sim.port()));
        ASSERT_TRUE(waitUntil([&] { return client->getCounters().eventsDelivered >= 1; }))
            << "the answer to the initial ping never came";
        client->addListener(&events);
    }
    void TearDown() override { client.reset(); }
    cObjectClient::cCounters counters() const { return client->getCounters(); }

    // The request datagrams (not pings) the simulator has read, once there
    // are at least atLeast: the simulator records a datagram after it has
    // answered it, so a reply can reach the client a moment before its
    // request shows here.
    std::vector<cObjectServerSim::cDatagram> requests(std::size_t atLeast = 0) const {
        std::vector<cObjectServerSim::cDatagram> out;
        sim.waitFor([&](const std::vector<cObjectServerSim::cDatagram>& all) {
            out.clear();
            for (const auto& d : all) if (d.decoded && !d.ping) out.push_back(d);
            return out.size() >= atLeast;
        }, kPatienceMs);
        return out;
    }

    LogCapture log;
    RecordingListener events;  // outlives the client
    cObjectServerSim sim;
    std::unique_ptr<cObjectClient> client;
};

}  // namespace clienttest

#endif
