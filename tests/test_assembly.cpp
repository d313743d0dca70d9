// Putting segmented messages together: segments in any order, each place
// taken once, other messages' segments refused, and what is held bounded
// per message and across messages. (Objects larger than one segment are
// the golden vectors' long texts and the client's tests.)
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "velmor.h"
#include "wiretest.h"

using namespace wiretest;

namespace {

typedef VMsgAssembly A;

const char* const kAnswers[] = {"part", "whole", "duplicate", "mismatch", "too large"};

// A message of type 1, sequence 9 and 2 * segments bytes-tags (number
// 200) of 500 bytes, each filled with its own position, so that tags out
// of order would show: two fill a segment, so it travels as exactly
// `segments` datagrams.
struct Segmented {
    explicit Segmented(int segments) : msg(1) {
        msg.setSeq(9);
        for (int i = 0; i < 2 * segments; ++i) {
            std::vector<unsigned char> value(500, static_cast<unsigned char>(i));
            msg.addTag(VTagFactory::createVTag(200, static_cast<const void*>(value.data()), 500));
        }
        datagrams = segmentDatagrams(msg);
        EXPECT_EQ(datagrams.size(), static_cast<std::size_t>(segments));
    }
    VMsg msg;
    std::vector<Bytes> datagrams;
};

// Offers one datagram; its answer's name, or "undecodable".
std::string offer(A& assembly, const Bytes& datagram) {
    VMsg* segment = parseBytes(datagram);
    return segment ? kAnswers[assembly.add(segment)] : "undecodable";
}

// Offers the datagrams in the given order; the answers, joined by blanks.
// It stops at a refusal for size: the assembly has forgotten the message
// then, and what its owner does with the rest is the owner's affair.
std::string feed(A& assembly, const std::vector<Bytes>& datagrams, const std::vector<int>& order) {
    std::string answers;
    for (int i : order) {
        const std::string answer = offer(assembly, datagrams[i]);
        answers += (answers.empty() ? "" : " ") + answer;
        if (answer == "too large") break;
    }
    return answers;
}

// The bytes a (not too small) assembly holds after each datagram, in order.
std::vector<std::size_t> heldAfterEach(const std::vector<Bytes>& datagrams) {
    A probe(64u << 20, nullptr);
    std::vector<std::size_t> held;
    for (const Bytes& d : datagrams) {
        offer(probe, d);
        held.push_back(probe.getHeldBytes());
    }
    return held;
}

struct OrderCase {
    std::vector<int> order;
    const char* answers;
};

TEST(Assembly, AnyOrderGivesTheSameMessage) {
    const OrderCase cases[] = {
        {{0, 1, 2, 3}, "part part part whole"},
        {{3, 2, 1, 0}, "part part part whole"},
        {{2, 0, 3, 1}, "part part part whole"},
        {{3, 0, 1, 2}, "part part part whole"},
        {{0, 2, 2, 1, 3}, "part part duplicate part whole"},
        {{3, 3, 0, 1, 2}, "part duplicate part part whole"},
        {{0, 1, 2, 3, 2}, "part part part whole mismatch"},
        {{0, 1, 3}, "part part part"},
        {{0, 1, 3, 3, 1, 0}, "part part part duplicate duplicate duplicate"},
        {{3}, "part"},
    };
    Segmented m(4);
    const std::string sent = encode(m.msg);
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.answers);
        A assembly(64u << 20, nullptr);
        EXPECT_EQ(feed(assembly, m.datagrams, c.order), c.answers);
        std::unique_ptr<VMsg> whole(assembly.take());
        EXPECT_EQ(whole != nullptr, std::string(c.answers).find("whole") != std::string::npos);
        if (whole) {
            // Every tag once, in the order sent; a whole message, 0 of 1.
            EXPECT_EQ(encode(*whole), sent);
            EXPECT_TRUE(whole->isWhole());
            EXPECT_TRUE(assembly.empty());
            EXPECT_EQ(assembly.getHeldBytes(), 0u);
        } else {
            EXPECT_FALSE(assembly.empty());
            assembly.clear();
            EXPECT_TRUE(assembly.empty());
        }
    }
}

