// The client's requests: numbering, the registry of requests awaiting a
// reply, matching, retransmission and giving up.
#include "objclient.h"

#include "msginfo.h"

typedef cObjectClient::cMsgReg cMsgReg;

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
    cObjectList list;
    list.add(obj);
    list.setMsgType(0);
    send_msg(&list, false);
    return 0;
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
    cCall call(this);
    if (!call || !list) return nullptr;
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
    std::unique_lock<std::mutex> lock(registryMutex);
    cObjectList* rx = nullptr;
    if (reply) {
        rx = await_reply(list, lock);
    } else {
        list->setMsgSeq(next_seq());
        queue_tx_msg(list->toMsg());
    }
    lock.unlock();
    debug("Rx Msg = %p", static_cast<void*>(rx));
    return rx;
}

// Registers the request, transmits it and waits for its reply. Every
// transmission, the last one included, gets the reply wait for its answer:
// giving up as soon as the last one is written would waste it, since its
// answer could only come late. Each wait has a fixed deadline, so replies
// to other requests cannot postpone a retransmission; a reply that stops
// after some of its segments gets the time an unanswered request would
// have had, no more.
cObjectList* cObjectClient::await_reply(cObjectList* list, std::unique_lock<std::mutex>& lock) {
    const int limit = transmissions.load();
    cMsgReg* reg = new cMsgReg(list, limit);
    list->setMsgSeq(next_seq());
    const unsigned char seq = list->getMsgSeq();
    finished[seq] = 0;
    register_tx_msg(reg);
    debug("Register Message");

    const std::chrono::milliseconds wait(replyWaitMs.load());
    const Clock::time_point giveUpAt = Clock::now() + wait * limit;
    Clock::time_point deadline = giveUpAt;
    while (!stopping) {
        if (reg->rxStatus() == cMsgReg::MSG_AWAITING) {
            debug("Re-Transmit");
            reg->incTx();
            if (reg->getTxCount() > 1) ++nRetransmissions;
            queue_tx_msg(list->toMsg());
            deadline = Clock::now() + wait;
        }
        const cMsgReg::eMsgStatus status = reg->rxStatus();
        if (status == cMsgReg::MSG_TAKEN) break;
        const Clock::time_point until = status == cMsgReg::MSG_PARTIAL ? giveUpAt : deadline;
        if (status != cMsgReg::MSG_AWAITING && Clock::now() >= until) {
            if (status == cMsgReg::MSG_PARTIAL)
                debug("Gave up waiting for the rest of reply Seq=%d", seq);
            reg->setStatus(cMsgReg::MSG_GAVE_UP);
            break;
        }
        waitWhile(reg, status, until, lock);
    }

    if (reg->rxStatus() != cMsgReg::MSG_TAKEN) ++nGivenUp;
    unregister_tx_msg(reg);
    finished[seq] = static_cast<unsigned short>(list->getMsgType() + 1);
    cObjectList* rx = reg->getRxMsg();
    delete reg;
    return rx;
}

// Waits until the request's status leaves `status`, the client stops, or
// `until` passes.
void cObjectClient::waitWhile(cMsgReg* reg, cMsgReg::eMsgStatus status, Clock::time_point until,
                              std::unique_lock<std::mutex>& lock) {
    while (!stopping && reg->rxStatus() == status) {
        if (replyCond.wait_until(lock, until) == std::cv_status::timeout) {
            debug("Signal received");
            return;
        }
    }
}

// ---- the registry (registry lock held) ----

// The next sequence number, skipping those of requests still waiting: with
// only 128 numbers a busy client comes round to a waiting request's number,
// and the two would then take each other's replies.
unsigned char cObjectClient::next_seq() {
    for (int tries = 0; tries < 128; ++tries) {
        const unsigned char seq = seqCounter++ & 0x7F;
        bool held = false;
        for (const cMsgReg* reg : registry) held = held || reg->getTxList()->getMsgSeq() == seq;
        if (!held) return seq;
    }
    warn("All 128 sequence numbers are waiting for replies");
    return seqCounter++ & 0x7F;
}

void cObjectClient::register_tx_msg(cMsgReg* reg) { registry.push_back(reg); }

void cObjectClient::unregister_tx_msg(cMsgReg* reg) {
    for (auto it = registry.begin(); it != registry.end();)
        it = *it == reg ? registry.erase(it) : it + 1;
}

int cObjectClient::update_tx_registry(VMsg* msg) {
    for (cMsgReg* reg : registry) {
        const unsigned char type = msg->getType();
        const unsigned char seq = msg->getSeq() & 0x7F;
        const int taken = reg->msgMatch(msg);  // may delete msg
        if (!taken) continue;
        if (reg->msgComplete()) {
            reg->setStatus(cMsgReg::MSG_TAKEN);
            // From now on a reply with this type and sequence is a repeat.
            finished[seq] = static_cast<unsigned short>(type + 1);
        } else {
            reg->setStatus(cMsgReg::MSG_PARTIAL);
        }
        return taken;
    }
    return 0;
}

bool cObjectClient::isLateReply(const VMsg* msg) const {
    return finished[msg->getSeq() & 0x7F] == msg->getType() + 1;
}
