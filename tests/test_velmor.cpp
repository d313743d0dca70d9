// The tagged-message layer at byte level: each table row is a datagram in hex
// beside what it must encode from or decode to.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

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
    const char* datagram;  // message type 2, sequence 5, whole (segment 0 of 1)
    const char* tag;       // describe() of the tag read back
};

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// length | version type seq index total count | tags
const EncodeCase kEncodeCases[] = {
    {"none", [] { return VTagFactory::createVTag(5); }, "000D | 02 02 05 0000 0001 0001 | 05 00 0000",
     "05 none"},
    {"text", [] { return VTagFactory::createVTag(9, "ABC"); },
     "0010 | 02 02 05 0000 0001 0001 | 09 01 0003 414243", "09 text \"ABC\""},
    {"empty text", [] { return VTagFactory::createVTag(9, ""); },
     "000D | 02 02 05 0000 0001 0001 | 09 01 0000", "09 text \"\""},
    {"u32", [] { return VTagFactory::createVTag(8, 0x01020304u); },
     "0011 | 02 02 05 0000 0001 0001 | 08 02 0004 01020304", "08 u32 0x01020304"},
    {"u16", [] { return VTagFactory::createVTag(18, static_cast<unsigned short>(0xA1B2)); },
     "000F | 02 02 05 0000 0001 0001 | 12 03 0002 A1B2", "12 u16 0xA1B2"},
    {"u8", [] { return VTagFactory::createVTag(6, static_cast<unsigned char>(0xFE)); },
     "000E | 02 02 05 0000 0001 0001 | 06 04 0001 FE", "06 u8 0xFE"},
    {"bytes",
     [] {
         const unsigned char b[] = {0xDE, 0xAD, 0xBE};
         return VTagFactory::createVTag(200, static_cast<const void*>(b), 3);
     },
     "0010 | 02 02 05 0000 0001 0001 | C8 05 0003 DEADBE", "C8 bytes DEADBE"},
    {"float", [] { return VTagFactory::createVTag(49, 1.5f, false); },
     "0011 | 02 02 05 0000 0001 0001 | 31 06 0004 3FC00000", "31 float 0x3FC00000"},
    {"negative float, flag ignored", [] { return VTagFactory::createVTag(49, -2.0f, true); },
     "0011 | 02 02 05 0000 0001 0001 | 31 06 0004 C0000000", "31 float 0xC0000000"},
    {"NaN", [] { return VTagFactory::createVTag(49, kNaN, false); },
     "0011 | 02 02 05 0000 0001 0001 | 31 06 0004 7FC00000", "31 float 0x7FC00000"},
};

TEST(VelmorWire, EachValueTypeEncodesAndDecodes) {
    for (const EncodeCase& c : kEncodeCases) {
        SCOPED_TRACE(c.name);
        VMsg msg(2);
        msg.setSeq(5);
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
        const std::string hex = std::string("0011 | 02 02 05 0000 0001 0001 | 31 06 0004 ") + bits;
        std::unique_ptr<VMsg> m(parseHex(hex));
        ASSERT_TRUE(m);
        EXPECT_EQ(encode(*m), canon(hex));
        EXPECT_EQ(describe(m->getTags()), std::string("31 float 0x") + bits);
    }
}

struct HeaderCase {
    const char* datagram;
    unsigned char type, seq;
    unsigned short index, total;
    bool last, whole;
};

TEST(VelmorWire, HeaderFieldsAreReadFromTheirPlaces) {
    const HeaderCase cases[] = {
        {"0009 | 02 07 7F 0000 0001 0000", 7, 0x7F, 0, 1, true, true},
        {"0009 | 02 07 00 0000 0003 0000", 7, 0x00, 0, 3, false, false},
        {"0009 | 02 07 05 0002 0003 0000", 7, 0x05, 2, 3, true, false},
        {"0009 | 02 FF 05 0001 FFFF 0000", 0xFF, 0x05, 1, 0xFFFF, false, false},
        {"0009 | 02 00 05 FFFE FFFF 0000", 0, 0x05, 0xFFFE, 0xFFFF, true, false},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.datagram);
        std::unique_ptr<VMsg> m(parseHex(c.datagram));
        ASSERT_TRUE(m);
        EXPECT_EQ(m->getType(), c.type);
        EXPECT_EQ(m->getSeq(), c.seq);
        EXPECT_EQ(m->getSegmentIndex(), c.index);
        EXPECT_EQ(m->getSegmentTotal(), c.total);
        EXPECT_EQ(m->isLastSegment(), c.last);
        EXPECT_EQ(m->isWhole(), c.whole);
        EXPECT_EQ(m->getTagCount(), 0u);
        EXPECT_EQ(encode(*m), canon(c.datagram));
    }
    VMsg m(7);
    m.setSeq(0x85);  // only 7 bits are a sequence number; bit 7 is never written
    EXPECT_EQ(m.getSeq(), 5);
    EXPECT_EQ(encode(m), canon("0009 | 02 07 05 0000 0001 0000"));
}

