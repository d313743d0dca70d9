// One list holding an object of every type, every field set, and one of
// every type with every field unset: it goes out as datagrams of at most
// 1024 bytes and as a JSON document, and must come back with the same
// fields in the same order. Message info is sent but never read back.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "everyfield.h"
#include "objecttest.h"

namespace {

using namespace objecttest;

// The list as 1024-byte datagrams, decoded and put together again as a
// receiver does.
ListPtr throughSegments(cObjectList& list) {
    std::unique_ptr<VMsg> msg(list.toMsg());
    const std::vector<wiretest::Bytes> datagrams = wiretest::segmentDatagrams(*msg);
    EXPECT_GT(datagrams.size(), 1u) << "the list should need several datagrams";
    std::unique_ptr<VMsg> joined(wiretest::reassemble(datagrams));
    EXPECT_TRUE(joined && joined->isWhole());
    return ListPtr(joined ? cObject::parseMsg(joined.get()) : new cObjectList);
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
        for (cObject* o : objectsOf(list_))
            if (o->getType() != cObject::OBJ_MSG_INFO) out.push_back(o);
        return out;
    }

    cObjectList list_;
};

TEST_F(WholeLibrary, EveryTypeIsBuiltAndFilled) {
    const std::vector<cObject*> all = objectsOf(list_);
    ASSERT_EQ(all.size(), 28u);
    for (int t = 0; t < cObject::OBJ_NONE; ++t) {
        cObject* full = all[2 * t];
        ASSERT_NE(full, nullptr) << "type " << t;
        EXPECT_EQ(full->getType(), t);
        // A full object carries more than its wire object code.
        EXPECT_GT(tagsOf(*full).size(), 1u) << cObject::getJSONName(full->getType());
    }
}

TEST_F(WholeLibrary, DatagramsBringBackTheSameFields) {
    expectSameObjects(*throughSegments(list_), expected(), tagsOf);
}

TEST_F(WholeLibrary, JsonDocumentBringsBackTheSameFields) {
    expectSameObjects(*throughDocument(list_), expected(), jsonOf);
}

TEST_F(WholeLibrary, ClonesCarryTheSameFields) {
    for (cObject* o : objectsOf(list_)) {
        std::unique_ptr<cObject> copy(o->clone());
        EXPECT_EQ(copy->getType(), o->getType());
        EXPECT_EQ(tagsOf(*copy), tagsOf(*o));
        EXPECT_EQ(jsonOf(*copy), jsonOf(*o));
    }
}

}  // namespace
