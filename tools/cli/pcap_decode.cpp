// Reads a capture with libpcap and walks each packet's headers by hand:
// every field is read byte by byte in network order (or, for the loopback
// link's family word, in the capture file's order), never through a struct
// laid over the bytes, so alignment and 32-bit targets do not matter.
#include "pcap_decode.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "cli.h"

#ifdef WQX_HAVE_PCAP
#include <pcap/pcap.h>

namespace {

unsigned int be16(const unsigned char* p) { return static_cast<unsigned int>(p[0] << 8 | p[1]); }

unsigned long word32(const unsigned char* p, bool littleEndian) {
    return littleEndian ? (static_cast<unsigned long>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0])
                        : (static_cast<unsigned long>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]);
}

bool hostIsLittleEndian() {
    const unsigned short one = 1;
    return *reinterpret_cast<const unsigned char*>(&one) == 1;
}

// ISO 8601 UTC with microseconds.
std::string isoTime(const timeval& tv) {
    const time_t secs = tv.tv_sec;
    struct tm t;
    if (!gmtime_r(&secs, &t)) return "?";
    char buf[40];
    const size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &t);
    std::snprintf(buf + n, sizeof buf - n, ".%06ldZ", static_cast<long>(tv.tv_usec));
    return buf;
}

// What a packet held, as far as we care.
enum class Found { kOther, kDatagram, kFragment, kBad };

struct Packet {
    const unsigned char* data;
    size_t len;  // captured bytes
    std::string problem;
    unsigned int srcPort = 0, dstPort = 0;
    const unsigned char* payload = nullptr;
    size_t payloadLen = 0;
};

Found udp(Packet& p, const unsigned char* u, size_t left, bool firstFragment) {
    if (left < 8) {
        p.problem = "UDP header cut short";
        return Found::kBad;
    }
    p.srcPort = be16(u);
    p.dstPort = be16(u + 2);
    if (firstFragment) return Found::kFragment;
    const size_t udpLen = be16(u + 4);
    if (udpLen < 8) {
        p.problem = "UDP length below its header";
        return Found::kBad;
    }
    p.payload = u + 8;
    p.payloadLen = udpLen - 8;
    if (udpLen > left) {
        p.problem = "datagram cut short in the capture (snapshot length?)";
        return Found::kBad;
    }
    return Found::kDatagram;
}

Found ipv4(Packet& p, const unsigned char* ip, size_t left) {
    if (left < 20 || (ip[0] >> 4) != 4 || (ip[0] & 15) < 5 || static_cast<size_t>(ip[0] & 15) * 4 > left) {
        p.problem = "malformed IPv4 header";
        return Found::kBad;
    }
    if (ip[9] != 17) return Found::kOther;
    const size_t hlen = static_cast<size_t>(ip[0] & 15) * 4;
    const unsigned int total = be16(ip + 2);
    if (total >= hlen && total < left) left = total;  // drop Ethernet padding
    const bool moreFragments = ip[6] & 0x20;
    const unsigned int offset = be16(ip + 6) & 0x1fff;
    if (offset != 0) {
        p.problem = "IP fragment";
        return Found::kFragment;  // ports unknown: not in this fragment
    }
    return udp(p, ip + hlen, left - hlen, moreFragments);
}

Found ipv6(Packet& p, const unsigned char* ip, size_t left) {
    if (left < 40 || (ip[0] >> 4) != 6) {
        p.problem = "malformed IPv6 header";
        return Found::kBad;
    }
    const size_t payloadLen = be16(ip + 4);
    if (40 + payloadLen < left) left = 40 + payloadLen;
    unsigned int next = ip[6];
    size_t off = 40;
    // Hop-by-hop, routing and destination options come before UDP; a
    // fragment header means the datagram is split.
    for (int hops = 0; hops < 8; ++hops) {
        if (next == 17) return udp(p, ip + off, left - off, false);
        if (next != 0 && next != 43 && next != 60 && next != 44) return Found::kOther;
        if (left - off < 8) {
            p.problem = "IPv6 extension header cut short";
            return Found::kBad;
        }
        if (next == 44) {
            const unsigned int offset = be16(ip + off + 2) >> 3;
            const bool more = ip[off + 3] & 1;
            if (ip[off] != 17) return Found::kOther;
            p.problem = "IP fragment";
            if (offset != 0) return Found::kFragment;
            return udp(p, ip + off + 8, left - off - 8, more);
        }
        const size_t extLen = (static_cast<size_t>(ip[off + 1]) + 1) * 8;
        next = ip[off];
        if (extLen > left - off) {
            p.problem = "IPv6 extension header cut short";
            return Found::kBad;
        }
        off += extLen;
    }
    return Found::kOther;
}

Found byEtherType(Packet& p, unsigned int type, const unsigned char* ip, size_t left) {
    if (type == 0x0800) return ipv4(p, ip, left);
    if (type == 0x86dd) return ipv6(p, ip, left);
    return Found::kOther;
}

Found byVersion(Packet& p, const unsigned char* ip, size_t left) {
    if (left >= 1 && ip[0] >> 4 == 4) return ipv4(p, ip, left);
    if (left >= 1 && ip[0] >> 4 == 6) return ipv6(p, ip, left);
    return Found::kOther;
}

