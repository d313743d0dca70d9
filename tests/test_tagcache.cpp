// Tag memory is reused across tag types and threads: a tag built in the
// block of a freed tag of another type, or on a thread other than the one
// that freed it, must hold exactly its own value. The cache is off under
// ASan, so run these under valgrind memcheck as well: it reports a block too
// small for the tag built in it, and blocks a finished thread kept.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <memory>
#include <thread>
#include <vector>

#include "velmor.h"
#include "wiretest.h"

namespace {

struct Maker {
    const char* name;
    std::function<VTag*(int)> make;
};

// One of every tag class, their values derived from i.
const Maker kMakers[] = {
    {"none", [](int i) { return VTagFactory::createVTag(static_cast<unsigned char>(i)); }},
    {"text", [](int i) { return VTagFactory::createVTag(9, std::to_string(i * 7919).c_str()); }},
    {"long text",
     [](int i) { return VTagFactory::createVTag(9, std::string(40 + i % 7, 'a' + i % 26).c_str()); }},
    {"u32", [](int i) { return VTagFactory::createVTag(8, 0x01000000u + static_cast<unsigned>(i)); }},
    {"u16", [](int i) { return VTagFactory::createVTag(18, static_cast<unsigned short>(i)); }},
    {"u8", [](int i) { return VTagFactory::createVTag(6, static_cast<unsigned char>(i)); }},
    {"float", [](int i) { return VTagFactory::createVTag(49, 0.5f * i, false); }},
    {"bytes",
     [](int i) {
         const unsigned char b[3] = {static_cast<unsigned char>(i), 0xEE, 0x01};
         return VTagFactory::createVTag(200, static_cast<const void*>(b), 3);
     }},
};

using wiretest::describe;

TEST(TagCache, TagBuiltInAnotherTypesFreedBlockHoldsItsOwnValue) {
    for (const Maker& freed : kMakers)
        for (const Maker& built : kMakers) {
            SCOPED_TRACE(std::string(freed.name) + " freed, " + built.name + " built");
            for (int i = 0; i < 20; ++i) delete freed.make(i);
            std::unique_ptr<VTag> expected(built.make(3));
            const std::string want = describe(expected.get());
            std::vector<std::unique_ptr<VTag>> reused;
            for (int i = 0; i < 20; ++i) reused.emplace_back(built.make(3));
            for (const auto& t : reused) EXPECT_EQ(describe(t.get()), want);
        }
}

TEST(TagCache, TagsMadeOnOneThreadFreedOnAnotherAndRemadeKeepTheirValues) {
    const int kCount = 20000;  // more than one thread's cache keeps
    std::vector<VTag*> made;
    std::thread maker([&] {
        for (int i = 0; i < kCount; ++i) made.push_back(kMakers[i % 8].make(i));
    });
    maker.join();
    std::thread freer([&] {
        for (VTag* t : made) delete t;  // fills this thread's cache, then spills
        for (int i = 0; i < kCount; ++i) {
            std::unique_ptr<VTag> t(kMakers[i % 8].make(i));
            std::unique_ptr<VTag> fresh(kMakers[i % 8].make(i));
            ASSERT_EQ(describe(t.get()), describe(fresh.get())) << i;
        }
    });  // ends with a full cache, which goes back with the thread
    freer.join();
    VMsg msg(1);
    for (int i = 0; i < 100; ++i) msg.addTag(kMakers[i % 8].make(i));
    std::unique_ptr<VMsg> back(wiretest::parseHex(wiretest::encode(msg)));
    ASSERT_TRUE(back);
    for (int i = 0; i < 100; ++i) {
        std::unique_ptr<VTag> want(kMakers[i % 8].make(i));
        EXPECT_EQ(describe(back->getTags()[i]), describe(want.get())) << i;
    }
}

}  // namespace
