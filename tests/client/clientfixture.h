// Shared pieces of the client tests: waiting on conditions, a listener that
// records what it is given, devices, and a fixture with a simulator and a
// started client whose initial ping has been answered.
#ifndef WQX_TEST_CLIENTFIXTURE_H
#define WQX_TEST_CLIENTFIXTURE_H

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
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
// The serials of a list's objects, in order.
std::vector<unsigned int> serials(cObjectList* list);

// What one listener call saw.
struct Seen {
    unsigned char type;
    unsigned char seq;
    const void* list;
    std::vector<unsigned int> serials;
};

class RecordingListener : public cObjectListener {
public:
    // Every call is also appended to order, when given, as name.
    explicit RecordingListener(std::string name = "", std::vector<std::string>* order = nullptr,
                               std::mutex* orderMutex = nullptr);
    void onEvent(cObjectList* list) override;

    std::vector<Seen> seen() const;
    int calls() const;
    // Calls whose list carried at least one object (pings echo empty).
    std::vector<Seen> withObjects() const;
    bool waitForObjectEvents(std::size_t n, unsigned int timeoutMs = kPatienceMs) const;

private:
    std::string name_;
    std::vector<std::string>* order_;
    std::mutex* orderMutex_;
    mutable std::mutex mutex_;
    mutable std::condition_variable cond_;
    std::vector<Seen> seen_;
};

// A listener that holds the pump in onEvent until released.
class BlockingListener : public cObjectListener {
public:
    void onEvent(cObjectList* list) override;
    bool waitEntered(unsigned int timeoutMs = kPatienceMs);
    void release();
    int finished() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cond_;
    bool entered_ = false;
    bool released_ = false;
    int finished_ = 0;
};

// Keeps a listener registered for a scope: a listener that goes away
// while its client lives must be removed first, or a late event reaches it.
class Listening {
public:
    Listening(cObjectClient* client, cObjectListener* listener) : client_(client), listener_(listener) {
        client_->addListener(listener_);
    }
    ~Listening() { client_->removeListener(listener_); }
    Listening(const Listening&) = delete;
    Listening& operator=(const Listening&) = delete;

private:
    cObjectClient* client_;
    cObjectListener* listener_;
};

// The number of threads of this process.
int threadCount();

// Resident memory of this process in bytes, once the C library has handed
// back what is free (the simulator in this process makes and frees
// megabytes of its own).
long residentBytes();
// Under a sanitizer or valgrind, resident memory says nothing about ours.
bool memoryIsInstrumented();

// A simulator with the default site and a client started against it, its
// initial ping answered and that answer delivered, so tests start quiet.
// Replies come at once, so the reply wait is long: a retransmission in
// these tests is a fault, never a slow machine.
class ClientTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The request datagrams (not pings) the simulator has read.
    std::vector<cObjectServerSim::cDatagram> requests() const;
    // The requests once at least n have been recorded: the simulator
    // records a datagram after it has answered it, so a reply can reach
    // the client a moment before its request shows here.
    std::vector<cObjectServerSim::cDatagram> requestsOnce(std::size_t n) const;
    std::size_t requestCount(unsigned char type, unsigned char seq) const;

    LogCapture log;
    cObjectServerSim sim;
    std::unique_ptr<cObjectClient> client;
};

}  // namespace clienttest

#endif