// A message's place can only ever be one a reader accepts: index < total.
TEST(VelmorWire, SegmentPlaceStaysValid) {
    struct PlaceCase {
        const char* name;
        std::function<void(VMsg&)> change;
        unsigned short index, total;
    } cases[] = {
        {"new message", [](VMsg&) {}, 0, 1},
        {"set 2 of 5", [](VMsg& m) { m.setSegment(2, 5); }, 2, 5},
        {"index = total ignored", [](VMsg& m) { m.setSegment(3, 3); }, 0, 1},
        {"total 0 ignored", [](VMsg& m) { m.setSegment(0, 0); }, 0, 1},
        {"2 of 5 made last", [](VMsg& m) { m.setSegment(2, 5); m.setLastSegment(true); }, 2, 3},
        {"whole made not last", [](VMsg& m) { m.setLastSegment(false); }, 0, 2},
        {"2 of 5 not last stays", [](VMsg& m) { m.setSegment(2, 5); m.setLastSegment(false); }, 2, 5},
        {"highest place stays last", [](VMsg& m) { m.setSegment(0xFFFE, 0xFFFF); m.setLastSegment(false); },
         0xFFFE, 0xFFFF},
    };
    for (const PlaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        VMsg m(1);
        c.change(m);
        EXPECT_EQ(m.getSegmentIndex(), c.index);
        EXPECT_EQ(m.getSegmentTotal(), c.total);
        std::unique_ptr<VMsg> back(parseHex(encode(m)));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->getSegmentIndex(), c.index);
        EXPECT_EQ(back->getSegmentTotal(), c.total);
    }
}

struct RejectCase {
    const char* name;
    const char* datagram;
};

const RejectCase kRejectCases[] = {
    {"empty", ""},
    {"one byte", "00"},
    {"header cut", "0009 | 02 07 05 0000 0001 00"},
    {"tag header cut, length agrees", "000C | 02 07 05 0000 0001 0001 | 05 00 00"},
    {"trailing byte", "000D | 02 07 05 0000 0001 0001 | 05 00 0000 | 00"},
    {"declared longer than received", "000E | 02 07 05 0000 0001 0001 | 05 00 0000"},
    {"declared shorter than received", "0009 | 02 07 05 0000 0001 0001 | 05 00 0000"},
    {"declared shorter than a header", "0008 | 02 07 05 0000 0001 00"},
    {"length FFFF on a short datagram", "FFFF | 02 07 05 0000 0001 0000"},
    {"count too high", "000D | 02 07 05 0000 0001 0002 | 05 00 0000"},
    {"count too low", "0011 | 02 07 05 0000 0001 0001 | 05 00 0000 | 05 00 0000"},
    {"count zero with a tag", "000D | 02 07 05 0000 0001 0000 | 05 00 0000"},
    {"value longer than datagram", "000F | 02 07 05 0000 0001 0001 | 09 01 0010 4142"},
    {"value length FFFF", "000F | 02 07 05 0000 0001 0001 | 09 01 FFFF 4142"},
    {"second tag cut", "0016 | 02 07 05 0000 0001 0002 | 08 02 0004 00000007 | 09 01 0002 41"},
    {"value type 7", "000E | 02 07 05 0000 0001 0001 | 05 07 0001 00"},
    {"value type FF", "000D | 02 07 05 0000 0001 0001 | 05 FF 0000"},
    {"none with a value", "000E | 02 07 05 0000 0001 0001 | 05 00 0001 00"},
    {"u32 of 2 bytes", "000F | 02 07 05 0000 0001 0001 | 08 02 0002 0102"},
    {"u32 of 5 bytes", "0012 | 02 07 05 0000 0001 0001 | 08 02 0005 0102030405"},
    {"u16 of 1 byte", "000E | 02 07 05 0000 0001 0001 | 12 03 0001 01"},
    {"u8 of 2 bytes", "000F | 02 07 05 0000 0001 0001 | 06 04 0002 0102"},
    {"u8 of 0 bytes", "000D | 02 07 05 0000 0001 0001 | 06 04 0000"},
    {"float of 8 bytes", "0015 | 02 07 05 0000 0001 0001 | 31 06 0008 0000000000000000"},
    {"version 1", "000D | 01 07 05 0000 0001 0001 | 05 00 0000"},
    {"version 3", "000D | 03 07 05 0000 0001 0001 | 05 00 0000"},
    {"version 0", "000D | 00 07 05 0000 0001 0001 | 05 00 0000"},
    // The format before versions: type 3, last segment of sequence 5, 3 tags.
    {"unversioned datagram", "001B | 03 85 0003 | 08 02 0004 00000007 | 09 01 0003 414243 | 31 06 0004 3FC00000"},
    {"reserved bit 7 of seq", "000D | 02 07 85 0000 0001 0001 | 05 00 0000"},
    {"reserved bit alone", "000D | 02 07 80 0000 0001 0001 | 05 00 0000"},
    {"index = total", "000D | 02 07 05 0001 0001 0001 | 05 00 0000"},
    {"index > total", "000D | 02 07 05 0005 0002 0001 | 05 00 0000"},
    {"index FFFF of FFFF", "000D | 02 07 05 FFFF FFFF 0001 | 05 00 0000"},
    {"total 0", "000D | 02 07 05 0000 0000 0001 | 05 00 0000"},
};

