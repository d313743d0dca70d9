// One datagram through the whole receive side (decode, dictionary grouping,
// objects) and back out (message, segments, datagrams, and those put
// together again). Whatever decodes must go out again: a failure to do so
// aborts, so the fuzzer reports it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "objectlist.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// Same number, type and value bytes.
bool sameTag(const VTag* a, const VTag* b) {
    if (a->getTag() != b->getTag() || a->getType() != b->getType() || a->getLength() != b->getLength())
        return false;
    std::vector<unsigned char> va(a->getLength() + 1u), vb(b->getLength() + 1u);  // never empty
    a->putValue(va.data());
    b->putValue(vb.data());
    return va == vb;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > VMsg::kMaxDatagram) return 0;
    std::unique_ptr<VMsg> msg(VMsg::parseMsg(data, static_cast<unsigned short>(size)));
    if (!msg) return 0;
    std::unique_ptr<cObjectList> list(cObject::parseMsg(msg.get()));
    list->setMsgType(msg->getType());
    list->setMsgSeq(msg->getSeq());
    std::unique_ptr<VMsg> out(list->toMsg());
    list->deleteObjects();
    const std::size_t n = out->segmentMessage(VMsg::kMaxSegment);
    if (n == 0) {
        // Refused only for a value no segment can carry (a reader takes
        // datagrams twice the size a writer makes).
        check(std::any_of(out->getTags().begin(), out->getTags().end(),
                          [](const VTag* t) { return t->getLength() > VMsg::kMaxTagValue; }));
        return 0;
    }
    // Every segment decodes, and put together they are the message again,
    // tag for tag.
    VMsgAssembly assembly(64u << 20, nullptr);
    unsigned char buf[VMsg::kMaxSegment];
    std::size_t i = 0;
    out->resetSegment();
    while (VMsg* seg = out->getNextSegment()) {
        const unsigned short len = seg->getMsg(buf, sizeof buf);
        check(len != 0);
        VMsg* again = VMsg::parseMsg(buf, len);
        check(again && again->getTagCount() == seg->getTagCount() && again->getSegmentIndex() == i &&
              again->getSegmentTotal() == n);
        const VMsgAssembly::eResult r = assembly.add(again);
        check(r == (++i == n ? VMsgAssembly::ASM_WHOLE : VMsgAssembly::ASM_PART));
    }
    std::unique_ptr<VMsg> whole(assembly.take());
    check(whole && whole->getLength() == out->getLength() && whole->getTagCount() == out->getTagCount());
    for (std::size_t k = 0; k < out->getTagCount(); ++k) check(sameTag(out->getTags()[k], whole->getTags()[k]));
    return 0;
}
