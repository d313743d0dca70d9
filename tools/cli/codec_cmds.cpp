// wqxobj decode / encode: datagrams to our JSON document and back, for
// reading captures and crafting test traffic without a server.
#include <cstdio>
#include <memory>

#include "cli.h"
#include "commands.h"

namespace {

const char kDecodeUsage[] =
    "usage: wqxobj decode [--hex] [--pretty] [-v] [FILE|-]\n"
    "Reads datagrams (each a 2-byte length and its message; binary, or hex\n"
    "text with --hex) and prints each message as a JSON document, one per\n"
    "line. The segments of a message are joined before it is printed.\n";

const char kEncodeUsage[] =
    "usage: wqxobj encode [--hex] [--type N] [--seq N] [-v] [FILE|-]\n"
    "Reads a JSON document and writes it as the datagrams of one message\n"
    "(message type N, default 0; sequence N, default 0), segmented at 1024\n"
    "bytes: binary, or one hex line per datagram with --hex.\n";

// Prints one reassembled message as a document line.
void printMessage(VMsg* msg, bool pretty) {
    std::unique_ptr<cObjectList> list(cObject::parseMsg(msg));
    list->setMsgType(msg->getType());
    list->setMsgSeq(msg->getSeq());
    std::printf("%s\n", cli::documentText(*list, pretty).c_str());
    list->deleteObjects();
}

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

    std::unique_ptr<VMsg> pending;  // a message whose last segment is still to come
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
        off += len;
        if (pending && (pending->getType() != msg->getType() || pending->getSeq() != msg->getSeq())) {
            printMessage(pending.get(), common.pretty);  // its last segment never came
            pending.reset();
        }
        if (pending) {
            pending->addSegment(msg.get());
        } else {
            pending = std::move(msg);
        }
        if (pending->isLastSegment()) {
            printMessage(pending.get(), common.pretty);
            pending.reset();
        }
    }
    if (pending) printMessage(pending.get(), common.pretty);
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
    msg->segmentMessage(1024);
    msg->resetSegment();
    unsigned char buf[1024];
    while (VMsg* seg = msg->getNextSegment()) {
        const unsigned short n = seg->getMsg(buf, sizeof buf);
        if (hex)
            std::printf("%s\n", cli::toHex(buf, n).c_str());
        else
            std::fwrite(buf, 1, n, stdout);
    }
    return std::fflush(stdout) == 0 ? cli::kOk
                                    : cli::fail("encode", cli::kFailed, "cannot write the output");
}
