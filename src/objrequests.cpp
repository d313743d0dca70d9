// The client's requests: numbering, the registry of requests awaiting a
// reply, matching, retransmission and giving up.
#include "objclient.h"

#include "msginfo.h"

typedef cObjectClient::cMsgReg cMsgReg;

namespace {

// Requests are numbered 1 to 127; 0 is the keep-alive ping's, so nothing
// sent back for a ping can ever be taken for a request's answer.
const int kFirstRequestSeq = 1;
const int kRequestSeqs = 127;

}  // namespace

// Counts a public call in progress, so the destructor can wait for every
// caller to have left before it takes the client apart.
class cObjectClient::cCall {
public:
    explicit cCall(cObjectClient* client) : client_(client), entered_(client->beginCall()) {}
    ~cCall() {
        if (entered_) client_->endCall();
    }
    cCall(const cCall&) = delete;
    cCall& operator=(const cCall&) = delete;
    explicit operator bool() const { return entered_; }

private:
    cObjectClient* client_;
    bool entered_;
};

bool cObjectClient::beginCall() {
    std::lock_guard<std::mutex> lock(registryMutex);
    if (stopping) return false;
    ++calls;
    return true;
}

void cObjectClient::endCall() {
    std::lock_guard<std::mutex> lock(registryMutex);
    if (--calls == 0 && stopping) idleCond.notify_all();
}

// ---- the requests ----

int cObjectClient::set(cObject* obj) {
    if (!obj) {
        warn("Setting a NULL object is unhealthy");
        return -1;
    }
    cCall call(this);
    if (!call) return -1;
    cObjectList list;
    list.add(obj);
    list.setMsgType(0);
    return send_unanswered(&list) ? 0 : -1;
}

cObject* cObjectClient::get(cObject* obj) {
    if (!obj) {
        warn("Getting a NULL object is unhealthy");
        return nullptr;
    }
    cObjectList list;
    list.add(obj);
    list.setMsgType(1);
    cObjectList* reply = send_msg(&list, true);
    if (!reply) return nullptr;
    cObject* found = reply->get(obj);
    reply->deleteObjects();
    delete reply;
    return found;
}

cObjectList* cObjectClient::get(cObjectList* list) {
    if (!list) return nullptr;
    list->setMsgType(1);
    cObjectList* reply = send_msg(list, true);
    if (reply) debug("RX Msg %d objects @ %p", reply->numObjects(), static_cast<void*>(reply));
    return reply;
}

cObjectList* cObjectClient::send(cObjectList* list) { return send_msg(list, false); }

cObjectList* cObjectClient::getIndexes(cObject* obj) {
    if (!obj) {
        warn("Getting Indexes for NULL objects is unhealthy");
        return nullptr;
    }
    cObjectList list;
    cObjectMsgInfo info;
    info.setIndexesOnly(true);
    list.add(&info);
    list.add(obj);
    list.setMsgType(1);
    return send_msg(&list, true);
}

cObjectList* cObjectClient::send_msg(cObjectList* list, bool reply) {
    cCall call(this);
    if (!call) return nullptr;
    if (!list) {
        warn("Sending a NULL list is unhealthy");
        return nullptr;
    }
    debug("Sending Message with %s", reply ? " a reply" : " no reply");
    cObjectList* rx = nullptr;
    if (reply) {
        if (!refuse_unstarted()) {
            std::unique_lock<std::mutex> lock(registryMutex);
            rx = await_reply(list, lock);
        }
    } else {
        send_unanswered(list);
    }
    debug("Rx Msg = %p", static_cast<void*>(rx));
    return rx;
}

// A request made before the client is connected would otherwise wait in a
// queue and go out long after its caller gave up on it.
bool cObjectClient::refuse_unstarted() {
    if (connected.load()) return false;
    ++nRefused;
    warn("Client not started, request not sent");
    return true;
}

bool cObjectClient::send_unanswered(cObjectList* list) {
    if (refuse_unstarted()) return false;
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(replyWaitMs.load());
    std::unique_lock<std::mutex> lock(registryMutex);
    const int seq = acquire_seq(until, lock);
    if (seq < 0) return false;
    list->setMsgSeq(static_cast<unsigned char>(seq));
    // Nothing is awaited, so the number is free again at once.
    release_seq(static_cast<unsigned char>(seq), false);
    lock.unlock();
    return transmit(list, until);
}

