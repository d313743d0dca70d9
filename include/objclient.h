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
            MSG_GAVE_UP = 1,   // the last transmission has been made; its
                               // answer is still taken until the requester
                               // gives up and unregisters
            MSG_AWAITING = 2,  // waiting; a (re)transmission is due
            MSG_PARTIAL = 3,   // part of a segmented reply has come
        };

        // transmissions: how many times the request is sent before it
        // gives up (3 by default).
        explicit cMsgReg(cObjectList* list, int transmissions = 3);
        ~cMsgReg() override;
        cMsgReg(const cMsgReg&) = delete;
        cMsgReg& operator=(const cMsgReg&) = delete;

        eMsgStatus rxStatus() const { return status; }
        void setStatus(eMsgStatus s) { status = s; }
        cObjectList* getTxList() const { return txList; }
        cObjectList* getRxMsg() const { return rxList; }
        void setRxMsg(cObjectList* l) { rxList = l; }
        int getTxCount() const { return txCounter; }
        // Counts one transmission; the last one turns the status to 1.
        void incTx();
        // Non-zero when msg answers this request; the entry then owns msg.
        // A request that already holds its reply takes nothing more, so a
        // second reply cannot replace (and leak) the first: it is left to
        // the caller, who hands it on as an event.
        int msgMatch(VMsg* msg);
        bool msgComplete() const { return complete; }

    private:
        void takeLastSegment(VMsg* msg);
        void takePartSegment(VMsg* msg);

        eMsgStatus status;
        int txCounter;
        int txLimit;
        cObjectList* txList;
        cObjectList* rxList;
        VMsg* assembly;
        bool complete;
    };

    // Delivers event lists to listeners on a thread of its own. The queue
    // between the receive thread and that thread is bounded: when it is
    // full further events are dropped, counted and warned about.
    class WQX_EXPORT cEventPump : public cVlog {
    public:
        static constexpr unsigned int kDefaultQueueLimit = 1024;

        // Starts the pump thread.
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
        unsigned int getDelivered() const { return delivered.load(); }
        unsigned int getDropped() const { return dropped.load(); }

        // Stops the thread; idempotent. Queued lists are freed.
        void stop();

    private:
        static void* event_pump_thread(void* pump);
        void pump_events();
        void deliver(cObjectList* list);
        bool listed(cObjectListener* l) const;

        std::deque<cObjectList*> eventQueue;
        std::mutex queueMutex;
        std::condition_variable queueCond;
        bool stopping;
        bool overflowing;
        std::atomic<unsigned int> queueLimit;
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
        unsigned int sendErrors;
        unsigned int readErrors;
        unsigned int retransmissions;   // transmissions after a request's first
        unsigned int requestsGivenUp;   // requests that returned without a reply
        unsigned int lateReplies;       // replies after their request ended, or twice
        unsigned int malformedDropped;  // datagrams that did not decode
        unsigned int eventsDelivered;
        unsigned int eventsDropped;     // event queue full
    };

    cObjectClient();
    // Makes waiting requests return null, stops the three threads, closes
    // the socket and frees what the queues hold.
    ~cObjectClient() override;
    cObjectClient(const cObjectClient&) = delete;
    cObjectClient& operator=(const cObjectClient&) = delete;

    // Connects to the server and starts the receive and transmit threads.
    // 1 when connected; 0 when the host cannot be resolved or connected,
    // or when the client was already started.
    int start(const char* host, int port);

    // ---- requests ----
    // Type 0, no reply: 0, or -1 for a null object.
    int set(cObject* obj);
    // Type 1: the reply's object that obj->compIndex accepts, or null.
    cObject* get(cObject* obj);
    // Type 1 (written into list): the whole reply list, or null.
    cObjectList* get(cObjectList* list);
    // The list's own type, no reply; always null.
    cObjectList* send(cObjectList* list);
    // Type 1, indexes only: the reply list, or null.
    cObjectList* getIndexes(cObject* obj);
    // Numbers list, queues it and, when reply is set, waits for the
    // matching reply with retransmissions; the reply list or null.
    cObjectList* send_msg(cObjectList* list, bool reply);

    void addListener(cObjectListener* l);
    void removeListener(cObjectListener* l);

    // ---- tuning (defaults: 2 s, 3, 10 s, kDefaultQueueLimit) ----
    void setReplyWait(unsigned int ms) { replyWaitMs.store(ms ? ms : 1); }
    unsigned int getReplyWait() const { return replyWaitMs.load(); }
    void setTransmissions(int n) { transmissions.store(n > 0 ? n : 1); }
    int getTransmissions() const { return transmissions.load(); }
    void setPingInterval(unsigned int ms) { pingIntervalMs.store(ms ? ms : 1); }
    unsigned int getPingInterval() const { return pingIntervalMs.load(); }
    void setEventQueueLimit(unsigned int limit) { pump.setQueueLimit(limit); }

    cCounters getCounters() const;

    // Appends msg to the transmit queue and takes it over.
    void queue_tx_msg(VMsg* msg);
    // Routes one received message to its request or to the listeners;
    // takes msg over.
    void queue_rx_msg(VMsg* msg);

private:
    class cCall;
    typedef std::chrono::steady_clock Clock;

    bool beginCall();
    void endCall();
    cObjectList* await_reply(cObjectList* list, std::unique_lock<std::mutex>& lock);
    void waitWhile(cMsgReg* reg, cMsgReg::eMsgStatus status, Clock::time_point until,
                   std::unique_lock<std::mutex>& lock);
    unsigned char next_seq();
    void register_tx_msg(cMsgReg* reg);
    void unregister_tx_msg(cMsgReg* reg);
    int update_tx_registry(VMsg* msg);
    bool isLateReply(const VMsg* msg) const;

    static void* tx_thread_function(void* client);
    static void* rx_thread_function(void* client);
    void service_tx();
    void service_rx();
    void tx_msg(VMsg* msg);
    ssize_t write_datagram(const void* bytes, std::size_t n);
    void ping();
    bool waitForStop(unsigned int ms);
    void stopThreads();
    void closeSockets();

    cEventPump pump;
    int sock;
    int wakeRead;
    int wakeWrite;
    unsigned char rxBuffer[VMsg::kMaxDatagram];
    unsigned char txBuffer[1024];

    // Registry lock: the registry, the sequence counter, request status,
    // the record of finished requests and the count of calls in progress.
    std::mutex registryMutex;
    std::condition_variable replyCond;
    std::condition_variable idleCond;
    std::vector<cMsgReg*> registry;
    unsigned char seqCounter;
    // Message type + 1 of the last request that ended with each sequence
    // number (0: none), so late and repeated replies can be counted.
    unsigned short finished[128];
    int calls;
    bool stopping;

    // Transmit lock: the transmit queue and the transmit thread's state. A
    // caller that writes its own request holds it meanwhile, so no write
    // overtakes a message queued before it.
    std::mutex txMutex;
    std::condition_variable txCond;
    std::deque<VMsg*> txQueue;
    bool txStopping;
    bool txReady;     // the transmit thread has sent its first ping
    bool txDraining;  // the transmit thread is writing a batch
    Clock::time_point lastTx;

    std::mutex startMutex;
    bool started;
    pthread_t rxThread;
    pthread_t txThread;

    std::atomic<unsigned int> replyWaitMs;
    std::atomic<int> transmissions;
    std::atomic<unsigned int> pingIntervalMs;

    std::atomic<unsigned int> nSent, nReceived, nSendErrors, nReadErrors, nRetransmissions,
        nGivenUp, nLate, nMalformed;
};

#endif
