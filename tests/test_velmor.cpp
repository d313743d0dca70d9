// The tagged-message layer at byte level: each table row is a datagram in hex
// beside what it must encode from or decode to.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "device.h"
#include "logcapture.h"
#include "objectlist.h"
#include "velmor.h"
#include "wiretest.h"

using namespace wiretest;

namespace {

struct EncodeCase {
    const char* name;
    std::function<VTag*()> make;
    const char* datagram;  // message type 2, sequence 5, last
    const char* tag;       // describe() of the tag read back
};

const float kNaN = std::numeric_limits<float>::quiet_NaN();

const EncodeCase kEncodeCases[] = {
    {"none", [] { return VTagFactory::createVTag(5); }, "0008 02 85 0001 | 05 00 0000", "05 none"},
    {"text", [] { return VTagFactory::createVTag(9, "ABC"); },
     "000B 02 85 0001 | 09 01 0003 414243", "09 text \"ABC\""},
    {"empty text", [] { return VTagFactory::createVTag(9, ""); },
     "0008 02 85 0001 | 09 01 0000", "09 text \"\""},
    {"u32", [] { return VTagFactory::createVTag(8, 0x01020304u); },
     "000C 02 85 0001 | 08 02 0004 01020304", "08 u32 0x01020304"},
    {"u16", [] { return VTagFactory::createVTag(18, static_cast<unsigned short>(0xA1B2)); },
     "000A 02 85 0001 | 12 03 0002 A1B2", "12 u16 0xA1B2"},
    {"u8", [] { return VTagFactory::createVTag(6, static_cast<unsigned char>(0xFE)); },
     "0009 02 85 0001 | 06 04 0001 FE", "06 u8 0xFE"},
    {"bytes",
     [] {
         const unsigned char b[] = {0xDE, 0xAD, 0xBE};
         return VTagFactory::createVTag(200, static_cast<const void*>(b), 3);
     },
     "000B 02 85 0001 | C8 05 0003 DEADBE", "C8 bytes DEADBE"},
    {"float", [] { return VTagFactory::createVTag(49, 1.5f, false); },
     "000C 02 85 0001 | 31 06 0004 3FC00000", "31 float 0x3FC00000"},
    {"negative float, flag ignored", [] { return VTagFactory::createVTag(49, -2.0f, true); },
     "000C 02 85 0001 | 31 06 0004 C0000000", "31 float 0xC0000000"},
    {"NaN", [] { return VTagFactory::createVTag(49, kNaN, false); },
     "000C 02 85 0001 | 31 06 0004 7FC00000", "31 float 0x7FC00000"},
};

TEST(VelmorWire, EachValueTypeEncodesAndDecodes) {
    for (const EncodeCase& c : kEncodeCases) {
        SCOPED_TRACE(c.name);
        VMsg msg(2);
        msg.setSeq(5);
        msg.setLastSegment(true);
        EXPECT_EQ(msg.addTag(c.make()), 1);
        EXPECT_EQ(encode(msg), canon(c.datagram));
        EXPECT_EQ(msg.getLength() + 2, fromHex(c.datagram).size());

        std::unique_ptr<VMsg> back(parseHex(c.datagram));
        ASSERT_TRUE(back);
        EXPECT_EQ(describe(back->getTags()), c.tag);
        EXPECT_EQ(encode(*back), canon(c.datagram));
    }
}

// A float travels as its bits: signalling NaNs, payloads, infinities,
// negative zero and denormals come back unchanged.
TEST(VelmorWire, FloatBitsSurviveDecoding) {
    for (const char* bits : {"7F800001", "7FA00001", "FFC00000", "7F800000", "80000000", "00000001"}) {
        SCOPED_TRACE(bits);
        const std::string hex = std::string("000C 02 85 0001 | 31 06 0004 ") + bits;
        std::unique_ptr<VMsg> m(parseHex(hex));
        ASSERT_TRUE(m);
        EXPECT_EQ(encode(*m), canon(hex));
        EXPECT_EQ(describe(m->getTags()), std::string("31 float 0x") + bits);
    }
}

struct HeaderCase {
    const char* datagram;
    unsigned char type, seq;
    bool last;
};

TEST(VelmorWire, SequenceByteTopBitIsTheLastFlag) {
    const HeaderCase cases[] = {
        {"0004 07 FF 0000", 7, 0x7F, true},
        {"0004 07 80 0000", 7, 0x00, true},
        {"0004 07 7F 0000", 7, 0x7F, false},
        {"0004 FF 05 0000", 0xFF, 0x05, false},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.datagram);
        std::unique_ptr<VMsg> m(parseHex(c.datagram));
        ASSERT_TRUE(m);
        EXPECT_EQ(m->getType(), c.type);
        EXPECT_EQ(m->getSeq(), c.seq);
        EXPECT_EQ(m->isLastSegment(), c.last);
        EXPECT_EQ(m->getTagCount(), 0u);
        EXPECT_EQ(encode(*m), canon(c.datagram));
    }
    VMsg m(7);
    m.setSeq(0x85);  // only 7 bits are a sequence number
    EXPECT_EQ(m.getSeq(), 5);
    EXPECT_EQ(encode(m), canon("0004 07 05 0000"));
}

