// A run of received datagrams offered to two waiting requests the way the
// client's registry offers them: the first request whose type and sequence
// match takes a datagram, assembling segments until a last one completes
// its reply; what neither takes is parsed as an event would be. No sockets
// and no threads, so every byte of the input steers the assembly.
//
// Input: type:u8 seq:u8, then datagrams as they travel (length:u16 and the
// message). The requests are (type, seq) and (type, seq ^ 1).
//
// A request must never hold a reply of another type or sequence, nor hold
// a reply without having seen a last segment; a completed reply must
// re-encode.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "objclient.h"

namespace {

typedef cObjectClient::cMsgReg cMsgReg;

struct Request {
    Request(unsigned char type, unsigned char seq) : reg(&list) {
        list.setMsgType(type);
        list.setMsgSeq(seq);
        reg.incTx();
    }
    ~Request() {
        if (cObjectList* rx = reg.getRxMsg()) {
            rx->deleteObjects();
            delete rx;
        }
    }
    cObjectList list;
    cMsgReg reg;
};

void check(bool ok) {
    if (!ok) std::abort();
}

// What the registry does with a received message; true when taken.
bool offer(Request* requests[], int n, VMsg* msg) {
    for (int i = 0; i < n; ++i) {
        cMsgReg& reg = requests[i]->reg;
        const bool hadReply = reg.getRxMsg() != nullptr;
        if (!reg.msgMatch(msg)) continue;
        check(!hadReply);
        reg.setStatus(reg.msgComplete() ? cMsgReg::MSG_TAKEN : cMsgReg::MSG_PARTIAL);
        return true;
    }
    return false;
}

void parseAsEvent(VMsg* msg) {
    std::unique_ptr<cObjectList> list(cObject::parseMsg(msg));
    list->setEvent();
    list->deleteObjects();
    delete msg;
}

void checkReply(Request& r) {
    cObjectList* rx = r.reg.getRxMsg();
    check((rx != nullptr) == (r.reg.rxStatus() == cMsgReg::MSG_TAKEN));
    if (!rx) return;
    check(r.reg.msgComplete());
    check(rx->getMsgType() == r.list.getMsgType() && rx->getMsgSeq() == r.list.getMsgSeq());
    check(!rx->isEvent());
    std::unique_ptr<VMsg> out(rx->toMsg());
    out->segmentMessage(1024);
    out->resetSegment();
    unsigned char buf[1024];
    while (VMsg* seg = out->getNextSegment()) check(seg->getMsg(buf, sizeof buf) != 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    Request a(data[0], data[1] & 0x7F), b(data[0], (data[1] & 0x7F) ^ 1);
    Request* requests[] = {&a, &b};
    for (size_t at = 2; at + 2 <= size;) {
        const size_t len = 2 + ((static_cast<size_t>(data[at]) << 8) | data[at + 1]);
        const size_t n = std::min<size_t>(std::min(len, size - at), 0xFFFF);
        VMsg* msg = VMsg::parseMsg(data + at, static_cast<unsigned short>(n));
        at += n;
        if (msg && !offer(requests, 2, msg)) parseAsEvent(msg);
    }
    checkReply(a);
    checkReply(b);
    return 0;
}
