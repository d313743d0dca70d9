// Shared pieces of the client tests: waiting on conditions, owning what the
// client returns, listeners that record or block, and a fixture with a
// simulator and a started client whose initial ping has been answered.
#ifndef WQX_TEST_CLIENTFIXTURE_H
#define WQX_TEST_CLIENTFIXTURE_H

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
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
extern const unsigned int kPatienceMs;
// A reply wait that makes a silent server cost milliseconds.
const unsigned int kShortWaitMs = 20;
// ms stretched in the proportion the patience was raised, for timings
// that must hold against a working server (a reply within the reply wait).
unsigned int stretched(unsigned int ms);

// Polls pred until it holds or timeoutMs passes; the result of pred.
bool waitUntil(const std::function<bool()>& pred, unsigned int timeoutMs = kPatienceMs);

cObjectDevice* device(unsigned int serial, const char* label = nullptr);
unsigned int serialOf(cObject* obj);
// The serials of a list's objects, in order (none for a null list).
std::vector<unsigned int> serials(cObjectList* list);
// A whole message of devices first..first+n-1, each labelled with labelLen
// characters (long labels make it take several segments).
VMsg* messageOf(unsigned char type, int seq, unsigned int first, unsigned int n = 1, std::size_t labelLen = 8);
// The list's objects as a JSON document: two objects are the same when
// their documents are.
std::string jsonOf(cObjectList* list);

inline std::unique_ptr<cObject> own(cObject* obj) { return std::unique_ptr<cObject>(obj); }
struct ListDeleter {
    void operator()(cObjectList* l) const {
        if (l) l->deleteObjects();
        delete l;
    }
};
typedef std::unique_ptr<cObjectList, ListDeleter> OwnedList;

typedef cObjectServerSim::cFaults Faults;
inline Faults faults(const std::function<void(Faults&)>& set) {
    Faults f;
    set(f);
    return f;
}

// Lines logged at WARN whose text contains fragment: for the warnings that
// are a field engineer's only sign of trouble.
int warnings(const LogCapture& log, const std::string& fragment);

// What one listener call saw.
struct Seen {
    unsigned char type;
    unsigned char seq;
    const void* list;
    std::vector<unsigned int> serials;
    std::string json;
    unsigned long stamp;  // rises with every call of every listener
};

// Records the calls whose list carries objects (a ping's answer carries
// none).
class RecordingListener : public cObjectListener {
public:
    void onEvent(cObjectList* list) override;
    std::vector<Seen> seen() const;
    int calls() const { return static_cast<int>(seen().size()); }
    bool waitFor(std::size_t calls, unsigned int timeoutMs = kPatienceMs) const;

private:
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
    bool waitEntered() { return waitUntil([this] { return entered.load(); }); }
    void release() { opener.set_value(); }
    std::promise<void> opener;
    std::shared_future<void> gate = opener.get_future().share();
    std::atomic<bool> entered{false};
    std::atomic<int> finished{0};
};

// Keeps a listener registered for a scope: a listener that goes away while
// its client lives must be removed first, or a late event reaches it.
struct Listening {
    Listening(cObjectClient* c, cObjectListener* l) : client(c), listener(l) { c->addListener(l); }
    ~Listening() { client->removeListener(listener); }
    cObjectClient* client;
    cObjectListener* listener;
};

// The entries of a directory: of /proc/self/task, the threads of this
// process; of /proc/self/fd, its open descriptors.
std::set<std::string> entryNames(const char* dir);
int entries(const char* dir);

// A simulator with the default site and a client started against it, its
// initial ping answered and that answer delivered, so tests start quiet;
// events records every event after that. Replies come at once, so the reply
// wait is long: a retransmission in these tests is a fault, never a slow
// machine.
class ClientTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { client.reset(); }

    // The request datagrams (not pings) the simulator has read, once there
    // are at least atLeast: the simulator records a datagram after it has
    // answered it, so a reply can reach the client a moment before its
    // request shows here.
    std::vector<cObjectServerSim::cDatagram> requests(std::size_t atLeast = 0) const;

    LogCapture log;
    RecordingListener events;  // outlives the client
    cObjectServerSim sim;
    std::unique_ptr<cObjectClient> client;
};

}  // namespace clienttest

#endif