struct RejectCase {
    const char* name;
    const char* datagram;
};

const RejectCase kRejectCases[] = {
    {"empty", ""},
    {"one byte", "00"},
    {"header cut", "0004 07 05 00"},
    {"tag header cut, length agrees", "0007 07 05 0001 | 05 00 00"},
    {"trailing byte", "0008 07 05 0001 | 05 00 0000 | 00"},
    {"declared longer than received", "0009 07 05 0001 | 05 00 0000"},
    {"declared shorter than received", "0004 07 05 0001 | 05 00 0000"},
    {"declared shorter than a header", "0002 07 05"},
    {"length FFFF on a short datagram", "FFFF 07 05 0000"},
    {"count too high", "0008 07 05 0002 | 05 00 0000"},
    {"count too low", "000C 07 05 0001 | 05 00 0000 | 05 00 0000"},
    {"count zero with a tag", "0008 07 05 0000 | 05 00 0000"},
    {"value longer than datagram", "000A 07 05 0001 | 09 01 0010 4142"},
    {"value length FFFF", "000A 07 05 0001 | 09 01 FFFF 4142"},
    {"second tag cut", "0011 07 05 0002 | 08 02 0004 00000007 | 09 01 0002 41"},
    {"value type 7", "0009 07 05 0001 | 05 07 0001 00"},
    {"value type FF", "0008 07 05 0001 | 05 FF 0000"},
    {"none with a value", "0009 07 05 0001 | 05 00 0001 00"},
    {"u32 of 2 bytes", "000A 07 05 0001 | 08 02 0002 0102"},
    {"u32 of 5 bytes", "000D 07 05 0001 | 08 02 0005 0102030405"},
    {"u16 of 1 byte", "0009 07 05 0001 | 12 03 0001 01"},
    {"u8 of 2 bytes", "000A 07 05 0001 | 06 04 0002 0102"},
    {"u8 of 0 bytes", "0008 07 05 0001 | 06 04 0000"},
    {"float of 8 bytes", "0010 07 05 0001 | 31 06 0008 0000000000000000"},
};

TEST(VelmorWire, MalformedDatagramsAreRejected) {
    for (const RejectCase& c : kRejectCases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<VMsg> m(parseHex(c.datagram));
        EXPECT_FALSE(m);
    }
    EXPECT_EQ(VMsg::parseMsg(nullptr, 10), nullptr);
}

const char* const kThreeTags = "001B 03 85 0003 | 08 02 0004 00000007 | 09 01 0003 414243 | 31 06 0004 3FC00000";

