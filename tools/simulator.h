// cObjectServerSim: a stand-in for the object server on a UDP port of
// 127.0.0.1, for tests (in-process) and for bench work (wqxobj sim).
//
// It keeps a store of objects, keyed by class and identity (compIndex),
// and speaks the server's side of the exchange:
//   - a segmented request is put together first (one VMsgAssembly per
//     client, type and sequence; segments in any order, each place once)
//     and acted on only once whole. An assembly holds at most
//     kAssemblyLimit bytes, all of them together kAssemblyBudget; one
//     still incomplete after kAssemblyLifeMs, or the oldest when
//     kMaxAssemblies are open, is dropped. A whole message from a client
//     drops that client's open assembly of the same type and sequence: the
//     sequence has been reused.
//   - type 0 (set): stores each object, replacing the one of the same
//     identity, answers nothing, and sends the stored objects as an event
//     to every client it has heard from;
//   - any other type: answers with the request's type and sequence. A
//     ping (one whole datagram of tags without objects) is echoed back. An
//     index request (a message info with the indexes-only tag in front)
//     is answered with the identity fields of the matches, any other
//     request with the whole matching objects. A request object whose
//     identity is not set (no field at all) matches every stored object
//     of its class. The message info's max replies caps the answer. Every
//     request that comes in whole is answered, retransmissions included.
//   - replies over 1024 bytes go out as several segments; a reply that
//     cannot be segmented (a tag larger than a segment) is not sent.
// For tests it can drop, hold back, delay, duplicate and reorder replies,
// leave segments out of a reply, interleave the datagrams of two answers,
// answer pings with an empty message, answer with another type or with an
// endless run of segments, lose, duplicate and reorder at random (seeded),
// flood its clients with events, and send anything at all to them.
//
// Ownership: objects handed to add() are the simulator's; received() and
// find() return copies. Thread safety: every member may be called from any
// thread while the simulator runs its own receive thread.
#ifndef WQX_TOOLS_SIMULATOR_H
#define WQX_TOOLS_SIMULATOR_H

