// One list holding an object of every type, every field set, and one of
// every type with every field unset: it goes out as datagrams of at most
// 1024 bytes and as a JSON document, and must come back with the same
// fields in the same order. Message info is sent but never read back.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "everyfield.h"
#include "objectforms.h"

namespace {

using formtest::jsonText;
using formtest::ListHolder;
using formtest::tagTexts;

// The list as 1024-byte datagrams, each decoded and joined to the first
// with addSegment, as a receiver reassembles a reply.
cObjectList* throughSegments(cObjectList& list, int& datagrams) {
    std::unique_ptr<VMsg> msg(list.toMsg());
    msg->segmentMessage(1024);
    msg->resetSegment();
    std::unique_ptr<VMsg> joined;
    datagrams = 0;
    unsigned char buf[1024];
    while (VMsg* seg = msg->getNextSegment()) {
        const unsigned short n = seg->getMsg(buf, sizeof buf);
        EXPECT_GT(n, 0);
        ++datagrams;
        std::unique_ptr<VMsg> received(VMsg::parseMsg(buf, n));
        if (!received) return new cObjectList;
        if (joined)
            joined->addSegment(received.get());
        else
            joined = std::move(received);
    }
    EXPECT_TRUE(joined && joined->isLastSegment());
    return joined ? cObject::parseMsg(joined.get()) : new cObjectList;
}

class WholeLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        for (int t = 0; t < cObject::OBJ_NONE; ++t) {
            const auto type = static_cast<cObject::eObjectTypes>(t);
            list_.add(everyfield::makeFull(type));
            list_.add(cObject::create(type));
        }
        list_.setMsgType(1);
        list_.setMsgSeq(42);
    }
    void TearDown() override { list_.deleteObjects(); }

    // What should come back: every object but the message infos.
    std::vector<cObject*> expected() {
        std::vector<cObject*> out;
        for (cObject* o = list_.first(); o; o = list_.next())
            if (o->getType() != cObject::OBJ_MSG_INFO) out.push_back(o);
        return out;
    }

    cObjectList list_;
};

TEST_F(WholeLibrary, EveryTypeIsBuiltAndFilled) {
    ASSERT_EQ(list_.numObjects(), 28);
    cObject* o = list_.first();
    for (int t = 0; t < cObject::OBJ_NONE; ++t, o = list_.next(), o = list_.next()) {
        ASSERT_NE(o, nullptr) << "type " << t;
        EXPECT_EQ(o->getType(), t);
        // A full object carries more than its wire object code.
        EXPECT_GT(tagTexts(*o).size(), 1u) << cObject::getJSONName(o->getType());
    }
}

TEST_F(WholeLibrary, DatagramsBringBackTheSameFields) {
    int datagrams = 0;
    ListHolder back(throughSegments(list_, datagrams));
    EXPECT_GT(datagrams, 1) << "the list should need several datagrams";
    const std::vector<cObject*> want = expected();
    ASSERT_EQ(back.list->numObjects(), static_cast<int>(want.size()));
    for (size_t i = 0; i < want.size(); ++i) {
        cObject* got = back.at(static_cast<int>(i));
        EXPECT_EQ(got->getType(), want[i]->getType()) << i;
        EXPECT_EQ(tagTexts(*got), tagTexts(*want[i])) << cObject::getJSONName(want[i]->getType());
    }
}

TEST_F(WholeLibrary, JsonDocumentBringsBackTheSameFields) {
    ListHolder back(formtest::throughDocument(list_));
    const std::vector<cObject*> want = expected();
    ASSERT_EQ(back.list->numObjects(), static_cast<int>(want.size()));
    for (size_t i = 0; i < want.size(); ++i) {
        cObject* got = back.at(static_cast<int>(i));
        EXPECT_EQ(got->getType(), want[i]->getType()) << i;
        EXPECT_EQ(jsonText(*got), jsonText(*want[i])) << cObject::getJSONName(want[i]->getType());
    }
}

TEST_F(WholeLibrary, ClonesCarryTheSameFields) {
    for (cObject* o = list_.first(); o; o = list_.next()) {
        std::unique_ptr<cObject> copy(o->clone());
        EXPECT_EQ(copy->getType(), o->getType());
        EXPECT_EQ(tagTexts(*copy), tagTexts(*o));
        EXPECT_EQ(jsonText(*copy), jsonText(*o));
    }
}

}  // namespace
