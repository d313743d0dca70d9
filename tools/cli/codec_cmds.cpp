// wqxobj decode / encode: datagrams to our JSON document and back, for
// reading captures and crafting test traffic without a server.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"

namespace {

const char kDecodeUsage[] =
    "usage: wqxobj decode [--hex] [--pretty] [-v] [FILE|-]\n"
    "Reads datagrams (each a 2-byte length and its message; binary, or hex\n"
    "text with --hex) and prints each message as a JSON document, one per\n"
    "line. The segments of a message are put together first, in whatever\n"
    "order they come; a copy of a segment is skipped. A message missing a\n"
    "segment is not printed, and makes the exit status 1.\n";

const char kEncodeUsage[] =
    "usage: wqxobj encode [--hex] [--type N] [--seq N] [-v] [FILE|-]\n"
    "Reads a JSON document and writes it as the datagrams of one message\n"
    "(message type N, default 0; sequence N, default 0), segmented at 1024\n"
    "bytes: binary, or one hex line per datagram with --hex.\n";

// What one segmented message may hold while it is put together. A capture
// is read whole into memory anyway; this only keeps a forged total from
// costing more than the input could.
const std::size_t kMessageLimit = 64u << 20;

// Prints one whole message as a document line.
void printMessage(VMsg* msg, bool pretty) {
    std::unique_ptr<cObjectList> list(cObject::parseMsg(msg));
    list->setMsgType(msg->getType());
    list->setMsgSeq(msg->getSeq());
    std::printf("%s\n", cli::documentText(*list, pretty).c_str());
    list->deleteObjects();
}

// A segmented message being put together, known by its type and sequence.
struct Pending {
    unsigned char type, seq;
    unsigned short total;
    std::unique_ptr<VMsgAssembly> parts;
};

}  // namespace

int cmdDecode(int argc, char** argv) {
    bool hex = false;
    cli::Common common;
    cli::Options own{{{"hex", no_argument, nullptr, 'x'}}, "", [&](int opt, const char*) {
                         if (opt == 'x') hex = true;
                         return cli::kOk;
                     }};
    int rc = cli::parseOptions("decode", argc, argv, own, kDecodeUsage, common);
    if (rc != cli::kOk) return rc == cli::kHelp ? cli::kOk : rc;
    if (argc - optind > 1) return cli::fail("decode", cli::kUsage, "one input at most (try --help)");
    std::string input, error;
    if (!cli::readInput(optind < argc ? argv[optind] : "-", input, error))
        return cli::fail("decode", cli::kFailed, "%s", error.c_str());
    std::vector<unsigned char> bytes(input.begin(), input.end());
    if (hex && !cli::fromHex(input, bytes))
        return cli::fail("decode", cli::kFailed, "input is not hex text");

    // Messages whose segments are still coming. Segments of different
    // messages may interleave; a message whose sequence number comes round
    // again with another total before it is whole has lost segments.
    std::vector<Pending> pending;
    unsigned int incomplete = 0;
    std::string firstIncomplete;
    auto giveUp = [&](const Pending& p) {
        if (incomplete++ == 0) {
            char what[96];
            std::snprintf(what, sizeof what, "type %u sequence %u, %u of its %u segments", p.type, p.seq,
                          static_cast<unsigned>(p.parts->getReceived()), p.total);
            firstIncomplete = what;
        }
    };
    size_t off = 0;
    while (off < bytes.size()) {
        const size_t left = bytes.size() - off;
        const size_t len = left >= 2 ? 2 + (bytes[off] << 8 | bytes[off + 1]) : left + 1;
        std::unique_ptr<VMsg> msg(len <= left && len <= VMsg::kMaxDatagram
                                      ? VMsg::parseMsg(&bytes[off], static_cast<unsigned short>(len))
                                      : nullptr);
        if (!msg)
            return cli::fail("decode", cli::kFailed, "malformed datagram at byte %u",
                             static_cast<unsigned>(off));
        const size_t at = off;
        off += len;
        if (msg->isWhole()) {
            printMessage(msg.get(), common.pretty);
            continue;
        }
        auto it = pending.begin();
        while (it != pending.end() && (it->type != msg->getType() || it->seq != msg->getSeq())) ++it;
        if (it != pending.end() && it->total != msg->getSegmentTotal()) {
            giveUp(*it);
            pending.erase(it);
            it = pending.end();
        }
        if (it == pending.end()) {
            pending.push_back(Pending{msg->getType(), msg->getSeq(), msg->getSegmentTotal(),
                                      std::unique_ptr<VMsgAssembly>(new VMsgAssembly(kMessageLimit, nullptr))});
            it = pending.end() - 1;
        }
        switch (it->parts->add(msg.release())) {
        case VMsgAssembly::ASM_WHOLE: {
            std::unique_ptr<VMsg> whole(it->parts->take());
            pending.erase(it);
            printMessage(whole.get(), common.pretty);
            break;
        }
        case VMsgAssembly::ASM_TOO_LARGE:
            return cli::fail("decode", cli::kFailed, "message of the datagram at byte %u is larger than %u MiB",
                             static_cast<unsigned>(at), static_cast<unsigned>(kMessageLimit >> 20));
        default: break;  // a part kept, or a copy of one skipped
        }
    }
    for (const Pending& p : pending) giveUp(p);
    if (incomplete)
        return cli::fail("decode", cli::kFailed, "%u message%s not whole (first: %s)", incomplete,
                         incomplete == 1 ? "" : "s", firstIncomplete.c_str());
    return cli::kOk;
}