// Every cut of a valid datagram is rejected, also when the length prefix is
// rewritten to agree with the cut.
TEST(VelmorWire, EveryTruncationIsRejected) {
    const std::vector<unsigned char> whole = fromHex(kThreeTags);
    ASSERT_TRUE(std::unique_ptr<VMsg>(parseBytes(whole)));
    for (std::size_t n = 0; n < whole.size(); ++n) {
        SCOPED_TRACE(n);
        std::vector<unsigned char> cut(whole.begin(), whole.begin() + n);
        EXPECT_FALSE(std::unique_ptr<VMsg>(parseBytes(cut)));
        if (n >= 2) {
            cut[0] = static_cast<unsigned char>((n - 2) >> 8);
            cut[1] = static_cast<unsigned char>(n - 2);
            EXPECT_FALSE(std::unique_ptr<VMsg>(parseBytes(cut)));
        }
    }
}

// Whatever one corrupted byte does, a datagram that is accepted encodes back
// to exactly its own bytes: the reader accepts nothing it cannot account for.
TEST(VelmorWire, AnyAcceptedDatagramReencodesToItself) {
    const std::vector<unsigned char> whole = fromHex(kThreeTags);
    int accepted = 0;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        for (int v = 0; v < 256; ++v) {
            std::vector<unsigned char> bytes = whole;
            bytes[i] = static_cast<unsigned char>(v);
            std::unique_ptr<VMsg> m(parseBytes(bytes));
            if (!m) continue;
            ++accepted;
            ASSERT_EQ(encode(*m), toHex(bytes.data(), bytes.size())) << "byte " << i << " = " << v;
        }
    }
    EXPECT_GT(accepted, 0);
}

TEST(VelmorWire, GetMsgNeverWritesPastItsSize) {
    std::unique_ptr<VMsg> msg(parseHex(kThreeTags));
    ASSERT_TRUE(msg);
    const unsigned short need = 29;
    struct SizeCase {
        unsigned short size;
        unsigned short result;
    };
    const SizeCase cases[] = {{0, 0}, {1, 0}, {need - 1, 0}, {need, need}, {need + 1, need}};
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.size);
        LogCapture log;
        std::vector<unsigned char> buf(c.size + 8, 0xA5);
        EXPECT_EQ(msg->getMsg(buf.data(), c.size), c.result);
        for (std::size_t i = c.result; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xA5) << "byte " << i;
        if (c.result == 0) {
            EXPECT_TRUE(log.has("Velmor", log4cpp::Priority::WARN,
                                "Message of 27 bytes and 3 tags does not fit a " +
                                    std::to_string(c.size) + " byte buffer"));
        }
    }
    EXPECT_EQ(msg->getMsg(nullptr, 1024), 0);
}

TEST(VelmorWire, MessageBeyondSixteenBitLengthIsNotEncoded) {
    VMsg msg(1);
    std::vector<unsigned char> big(0xFFFF, 0x11);
    msg.addTag(VTagFactory::createVTag(200, static_cast<const void*>(big.data()), 0xFFFF));
    std::vector<unsigned char> buf(0xFFFF);
    EXPECT_EQ(msg.getMsg(buf.data(), 0xFFFF), 0);
}

TEST(VelmorTags, TextWithoutCharactersHasNoLength) {
    VTagString t(9, nullptr, 5);
    EXPECT_EQ(t.getLength(), 0);
    VMsg msg(1);
    msg.addTag(t.clone());
    std::unique_ptr<VMsg> back(parseHex(encode(msg)));
    ASSERT_TRUE(back);
    EXPECT_EQ(describe(back->getTags()), "09 text \"\"");
}

// ---- segmentation ----

// A list of count devices with labels of labelLength characters.
std::unique_ptr<VMsg> deviceMessage(int count, std::size_t labelLength) {
    cObjectList list;
    list.setMsgType(3);
    list.setMsgSeq(9);
    for (int i = 0; i < count; ++i) {
        cObjectDevice* d = new cObjectDevice;
        d->setDeviceSerial(static_cast<unsigned int>(1000 + i));
        d->setDeviceLabel(std::string(labelLength, static_cast<char>('a' + i % 26)).c_str());
        d->setDiscreteInCount(static_cast<unsigned int>(i));
        list.add(d);
    }
    std::unique_ptr<VMsg> msg(list.toMsg());
    list.deleteObjects();
    return msg;
}

