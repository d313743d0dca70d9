// One outstanding request of the client: transmissions counted, reply
// matched and put together from its segments.
#include "objclient.h"

#include "objectfields.h"

typedef cObjectClient::cMsgReg cMsgReg;

// One entry per request: its category is looked up once.
WQX_LOG_CATEGORY(msgRegLog, "cObjectClient::cMsgReg")

cMsgReg::cMsgReg(cObjectList* list, int transmissions, VAssemblyBudget* budget, std::size_t replyLimit)
    : cVlog(msgRegLog()),
      status(MSG_AWAITING),
      txCounter(0),
      txLimit(transmissions > 0 ? transmissions : 1),
      txList(list),
      rxList(nullptr),
      assembly(replyLimit, budget),
      reply(nullptr),
      complete(false),
      tooLarge(false) {}

cMsgReg::~cMsgReg() { delete reply; }

void cMsgReg::incTx() {
    ++txCounter;
    // Part of the reply in hand says more than "due" or "last one made".
    if (status != MSG_PARTIAL) status = txCounter >= txLimit ? MSG_GAVE_UP : MSG_AWAITING;
    debug("TxCounter = %d, status = %d", txCounter, static_cast<int>(status));
}

int cMsgReg::msgMatch(VMsg* msg) {
    if (!msg || !txList || !txList->match(msg)) return MATCH_NONE;
    if (tooLarge) {
        delete msg;  // the rest of a reply given up on
        return MATCH_DROPPED;
    }
    if (complete) {
        // Taking it would replace a reply the requester has not yet
        // collected; the message goes on to the listeners instead.
        debug("Request Seq=%d already answered, passing the reply on", txList->getMsgSeq());
        return MATCH_NONE;
    }
    if (msg->isWhole()) {
        debug("This is the last segment %d tags", static_cast<int>(msg->getTagCount()));
        // A whole answer replaces any segments of another answer's copy.
        assembly.clear();
        reply = msg;
        complete = true;
        return MATCH_KEPT;
    }
    return keep(msg);
}

int cMsgReg::keep(VMsg* msg) {
    const int index = msg->getSegmentIndex();
    const int total = msg->getSegmentTotal();
    const int tags = static_cast<int>(msg->getTagCount());
    switch (assembly.add(msg)) {
    case VMsgAssembly::ASM_PART:
        debug("This is just a part %d tags (segment %d of %d)", tags, index + 1, total);
        return MATCH_KEPT;
    case VMsgAssembly::ASM_WHOLE:
        reply = assembly.take();
        complete = true;
        debug("Total of %d tags", static_cast<int>(reply->getTagCount()));
        return MATCH_KEPT;
    case VMsgAssembly::ASM_TOO_LARGE:
        tooLarge = true;
        warn("Reply Seq=%d passed its memory limit at segment %d of %d, giving up",
             txList->getMsgSeq(), index + 1, total);
        return MATCH_TOO_LARGE;
    default:
        debug("Dropped segment %d of %d of reply Seq=%d: a copy, or of another answer", index + 1,
              total, txList->getMsgSeq());
        return MATCH_DROPPED;
    }
}

cObjectList* cMsgReg::parseReply() {
    if (!reply || rxList) return rxList;
    rxList = cObject::parseMsg(reply);
    rxList->setMsgType(reply->getType());
    rxList->setMsgSeq(reply->getSeq() & 0x7F);
    debug("Total of %d object @ %p", rxList->numObjects(), static_cast<void*>(rxList));
    delete reply;
    reply = nullptr;
    return rxList;
}
