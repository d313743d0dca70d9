// The request entry on its own: transmissions, matching and the assembly of
// segmented replies, without threads or sockets.
#include <gtest/gtest.h>

#include <memory>

#include "backoff.h"
#include "clientfixture.h"

using namespace clienttest;
typedef cObjectClient::cMsgReg cMsgReg;

namespace {

// Segment `index` of `total` (a whole message by default) of the given type
// and sequence, carrying one device per serial.
VMsg* replyOf(unsigned char type, unsigned char seq, std::initializer_list<unsigned int> serials,
              unsigned short index = 0, unsigned short total = 1) {
    cObjectList list;
    for (unsigned int s : serials) list.add(device(s));
    list.setMsgType(type);
    list.setMsgSeq(seq);
    VMsg* msg = list.toMsg();
    msg->setSegment(index, total);
    list.deleteObjects();
    return msg;
}

struct Request {
    Request(unsigned char type, unsigned char seq, int transmissions = 3)
        : reg(&list, transmissions) {
        list.setMsgType(type);
        list.setMsgSeq(seq);
    }
    ~Request() {
        if (cObjectList* rx = reg.parseReply()) {
            rx->deleteObjects();
            delete rx;
        }
    }
    cObjectList list;
    cMsgReg reg;
};

}  // namespace

TEST(MsgReg, TransmissionsRunOutIntoGivingUp) {
    struct Case {
        int limit;
        std::vector<int> statusAfterEach;
    } cases[] = {
        {3, {2, 2, 1}},
        {1, {1}},
        {5, {2, 2, 2, 2, 1}},
    };
    for (const Case& c : cases) {
        Request r(1, 0, c.limit);
        EXPECT_EQ(cMsgReg::MSG_AWAITING, r.reg.rxStatus());
        for (std::size_t i = 0; i < c.statusAfterEach.size(); ++i) {
            r.reg.incTx();
            EXPECT_EQ(c.statusAfterEach[i], r.reg.rxStatus()) << "limit " << c.limit << " tx " << i + 1;
        }
    }
    LogCapture log;
    Request r(1, 0);
    for (int i = 0; i < 3; ++i) r.reg.incTx();
    EXPECT_TRUE(log.has("cObjectClient::cMsgReg", log4cpp::Priority::DEBUG, "TxCounter = 3, status = 1"));
}

TEST(MsgReg, MatchesOnlyItsTypeAndSequence) {
    Request r(1, 5);
    struct Case {
        unsigned char type, seq;
        int taken;
    } cases[] = {{0, 5, 0}, {1, 6, 0}, {2, 5, 0}, {1, 5, 1}};
    for (const Case& c : cases) {
        VMsg* msg = replyOf(c.type, c.seq, {7});
        const int taken = r.reg.msgMatch(msg);
        EXPECT_EQ(c.taken, taken) << int(c.type) << "/" << int(c.seq);
        if (!taken) delete msg;
    }
    ASSERT_NE(nullptr, r.reg.parseReply());
    EXPECT_TRUE(r.reg.msgComplete());
    EXPECT_EQ(1, r.reg.getRxMsg()->getMsgType());
    EXPECT_EQ(5, r.reg.getRxMsg()->getMsgSeq());
    EXPECT_FALSE(r.reg.getRxMsg()->isEvent());
}