// Registers the request, transmits it and waits for its reply, sending it
// again after each reply wait until the transmissions are used up. A
// segmented reply of which part has come is sent for again too: the
// answer to the next transmission brings the segments that were lost, and
// each place is filled once. Parsing the reply happens after the request
// has left the registry and the lock.
cObjectList* cObjectClient::await_reply(cObjectList* list, std::unique_lock<std::mutex>& lock) {
    const int limit = transmissions.load();
    const std::chrono::milliseconds wait(replyWaitMs.load());
    const int seq = acquire_seq(Clock::now() + wait * limit, lock);
    if (seq < 0) return nullptr;
    list->setMsgSeq(static_cast<unsigned char>(seq));
    finished[seq] = 0;
    cMsgReg* reg = new cMsgReg(list, limit, &budget, replyLimit.load());
    register_tx_msg(reg);
    debug("Register Message");

    Clock::time_point deadline = Clock::now();  // the first transmission is due
    while (!stopping && !reg->msgComplete() && !reg->overflowed()) {
        if (Clock::now() < deadline) {
            if (replyCond[seq].wait_until(lock, deadline) == std::cv_status::timeout)
                debug("Signal received");
            continue;
        }
        if (reg->getTxCount() >= limit) {
            if (reg->rxStatus() == cMsgReg::MSG_PARTIAL)
                debug("Gave up waiting for the rest of reply Seq=%d", seq);
            reg->setStatus(cMsgReg::MSG_GAVE_UP);
            break;
        }
        debug("Re-Transmit");
        reg->incTx();
        if (reg->getTxCount() > 1) ++nRetransmissions;
        deadline = Clock::now() + wait;
        lock.unlock();
        transmit(list, deadline);  // a failed write is covered by the next transmission
        lock.lock();
    }

    const bool whole = reg->msgComplete();
    if (!whole) ++nGivenUp;
    unregister_tx_msg(reg);
    finished[seq] = static_cast<unsigned short>(list->getMsgType() + 1);
    // Answers to the other transmissions of a request that was sent more
    // than once, or that never completed, may still be on their way: its
    // number rests until they can no longer come.
    release_seq(static_cast<unsigned char>(seq), !whole || reg->getTxCount() > 1);
    lock.unlock();
    cObjectList* rx = whole ? reg->parseReply() : nullptr;
    delete reg;
    lock.lock();
    return rx;
}

bool cObjectClient::transmit(cObjectList* list, Clock::time_point until) {
    VMsg* msg = list->toMsg();
    const bool written = tx_msg(msg, until);
    delete msg;
    return written;
}

// ---- sequence numbers (registry lock held) ----

// A number that no waiting request holds and that has rested long enough,
// waiting for one until `until`; -1 (warned and counted) when none came.
// Handing out a held number would let two requests take each other's
// replies.
int cObjectClient::acquire_seq(Clock::time_point until, std::unique_lock<std::mutex>& lock) {
    while (!stopping) {
        const Clock::time_point now = Clock::now();
        Clock::time_point soonest = Clock::time_point::max();
        for (int k = 0; k < kRequestSeqs; ++k) {
            const int offset = (seqCounter + k) % kRequestSeqs;
            const int seq = kFirstRequestSeq + offset;
            if (seqHeld[seq]) continue;
            if (seqFreeAt[seq] <= now) {
                seqCounter = static_cast<unsigned char>((offset + 1) % kRequestSeqs);
                seqHeld[seq] = true;
                return seq;
            }
            if (seqFreeAt[seq] < soonest) soonest = seqFreeAt[seq];
        }
        if (now >= until) break;
        seqCond.wait_until(lock, soonest < until ? soonest : until);
    }
    if (stopping) return -1;  // the client is going away: nothing to report
    ++nRefused;
    warn("No sequence number free, request not sent");
    return -1;
}

void cObjectClient::release_seq(unsigned char seq, bool quarantine) {
    seqHeld[seq] = false;
    seqFreeAt[seq] = quarantine ? Clock::now() + std::chrono::milliseconds(replyWaitMs.load()) *
                                                     transmissions.load()
                                : Clock::time_point();
    seqCond.notify_all();
}

// ---- the registry (registry lock held) ----

void cObjectClient::register_tx_msg(cMsgReg* reg) { registry.push_back(reg); }

void cObjectClient::unregister_tx_msg(cMsgReg* reg) {
    for (auto it = registry.begin(); it != registry.end();)
        it = *it == reg ? registry.erase(it) : it + 1;
}

int cObjectClient::update_tx_registry(VMsg* msg) {
    const unsigned char seq = msg->getSeq() & 0x7F;
    bool ended = false;
    const int taken = route_reply(msg, &ended);
    if (ended) replyCond[seq].notify_all();
    return taken;
}

// Offers msg to the waiting requests; *ended tells whether the request
// that took it has ended (its reply whole, or past its limit).
int cObjectClient::route_reply(VMsg* msg, bool* ended) {
    const unsigned char type = msg->getType();
    const unsigned char seq = msg->getSeq() & 0x7F;
    for (cMsgReg* reg : registry) {
        const int taken = reg->msgMatch(msg);  // takes msg over
        switch (taken) {
        case cMsgReg::MATCH_NONE: continue;
        case cMsgReg::MATCH_KEPT:
            if (!reg->msgComplete()) {
                reg->setStatus(cMsgReg::MSG_PARTIAL);
                return taken;
            }
            reg->setStatus(cMsgReg::MSG_TAKEN);
            // From now on a reply with this type and sequence is a repeat.
            finished[seq] = static_cast<unsigned short>(type + 1);
            *ended = true;
            return taken;
        case cMsgReg::MATCH_TOO_LARGE:
            ++nTooLarge;
            reg->setStatus(cMsgReg::MSG_GAVE_UP);
            *ended = true;
            return taken;
        default:
            ++nSegDropped;
            return taken;
        }
    }
    return 0;
}

bool cObjectClient::isLateReply(const VMsg* msg) const {
    return finished[msg->getSeq() & 0x7F] == msg->getType() + 1;
}
