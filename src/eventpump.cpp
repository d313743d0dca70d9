// The client's event pump: event lists queued by the receive thread and
// delivered to the listeners on a thread of its own.
#include "objclient.h"

#include "blockedthread.h"

typedef cObjectClient::cEventPump cEventPump;

cEventPump::cEventPump()
    : cVlog("cObjectClient::cEventPump"),
      queuedBytes(0),
      stopping(false),
      overflowing(false),
      queueLimit(kDefaultQueueLimit),
      queueBytes(kDefaultQueueBytes),
      delivered(0),
      dropped(0),
      thread(),
      threadRunning(false) {
    threadRunning = wqx::startBlockedThread(&thread, event_pump_thread, this) == 0;
    if (!threadRunning) error("Could not start the event pump thread");
}

cEventPump::~cEventPump() { stop(); }

void cEventPump::stop() {
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        stopping = true;
    }
    queueCond.notify_all();
    if (threadRunning) {
        if (pthread_equal(pthread_self(), thread)) {
            // Stopped from inside a listener: the thread cannot wait for
            // itself; it ends when that listener returns.
            error("Event pump stopped from its own thread");
            pthread_detach(thread);
        } else {
            pthread_join(thread, nullptr);
        }
        threadRunning = false;
    }
    std::deque<cQueued> left;
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        left.swap(eventQueue);
        queuedBytes = 0;
    }
    for (const cQueued& q : left) {
        q.list->deleteObjects();
        delete q.list;
    }
}

void cEventPump::setQueueLimit(unsigned int limit) { queueLimit.store(limit ? limit : 1); }

void cEventPump::setQueueBytes(std::size_t bytes) { queueBytes.store(bytes ? bytes : 1); }

void cEventPump::pumpEvent(VMsg* msg) {
    if (!msg) return;
    // What the message holds once read stands for what its list will: the
    // objects carry the fields its tags did.
    const std::size_t bytes = msg->getFootprint();
    cObjectList* list = cObject::parseMsg(msg);
    list->setEvent();
    list->setMsgType(msg->getType());
    list->setMsgSeq(msg->getSeq() & 0x7F);
    delete msg;
    if (admit(list, bytes)) return;
    list->deleteObjects();
    delete list;
}

// Queues the list unless the queue is full in lists or in bytes. A slow
// listener must not let a flood of datagrams eat the memory: the newest
// event is dropped, and a run of drops is warned about once.
bool cEventPump::admit(cObjectList* list, std::size_t bytes) {
    std::unique_lock<std::mutex> lock(queueMutex);
    const bool full = eventQueue.size() >= queueLimit.load() ||
                      bytes > queueBytes.load() || queuedBytes > queueBytes.load() - bytes;
    if (!stopping && !full) {
        overflowing = false;
        eventQueue.push_back({list, bytes});
        queuedBytes += bytes;
        lock.unlock();
        queueCond.notify_one();
        return true;
    }
    const bool firstDrop = full && !overflowing;
    if (full) {
        overflowing = true;
        ++dropped;
    }
    lock.unlock();
    if (firstDrop)
        warn("Event queue full (%u lists, %u bytes), dropping events", queueLimit.load(),
             static_cast<unsigned>(queueBytes.load()));
    return false;
}

void cEventPump::addListener(cObjectListener* l) {
    std::lock_guard<std::recursive_mutex> guard(listenerMutex);
    listeners.push_back(l);
}

void cEventPump::removeListener(cObjectListener* l) {
    std::lock_guard<std::recursive_mutex> guard(listenerMutex);
    for (auto it = listeners.begin(); it != listeners.end();)
        it = *it == l ? listeners.erase(it) : it + 1;
}

bool cEventPump::listed(cObjectListener* l) const {
    for (cObjectListener* x : listeners)
        if (x == l) return true;
    return false;
}

void* cEventPump::event_pump_thread(void* pump) {
    static_cast<cEventPump*>(pump)->pump_events();
    return nullptr;
}

void cEventPump::pump_events() {
    std::unique_lock<std::mutex> lock(queueMutex);
    for (;;) {
        queueCond.wait(lock, [this] { return stopping || !eventQueue.empty(); });
        if (stopping) return;
        cObjectList* list = eventQueue.front().list;
        queuedBytes -= eventQueue.front().bytes;
        eventQueue.pop_front();
        lock.unlock();
        deliver(list);
        list->deleteObjects();
        delete list;
        lock.lock();
    }
}

void cEventPump::deliver(cObjectList* list) {
    std::lock_guard<std::recursive_mutex> guard(listenerMutex);
    // Listeners may change the list while it is walked: walk a copy, and
    // skip one that an earlier listener of this event removed.
    const std::vector<cObjectListener*> snapshot(listeners);
    for (cObjectListener* l : snapshot)
        if (l && listed(l)) l->onEvent(list);
    ++delivered;
}
