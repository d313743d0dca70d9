// Writes the datagrams the library makes, and what the library reads in
// each, for the dissector test (dissector_test.sh):
//
//   make_pcap OUT.dump OUT.expected
//
// The dump holds one datagram a line in text2pcap's form (offset 0, then the
// bytes in hex); the test wraps them in UDP to port 4000 with text2pcap,
// which comes with tshark. Each line of the expected
// file is one frame: number, type, seq, index, total, the "NAME=value" of
// every tag the frame shows (its own, then the whole message's when it
// completes one), the classes of its object groups, the error codes the
// dissector must raise, and 1 for the keep-alive ping; "*" where the frame's
// content is not compared.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "everyfield.h"
#include "objectlist.h"
#include "tagnames.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string valueOf(const VTag* t) {
    char buf[32];
    switch (t->getType()) {
    case VTAG_STRING: return static_cast<const VTagString*>(t)->text();
    case VTAG_UINT32: std::snprintf(buf, sizeof buf, "%u", static_cast<const VTagUInt32*>(t)->getValue()); break;
    case VTAG_UINT16: std::snprintf(buf, sizeof buf, "%u", static_cast<const VTagUInt16*>(t)->getValue()); break;
    case VTAG_UINT8: std::snprintf(buf, sizeof buf, "%u", static_cast<const VTagUInt8*>(t)->getValue()); break;
    case VTAG_FLOAT:
        std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(static_cast<const VTagUInt32*>(t)->getFloatValue()));
        break;
    default: return "";
    }
    return buf;
}

struct Writer {
    std::string dump;
    std::string expected;
    std::vector<tagnames::TagName> names = tagnames::allTags();
    std::map<unsigned, std::string> codes = tagnames::objectCodes();
    int frame = 0;
    bool failed = false;

    void packet(const Bytes& payload) {
        ++frame;
        char hex[4];
        dump += "000000";
        for (unsigned char c : payload) {
            std::snprintf(hex, sizeof hex, " %02x", c);
            dump += hex;
        }
        dump += "\n";
    }

    // The summaries and classes of msg's tags, grouped as the library groups them.
    void describe(VMsg* msg, std::string& summaries, std::string& classes) {
        std::string cls;
        for (VTag* t : msg->getTags()) {
            if (WQX::DictDef->isObjectCode(t->getTag())) {
                cls = codes[t->getTag()];
                classes += (classes.empty() ? "" : ",") + cls;
            }
            std::string s = tagnames::displayName(names, t->getTag(), cls);
            if (t->getType() != VTAG_NONE) s += "=" + valueOf(t);
            summaries += (summaries.empty() ? "" : "|") + s;
        }
    }

    // Sends every segment of msg, in the order given by `order` (indexes),
    // and records what the library reads from each.
    void send(VMsg* msg, const std::vector<std::size_t>& order = {}, bool ping = false) {
        std::vector<Bytes> segs;
        msg->segmentMessage(VMsg::kMaxSegment);
        while (VMsg* s = msg->getNextSegment()) {
            Bytes b(VMsg::kMaxDatagram);
            b.resize(s->getMsg(b.data(), static_cast<unsigned short>(b.size())));
            segs.push_back(b);
        }
        VMsgAssembly assembly(1 << 20, nullptr);
        for (std::size_t k = 0; k < segs.size(); ++k) {
            const Bytes& b = segs[order.empty() ? k : order[k]];
            VMsg* seg = VMsg::parseMsg(b.data(), static_cast<unsigned short>(b.size()));
            if (!seg) {
                std::fprintf(stderr, "make_pcap: the library rejects its own segment\n");
                failed = true;
                return;
            }
            packet(b);
            std::string summaries, classes;
            char head[64];
            std::snprintf(head, sizeof head, "%d\t%u\t%u\t%u\t%u\t", frame, seg->getType(), seg->getSeq(),
                          seg->getSegmentIndex(), seg->getSegmentTotal());
            describe(seg, summaries, classes);
            if (!seg->isWhole() && assembly.add(seg) == VMsgAssembly::ASM_WHOLE) {
                std::unique_ptr<VMsg> whole(assembly.take());
                describe(whole.get(), summaries, classes);
            } else if (seg->isWhole()) {
                delete seg;
            }
            expected += head + summaries + "\t" + classes + "\t\t" + (ping ? "1" : "") + "\n";
        }
    }

