#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "asample.h"
#include "capability.h"
#include "logcapture.h"
#include "objecttest.h"

using namespace objecttest;

namespace {

cObjectAnalogSample* makeSample(unsigned int dev, unsigned int port, unsigned int seq, float v) {
    cObjectAnalogSample* s = new cObjectAnalogSample;
    s->setDeviceSerial(dev);
    s->setPortNum(port);
    s->setSeqNum(seq);
    s->setSample(v);
    return s;
}

}  // namespace

TEST(AnalogSample, TagsOut) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Row {
        unsigned int dev, port, seq;
        float sample;
        Strings tags;
    } rows[] = {
        {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, nan, {"63"}},
        {0x01020304, 0xFFFFFFFF, 0xFFFFFFFF, nan, {"63", "8 u32 16909060"}},
        // Port and sequence go out as their low 8 bits, in 32-bit tags.
        {0xFFFFFFFF, 0x1FF, 300, nan, {"63", "18 u32 255", "60 u32 44"}},
        {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, -0.0f, {"63", "49 f -0"}},
        {7, 3, 9, 2.5f, {"63", "8 u32 7", "18 u32 3", "60 u32 9", "49 f 2.5"}},
    };
    for (const Row& r : rows) {
        std::unique_ptr<cObjectAnalogSample> s(makeSample(r.dev, r.port, r.seq, r.sample));
        EXPECT_EQ(tagsOf(*s), r.tags);
    }
}

TEST(AnalogSample, TagsIn) {
    using Read = std::function<unsigned int(const cObjectAnalogSample&)>;
    const Read dev = [](const cObjectAnalogSample& s) { return s.getDeviceSerial(); };
    const Read port = [](const cObjectAnalogSample& s) { return s.getPortNum(); };
    const Read seq = [](const cObjectAnalogSample& s) { return s.getSeqNum(); };
    const Read sample = [](const cObjectAnalogSample& s) { return floatBits(s.getSample()); };
    float tiny;
    const unsigned int tinyBits = 1;  // the smallest subnormal
    std::memcpy(&tiny, &tinyBits, sizeof tiny);
    struct Row {
        VTag* tag;
        Read read;
        unsigned int expected;
    } rows[] = {
        {new VTagUInt32(8, 0xDEADBEEFu), dev, 0xDEADBEEFu},
        // Read whole, although written as 8 bits.
        {new VTagUInt32(18, 511u), port, 511u},
        {new VTagUInt8(18, static_cast<unsigned char>(5)), port, 5u},
        {new VTagUInt32(60, 300u), seq, 300u},
        {new VTagUInt32(49, tiny), sample, tinyBits},
        {new VTagUInt32(49, -0.0f), sample, 0x80000000u},
        // A value-less tag leaves the field not set.
        {new VTag(18), port, 0xFFFFFFFFu},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(tagText(r.tag));
        cObjectAnalogSample s;
        EXPECT_TRUE(TagGroup().add(r.tag).feed(s));
        EXPECT_EQ(r.read(s), r.expected);
    }
}

TEST(AnalogSample, UnknownTagAndMessageLevelTags) {
    LogCapture log;
    cObjectAnalogSample s;
    TagGroup g;
    g.add(new VTagUInt32(8, 1u)).add(new VTagUInt32(9, 2u)).msgLevel(new VTagUInt32(8, 2u));
    EXPECT_TRUE(g.feed(s));
    EXPECT_EQ(s.getDeviceSerial(), 2u);
    EXPECT_TRUE(log.has("cObjectAnalogSample", log4cpp::Priority::INFO, "Unknown Tag 09(9)"));
}

TEST(AnalogSample, JsonOut) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Row {
        cObjectAnalogSample* s;
        const char* json;
    } rows[] = {
        {makeSample(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, nan),
         R"([{"TAG_DEV_ID": -1}, {"TAG_IO_PNUM": -1}, {"TAG_AI_SAMPLE_SEQ": -1}, {}])"},
        {makeSample(7, 511, 300, 2.5f),
         R"([{"TAG_DEV_ID": 7}, {"TAG_IO_PNUM": 511}, {"TAG_AI_SAMPLE_SEQ": 300}, {"TAG_IO_SAMPLED_VALUE": 2.5}])"},
        // JSON has no infinity: the element stays, empty, so the array keeps its shape.
        {makeSample(0x80000000, 0, 0, inf),
         R"([{"TAG_DEV_ID": -2147483648}, {"TAG_IO_PNUM": 0}, {"TAG_AI_SAMPLE_SEQ": 0}, {}])"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(jsonOf(*r.s), r.json);
        delete r.s;
    }
}

