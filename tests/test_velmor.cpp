// The tagged-message layer at byte level: each table row is a datagram in hex
// beside what it must encode from or decode to.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "device.h"
#include "objectlist.h"
#include "velmor.h"
#include "wiretest.h"

using namespace wiretest;

namespace {

// The datagrams of tests/vectors/wire.txt, read, described and written back.
TEST(VelmorWire, DatagramTable) {
    int rows = 0;
    for (const auto& row : dataRows("wire.txt")) {
        if (row[0] != "accept" && row[0] != "header" && row[0] != "reject") continue;
        ASSERT_GE(row.size(), 3u);
        SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2]);
        ++rows;
        if (row[0] == "reject") {
            EXPECT_FALSE(std::unique_ptr<VMsg>(parseHex(row[2])));
            continue;
        }
        std::unique_ptr<VMsg> m(parseHex(row[1]));
        ASSERT_TRUE(m);
        EXPECT_EQ(encode(*m), canon(row[1]));
        if (row[0] == "accept") {
            std::string want;
            for (std::size_t i = 2; i < row.size(); ++i) want += (i > 2 ? "; " : "") + row[i];
            EXPECT_EQ(describe(m->getTags()), want);
            // The same tags read from the encoded bytes, and written back
            // through appendEncoded.
            std::size_t n = 0;
            const unsigned char* p = m->getEncodedTags(n);
            VMsg copy(m->getType());
            copy.setSeq(m->getSeq());
            std::vector<std::unique_ptr<VTag>> made;
            std::vector<VTag*> read;
            VTagView v;
            for (VTagReader reader(p, n); reader.next(v); read.push_back(made.back().get())) {
                made.emplace_back(VTagFactory::createVTag(v));
                std::memcpy(copy.appendEncoded(v.tag, v.type, v.len), v.value, v.len);
            }
            EXPECT_EQ(describe(read), want);
            EXPECT_EQ(encode(copy), canon(row[1]));
            continue;
        }
        char shown[64];
        std::snprintf(shown, sizeof shown, "%u %u %u %u %s %s", m->getType(), m->getSeq(),
                      m->getSegmentIndex(), m->getSegmentTotal(), m->isLastSegment() ? "last" : "-",
                      m->isWhole() ? "whole" : "-");
        EXPECT_EQ(shown, row[2]);
        EXPECT_EQ(m->getTagCount(), 0u);
    }
    EXPECT_GT(rows, 40);
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
        std::unique_ptr<VMsg> back(parseBytes(datagram));
        EXPECT_EQ(back != nullptr, size <= VMsg::kMaxDatagram);
        // What limits on memory count: a datagram held costs its bytes.
        if (back) {
            EXPECT_GE(back->getFootprint(), datagram.size());
        }
    }
}

// A datagram of many small tags costs a reader an object for each, made or
// not: what limits on memory count must say so, or a peer's datagrams of
// value-less tags would hold many times what the limits allow.
TEST(VelmorWire, FootprintCountsAnObjectPerTag) {
    VMsg msg(1);
    for (int i = 0; i < 400; ++i) msg.addTag(VTagFactory::createVTag(200));
    std::unique_ptr<VMsg> back(parseBytes(datagramOf(msg)));
    ASSERT_TRUE(back);
    EXPECT_GE(back->getFootprint(), 400 * (sizeof(VTag) + sizeof(VTag*)));
}

const char* const kThreeTags =
    "0020 | 02 03 05 0000 0001 0003 | 08 02 0004 00000007 | 09 01 0003 414243 | 31 06 0004 3FC00000";