void expectDevices(cObjectList* list, int count, std::size_t labelLength, int from = 0) {
    ASSERT_EQ(list->numObjects(), count);
    int i = from;
    for (cObject* o = list->first(); o; o = list->next(), ++i) {
        cObjectDevice* d = dynamic_cast<cObjectDevice*>(o);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->getDeviceSerial(), static_cast<unsigned int>(1000 + i));
        EXPECT_EQ(d->getDiscreteInCount(), static_cast<unsigned int>(i));
        // A label comes back through the device's 256-byte buffer.
        EXPECT_EQ(std::string(d->getDeviceLabel()),
                  std::string(std::min<std::size_t>(labelLength, 255), static_cast<char>('a' + i % 26)));
    }
}

TEST(VelmorSegments, SmallMessageIsItsOwnSegment) {
    std::unique_ptr<VMsg> msg = deviceMessage(3, 10);
    msg->segmentMessage(1024);
    msg->resetSegment();
    EXPECT_EQ(msg->getNextSegment(), msg.get());
    EXPECT_EQ(msg->getNextSegment(), nullptr);
}

TEST(VelmorSegments, EachSegmentHoldsWholeObjects) {
    std::unique_ptr<VMsg> msg = deviceMessage(60, 40);
    ASSERT_GT(msg->getLength(), 3000u);
    const auto datagrams = segmentDatagrams(*msg);
    ASSERT_GE(datagrams.size(), 4u);
    int seen = 0;
    for (const auto& dg : datagrams) {
        std::unique_ptr<VMsg> seg(parseBytes(dg));
        ASSERT_TRUE(seg);
        EXPECT_EQ(seg->getTags().front()->getTag(), 5) << "segment starts inside an object";
        std::unique_ptr<cObjectList> part(cObject::parseMsg(seg.get()));
        expectDevices(part.get(), part->numObjects(), 40, seen);
        seen += part->numObjects();
        part->deleteObjects();
    }
    EXPECT_EQ(seen, 60);
}

TEST(VelmorSegments, ReassembledSegmentsParseWhole) {
    // Each device needs 1024 bytes of tags, more than a segment holds, so
    // the cuts fall inside objects; reassembled, every object is whole.
    std::unique_ptr<VMsg> msg = deviceMessage(3, 1000);
    const auto datagrams = segmentDatagrams(*msg);
    ASSERT_GE(datagrams.size(), 4u);
    std::unique_ptr<VMsg> whole(reassemble(datagrams));
    ASSERT_TRUE(whole);
    EXPECT_TRUE(whole->isLastSegment());
    EXPECT_EQ(encode(*whole), encode(*msg));
    std::unique_ptr<cObjectList> list(cObject::parseMsg(whole.get()));
    expectDevices(list.get(), 3, 1000);
    list->deleteObjects();
}

struct BoundaryCase {
    unsigned short first, second;  // value bytes of two bytes-tags
    std::size_t segments;
    bool dropped;
};

TEST(VelmorSegments, DatagramSizeBoundary) {
    // 6 bytes of datagram header, 4 per tag: 1024 = 6 + 4 + 1014.
    const BoundaryCase cases[] = {
        {1014, 0, 1, false}, {1015, 0, 1, true}, {500, 510, 1, false}, {500, 511, 2, false},
    };
    for (const BoundaryCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + "+" + std::to_string(c.second));
        LogCapture log;
        VMsg msg(4);
        msg.setLastSegment(true);
        std::vector<unsigned char> data(c.first + c.second, 0x42);
        msg.addTag(VTagFactory::createVTag(200, static_cast<const void*>(data.data()), c.first));
        if (c.second)
            msg.addTag(VTagFactory::createVTag(201, static_cast<const void*>(data.data()), c.second));
        const auto datagrams = segmentDatagrams(msg);
        EXPECT_EQ(datagrams.size(), c.segments);
        for (const auto& dg : datagrams) EXPECT_LE(dg.size(), 1024u);
        EXPECT_EQ(log.has("Velmor", log4cpp::Priority::WARN,
                          "Dropping tag C8 of 1019 bytes: larger than any segment"),
                  c.dropped);
    }
}