// A segment that cannot belong to the message begun is dropped and changes
// nothing: the message still completes with its own tags only.
TEST(Assembly, SegmentsOfAnotherShapeAreDropped) {
    struct ShapeCase {
        const char* name;
        std::size_t at;  // header byte changed in the second segment
        unsigned char value;
    } cases[] = {
        {"other type", 3, 0x00},
        {"other sequence", 4, 0x08},
        {"other total", 8, 0x04},
        {"total 1: a whole message", 8, 0x01},
    };
    Segmented m(3);
    for (const ShapeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stranger = m.datagrams[1];
        stranger[c.at] = c.value;
        if (c.at == 8 && c.value == 1) stranger[6] = 0;  // segment 0 of 1
        A assembly(64u << 20, nullptr);
        EXPECT_EQ(offer(assembly, m.datagrams[0]), "part");
        EXPECT_EQ(offer(assembly, stranger), "mismatch");
        EXPECT_EQ(feed(assembly, m.datagrams, {1, 2}), "part whole");
        std::unique_ptr<VMsg> whole(assembly.take());
        ASSERT_TRUE(whole);
        EXPECT_EQ(encode(*whole), encode(m.msg));
    }
}

struct LimitCase {
    const char* name;
    int limitSegments;   // the per-message limit holds this many segments...
    int budgetSegments;  // ...the shared budget this many (-1: no budget)
    const char* answers;
};

// Whichever limit is passed, the segment that passes it is dropped and so
// is everything held: the message cannot be had, and nothing stays charged.
TEST(Assembly, LimitsRefuseAndFreeEverything) {
    const LimitCase cases[] = {
        {"both hold it all", 4, 4, "part part part whole"},
        {"no budget", 4, -1, "part part part whole"},
        {"limit passed at the fourth", 3, 4, "part part part too large"},
        {"limit passed at the first", 0, -1, "too large"},
        {"budget passed at the third", 4, 2, "part part too large"},
        {"budget passed at the first", 4, 0, "too large"},
    };
    Segmented m(4);
    const std::vector<std::size_t> held = heldAfterEach(m.datagrams);
    auto bytesFor = [&](int segments) { return segments ? held[segments - 1] : held[0] - 1; };
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.name);
        VAssemblyBudget budget(c.budgetSegments < 0 ? 0 : bytesFor(c.budgetSegments));
        A assembly(bytesFor(c.limitSegments), c.budgetSegments < 0 ? nullptr : &budget);
        EXPECT_EQ(feed(assembly, m.datagrams, {0, 1, 2, 3}), c.answers);
        const bool whole = std::string(c.answers).find("whole") != std::string::npos;
        std::unique_ptr<VMsg> msg(assembly.take());
        EXPECT_EQ(msg != nullptr, whole);
        EXPECT_TRUE(assembly.empty());
        EXPECT_EQ(assembly.getHeldBytes(), 0u);
        EXPECT_EQ(budget.getHeld(), 0u);
    }
}

// Two messages share one budget: the one that would pass it is refused and
// freed, the other goes on, and once it is taken nothing is charged.
TEST(Assembly, SharedBudgetAcrossMessages) {
    Segmented m(3);
    const std::vector<std::size_t> held = heldAfterEach(m.datagrams);
    VAssemblyBudget budget(held[1] + held[0]);  // two segments of one, the first of another
    A first(64u << 20, &budget), second(64u << 20, &budget);
    EXPECT_EQ(feed(first, m.datagrams, {0, 1}), "part part");
    EXPECT_EQ(feed(second, m.datagrams, {0}), "part");
    EXPECT_EQ(budget.getHeld(), held[1] + held[0]);
    EXPECT_EQ(feed(second, m.datagrams, {1}), "too large");
    EXPECT_EQ(budget.getHeld(), held[1]);
    EXPECT_EQ(feed(first, m.datagrams, {2}), "whole");
    std::unique_ptr<VMsg> whole(first.take());
    ASSERT_TRUE(whole);
    EXPECT_EQ(encode(*whole), encode(m.msg));
    EXPECT_EQ(budget.getHeld(), 0u);

    // What an assembly still holds when it goes is given back too.
    {
        A third(64u << 20, &budget);
        EXPECT_EQ(feed(third, m.datagrams, {2}), "part");
        EXPECT_GT(budget.getHeld(), 0u);
    }
    EXPECT_EQ(budget.getHeld(), 0u);
}

// A peer that announces 65535 segments must not make us keep room for them
// on its word: the first segment already counts the places it claims.
TEST(Assembly, HugeDeclaredTotalIsRefusedAtTheFirstSegment) {
    const Bytes claim = fromHex("0011 | 02 01 09 0000 FFFF 0001 | 08 02 0004 00000007");
    {
        A assembly(64 * 1024, nullptr);
        EXPECT_EQ(offer(assembly, claim), "too large");
        EXPECT_TRUE(assembly.empty());
    }
    VAssemblyBudget budget(64 * 1024);
    A assembly(64u << 20, &budget);
    EXPECT_EQ(offer(assembly, claim), "too large");
    EXPECT_EQ(budget.getHeld(), 0u);
}

}  // namespace