// Every cut of a valid datagram is rejected, also when the length prefix is
// rewritten to agree with the cut; a tag reader of the cut bytes gives the
// tags before the cut one and stops there.
TEST(VelmorWire, EveryTruncationIsRejected) {
    const std::vector<unsigned char> whole = fromHex(kThreeTags);
    ASSERT_TRUE(std::unique_ptr<VMsg>(parseBytes(whole)));
    for (std::size_t n = 0; n < whole.size(); ++n) {
        SCOPED_TRACE(n);
        std::vector<unsigned char> cut(whole.begin(), whole.begin() + n);
        EXPECT_FALSE(std::unique_ptr<VMsg>(parseBytes(cut)));
        if (n >= VMsg::kDatagramHeader) {
            const std::vector<unsigned char> tags(cut.begin() + VMsg::kDatagramHeader, cut.end());
            VTagReader reader(tags.data(), tags.size());
            VTagView v;
            std::size_t read = 0;
            while (read < 4 && reader.next(v)) ++read;
            EXPECT_EQ(read, (n >= 19u) + (n >= 26u)) << "tags end at bytes 19, 26 and 34";
        }
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

// Tag objects follow the bytes whenever they are first asked for: before,
// between or after tags added as objects and as bytes.
TEST(VelmorWire, TagObjectsFollowTheBytesWheneverMade) {
    for (std::size_t askAt = 0; askAt <= 3; ++askAt) {
        SCOPED_TRACE(askAt);
        VMsg msg(3);
        msg.setSeq(5);
        auto ask = [&](std::size_t step) {
            if (step == askAt) {
                EXPECT_EQ(msg.getTags().size(), step);
            }
        };
        ask(0);
        msg.addTag(VTagFactory::createVTag(8, 7u));
        ask(1);
        std::memcpy(msg.appendEncoded(9, VTAG_STRING, 3), "ABC", 3);
        ask(2);
        EXPECT_EQ(msg.appendEncoded(0x31, VTAG_FLOAT, 2), nullptr) << "a float of 2 bytes";
        EXPECT_EQ(msg.addTag(VTagFactory::createVTag(0x31, 1.5f, false)), 3);
        ask(3);
        EXPECT_EQ(describe(msg.getTags()), "08 u32 0x00000007; 09 text \"ABC\"; 31 float 0x3FC00000");
        EXPECT_EQ(encode(msg), canon(kThreeTags));
        std::size_t n = 0;
        const unsigned char* p = msg.getEncodedTags(n);
        EXPECT_EQ(toHex(p, n), canon(kThreeTags).substr(2 * VMsg::kDatagramHeader));
    }
}

TEST(VelmorWire, GetMsgNeverWritesPastItsSize) {
    std::unique_ptr<VMsg> msg(parseHex(kThreeTags));
    ASSERT_TRUE(msg);
    const int need = 34;
    for (int size : {0, 1, need - 1, need, need + 1}) {
        SCOPED_TRACE(size);
        const int result = size >= need ? need : 0;
        std::vector<unsigned char> buf(size + 8, 0xA5);
        EXPECT_EQ(msg->getMsg(buf.data(), static_cast<unsigned short>(size)), result);
        for (std::size_t i = static_cast<std::size_t>(result); i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xA5) << i;
    }
    EXPECT_EQ(msg->getMsg(nullptr, 1024), 0);
    // A message whose length does not fit the 16-bit field is not encoded.
    VMsg big(1);
    const std::vector<unsigned char> value(0xFFFF, 0x11);
    big.addTag(VTagFactory::createVTag(200, static_cast<const void*>(value.data()), 0xFFFF));
    std::vector<unsigned char> buf(0xFFFF);
    EXPECT_EQ(big.getMsg(buf.data(), 0xFFFF), 0);
}

// ---- segmentation ----

// A list of devices, one a label length, as toMsg writes it.
std::unique_ptr<VMsg> deviceMessage(const std::vector<std::size_t>& labelLengths) {
    cObjectList list;
    list.setMsgType(3);
    list.setMsgSeq(9);
    for (int i = 0; i < static_cast<int>(labelLengths.size()); ++i) {
        cObjectDevice* d = new cObjectDevice;
        d->setDeviceSerial(static_cast<unsigned int>(1000 + i));
        d->setDeviceLabel(std::string(labelLengths[i], static_cast<char>('a' + i % 26)).c_str());
        d->setDiscreteInCount(static_cast<unsigned int>(i));
        list.add(d);
    }
    std::unique_ptr<VMsg> msg(list.toMsg());
    list.deleteObjects();
    return msg;
}

TEST(VelmorSegments, EachSegmentHoldsWholeObjects) {
    std::unique_ptr<VMsg> msg = deviceMessage(std::vector<std::size_t>(60, 40));
    ASSERT_GT(msg->getLength(), 3000u);
    const auto datagrams = segmentDatagrams(*msg);
    ASSERT_GE(datagrams.size(), 4u);
    int seen = 0;
    for (const auto& dg : datagrams) {
        std::unique_ptr<VMsg> seg(parseBytes(dg));
        ASSERT_TRUE(seg);
        EXPECT_EQ(seg->getTags().front()->getTag(), 5) << "segment starts inside an object";
        std::unique_ptr<cObjectList> part(cObject::parseMsg(seg.get()));
        for (cObject* o = part->first(); o; o = part->next(), ++seen) {
            cObjectDevice* d = dynamic_cast<cObjectDevice*>(o);
            ASSERT_TRUE(d);
            EXPECT_EQ(d->getDeviceSerial(), 1000u + seen);
            EXPECT_EQ(std::strlen(d->getDeviceLabel()), 40u);
        }
        part->deleteObjects();
    }
    EXPECT_EQ(seen, 60);
}

// toMsg notes where each object starts, so that cutting needs no second read
// of its tags: the cuts must be exactly those of the same bytes taken over
// raw (no notes) and of the same tags added one by one, with objects of many
// sizes, some appended without notes, and a tag after the last object.
TEST(VelmorSegments, NotedObjectsAreCutAsTheirBytes) {
    std::vector<std::size_t> labels;
    for (std::size_t i = 0; i < 40; ++i) labels.push_back(i * 37 % 150);
    std::unique_ptr<VMsg> noted = deviceMessage(labels);
    // One more object appended raw, then more tag by tag: the notes must
    // neither reach over the raw one nor miss those added after it.
    std::unique_ptr<VMsg> one = deviceMessage({3}), more = deviceMessage({20, 20, 20, 20, 20});
    std::size_t bytes = 0;
    const unsigned char* tags = one->getEncodedTags(bytes);
    std::memcpy(noted->beginEncoded(bytes), tags, bytes);
    noted->commitEncoded(bytes, one->getTagCount());
    for (const VTag* t : more->getTags()) noted->addTag(t->clone());
    noted->addTag(VTagFactory::createVTag(200, 7u));
    tags = noted->getEncodedTags(bytes);
    VMsg raw(3), added(3);
    raw.setSeq(9);
    added.setSeq(9);
    std::memcpy(raw.beginEncoded(bytes), tags, bytes);
    raw.commitEncoded(bytes, noted->getTagCount());
    for (const VTag* t : noted->getTags()) added.addTag(t->clone());
    const auto cuts = [](VMsg& msg, int largest) {
        const std::size_t n = msg.segmentMessage(largest);
        std::vector<wiretest::Bytes> out(1, wiretest::Bytes(1, static_cast<unsigned char>(n)));
        msg.resetSegment();
        while (VMsg* seg = msg.getNextSegment()) out.push_back(wiretest::datagramOf(*seg));
        return out;
    };
    // Every third size from the smallest that carries the longest tag: a
    // wrong note shows only where it moves a cut.
    for (int largest = 170; largest <= 1100; largest += 3) {
        SCOPED_TRACE(largest);
        const std::vector<wiretest::Bytes> expected = cuts(raw, largest);
        EXPECT_GT(expected.size(), 2u);
        ASSERT_EQ(cuts(*noted, largest), expected);
        ASSERT_EQ(cuts(added, largest), expected);
    }
}

// The cut rows of tests/vectors/wire.txt: how many segments, each within
// the largest datagram.
TEST(VelmorSegments, CutTable) {
    int rows = 0;
    for (const auto& row : dataRows("wire.txt")) {
        if (row[0] != "cut") continue;
        SCOPED_TRACE(row[1] + " ; " + row[2]);
        ++rows;
        VMsg msg(4);
        std::istringstream sizes(row[2]);
        unsigned char number = 200;
        for (unsigned short n; sizes >> n;) {
            const std::vector<unsigned char> value(n, 0x42);
            msg.addTag(VTagFactory::createVTag(number++, static_cast<const void*>(value.data()), n));
        }
        const int largest = std::stoi(row[1]);
        EXPECT_EQ(msg.segmentMessage(largest), std::stoul(row[3]));
        msg.resetSegment();
        std::size_t made = 0;
        for (VMsg* seg = msg.getNextSegment(); seg; seg = msg.getNextSegment(), ++made)
            EXPECT_LE(datagramOf(*seg).size(), static_cast<std::size_t>(largest));
        EXPECT_EQ(made, std::stoul(row[3]));
    }
    EXPECT_GT(rows, 10);
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
    EXPECT_EQ(msg->segmentMessage(1024), 0u);
    msg->resetSegment();
    EXPECT_EQ(msg->getNextSegment(), nullptr);
    // The message itself is untouched, and goes out once the datagrams may
    // be large enough.
    EXPECT_GT(msg->segmentMessage(VMsg::kMaxDatagram), 0u);
}

// The place is 16 bits wide: 65535 segments can be numbered, one more
// cannot, and such a message is refused rather than numbered wrongly.
TEST(VelmorSegments, MoreSegmentsThanAPlaceCanNumberAreRefused) {
    for (std::size_t tags : {65535u, 65536u}) {
        SCOPED_TRACE(tags);
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
        }
    }
}

// ---- grouping by the dictionary ----

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

// The group rows of tests/vectors/wire.txt: tags before the first object
// code are the message's own.
TEST(VelmorGrouping, GroupTable) {
    int rows = 0;
    for (const auto& row : dataRows("wire.txt")) {
        if (row[0] != "group") continue;
        SCOPED_TRACE(row[2]);
        ++rows;
        VMsg msg(0);
        std::istringstream numbers(row[1]);
        for (unsigned int n; numbers >> n;) msg.addTag(VTagFactory::createVTag(static_cast<unsigned char>(n)));
        std::unique_ptr<VelmorMessage> vm(VelmorMessage::parseVMsg(WQX::DictDef, &msg));
        ASSERT_TRUE(vm);
        EXPECT_EQ(grouping(vm.get()), row[2]);
    }
    EXPECT_GT(rows, 4);
    VMsg msg(0);
    msg.addTag(VTagFactory::createVTag(5));
    EXPECT_EQ(VelmorMessage::parseVMsg(nullptr, &msg), nullptr);
    EXPECT_EQ(VelmorMessage::parseVMsg(WQX::DictDef, nullptr), nullptr);
}

}  // namespace