TEST(AnalogSample, JsonIn) {
    const unsigned int U = 0xFFFFFFFF;
    struct Row {
        const char* json;
        bool ok;
        const char* warning;
        unsigned int dev, port, seq;
        float sample;
    } rows[] = {
        {R"([{"TAG_DEV_ID": 7, "TAG_IO_PNUM": 511, "TAG_AI_SAMPLE_SEQ": 300, "TAG_IO_SAMPLED_VALUE": 2.5}])",
         true, nullptr, 7, 511, 300, 2.5f},
        {R"([{"TAG_DEV_ID": 4294967303}, {"TAG_DEV_ID": 1}, {"TAG_DEV_ID": 2}])", true, nullptr, 2, U, U,
         NAN},
        {R"([5, {"TAG_IO_PNUM": 3}])", true, "object in asample parse not a JSON object ", U, 3, U, NAN},
        {R"([{}, {}, {}, {}])", true, nullptr, U, U, U, NAN},
        {R"({"TAG_DEV_ID": 3})", false, "object in asample parse not a JSON array", U, U, U, NAN},
        {R"([{"TAG_DEV_ID": "7"}])", false, "devId in asample parse not a number", U, U, U, NAN},
        {R"([{"TAG_DEV_ID": 7}, {"TAG_IO_PNUM": "5", "TAG_AI_SAMPLE_SEQ": 1}])", false,
         "pNum in asample parse not a number", 7, U, U, NAN},
        {R"([{"TAG_DEV_ID": 7, "TAG_AI_SAMPLE_SEQ": 1.5}])", false,
         "sampleSeq in asample parse not a number", 7, U, U, NAN},
        {R"([{"TAG_DEV_ID": 7, "TAG_AI_SAMPLE_SEQ": 4, "TAG_IO_SAMPLED_VALUE": 3}])", false,
         "sampledValue in asample parse not a number", 7, U, 4, NAN},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.json);
        cObjectAnalogSample s;
        expectJsonParse(s, r.json, r.ok, r.warning);
        EXPECT_EQ(s.getDeviceSerial(), r.dev);
        EXPECT_EQ(s.getPortNum(), r.port);
        EXPECT_EQ(s.getSeqNum(), r.seq);
        EXPECT_EQ(floatBits(s.getSample()), floatBits(r.sample));
    }
    LogCapture log;
    cObjectAnalogSample s;
    EXPECT_FALSE(s.parse(static_cast<json_t*>(nullptr)));
    EXPECT_TRUE(log.has("object in asample parse not a JSON array"));
    EXPECT_TRUE(parseJson(s, "[{}, {}]"));
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::DEBUG, "Array size in asample parse array size:2 "));
}

TEST(AnalogSample, Identity) {
    std::unique_ptr<cObjectAnalogSample> a(makeSample(1, 2, 5, 1.0f));
    std::unique_ptr<cObjectAnalogSample> sameKey(makeSample(1, 2, 5, 9.0f));
    std::unique_ptr<cObjectAnalogSample> nextSeq(makeSample(1, 2, 6, 1.0f));
    std::unique_ptr<cObjectAnalogSample> otherDev(makeSample(2, 0, 0, 1.0f));
    std::unique_ptr<cObjectAnalogSample> bigPort(makeSample(1, 0xFFFFFFF0u, 0, 1.0f));
    cObjectCapability otherClass;  // its fields all read as "greater"
    expectIdentity(*a, *sameKey, *nextSeq, otherClass);
    EXPECT_TRUE(*a < *otherDev);
    EXPECT_TRUE(*a < *bigPort);  // compared unsigned
    EXPECT_STREQ(a->printKey(), "");
}

TEST(AnalogSample, CloneAndRoundTrips) {
    std::unique_ptr<cObjectAnalogSample> full(makeSample(0xCAFEF00Du, 200, 100, 0.1f));
    std::unique_ptr<cObject> copy(full->clone());
    ASSERT_EQ(copy->getType(), cObject::OBJ_ANALOG_SAMPLE);
    EXPECT_EQ(jsonOf(*copy), jsonOf(*full));
    cObjectAnalogSample fromNull(nullptr);
    EXPECT_EQ(tagsOf(fromNull), Strings{"63"});

    cObjectList list;
    cObjectAnalogSample unset;
    std::unique_ptr<cObjectAnalogSample> wide(makeSample(1, 0x1FF, 0x1FF, 1.0f));
    std::unique_ptr<cObjectAnalogSample> cut(makeSample(1, 0xFF, 0xFF, 1.0f));
    list.add(full.get());
    list.add(&unset);
    list.add(wide.get());
    for (Trip trip : kTrips) {
        SCOPED_TRACE(tripName(trip));
        ListPtr back = trip(list);
        // Only 8 bits of port and sequence travel in tags; JSON carries all 32.
        expectSameObjects(*back, {full.get(), &unset, trip == throughDatagram ? cut.get() : wide.get()},
                          jsonOf);
        auto* sample = dynamic_cast<cObjectAnalogSample*>(back->first());
        ASSERT_NE(sample, nullptr);
        EXPECT_EQ(floatBits(sample->getSample()), floatBits(0.1f));
    }
}
