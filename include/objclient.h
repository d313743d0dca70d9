// cObjectClient: the client of the object server over one connected UDP
// socket, with its transmit thread, receive thread and event pump thread.
// cObjectListener: what an application implements to receive events.
//
// Ownership: request lists and objects stay the caller's; reply lists and
// objects returned by get/getIndexes belong to the caller. Event lists
// belong to the pump, which frees them after the last listener returns.
// Listeners are not owned.
// Errors: results only (null, 0, -1) plus log lines; nothing throws.
// Thread safety: every public member may be called from any thread. The
// destructor must not run while another thread is still entering a call,
// and must not be called from inside a listener.
#ifndef WQX_OBJCLIENT_H
#define WQX_OBJCLIENT_H

#include <pthread.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "objectlist.h"
#include "velmor.h"
#include "vlog.h"
#include "wqxexport.h"

// Receives every message that answers no request: unsolicited server
// messages, late or duplicate replies, answers to pings. Called on the
// client's event pump thread, one event at a time, listeners in the order
// added. The list is marked as an event: read it with first()/next(); it
// and its objects are freed after the last listener returns, so clone what
// must be kept. A listener may add or remove listeners (itself included)
// and may make requests from inside onEvent.
class WQX_EXPORT cObjectListener {
public:
    virtual void onEvent(cObjectList* list) = 0;
    virtual ~cObjectListener() = default;
};

class WQX_EXPORT cObjectClient : public cVlog {
public:
    // One outstanding request: the list sent, the reply as it is
    // assembled from its segments, and the transmissions made.
    // Used by one request and the receive thread under the registry lock.
    class WQX_EXPORT cMsgReg : public cVlog {
    public:
        enum eMsgStatus {
            MSG_TAKEN = 0,     // the complete reply has been taken
            MSG_GAVE_UP = 1,   // the last transmission has been made (its
                               // answer is still taken until the requester
                               // gives up), or the reply passed its memory
                               // limit
            MSG_AWAITING = 2,  // waiting; a (re)transmission is due
            MSG_PARTIAL = 3,   // part of a segmented reply has come
        };
        // What msgMatch did with a message it took.
        enum eMatch {
            MATCH_NONE = 0,      // not this request's: the caller keeps msg
            MATCH_KEPT = 1,      // a segment (or the whole reply) was kept
            MATCH_DROPPED = 2,   // a copy of a segment already held, or a
                                 // segment of an answer of another shape
            MATCH_TOO_LARGE = 3, // the reply passed its memory limit: what
                                 // it held is freed and the request ends
        };
        static const std::size_t kDefaultReplyLimit = 256 * 1024;

        // transmissions: how many times the request is sent before it
        // gives up (3 by default). A segmented reply may hold at most
        // replyLimit bytes, and together with the other partial replies
        // no more than budget allows (budget: not owned, may be null).
        explicit cMsgReg(cObjectList* list, int transmissions = 3, VAssemblyBudget* budget = nullptr,
                         std::size_t replyLimit = kDefaultReplyLimit);
        ~cMsgReg() override;
        cMsgReg(const cMsgReg&) = delete;
        cMsgReg& operator=(const cMsgReg&) = delete;

        eMsgStatus rxStatus() const { return status; }
        void setStatus(eMsgStatus s) { status = s; }
        cObjectList* getTxList() const { return txList; }
        // The reply list once parseReply has made it.
        cObjectList* getRxMsg() const { return rxList; }
        void setRxMsg(cObjectList* l) { rxList = l; }
        int getTxCount() const { return txCounter; }
        // Counts one transmission; the last one turns the status to 1
        // unless part of the reply is already in.
        void incTx();
        // Non-zero (an eMatch) when msg belongs to this request; the entry
        // then owns msg. Segments are kept once each, in any order, until
        // the reply is whole. A request that already holds its whole reply
        // takes nothing more: a second reply is left to the caller, who
        // hands it on as an event.
        int msgMatch(VMsg* msg);
        // The whole reply has come.
        bool msgComplete() const { return complete; }
        // The reply passed its memory limit.
        bool overflowed() const { return tooLarge; }
        // Turns the whole reply into the reply list (null when the reply is
        // not whole) and returns it. Parsing is the costly part of a reply:
        // the requester does it after it has left the registry.
        cObjectList* parseReply();

    private:
        int keep(VMsg* msg);

        eMsgStatus status;
        int txCounter;
        int txLimit;
        cObjectList* txList;
        cObjectList* rxList;
        VMsgAssembly assembly;
        VMsg* reply;
        bool complete;
        bool tooLarge;
    };

    // Delivers event lists to listeners on a thread of its own. The queue
    // between the receive thread and that thread is bounded in lists and in
    // bytes: when either is full further events are dropped, counted and
    // warned about.
    class WQX_EXPORT cEventPump : public cVlog {
    public:
        static constexpr unsigned int kDefaultQueueLimit = 1024;
        static constexpr std::size_t kDefaultQueueBytes = 1024 * 1024;