Found parseLink(Packet& p, int linkType, bool fileLittleEndian) {
    const unsigned char* d = p.data;
    const size_t n = p.len;
    switch (linkType) {
    case DLT_EN10MB: {
        if (n < 14) break;
        size_t off = 12;
        unsigned int type = be16(d + off);
        while ((type == 0x8100 || type == 0x88a8) && n >= off + 6) {  // VLAN tags
            off += 4;
            type = be16(d + off);
        }
        return byEtherType(p, type, d + off + 2, n - off - 2);
    }
    case DLT_LINUX_SLL:
        if (n < 16) break;
        return byEtherType(p, be16(d + 14), d + 16, n - 16);
#ifdef DLT_LINUX_SLL2
    case DLT_LINUX_SLL2:
        if (n < 20) break;
        return byEtherType(p, be16(d), d + 20, n - 20);
#endif
    case DLT_NULL:
    case DLT_LOOP: {
        // The family word is in the capturing machine's order for DLT_NULL
        // (the file's), and in network order for DLT_LOOP.
        if (n < 4) break;
        const unsigned long family = word32(d, linkType == DLT_NULL && fileLittleEndian);
        // AF_INET is 2 everywhere; AF_INET6 is 10, 24, 28 or 30 by system.
        if (family == 2) return ipv4(p, d + 4, n - 4);
        if (family == 10 || family == 24 || family == 28 || family == 30) return ipv6(p, d + 4, n - 4);
        return Found::kOther;
    }
    case DLT_RAW:
#ifdef DLT_IPV4
    case DLT_IPV4:
    case DLT_IPV6:
#endif
        return byVersion(p, d, n);
    default: return Found::kOther;
    }
    p.problem = "link-layer header cut short";
    return Found::kBad;
}

bool linkSupported(int linkType) {
    switch (linkType) {
    case DLT_EN10MB:
    case DLT_LINUX_SLL:
#ifdef DLT_LINUX_SLL2
    case DLT_LINUX_SLL2:
#endif
    case DLT_NULL:
    case DLT_LOOP:
    case DLT_RAW:
#ifdef DLT_IPV4
    case DLT_IPV4:
    case DLT_IPV6:
#endif
        return true;
    default: return false;
    }
}

}  // namespace

int decodeCapture(const char* path, unsigned short port, bool pretty) {
    char err[PCAP_ERRBUF_SIZE] = "";
    std::unique_ptr<pcap_t, void (*)(pcap_t*)> cap(pcap_open_offline(path, err), pcap_close);
    if (!cap) return cli::fail("decode", cli::kFailed, "cannot read the capture %s: %s", path, err);
    const int linkType = pcap_datalink(cap.get());
    if (!linkSupported(linkType)) {
        const char* name = pcap_datalink_val_to_name(linkType);
        return cli::fail("decode", cli::kFailed,
                         "link type %s (%d) is not one of Ethernet, Linux cooked, loopback or raw IP",
                         name ? name : "unknown", linkType);
    }
    const bool fileLittleEndian = hostIsLittleEndian() != (pcap_is_swapped(cap.get()) == 1);

    cli::Joiner joiner;
    bool bad = false;
    unsigned long number = 0;
    pcap_pkthdr* header;
    const unsigned char* data;
    int got;
    while ((got = pcap_next_ex(cap.get(), &header, &data)) == 1) {
        ++number;
        Packet p{data, header->caplen, std::string()};
        const Found found = parseLink(p, linkType, fileLittleEndian);
        const bool ours = p.srcPort == port || p.dstPort == port;
        if (found == Found::kBad && (ours || (p.srcPort == 0 && p.dstPort == 0))) {
            cli::fail("decode", cli::kFailed, "packet %lu: %s", number, p.problem.c_str());
            bad = true;
            continue;
        }
        const bool portsKnown = p.srcPort != 0 || p.dstPort != 0;
        if (found == Found::kFragment && portsKnown && !ours) continue;
        if (found == Found::kFragment) {
            // A later fragment does not tell its ports; note it either way,
            // but only one known to be ours makes the run a failure.
            cli::fail("decode", cli::kFailed, "packet %lu: IP fragment skipped (not put together)%s", number,
                      ours ? "" : ", port unknown");
            bad = bad || ours;
            continue;
        }
        if (found != Found::kDatagram || !ours) continue;
        const std::string stream = p.dstPort == port ? "to server" : "from server";
        std::unique_ptr<VMsg> msg(
            p.payloadLen <= VMsg::kMaxDatagram
                ? VMsg::parseMsg(p.payload, static_cast<unsigned short>(p.payloadLen))
                : nullptr);
        if (!msg) {
            cli::fail("decode", cli::kFailed, "packet %lu: malformed datagram (%s, %lu bytes)", number,
                      stream.c_str(), static_cast<unsigned long>(p.payloadLen));
            bad = true;
            continue;
        }
        std::unique_ptr<VMsg> whole;
        switch (joiner.add(stream, msg.release(), whole)) {
        case cli::Joiner::kWhole: {
            std::unique_ptr<cObjectList> list(cObject::parseMsg(whole.get()));
            list->setMsgType(whole->getType());
            list->setMsgSeq(whole->getSeq());
            // Type and sequence pair a reply with its request.
            std::printf("%s %s type %u seq %u %s\n", isoTime(header->ts).c_str(), stream.c_str(),
                        whole->getType(), whole->getSeq(), cli::documentText(*list, pretty).c_str());
            list->deleteObjects();
            break;
        }
        case cli::Joiner::kTooLarge:
            cli::fail("decode", cli::kFailed, "packet %lu: its message is larger than %u MiB", number,
                      static_cast<unsigned>(cli::Joiner::kMessageLimit >> 20));
            bad = true;
            break;
        case cli::Joiner::kKept: break;
        }
    }
    if (got == -1) {
        cli::fail("decode", cli::kFailed, "the capture is damaged after packet %lu: %s", number,
                  pcap_geterr(cap.get()));
        bad = true;
    }
    if (!joiner.finish("decode")) bad = true;
    return bad ? cli::kFailed : cli::kOk;
}

#else

int decodeCapture(const char*, unsigned short, bool) {
    return cli::fail("decode", cli::kUsage, "this wqxobj was built without libpcap: --pcap is not available");
}

#endif
