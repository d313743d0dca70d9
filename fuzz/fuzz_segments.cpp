// A run of received datagrams offered to two waiting requests the way the
// client's registry offers them: the first request whose type and sequence
// match takes a datagram, keeping segments in any order until its reply is
// whole; what neither takes is parsed as an event would be. No sockets and
// no threads, so every byte of the input steers the assembly.
//
// Input: type:u8 seq:u8, then datagrams as they travel (length:u16 and the
// message). The requests are (type, seq) and (type, seq ^ 1); the second
// may hold only a few KiB of reply, so that running out of room is reached.
//
// Beside each request runs a model of what it may do with a segment: keep
// it once per place, drop a copy or a segment of another total, and call
// the reply whole exactly when every place of one total has come (or a
// whole message has); once past its limit, swallow the rest. A request
// must never hold a reply of another type or sequence, and a whole reply
// must read back and go out again.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>

#include "objclient.h"

namespace {

typedef cObjectClient::cMsgReg cMsgReg;

const std::size_t kSmallReplyLimit = 4 * 1024;

void check(bool ok) {
    if (!ok) std::abort();
}

// What the request is known to hold.
struct Model {
    std::set<unsigned int> places;
    unsigned int total = 0;  // of the segments held; 0 before the first
    bool whole = false;
    bool refused = false;    // passed its limit
};

struct Request {
    Request(unsigned char type, unsigned char seq, VAssemblyBudget* budget, std::size_t limit)
        : reg(&list, 3, budget, limit) {
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
    Model model;
};

// What the registry does with one message for one request, checked against
// the model; true when the request took the message over.
bool offerTo(Request& r, VMsg* msg) {
    const unsigned int index = msg->getSegmentIndex(), total = msg->getSegmentTotal();
    const bool mine = msg->getType() == r.list.getMsgType() && msg->getSeq() == (r.list.getMsgSeq() & 0x7F);
    Model& m = r.model;
    const int match = r.reg.msgMatch(msg);  // msg may be gone from here on
    if (!mine || m.whole) {
        // Not this request's, or a second answer: the listeners get it.
        check(match == cMsgReg::MATCH_NONE);
        return false;
    }
    if (m.refused) {
        // The rest of a reply given up on is swallowed, never kept.
        check(match == cMsgReg::MATCH_DROPPED);
        return true;
    }
    switch (match) {
    case cMsgReg::MATCH_KEPT:
        if (total == 1) {
            m.whole = true;
        } else {
            check(m.total == 0 || m.total == total);
            check(m.places.insert(index).second);
            m.total = total;
            m.whole = m.places.size() == total;
        }
        check(r.reg.msgComplete() == m.whole);
        r.reg.setStatus(m.whole ? cMsgReg::MSG_TAKEN : cMsgReg::MSG_PARTIAL);
        return true;
    case cMsgReg::MATCH_DROPPED:
        // A copy of a place held, or a segment of another total.
        check(total != 1 && m.total != 0 && (m.total != total || m.places.count(index)));
        return true;
    case cMsgReg::MATCH_TOO_LARGE:
        check(r.reg.overflowed());
        m.refused = true;
        r.reg.setStatus(cMsgReg::MSG_GAVE_UP);
        return true;
    default:
        std::abort();
    }
}

void parseAsEvent(VMsg* msg) {
    std::unique_ptr<cObjectList> list(cObject::parseMsg(msg));
    list->setEvent();
    list->deleteObjects();
    delete msg;
}

// A whole reply reads back as a list of the request's type and sequence
// and goes out again: in segments of at most 1024 bytes, or refused only
// for a text no segment can carry.
void checkReply(Request& r) {
    check(r.reg.msgComplete() == r.model.whole);
    cObjectList* rx = r.reg.parseReply();
    check((rx != nullptr) == r.model.whole);
    if (!rx) return;
    check(rx->getMsgType() == r.list.getMsgType() && rx->getMsgSeq() == r.list.getMsgSeq());
    check(!rx->isEvent());
    std::unique_ptr<VMsg> out(rx->toMsg());
    const std::size_t n = out->segmentMessage(VMsg::kMaxSegment);
    if (n == 0) {
        check(std::any_of(out->getTags().begin(), out->getTags().end(),
                          [](const VTag* t) { return t->getLength() > VMsg::kMaxTagValue; }));
        return;
    }
    out->resetSegment();
    unsigned char buf[VMsg::kMaxSegment];
    while (VMsg* seg = out->getNextSegment()) check(seg->getMsg(buf, sizeof buf) != 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    VAssemblyBudget budget(cMsgReg::kDefaultReplyLimit);
    Request a(data[0], data[1] & 0x7F, &budget, cMsgReg::kDefaultReplyLimit);
    Request b(data[0], (data[1] & 0x7F) ^ 1, &budget, kSmallReplyLimit);
    for (size_t at = 2; at + 2 <= size;) {
        const size_t len = 2 + ((static_cast<size_t>(data[at]) << 8) | data[at + 1]);
        const size_t n = std::min<size_t>(std::min(len, size - at), 0xFFFF);
        VMsg* msg = VMsg::parseMsg(data + at, static_cast<unsigned short>(n));
        at += n;
        if (msg && !offerTo(a, msg) && !offerTo(b, msg)) parseAsEvent(msg);
    }
    checkReply(a);
    checkReply(b);
    return 0;
}