        // Starts the pump thread (with every signal blocked in it).
        cEventPump();
        // Stops the pump thread (a listener that is running finishes
        // first) and frees the lists still queued.
        ~cEventPump() override;
        cEventPump(const cEventPump&) = delete;
        cEventPump& operator=(const cEventPump&) = delete;

        // Turns msg into an event list and queues it; takes msg over.
        void pumpEvent(VMsg* msg);
        void addListener(cObjectListener* l);
        // Removes every entry of l. From another thread it waits until an
        // event being delivered has been delivered, so l may be deleted
        // as soon as this returns.
        void removeListener(cObjectListener* l);

        // Most event lists waiting for the pump (at least 1).
        void setQueueLimit(unsigned int limit);
        unsigned int getQueueLimit() const { return queueLimit.load(); }
        // Most memory the waiting lists may hold, in bytes (at least 1; a
        // single event larger than this is dropped).
        void setQueueBytes(std::size_t bytes);
        std::size_t getQueueBytes() const { return queueBytes.load(); }
        unsigned int getDelivered() const { return delivered.load(); }
        unsigned int getDropped() const { return dropped.load(); }

        // Stops the thread; idempotent. Queued lists are freed.
        void stop();

    private:
        struct cQueued {
            cObjectList* list;
            std::size_t bytes;
        };
        static void* event_pump_thread(void* pump);
        void pump_events();
        void deliver(cObjectList* list);
        bool listed(cObjectListener* l) const;
        bool admit(cObjectList* list, std::size_t bytes);

        std::deque<cQueued> eventQueue;
        std::size_t queuedBytes;
        std::mutex queueMutex;
        std::condition_variable queueCond;
        bool stopping;
        bool overflowing;
        std::atomic<unsigned int> queueLimit;
        std::atomic<std::size_t> queueBytes;
        std::atomic<unsigned int> delivered;
        std::atomic<unsigned int> dropped;
        // Recursive so that a listener may add or remove listeners from
        // inside onEvent; other threads wait while an event is delivered.
        std::recursive_mutex listenerMutex;
        std::vector<cObjectListener*> listeners;
        pthread_t thread;
        bool threadRunning;
    };

    // What the client has seen, for a field engineer judging a link.
    struct cCounters {
        unsigned int datagramsSent;
        unsigned int datagramsReceived;
        unsigned int sendErrors;        // datagrams finally not written
        unsigned int readErrors;
        unsigned int retransmissions;   // transmissions after a request's first
        unsigned int requestsGivenUp;   // requests that returned without a reply
        unsigned int lateReplies;       // replies after their request ended, or twice
        unsigned int malformedDropped;  // datagrams that did not decode
        unsigned int eventsDelivered;
        unsigned int eventsDropped;     // event queue full
        unsigned int segmentsDropped;   // segments received twice or not fitting their message
        unsigned int messagesTooLarge;  // segmented replies or events that passed a memory limit
        unsigned int eventsIncomplete;  // segmented events whose missing segments never came
        unsigned int requestsRefused;   // not started, or no sequence number free in time
    };

    // Largest memory one segmented reply (or event) may hold while it is
    // put together, and all partial replies together.
    static const std::size_t kDefaultReplyLimit = cMsgReg::kDefaultReplyLimit;
    static const std::size_t kDefaultAssemblyLimit = 1024 * 1024;

    cObjectClient();
    // Makes waiting requests return null, stops the three threads, closes
    // the socket and frees what the queues hold.
    ~cObjectClient() override;
    cObjectClient(const cObjectClient&) = delete;
    cObjectClient& operator=(const cObjectClient&) = delete;

    // Resolves host (a name, or an IPv4 or IPv6 literal), connects to the
    // first of its addresses that accepts, and starts the receive and
    // transmit threads. 1 when connected; 0 when the host cannot be
    // resolved or connected, or when the client was already started.
    int start(const char* host, int port);

    // ---- requests ----
    // Every request made before a successful start fails at once (null or
    // -1, a warning and a count): nothing is kept to be sent later.
    //
    // Type 0, no reply: 0 once every datagram is written; -1 for a null
    // object or when the message could not be written.
    int set(cObject* obj);
    // Type 1: the reply's object that obj->compIndex accepts, or null.
    cObject* get(cObject* obj);
    // Type 1 (written into list): the whole reply list, or null. A reply
    // is whole or it is null: never part of one, never one twice, never
    // another request's.
    cObjectList* get(cObjectList* list);
    // The list's own type, no reply; always null.
    cObjectList* send(cObjectList* list);
    // Type 1, indexes only: the reply list, or null.
    cObjectList* getIndexes(cObject* obj);
    // Numbers list, writes it and, when reply is set, waits for the
    // matching reply with retransmissions; the reply list or null.
    cObjectList* send_msg(cObjectList* list, bool reply);

    void addListener(cObjectListener* l);
    void removeListener(cObjectListener* l);

