// Helpers for tests that look at the wire: hex strings (blanks and '|' are
// ignored, so tables can group bytes by field), datagrams decoded from an
// exactly sized heap copy (so a read past the end is caught by ASan), a
// one-line description of a tag that tables can state as expected text, and
// a message cut into datagrams and put together again as a receiver does.
#ifndef WQX_TEST_WIRETEST_H
#define WQX_TEST_WIRETEST_H

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "velmor.h"

namespace wiretest {

using Bytes = std::vector<unsigned char>;

inline Bytes fromHex(const std::string& hex) {
    std::string digits;
    for (char c : hex)
        if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    Bytes out;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string toHex(const unsigned char* p, std::size_t n) {
    std::string out;
    char b[3];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02X", p[i]);
        out += b;
    }
    return out;
}

// The hex digits of a table entry, upper case, without separators.
inline std::string canon(const std::string& hex) {
    const Bytes b = fromHex(hex);
    return toHex(b.data(), b.size());
}

// Decodes bytes held in a heap block of exactly their size.
inline VMsg* parseBytes(const Bytes& bytes) {
    std::unique_ptr<unsigned char[]> exact(new unsigned char[bytes.size()]);
    if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
    return VMsg::parseMsg(exact.get(), static_cast<unsigned short>(bytes.size()));
}

inline VMsg* parseHex(const std::string& hex) { return parseBytes(fromHex(hex)); }

// The datagram of a message; empty when getMsg refuses it.
inline Bytes datagramOf(const VMsg& msg) {
    Bytes buf(8192);
    buf.resize(msg.getMsg(buf.data(), static_cast<unsigned short>(buf.size())));
    return buf;
}

// The datagram of a message as hex; "" when getMsg refuses it.
inline std::string encode(const VMsg& msg) {
    const Bytes b = datagramOf(msg);
    return toHex(b.data(), b.size());
}

// Floats are compared by their bits, so NaN compares like any other value.
inline unsigned int floatBits(float f) {
    unsigned int b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// "08 u32 0x00000007", "09 text \"abc\"", "05 none", ... Floats show their
// bits.
inline std::string describe(const VTag* t) {
    if (!t) return "null";
    char head[48];
    std::snprintf(head, sizeof head, "%02X ", t->getTag());
    std::string s = head;
    char v[32];
    switch (t->getType()) {
    case VTAG_NONE: return s + "none";
    case VTAG_STRING: return s + "text \"" + static_cast<const VTagString*>(t)->text() + "\"";
    case VTAG_UINT32:
        std::snprintf(v, sizeof v, "u32 0x%08X", static_cast<const VTagUInt32*>(t)->getValue());
        return s + v;
    case VTAG_FLOAT:
        std::snprintf(v, sizeof v, "float 0x%08X", static_cast<const VTagUInt32*>(t)->getValue());
        return s + v;
    case VTAG_UINT16:
        std::snprintf(v, sizeof v, "u16 0x%04X", static_cast<const VTagUInt16*>(t)->getValue());
        return s + v;
    case VTAG_UINT8:
        std::snprintf(v, sizeof v, "u8 0x%02X", static_cast<const VTagUInt8*>(t)->getValue());
        return s + v;
    case VTAG_BYTES: {
        unsigned char b[64];
        const unsigned short n = static_cast<const VTagBytes*>(t)->getValue(b, sizeof b);
        return s + "bytes " + toHex(b, n);
    }
    default:
        std::snprintf(v, sizeof v, "type %u", t->getType());
        return s + v;
    }
}

// Every tag of a message, described, separated by "; ".
inline std::string describe(const std::vector<VTag*>& tags) {
    std::string s;
    for (const VTag* t : tags) s += (s.empty() ? "" : "; ") + describe(t);
    return s;
}

// The header of a datagram as its bytes give it (at least
// VMsg::kDatagramHeader of them).
struct Header {
    unsigned int version, type, seq, index, total, count;
};

inline Header headerOf(const Bytes& d) {
    auto u16 = [&](std::size_t at) { return static_cast<unsigned int>(d[at] << 8 | d[at + 1]); };
    return Header{d[2], d[3], d[4], u16(5), u16(7), u16(9)};
}

// The datagrams of all segments of msg cut for 1024-byte datagrams, checked
// against the segment rules: as many as segmentMessage said, each carrying
// the message's type and sequence and its place, 0 to n-1 of n.
inline std::vector<Bytes> segmentDatagrams(VMsg& msg) {
    const std::size_t n = msg.segmentMessage(VMsg::kMaxSegment);
    msg.resetSegment();
    std::vector<Bytes> out;
    while (VMsg* seg = msg.getNextSegment()) {
        Bytes buf(VMsg::kMaxSegment);
        const unsigned short len = seg->getMsg(buf.data(), VMsg::kMaxSegment);
        EXPECT_GE(len, VMsg::kDatagramHeader);
        buf.resize(len < VMsg::kDatagramHeader ? VMsg::kDatagramHeader : len);
        out.push_back(buf);
    }
    EXPECT_EQ(out.size(), n);
    for (std::size_t i = 0; i < out.size(); ++i) {
        SCOPED_TRACE("segment " + std::to_string(i));
        const Header h = headerOf(out[i]);
        EXPECT_EQ(h.version, VMsg::kWireVersion);
        EXPECT_EQ(h.type, msg.getType());
        EXPECT_EQ(h.seq, msg.getSeq());
        EXPECT_EQ(h.index, i);
        EXPECT_EQ(h.total, out.size());
    }
    return out;
}

// The datagrams decoded and put together in the order given, as a receiver
// does; null when one does not decode, is refused by the assembly, or the
// message is not whole after the last one.
inline VMsg* reassemble(const std::vector<Bytes>& datagrams) {
    VMsgAssembly assembly(64u << 20, nullptr);
    for (const Bytes& d : datagrams) {
        VMsg* segment = parseBytes(d);
        if (!segment) return nullptr;
        const VMsgAssembly::eResult r = assembly.add(segment);  // takes the segment over
        if (r != VMsgAssembly::ASM_PART && r != VMsgAssembly::ASM_WHOLE) return nullptr;
    }
    return assembly.take();
}

#ifdef WQX_VECTORS_DIR
// The rows of a data file in tests/vectors/: columns split at " ; " and
// trimmed; blank lines and lines starting with '#' skipped. A file that
// cannot be read fails the test rather than giving no rows.
inline std::vector<std::vector<std::string>> dataRows(const std::string& name) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(std::string(WQX_VECTORS_DIR) + "/" + name);
    EXPECT_TRUE(in) << "cannot read " << name;
    auto trim = [](const std::string& s) {
        const auto b = s.find_first_not_of(" \t\r");
        return b == std::string::npos ? std::string() : s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
    };
    for (std::string line; std::getline(in, line);) {
        if (trim(line).empty() || trim(line)[0] == '#') continue;
        std::vector<std::string> row;
        std::string::size_type from = 0, at;
        while ((at = line.find(" ;", from)) != std::string::npos) {
            row.push_back(trim(line.substr(from, at - from)));
            from = at + 2;
        }
        row.push_back(trim(line.substr(from)));
        rows.push_back(row);
    }
    return rows;
}
#endif

}  // namespace wiretest

#endif