    // A datagram the library must reject, and the dissector's error codes.
    void malformed(const Bytes& b, const char* errors) {
        std::unique_ptr<VMsg> msg(VMsg::parseMsg(b.data(), static_cast<unsigned short>(b.size())));
        if (msg) {
            std::fprintf(stderr, "make_pcap: the library accepts malformed datagram %s\n", errors);
            failed = true;
        }
        packet(b);
        expected += std::to_string(frame) + "\t*\t*\t*\t*\t*\t*\t" + errors + "\t\n";
    }
};

VMsg* messageOf(std::vector<cObject*> objects, unsigned char type, unsigned char seq) {
    cObjectList list;
    for (cObject* o : objects) list.add(o);
    list.setMsgType(type);
    list.setMsgSeq(seq);
    VMsg* msg = list.toMsg();
    list.deleteObjects();
    return msg;
}

Bytes datagramOf(VMsg* msg) {
    Bytes b(VMsg::kMaxDatagram);
    b.resize(msg->getMsg(b.data(), static_cast<unsigned short>(b.size())));
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_pcap OUT.dump OUT.expected\n");
        return 2;
    }
    Writer w;
    // One message of every class, each object with every field it has.
    for (int t = 0; t < cObject::OBJ_NONE; ++t) {
        std::unique_ptr<VMsg> msg(
            messageOf({everyfield::makeFull(static_cast<cObject::eObjectTypes>(t))}, 0, static_cast<unsigned char>(t + 1)));
        w.send(msg.get());
    }
    // A device larger than a datagram, its two segments arriving last first.
    cObject* big = cObject::create(cObject::OBJ_DEVICE);
    {
        VMsg fill(0);
        fill.addTag(VTagFactory::createVTag(5));
        fill.addTag(VTagFactory::createVTag(8, 1001u));
        fill.addTag(VTagFactory::createVTag(9, std::string(1000, 'L').c_str()));
        everyfield::fillFrom(big, &fill);
    }
    std::unique_ptr<VMsg> segmented(messageOf({big}, 1, 6));
    w.send(segmented.get(), {1, 0});
    // Values whose printing shows a lost digit or a signed read.
    VMsg sample(0);
    sample.addTag(VTagFactory::createVTag(63));
    sample.addTag(VTagFactory::createVTag(8, 3000000000u));
    sample.addTag(VTagFactory::createVTag(49, 0.1f, true));
    w.send(&sample);
    // The keep-alive ping, and an event.
    VMsg ping(1);
    ping.addTag(VTagFactory::createVTag(8, 0xFFFFFFFFu));
    w.send(&ping, {}, true);
    std::unique_ptr<VMsg> event(messageOf({everyfield::makeFull(cObject::OBJ_EVENT)}, 2, 9));
    w.send(event.get());

    // Malformed datagrams, each made from a good device datagram.
    cObject* dev = everyfield::makeFull(cObject::OBJ_DEVICE);
    std::unique_ptr<VMsg> good(messageOf({dev}, 0, 3));
    const Bytes base = datagramOf(good.get());
    auto bad = [&](const char* errors, void (*edit)(Bytes&)) {
        Bytes b = base;
        edit(b);
        w.malformed(b, errors);
    };
    bad("version", [](Bytes& b) { b[2] = 1; });
    bad("length|trailing", [](Bytes& b) { b.push_back(0); });
    bad("overrun", [](Bytes& b) {  // cut inside the last tag, length told truthfully
        b.resize(b.size() - 3);
        b[1] = static_cast<unsigned char>(b.size() - 2);
        b[0] = static_cast<unsigned char>((b.size() - 2) >> 8);
    });
    bad("length|overrun", [](Bytes& b) { b.resize(b.size() - 3); });  // the length still the whole one's
    bad("reserved", [](Bytes& b) { b[4] |= 0x80; });
    bad("index", [](Bytes& b) { b[6] = 1; });  // segment 1 of 1
    bad("vlen|overrun", [](Bytes& b) { b[11 + 4 + 3] = 3; });  // the first tag after the code: u32 of 3 bytes
    w.malformed(Bytes{0x00, 0x05, 0x02, 0x00, 0x01}, "length|short");

    std::ofstream(argv[1]) << w.dump;
    std::ofstream(argv[2]) << w.expected;
    return w.failed ? 1 : 0;
}