int cmdEncode(int argc, char** argv) {
    bool hex = false;
    long type = 0, seq = 0;
    cli::Common common;
    cli::Options own{{{"hex", no_argument, nullptr, 'x'},
                      {"type", required_argument, nullptr, 't'},
                      {"seq", required_argument, nullptr, 's'}},
                     "",
                     [&](int opt, const char* arg) {
                         if (opt == 'x') hex = true;
                         if (opt == 't' && !cli::parseNumber(arg, 255, type))
                             return cli::fail("encode", cli::kUsage, "--type takes 0 to 255");
                         if (opt == 's' && !cli::parseNumber(arg, 127, seq))
                             return cli::fail("encode", cli::kUsage, "--seq takes 0 to 127");
                         return cli::kOk;
                     }};
    int rc = cli::parseOptions("encode", argc, argv, own, kEncodeUsage, common);
    if (rc != cli::kOk) return rc == cli::kHelp ? cli::kOk : rc;
    if (argc - optind > 1) return cli::fail("encode", cli::kUsage, "one input at most (try --help)");
    std::string input, error;
    if (!cli::readInput(optind < argc ? argv[optind] : "-", input, error))
        return cli::fail("encode", cli::kFailed, "%s", error.c_str());
    cObjectList* list = nullptr;
    if (!cli::readDocument(input, list, error))
        return cli::fail("encode", cli::kFailed, "%s", error.c_str());
    std::unique_ptr<cObjectList> owned(list);
    list->setMsgType(static_cast<unsigned char>(type));
    list->setMsgSeq(static_cast<unsigned char>(seq));
    std::unique_ptr<VMsg> msg(list->toMsg());
    list->deleteObjects();
    if (msg->segmentMessage(VMsg::kMaxSegment) == 0)
        return cli::fail("encode", cli::kFailed,
                         "the document cannot be sent: a value is longer than %u bytes (-v for which)",
                         static_cast<unsigned>(VMsg::kMaxTagValue));
    msg->resetSegment();
    unsigned char buf[VMsg::kMaxSegment];
    while (VMsg* seg = msg->getNextSegment()) {
        const unsigned short n = seg->getMsg(buf, sizeof buf);
        if (n == 0) return cli::fail("encode", cli::kFailed, "a segment does not fit a datagram");
        if (hex)
            std::printf("%s\n", cli::toHex(buf, n).c_str());
        else
            std::fwrite(buf, 1, n, stdout);
    }
    return std::fflush(stdout) == 0 ? cli::kOk
                                    : cli::fail("encode", cli::kFailed, "cannot write the output");
}
