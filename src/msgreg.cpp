// One outstanding request of the client: transmissions counted, reply
// matched and assembled from its segments.
#include "objclient.h"

typedef cObjectClient::cMsgReg cMsgReg;

cMsgReg::cMsgReg(cObjectList* list, int transmissions)
    : cVlog("cObjectClient::cMsgReg"),
      status(MSG_AWAITING),
      txCounter(0),
      txLimit(transmissions > 0 ? transmissions : 1),
      txList(list),
      rxList(nullptr),
      assembly(nullptr),
      complete(false) {}

cMsgReg::~cMsgReg() { delete assembly; }

void cMsgReg::incTx() {
    ++txCounter;
    status = txCounter >= txLimit ? MSG_GAVE_UP : MSG_AWAITING;
    debug("TxCounter = %d, status = %d", txCounter, static_cast<int>(status));
}

int cMsgReg::msgMatch(VMsg* msg) {
    if (!msg || !txList || !txList->match(msg)) return 0;
    if (rxList) {
        // Taking it would replace a reply the requester has not yet
        // collected; the message goes on to the listeners instead.
        debug("Request Seq=%d already answered, passing the reply on", txList->getMsgSeq());
        return 0;
    }
    const bool last = msg->isLastSegment();
    if (last)
        takeLastSegment(msg);
    else
        takePartSegment(msg);
    complete = last;
    return 1;
}

void cMsgReg::takeLastSegment(VMsg* msg) {
    debug("This is the last segment %d tags", static_cast<int>(msg->getTagCount()));
    VMsg* whole = msg;
    if (assembly) {
        assembly->addSegment(msg);
        debug("Total of %d tags", static_cast<int>(assembly->getTagCount()));
        whole = assembly;
    }
    rxList = cObject::parseMsg(whole);
    rxList->setMsgType(whole->getType());
    rxList->setMsgSeq(whole->getSeq() & 0x7F);
    if (assembly) {
        debug("Total of %d object @ %p", rxList->numObjects(), static_cast<void*>(rxList));
        delete assembly;
        assembly = nullptr;
    }
    delete msg;
}

void cMsgReg::takePartSegment(VMsg* msg) {
    const int tags = static_cast<int>(msg->getTagCount());
    if (!assembly) {
        debug("This is the first segment %d tags", tags);
        assembly = msg;
        debug("Total of %d tags", tags);
        return;
    }
    debug("This is just a part %d tags", tags);
    assembly->addSegment(msg);
    debug("Total of %d tags", static_cast<int>(assembly->getTagCount()));
    delete msg;
}