#include <netinet/in.h>
#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
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
        unsigned short index;  // the segment's place, 0 first (0 when not decoded)
        unsigned short total;  // segments in its message, 1 when whole (0 when not decoded)
        bool last;             // index + 1 == total
        bool decoded;          // false: bytes that are no message
        bool ping;             // a whole message of tags without any object
        bool indexesOnly;      // a message info asked for indexes only
        unsigned int maxReplies;  // the message info's cap, 0 for none
        std::vector<unsigned char> objectCodes;  // wire object codes in order
        std::vector<unsigned char> bytes;
    };

    // What to do wrong, for tests. Counts run down as they are used.
    struct cFaults {
        bool silent = false;          // read everything, answer nothing
        // Ignore this many further requests (pings do not count). A
        // segmented request counts once, when it is whole.
        int dropRequests = 0;
        bool hold = false;            // keep replies until releaseHeld()
        unsigned int delayMs = 0;     // pause before each reply
        bool duplicate = false;       // send every reply twice
        bool reorder = false;         // send each reply after the next one
        bool stopBeforeLast = false;  // leave out a segmented reply's last segment
        int replyType = -1;           // answer with this type instead (-1: the request's)
        // Leave out segment number loseSegment (0 first) of a segmented
        // reply: of the first reply that has that segment, after which
        // loseSegment goes back to -1, or of every such reply when
        // loseSegmentAlways. Whole replies are sent as they are.
        int loseSegment = -1;
        bool loseSegmentAlways = false;
        // While set, the simulator keeps the datagrams of the last answer
        // to each (client, request type, sequence), as that answer was to
        // go out (after loseSegment and stopBeforeLast, before this
        // interleaving). When the same client asks with the same type and
        // sequence again, the new answer b goes out interleaved with the
        // kept previous one a: a0 b0 a1 b1 ..., the rest of the longer one
        // at the end; then b is kept in a's place. The first answer to a
        // (client, type, sequence) goes out alone. Held, duplicated and
        // reordered replies are the interleaved run as a whole; an answer
        // lost at random (lossPercent) is not kept. Only answers to
        // requests take part: ping echoes, events and floods do not.
        // Nothing is kept while the flag is clear, and setting faults
        // without it forgets what was.
        bool interleaveAnswers = false;
        // Answer a ping with a message of its type and sequence and no
        // tags at all, instead of echoing it.
        bool emptyPingAnswer = false;
        // Answer the next request that would be answered (not a set, not a
        // ping) with this many segments of its type and sequence, numbered
        // 0 up, each a datagram of about 1 KB of small objects, all of a
        // message of floodSegments + 1 segments whose final one never
        // comes. Sent at once, in place of the answer, with no other
        // fault; then floodSegments goes back to 0. At most 65534.
        unsigned int floodSegments = 0;
        // Random faults, in percent, drawn from a generator seeded with
        // `seed` whenever faults are set, so a run can be repeated: each
        // request datagram (each segment on its own; pings never) and
        // each reply is lost, each reply sent twice, or held back until
        // the next reply has gone out.
        unsigned int seed = 1;
        unsigned int lossPercent = 0;
        unsigned int duplicatePercent = 0;
        unsigned int reorderPercent = 0;
    };

    static constexpr unsigned char kEventType = 2;
    // Limits on putting segmented requests together (see above).
    static constexpr std::size_t kAssemblyLimit = 256 * 1024;
    static constexpr std::size_t kAssemblyBudget = 1024 * 1024;
    static constexpr unsigned int kAssemblyLifeMs = 5000;
    static constexpr std::size_t kMaxAssemblies = 64;

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
    // Sends `datagrams` whole event messages (type kEventType, each with
    // the next of the simulator's own sequence numbers) to every client
    // heard from. Each is one datagram of about bytesEach bytes (at most
    // 2048, at least one object) full of small objects: devices with
    // only a serial.
    void floodEvents(unsigned int datagrams, std::size_t bytesEach);
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
    using Datagrams = std::vector<std::vector<unsigned char>>;
    struct cOutgoing {
        Datagrams datagrams;
        sockaddr_in to;
    };
    // A segmented request being put together.
    struct cPending {
        sockaddr_in from;
        unsigned char type;
        unsigned char seq;
        unsigned short total;
        std::chrono::steady_clock::time_point started;
        std::unique_ptr<VMsgAssembly> assembly;
    };
    // The last answer to one client's (type, sequence), for interleaveAnswers.
    struct cLastAnswer {
        sockaddr_in to;
        unsigned char type;
        unsigned char seq;
        Datagrams datagrams;
    };

    static void* threadEntry(void* sim);
    void serve();
    void handle(const unsigned char* bytes, std::size_t len, const sockaddr_in& from);
    cDatagram describe(VMsg* msg, const unsigned char* bytes, std::size_t len) const;
    void noteClient(const sockaddr_in& from);
    // Takes the segment over; returns the whole request once its last
    // missing segment came, else null. Receive thread only.
    VMsg* assemble(VMsg* segment, const sockaddr_in& from);
    void forgetAssembly(const sockaddr_in& from, unsigned char type, unsigned char seq);
    void respond(VMsg* msg, const cDatagram& seen, const sockaddr_in& from);
    void store(VMsg* msg);
    VMsg* answer(VMsg* request, const cDatagram& seen);
    void reply(VMsg* msg, const cDatagram& request, const sockaddr_in& to);
    // Interleaves out with the last answer to the same request and keeps
    // out as the last; mutex_ held.
    Datagrams interleave(const Datagrams& out, const cDatagram& request, const sockaddr_in& to);
    Datagrams floodOf(unsigned char type, unsigned char seq, unsigned int segments) const;
    Datagrams datagramsOf(VMsg* msg) const;
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
    std::vector<cLastAnswer> lastAnswers_;  // oldest first
    cFaults faults_;
    std::mt19937 random_;
    unsigned char eventSeq_;
    unsigned int sent_;

    // Requests being put together; the receive thread's alone. The budget
    // is declared first so that it outlives the assemblies charged to it.
    VAssemblyBudget budget_;
    std::vector<cPending> pending_;  // oldest first
};

#endif
