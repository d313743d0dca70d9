// wqxobj decode / encode: datagrams to our JSON document and back, for
// reading captures and crafting test traffic without a server.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "pcap_decode.h"

namespace {

const char kDecodeUsage[] =
    "usage: wqxobj decode [--hex | --pcap] [--port N] [--pretty] [-v] [FILE|-]\n"
    "Reads datagrams and prints each message as a JSON document, one per line.\n"
    "Without options the input is binary: datagrams back to back, each a 2-byte\n"
    "length and its message. With --hex it is text, one datagram per line (as\n"
    "encode --hex writes them); spaces, ':' and \"0x\" within a line are ignored\n"
    "and empty lines skipped. A bad line is reported by its number, and the\n"
    "lines after it are still read.\n"
    "With --pcap FILE the input is a capture (pcap or pcapng; Ethernet, Linux\n"
    "cooked, loopback or raw IP; IPv4 and IPv6): every UDP datagram to or from\n"
    "port N (default 4000, the simulator's) is printed after its capture time\n"
    "(UTC) and direction, \"to server\" or \"from server\". A bad datagram is\n"
    "reported by its packet number and the rest still read; IP fragments are\n"
    "skipped with a note.\n"
    "The segments of a message are put together first (per direction with\n"
    "--pcap), in whatever order they come; a copy of a segment is skipped. A\n"
    "message missing a segment is not printed. The exit status is 1 when\n"
    "anything could not be decoded.\n";

const char kEncodeUsage[] =
    "usage: wqxobj encode [--hex] [--type N] [--seq N] [-v] [FILE|-]\n"
    "Reads a JSON document and writes it as the datagrams of one message\n"
    "(message type N, default 0; sequence N, default 0), segmented at 1024\n"
    "bytes: binary, or one hex line per datagram with --hex.\n";

// Prints one whole message as a document line, after prefix.
void printMessage(VMsg* msg, bool pretty, const std::string& prefix = "") {
    std::unique_ptr<cObjectList> list(cObject::parseMsg(msg));
    list->setMsgType(msg->getType());
    list->setMsgSeq(msg->getSeq());
    std::printf("%s%s\n", prefix.c_str(), cli::documentText(*list, pretty).c_str());
    list->deleteObjects();
}

// One datagram of input, with where it came from for messages.
struct Datagram {
    std::vector<unsigned char> bytes;
    std::string where;  // "byte 12", "line 3"
};

}  // namespace

// Reads datagram by datagram, puts segments together and prints the whole
// messages. Returns the exit status.
static int decodeDatagrams(const std::vector<Datagram>& input, bool framingLost, bool pretty) {
    cli::Joiner joiner;
    bool bad = false;
    for (const Datagram& d : input) {
        std::unique_ptr<VMsg> msg(d.bytes.size() <= VMsg::kMaxDatagram
                                      ? VMsg::parseMsg(d.bytes.data(), static_cast<unsigned short>(d.bytes.size()))
                                      : nullptr);
        if (!msg) {
            cli::fail("decode", cli::kFailed, "malformed datagram at %s", d.where.c_str());
            bad = true;
            continue;
        }
        std::unique_ptr<VMsg> whole;
        switch (joiner.add("", msg.release(), whole)) {
        case cli::Joiner::kWhole: printMessage(whole.get(), pretty); break;
        case cli::Joiner::kTooLarge:
            cli::fail("decode", cli::kFailed, "message of the datagram at %s is larger than %u MiB",
                      d.where.c_str(), static_cast<unsigned>(cli::Joiner::kMessageLimit >> 20));
            bad = true;
            break;
        case cli::Joiner::kKept: break;
        }
    }
    if (framingLost) bad = true;
    if (!joiner.finish("decode")) bad = true;
    return bad ? cli::kFailed : cli::kOk;
}

int cmdDecode(int argc, char** argv) {
    bool hex = false, pcap = false;
    long port = cli::kDefaultPort;
    cli::Common common;
    cli::Options own{{{"hex", no_argument, nullptr, 'x'},
                      {"pcap", no_argument, nullptr, 'c'},
                      {"port", required_argument, nullptr, 'p'}},
                     "",
                     [&](int opt, const char* arg) {
                         if (opt == 'x') hex = true;
                         if (opt == 'c') pcap = true;
                         if (opt == 'p' && (!cli::parseNumber(arg, 65535, port) || port == 0))
                             return cli::fail("decode", cli::kUsage, "--port takes 1 to 65535");
                         return cli::kOk;
                     }};
    int rc = cli::parseOptions("decode", argc, argv, own, kDecodeUsage, common);
    if (rc != cli::kOk) return rc == cli::kHelp ? cli::kOk : rc;
    if (argc - optind > 1) return cli::fail("decode", cli::kUsage, "one input at most (try --help)");
    if (hex && pcap) return cli::fail("decode", cli::kUsage, "--hex or --pcap, not both");
    const char* path = optind < argc ? argv[optind] : "-";
    if (pcap) return decodeCapture(path, static_cast<unsigned short>(port), common.pretty);
    std::string input, error;
    if (!cli::readInput(path, input, error)) return cli::fail("decode", cli::kFailed, "%s", error.c_str());

    std::vector<Datagram> datagrams;
    bool framingLost = false;
    if (hex) {
        size_t lineStart = 0;
        for (unsigned line = 1; lineStart < input.size(); ++line) {
            size_t lineEnd = input.find('\n', lineStart);
            if (lineEnd == std::string::npos) lineEnd = input.size();
            const std::string text = input.substr(lineStart, lineEnd - lineStart);
            lineStart = lineEnd + 1;
            if (text.find_first_not_of(" \t\r") == std::string::npos) continue;
            Datagram d;
            d.where = "line " + std::to_string(line);
            if (!cli::fromHex(text, d.bytes)) {
                cli::fail("decode", cli::kFailed, "line %u is not hex text", line);
                framingLost = true;  // not a datagram at all; the status says so
                continue;
            }
            datagrams.push_back(std::move(d));
        }
    } else {
        // Binary datagrams are found by their length fields: after a bad one
        // there is no telling where the next starts, so reading stops there.
        size_t off = 0;
        while (off < input.size()) {
            const size_t left = input.size() - off;
            const size_t len = left >= 2 ? 2 + (static_cast<unsigned char>(input[off]) << 8 |
                                                static_cast<unsigned char>(input[off + 1]))
                                         : left + 1;
            Datagram d;
            d.where = "byte " + std::to_string(off);
            if (len > left) {
                cli::fail("decode", cli::kFailed, "malformed datagram at %s (the rest is not read)",
                          d.where.c_str());
                framingLost = true;
                break;
            }
            d.bytes.assign(input.begin() + off, input.begin() + off + len);
            datagrams.push_back(std::move(d));
            off += len;
        }
    }
    return decodeDatagrams(datagrams, framingLost, common.pretty);
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
                     },
                     false};
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