// Segments are kept once each, in any order; the reply is whole only when
// every place is filled, and it keeps the segments' order, not arrival's.
TEST(MsgReg, AssemblesSegmentsInAnyOrderOnce) {
    Request r(1, 9);
    EXPECT_EQ(cMsgReg::MATCH_KEPT, r.reg.msgMatch(replyOf(1, 9, {4, 5}, 2, 3)));
    EXPECT_EQ(cMsgReg::MATCH_KEPT, r.reg.msgMatch(replyOf(1, 9, {1, 2}, 0, 3)));
    EXPECT_EQ(cMsgReg::MATCH_DROPPED, r.reg.msgMatch(replyOf(1, 9, {1, 2}, 0, 3)));
    EXPECT_EQ(cMsgReg::MATCH_DROPPED, r.reg.msgMatch(replyOf(1, 9, {9}, 1, 4)));  // another shape
    EXPECT_FALSE(r.reg.msgComplete());
    EXPECT_EQ(nullptr, r.reg.parseReply());
    EXPECT_EQ(cMsgReg::MATCH_KEPT, r.reg.msgMatch(replyOf(1, 9, {3}, 1, 3)));
    EXPECT_TRUE(r.reg.msgComplete());
    ASSERT_NE(nullptr, r.reg.parseReply());
    EXPECT_EQ((std::vector<unsigned int>{1, 2, 3, 4, 5}), serials(r.reg.getRxMsg()));
    EXPECT_EQ(9, r.reg.getRxMsg()->getMsgSeq());
}

// Past its limit a reply is dropped whole, its memory given back, and
// what else comes for it is dropped too.
TEST(MsgReg, ReplyPastItsLimitIsDroppedWhole) {
    VAssemblyBudget budget(1024 * 1024);
    cObjectList list;
    list.setMsgType(1);
    list.setMsgSeq(2);
    cMsgReg reg(&list, 3, &budget, 1000);
    EXPECT_EQ(cMsgReg::MATCH_KEPT, reg.msgMatch(replyOf(1, 2, {1}, 0, 3)));
    EXPECT_GT(budget.getHeld(), 0u);
    // Sixty devices take more than 1000 bytes on any machine, 32-bit or 64.
    cObjectList many;
    for (unsigned int s = 100; s < 160; ++s) many.add(device(s));
    many.setMsgType(1);
    many.setMsgSeq(2);
    VMsg* big = many.toMsg();
    many.deleteObjects();
    big->setSegment(1, 3);
    EXPECT_EQ(cMsgReg::MATCH_TOO_LARGE, reg.msgMatch(big));
    EXPECT_TRUE(reg.overflowed());
    EXPECT_EQ(0u, budget.getHeld());
    EXPECT_EQ(cMsgReg::MATCH_DROPPED, reg.msgMatch(replyOf(1, 2, {8}, 2, 3)));
    EXPECT_EQ(nullptr, reg.parseReply());
}

TEST(MsgReg, SecondCompleteReplyIsLeftForTheListeners) {
    Request r(1, 3);
    ASSERT_EQ(1, r.reg.msgMatch(replyOf(1, 3, {1})));
    std::unique_ptr<VMsg> second(replyOf(1, 3, {2}));
    EXPECT_EQ(0, r.reg.msgMatch(second.get()));
    cObjectList* first = r.reg.parseReply();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(std::vector<unsigned int>{1}, serials(first));
}

TEST(MsgReg, AnswerToTheLastTransmissionIsTaken) {
    Request r(1, 3, 1);
    r.reg.incTx();
    ASSERT_EQ(cMsgReg::MSG_GAVE_UP, r.reg.rxStatus());
    EXPECT_EQ(1, r.reg.msgMatch(replyOf(1, 3, {1})));
    ASSERT_NE(nullptr, r.reg.parseReply());
    EXPECT_EQ(std::vector<unsigned int>{1}, serials(r.reg.getRxMsg()));
}

TEST(MsgReg, PartialReplyIsFreedWithTheEntry) {
    // Run under the leak checker: the first segment belongs to the entry.
    Request r(1, 4);
    EXPECT_EQ(1, r.reg.msgMatch(replyOf(1, 4, {1}, 0, 2)));
}
TEST(Backoff, DoublesToItsCeilingAndStartsOverAfterSuccess) {
    wqx::Backoff b(1, 1000);
    const unsigned int expected[] = {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1000, 1000};
    for (unsigned int e : expected) EXPECT_EQ(e, b.next());
    b.reset();
    EXPECT_EQ(1u, b.next());
}