TEST(VelmorWire, MalformedDatagramsAreRejected) {
    for (const RejectCase& c : kRejectCases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<VMsg> m(parseHex(c.datagram));
        EXPECT_FALSE(m);
    }
    EXPECT_EQ(VMsg::parseMsg(nullptr, 10), nullptr);
}

// A reader takes datagrams of up to twice what a writer makes, and no more.
TEST(VelmorWire, LargestDatagramAReaderAccepts) {
    for (unsigned short size : {VMsg::kMaxDatagram, static_cast<unsigned short>(VMsg::kMaxDatagram + 1)}) {
        SCOPED_TRACE(size);
        VMsg msg(1);
        const std::vector<unsigned char> value(size - VMsg::kDatagramHeader - 4u, 0x5A);
        msg.addTag(VTagFactory::createVTag(200, static_cast<const void*>(value.data()),
                                           static_cast<unsigned short>(value.size())));
        const Bytes datagram = datagramOf(msg);
        ASSERT_EQ(datagram.size(), size);
        EXPECT_EQ(std::unique_ptr<VMsg>(parseBytes(datagram)) != nullptr, size <= VMsg::kMaxDatagram);
    }
}

const char* const kThreeTags =
    "0020 | 02 03 05 0000 0001 0003 | 08 02 0004 00000007 | 09 01 0003 414243 | 31 06 0004 3FC00000";

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
    const unsigned short need = 34;
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
                                "Message of 32 bytes and 3 tags does not fit a " +
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
        EXPECT_EQ(std::string(d->getDeviceLabel()), std::string(labelLength, static_cast<char>('a' + i % 26)));
    }
}

TEST(VelmorSegments, SmallMessageIsItsOwnSegment) {
    std::unique_ptr<VMsg> msg = deviceMessage(3, 10);
    msg->setSegment(1, 4);  // whatever it was, it now goes out whole
    EXPECT_EQ(msg->segmentMessage(1024), 1u);
    msg->resetSegment();
    EXPECT_EQ(msg->getNextSegment(), msg.get());
    EXPECT_EQ(msg->getNextSegment(), nullptr);
    EXPECT_TRUE(msg->isWhole());
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

TEST(VelmorSegments, ObjectsLargerThanASegmentAreCutAndPutTogether) {
    // Each device needs 1024 bytes of tags, more than a segment holds, so
    // the cuts fall inside objects; put together, every object is whole.
    std::unique_ptr<VMsg> msg = deviceMessage(3, 1000);
    const auto datagrams = segmentDatagrams(*msg);
    ASSERT_GE(datagrams.size(), 4u);
    std::unique_ptr<VMsg> whole(reassemble(datagrams));
    ASSERT_TRUE(whole);
    EXPECT_TRUE(whole->isWhole());
    EXPECT_EQ(encode(*whole), encode(*msg));
    std::unique_ptr<cObjectList> list(cObject::parseMsg(whole.get()));
    expectDevices(list.get(), 3, 1000);
    list->deleteObjects();
}

struct BoundaryCase {
    unsigned short first, second;  // value bytes of two bytes-tags, C8 and C9
    std::size_t segments;          // 0: refused ...
    const char* refusedTag;        // ... for this tag
};

TEST(VelmorSegments, DatagramSizeBoundary) {
    // 11 bytes of datagram header, 4 per tag: 1024 = 11 + 4 + 1009.
    static_assert(VMsg::kMaxTagValue == 1009, "the largest value of one tag");
    const BoundaryCase cases[] = {
        {1009, 0, 1, nullptr},  {1010, 0, 0, "C8"},    {500, 505, 1, nullptr},
        {500, 506, 2, nullptr}, {1009, 1009, 2, nullptr}, {1009, 1010, 0, "C9"},
    };
    for (const BoundaryCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + "+" + std::to_string(c.second));
        LogCapture log;
        VMsg msg(4);
        std::vector<unsigned char> data(c.first + c.second, 0x42);
        msg.addTag(VTagFactory::createVTag(200, static_cast<const void*>(data.data()), c.first));
        if (c.second)
            msg.addTag(VTagFactory::createVTag(201, static_cast<const void*>(data.data()), c.second));
        const auto datagrams = segmentDatagrams(msg);
        EXPECT_EQ(datagrams.size(), c.segments);
        for (const auto& dg : datagrams) EXPECT_LE(dg.size(), 1024u);
        if (c.refusedTag) {
            EXPECT_TRUE(log.has("Velmor", log4cpp::Priority::WARN,
                                std::string("Not sending message: tag ") + c.refusedTag +
                                    " of 1010 value bytes is larger than any segment"));
        } else {
            EXPECT_TRUE(log.lines().empty());
        }
    }
}