    // ---- tuning (defaults: 2 s, 3, 10 s, kDefaultQueueLimit lists and
    // kDefaultQueueBytes, kDefaultReplyLimit, kDefaultAssemblyLimit) ----
    void setReplyWait(unsigned int ms) { replyWaitMs.store(ms ? ms : 1); }
    unsigned int getReplyWait() const { return replyWaitMs.load(); }
    void setTransmissions(int n) { transmissions.store(n > 0 ? n : 1); }
    int getTransmissions() const { return transmissions.load(); }
    // Takes effect at once, also on a running client.
    void setPingInterval(unsigned int ms);
    unsigned int getPingInterval() const { return pingIntervalMs.load(); }
    void setEventQueueLimit(unsigned int limit) { pump.setQueueLimit(limit); }
    void setEventQueueBytes(std::size_t bytes) { pump.setQueueBytes(bytes); }
    void setReplyLimit(std::size_t bytes) { replyLimit.store(bytes ? bytes : 1); }
    std::size_t getReplyLimit() const { return replyLimit.load(); }
    // Applies to the partial replies together, and separately to the
    // partial events together.
    void setAssemblyLimit(std::size_t bytes);
    std::size_t getAssemblyLimit() const { return budget.getTotal(); }
    // Bytes the partial replies and events hold now.
    std::size_t getAssemblyHeld() const { return budget.getHeld() + eventBudget.getHeld(); }

    cCounters getCounters() const;

    // Appends msg to the transmit queue and takes it over; the transmit
    // thread writes it. Dropped (and counted) before start.
    void queue_tx_msg(VMsg* msg);
    // Routes one received message to its request or to the listeners;
    // takes msg over.
    void queue_rx_msg(VMsg* msg);

private:
    class cCall;
    class cEventAssembly;
    typedef std::chrono::steady_clock Clock;

    bool beginCall();
    void endCall();
    cObjectList* await_reply(cObjectList* list, std::unique_lock<std::mutex>& lock);
    bool transmit(cObjectList* list, Clock::time_point until);
    bool send_unanswered(cObjectList* list);
    bool refuse_unstarted();
    int acquire_seq(Clock::time_point until, std::unique_lock<std::mutex>& lock);
    void release_seq(unsigned char seq, bool quarantine);
    void register_tx_msg(cMsgReg* reg);
    void unregister_tx_msg(cMsgReg* reg);
    int update_tx_registry(VMsg* msg);
    int route_reply(VMsg* msg, bool* ended);
    bool isLateReply(const VMsg* msg) const;
    void to_events(VMsg* msg);
    void expire_events();

    static void* tx_thread_function(void* client);
    static void* rx_thread_function(void* client);
    void service_tx();
    void service_rx();
    bool tx_msg(VMsg* msg, Clock::time_point until);
    bool write_datagram(const void* bytes, std::size_t n, Clock::time_point until);
    void ping();
    bool waitForStop(unsigned int ms);
    void stopThreads();
    void closeSockets();

    cEventPump pump;
    int sock;
    int wakeRead;   // written once, to stop the receive thread
    int wakeWrite;
    int kickRead;   // written when an event assembly opens off the receive
    int kickWrite;  // thread, so that thread sets its expiry
    unsigned char rxBuffer[VMsg::kMaxDatagram];
    std::atomic<bool> connected;

    // Registry lock: the registry, the sequence numbers, request status,
    // the record of finished requests and the count of calls in progress.
    std::mutex registryMutex;
    std::condition_variable seqCond;
    // A waiting request sleeps on the one of its sequence number. Owned by
    // the client, not the request, so the receive thread can signal it
    // after letting go of the lock without racing the request's end.
    std::condition_variable replyCond[128];
    std::condition_variable idleCond;
    std::vector<cMsgReg*> registry;
    unsigned char seqCounter;
    // Per sequence number: held by a waiting request, and the time before
    // which it is not handed out again (answers to an ended request's
    // transmissions may still be on their way).
    bool seqHeld[128];
    Clock::time_point seqFreeAt[128];
    // Message type + 1 of the last request that ended with each sequence
    // number (0: none), so late and repeated replies can be counted.
    unsigned short finished[128];
    int calls;
    bool stopping;

    // Partial replies together stay within budget, partial events within
    // eventBudget: a flood of one kind cannot starve the other.
    VAssemblyBudget budget;
    VAssemblyBudget eventBudget;
    std::atomic<std::size_t> replyLimit;
    // Segmented events being put together; receive path only.
    std::mutex eventAsmMutex;
    std::vector<cEventAssembly*> eventAsm;
    // How many there are, so the receive thread need not take the lock
    // for every datagram when there are none (nearly always).
    std::atomic<std::size_t> eventAsmCount;

    // Transmit lock: the transmit queue and the transmit thread's state.
    std::mutex txMutex;
    std::condition_variable txCond;
    std::deque<VMsg*> txQueue;
    bool txStopping;
    std::atomic<Clock::rep> lastTx;  // when a datagram last went out

    std::mutex startMutex;
    bool started;
    pthread_t rxThread;
    pthread_t txThread;

    std::atomic<unsigned int> replyWaitMs;
    std::atomic<int> transmissions;
    std::atomic<unsigned int> pingIntervalMs;

    std::atomic<unsigned int> nSent, nReceived, nSendErrors, nReadErrors, nRetransmissions,
        nGivenUp, nLate, nMalformed, nSegDropped, nTooLarge, nEventsIncomplete, nRefused;
};

#endif
