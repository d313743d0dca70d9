// cObjectServerSim: a stand-in for the object server on a UDP port of
// 127.0.0.1, for tests (in-process) and for bench work (wqxobj-sim).
//
// It keeps a store of objects, keyed by class and identity (compIndex),
// and speaks the server's side of the exchange:
//   - type 0 (set): stores each object, replacing the one of the same
//     identity, answers nothing, and sends the stored objects as an event
//     to every client it has heard from;
//   - any other type: answers with the request's type and sequence. A
//     message of tags without objects is a ping and is echoed back. An
//     index request (a message info with the indexes-only tag in front)
//     is answered with the identity fields of the matches, any other
//     request with the whole matching objects. A request object whose
//     identity is not set (no field at all) matches every stored object
//     of its class. The message info's max replies caps the answer.
//   - replies over 1024 bytes go out as several segments.
// For tests it can drop, hold back, delay, duplicate and reorder replies,
// stop a reply before its last segment, answer with another type, lose,
// duplicate and reorder at random (seeded), and send anything at all to
// its clients.
//
// Ownership: objects handed to add() are the simulator's; received() and
// find() return copies. Thread safety: every member may be called from any
// thread while the simulator runs its own receive thread.
#ifndef WQX_TOOLS_SIMULATOR_H
#define WQX_TOOLS_SIMULATOR_H

#include <netinet/in.h>
#include <pthread.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "object.h"
#include "objectlist.h"
#include "velmor.h"

class cObjectServerSim {
public:
    // One datagram as the simulator read it.
    struct cDatagram {
        unsigned char type;
        unsigned char seq;
        bool last;
        bool decoded;        // false: bytes that are no message
        bool ping;           // tags without any object
        bool indexesOnly;    // a message info asked for indexes only
        unsigned int maxReplies;  // the message info's cap, 0 for none
        std::vector<unsigned char> objectCodes;  // wire object codes in order
        std::vector<unsigned char> bytes;
    };

    // What to do wrong, for tests. Counts run down as they are used.
    struct cFaults {
        bool silent = false;          // read everything, answer nothing
        int dropRequests = 0;         // ignore this many further requests
        bool hold = false;            // keep replies until releaseHeld()
        unsigned int delayMs = 0;     // pause before each reply
        bool duplicate = false;       // send every reply twice
        bool reorder = false;         // send each reply after the next one
        bool stopBeforeLast = false;  // leave out a segmented reply's last segment
        int replyType = -1;           // answer with this type instead (-1: the request's)
        // Random faults, in percent, drawn from a generator seeded with
        // `seed` whenever faults are set, so a run can be repeated: each
        // request and each reply is lost, each reply sent twice, or held
        // back until the next reply has gone out.
        unsigned int seed = 1;
        unsigned int lossPercent = 0;
        unsigned int duplicatePercent = 0;
        unsigned int reorderPercent = 0;
    };

    static constexpr unsigned char kEventType = 2;

    cObjectServerSim();
    ~cObjectServerSim();
    cObjectServerSim(const cObjectServerSim&) = delete;
    cObjectServerSim& operator=(const cObjectServerSim&) = delete;

    // Binds 127.0.0.1:port (0: any free port) and starts answering.
    bool start(unsigned short port = 0);
    void stop();
    unsigned short port() const { return port_; }

    // ---- the store ----
    void add(cObject* obj);
    // Adds the objects of a JSON document; false when it holds none.
    bool seedJSON(const char* text);
    bool seedFile(const char* path);
    // A small site: a few devices (see defaultSiteJSON).
    void seedDefaultSite();
    static std::string defaultSiteJSON();
    int storeSize() const;
    // A copy of the stored object key->compIndex accepts, or null.
    cObject* find(cObject* key) const;

    // ---- faults and unsolicited traffic ----
    void setFaults(const cFaults& faults);
    // Sends the replies held back, in the order they were made.
    void releaseHeld();
    // Sends the objects as one event message (type kEventType, the
    // simulator's own sequence) to every client heard from; the list stays
    // the caller's.
    void sendEvent(cObjectList* list);
    // Sends the bytes as they are to every client heard from.
    void sendRaw(const void* bytes, std::size_t len);
    int clientCount() const;

    // ---- what came in ----
    std::vector<cDatagram> received() const;
    // Waits until pred holds for what came in, or timeoutMs passes.
    bool waitFor(const std::function<bool(const std::vector<cDatagram>&)>& pred,
                 unsigned int timeoutMs) const;
    // Datagrams sent so far (replies, events, echoes, raw).
    unsigned int sentCount() const;

private:
    struct cOutgoing {
        std::vector<std::vector<unsigned char>> datagrams;
        sockaddr_in to;
    };

    static void* threadEntry(void* sim);
    void serve();
    void handle(const unsigned char* bytes, std::size_t len, const sockaddr_in& from);
    cDatagram describe(VMsg* msg, const unsigned char* bytes, std::size_t len) const;
    void noteClient(const sockaddr_in& from);
    void respond(VMsg* msg, const cDatagram& seen, const sockaddr_in& from);
    void store(VMsg* msg);
    VMsg* answer(VMsg* request, const cDatagram& seen);
    void reply(VMsg* msg, const sockaddr_in& to);
    std::vector<std::vector<unsigned char>> datagramsOf(VMsg* msg) const;
    void transmit(const cOutgoing& out);
    void sendTo(const std::vector<unsigned char>& bytes, const sockaddr_in& to);
    // True with the given chance in percent; mutex_ held.
    bool chance(unsigned int percent);

    int fd_;
    int wake_[2];
    unsigned short port_;
    pthread_t thread_;
    bool running_;

    mutable std::mutex mutex_;
    mutable std::condition_variable cond_;
    std::vector<cObject*> store_;
    std::vector<sockaddr_in> clients_;
    std::vector<cDatagram> received_;
    std::vector<cOutgoing> held_;
    std::vector<cOutgoing> reordered_;  // a reply waiting for the next one
    cFaults faults_;
    std::mt19937 random_;
    unsigned char eventSeq_;
    unsigned int sent_;
};

#endif