// Sending the rest would report the list as sent while one of its fields
// never left: a message with a tag no segment can carry goes nowhere.
TEST(VelmorSegments, MessageWithATooLargeTagIsRefusedWhole) {
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
    EXPECT_EQ(msg->segmentMessage(1024), 0u);
    msg->resetSegment();
    EXPECT_EQ(msg->getNextSegment(), nullptr);
    EXPECT_TRUE(log.has("Velmor", log4cpp::Priority::WARN,
                        "Not sending message: tag 09 of 2000 value bytes is larger than any segment"));
    // The message itself is untouched, and goes out once the datagrams may
    // be large enough.
    EXPECT_GT(msg->segmentMessage(VMsg::kMaxDatagram), 0u);
}

TEST(VelmorSegments, DatagramTooSmallForAnyTagIsRefused) {
    struct SizeCase {
        int maxDatagram;
        std::size_t segments;
    } cases[] = {{-1, 0}, {0, 0}, {11, 0}, {15, 0}, {16, 3}, {19, 2}, {22, 2}, {23, 1}};
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.maxDatagram);
        LogCapture log;
        VMsg msg(1);
        for (unsigned char n : {200, 201, 202}) msg.addTag(VTagFactory::createVTag(n));
        EXPECT_EQ(msg.segmentMessage(c.maxDatagram), c.segments);
        EXPECT_EQ(log.has("Velmor", log4cpp::Priority::WARN,
                          "Cannot segment into " + std::to_string(c.maxDatagram) + " byte datagrams"),
                  c.segments == 0);
    }
}

// The place is 16 bits wide: 65535 segments can be numbered, one more
// cannot, and such a message is refused rather than numbered wrongly.
TEST(VelmorSegments, MoreSegmentsThanAPlaceCanNumberAreRefused) {
    for (std::size_t tags : {65535u, 65536u}) {
        SCOPED_TRACE(tags);
        LogCapture log;
        VMsg msg(1);
        msg.reserveTags(tags);
        for (std::size_t i = 0; i < tags; ++i) msg.addTag(VTagFactory::createVTag(200));
        // 16-byte datagrams carry one value-less tag each.
        const std::size_t n = msg.segmentMessage(16);
        EXPECT_EQ(n, tags <= 0xFFFF ? tags : 0u);
        msg.resetSegment();
        VMsg* last = nullptr;
        for (VMsg* seg = msg.getNextSegment(); seg; seg = msg.getNextSegment()) last = seg;
        if (n) {
            ASSERT_TRUE(last);
            EXPECT_EQ(last->getSegmentIndex(), 0xFFFE);
            EXPECT_EQ(last->getSegmentTotal(), 0xFFFF);
        } else {
            EXPECT_EQ(last, nullptr);
            EXPECT_TRUE(log.has("Velmor", log4cpp::Priority::WARN,
                                "Not sending message: 65536 segments are more than a message can have"));
        }
    }
}

TEST(VelmorSegments, AddSegmentIgnoresNullAndItself) {
    std::unique_ptr<VMsg> m(parseHex("000D | 02 02 05 0000 0002 0001 | 05 00 0000"));
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