TEST(VelmorSegments, OversizedTagIsDroppedTheRestIsSent) {
    cObjectList list;
    list.setMsgType(0);
    list.setMsgSeq(1);
    for (unsigned int serial : {1u, 2u, 3u}) {
        cObjectDevice* d = new cObjectDevice;
        d->setDeviceSerial(serial);
        d->setDeviceLabel(serial == 2 ? std::string(2000, 'x').c_str() : "ok");
        list.add(d);
    }
    std::unique_ptr<VMsg> msg(list.toMsg());
    list.deleteObjects();
    LogCapture log;
    const auto datagrams = segmentDatagrams(*msg);
    ASSERT_EQ(datagrams.size(), 1u);
    EXPECT_TRUE(log.has("Velmor", log4cpp::Priority::WARN,
                        "Dropping tag 09 of 2004 bytes: larger than any segment"));
    std::unique_ptr<VMsg> back(parseBytes(datagrams[0]));
    std::unique_ptr<cObjectList> objs(cObject::parseMsg(back.get()));
    ASSERT_EQ(objs->numObjects(), 3);
    objs->first();
    cObjectDevice* second = dynamic_cast<cObjectDevice*>(objs->next());
    ASSERT_TRUE(second);
    EXPECT_EQ(second->getDeviceSerial(), 2u);
    EXPECT_EQ(second->getDeviceLabel(), nullptr);
    objs->deleteObjects();
}

TEST(VelmorSegments, AddSegmentIgnoresNullAndItself) {
    std::unique_ptr<VMsg> m(parseHex("0008 02 05 0001 | 05 00 0000"));
    ASSERT_TRUE(m);
    m->addSegment(nullptr);
    m->addSegment(m.get());
    EXPECT_EQ(m->getTagCount(), 1u);
    EXPECT_FALSE(m->isLastSegment());
}

// ---- grouping by the dictionary ----

struct GroupCase {
    std::vector<unsigned char> tags;  // tag numbers, in message order
    const char* grouping;             // message-level tags, then each group
};

std::string grouping(VelmorMessage* vm) {
    auto numbers = [](const std::vector<VTag*>& tags) {
        std::string s;
        for (const VTag* t : tags) s += (s.empty() ? "" : ",") + std::to_string(t->getTag());
        return s;
    };
    std::string s = "msg[" + numbers(vm->getMsgTags()) + "]";
    for (VelmorObject& o : vm->getObjects())
        s += " " + std::to_string(o.getObjectCode()) + "[" + numbers(o.getTags()) + "]";
    return s;
}

TEST(VelmorGrouping, TagsBeforeTheFirstObjectCodeAreMessageLevel) {
    const GroupCase cases[] = {
        {{5, 8, 9}, "msg[] 5[8,9]"},
        {{8, 9, 5, 8, 5, 9, 15, 18}, "msg[8,9] 5[8] 5[9] 15[18]"},
        {{65, 66, 175}, "msg[] 65[66] 175[]"},
        {{200, 5}, "msg[200] 5[]"},
        {{8, 9}, "msg[8,9]"},
        {{}, "msg[]"},
    };
    for (const GroupCase& c : cases) {
        SCOPED_TRACE(c.grouping);
        VMsg msg(0);
        for (unsigned char n : c.tags) msg.addTag(VTagFactory::createVTag(n));
        std::unique_ptr<VelmorMessage> vm(VelmorMessage::parseVMsg(WQX::DictDef, &msg));
        ASSERT_TRUE(vm);
        EXPECT_EQ(grouping(vm.get()), c.grouping);
    }
    VMsg msg(0);
    msg.addTag(VTagFactory::createVTag(5));
    EXPECT_EQ(VelmorMessage::parseVMsg(nullptr, &msg), nullptr);
    EXPECT_EQ(VelmorMessage::parseVMsg(WQX::DictDef, nullptr), nullptr);
}

}  // namespace
