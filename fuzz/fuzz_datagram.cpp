// One datagram through the whole receive side (decode, dictionary grouping,
// objects) and back out (message, segments, datagrams). Whatever decodes
// must re-encode: a failure to do so aborts, so the fuzzer reports it.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "objectlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > VMsg::kMaxDatagram) return 0;
    std::unique_ptr<VMsg> msg(VMsg::parseMsg(data, static_cast<unsigned short>(size)));
    if (!msg) return 0;
    std::unique_ptr<cObjectList> list(cObject::parseMsg(msg.get()));
    list->setMsgType(msg->getType());
    list->setMsgSeq(msg->getSeq());
    std::unique_ptr<VMsg> out(list->toMsg());
    out->segmentMessage(1024);
    out->resetSegment();
    unsigned char buf[1024];
    while (VMsg* seg = out->getNextSegment()) {
        const unsigned short n = seg->getMsg(buf, sizeof buf);
        if (n == 0) std::abort();
        std::unique_ptr<VMsg> again(VMsg::parseMsg(buf, n));
        if (!again || again->getTagCount() != seg->getTagCount()) std::abort();
    }
    list->deleteObjects();
    return 0;
}
