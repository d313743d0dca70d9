// Requests and replies against the simulator over loopback: what a request
// returns is the whole reply to it or null, whatever the server or the link
// does to the answers.
#include <algorithm>

#include "clientfixture.h"
#include "msginfo.h"
#include "sitecfg.h"

using namespace clienttest;

// A list is answered with the whole reply, marked with the request's type
// and sequence; a message info in front of a request asks for identities
// only, or for at most so many objects (0: no limit).
TEST_F(ClientTest, GetReturnsTheReplyAtTheFirstTransmission) {
    // The simulator's devices are 1001 to 1004.
    auto every = own(new cObjectDevice);
    for (unsigned int most : {1u, 2u, 0u}) {
        cObjectMsgInfo* info = new cObjectMsgInfo;
        info->setMaxReplies(most);
        OwnedList asked = listOf({info, new cObjectDevice});
        OwnedList reply(client->get(asked.get()));
        ASSERT_NE(nullptr, reply);
        EXPECT_EQ(range(1001, most ? most : 4), serials(reply.get()));
        EXPECT_EQ(1, reply->getMsgType());
        EXPECT_EQ(asked->getMsgSeq(), reply->getMsgSeq());
        EXPECT_FALSE(reply->isEvent());
        EXPECT_STREQ("Pump house RTU", static_cast<cObjectDevice*>(reply->first())->getDeviceLabel());
    }
    OwnedList indexes(client->getIndexes(every.get()));
    EXPECT_EQ(range(1001, 4), serials(indexes.get()));
    for (cObject* o = indexes ? indexes->first() : nullptr; o; o = indexes->next())
        EXPECT_EQ(nullptr, static_cast<cObjectDevice*>(o)->getDeviceLabel());
    EXPECT_EQ((std::vector<unsigned char>{65, 5}), requests(4).at(3).objectCodes);
    EXPECT_EQ(0u, fetch(*client, 4242));
    EXPECT_EQ(0u, counters().retransmissions);
    EXPECT_EQ(0u, counters().requestsGivenUp);  // the unknown device was answered, just empty
}

// Answers no request takes go to the listeners with the type and sequence
// they came with; those to a request already answered or ended count as late.
TEST_F(ClientTest, AnswersNoRequestTakesAreEvents) {
    // answered: the request takes the answer to its one transmission, else
    // it takes none of three.
    const struct { const char* name; Faults faults; bool answered; unsigned char type; unsigned int late; } cases[] = {
        {"every answer twice", faults([](Faults& f) { f.duplicate = true; }), true, 1, 1},
        {"answers held until the request gave up", faults([](Faults& f) { f.hold = true; }), false, 1, 3},
        {"answered with another type", faults([](Faults& f) { f.replyType = 0; }), false, 0, 0},
    };
    std::size_t stray = 0;  // answers not taken so far: also the transmissions so far
    OwnedList asked = listOf({device(1002)});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.setFaults(c.faults);
        client->setReplyWait(c.answered ? kPatienceMs : kShortWaitMs);
        const unsigned int late = counters().lateReplies;
        EXPECT_EQ(c.answered, OwnedList(client->get(asked.get())) != nullptr);
        stray += c.answered ? 1 : 3;
        ASSERT_EQ(stray, requests(stray).size());
        sim.releaseHeld();
        // One event for each answer the request did not take.
        ASSERT_TRUE(events.waitFor(stray));
        for (const Seen& s : events.seen()) {
            if (s.seq != asked->getMsgSeq()) continue;
            EXPECT_EQ(c.type, s.type);
            EXPECT_EQ(std::vector<unsigned int>{1002}, s.serials);
        }
        EXPECT_EQ(c.late, counters().lateReplies - late);
    }
}

// Requests are numbered 1 to 127 and start again at 1: 0 is the ping's. A
// send goes out with its list's own type and waits for nothing; the
// server's answer is an event.
TEST_F(ClientTest, SequenceRunsFromOneTo127AndWrapsToOne) {
    OwnedList list = listOf({device(1004)});
    list->setMsgType(5);
    for (int i = 1; i <= 127; ++i) {
        EXPECT_EQ(nullptr, client->send(list.get()));
        EXPECT_EQ(i, list->getMsgSeq());
    }
    EXPECT_EQ(std::vector<unsigned int>{1004}, serials(OwnedList(client->get(list.get())).get()));
    EXPECT_EQ(1, list->getMsgSeq());
    ASSERT_TRUE(events.waitFor(127));
    for (const Seen& s : events.seen()) EXPECT_EQ(5, s.type);
    EXPECT_EQ(127, events.seen().back().seq);
}

// Thirty devices with 100-character labels: a reply of four datagrams to a
// request of one. Whatever the server does with the request's transmissions
// or the link with the segments of the answers, the request returns every
// object once, unchanged, or null: the answer to any of its three
// transmissions is taken, and a partial reply is sent for again, as a later
// answer may bring the rest.
TEST_F(ClientTest, TransmissionAndSegmentFaultsGiveTheWholeReplyOrNull) {
    OwnedList stored(new cObjectList), asked(new cObjectList);
    for (unsigned int i = 0; i < 30; ++i) {
        const std::string label(100, static_cast<char>('a' + i % 26));
        sim.add(device(3000 + i, label.c_str()));
        stored->add(device(3000 + i, label.c_str()));
        asked->add(device(3000 + i));
    }
    const struct { const char* name; Faults faults; bool whole; unsigned int retransmissions; } cases[] = {
        {"no fault", Faults(), true, 0},
        {"first transmission ignored", faults([](Faults& f) { f.dropRequests = 1; }), true, 1},
        {"two transmissions ignored", faults([](Faults& f) { f.dropRequests = 2; }), true, 2},
        {"segment 1 lost once", faults([](Faults& f) { f.loseSegment = 1; }), true, 1},
        {"segment 1 lost every time",
         faults([](Faults& f) { f.loseSegment = 1; f.loseSegmentAlways = true; }), false, 2},
        // The first answer lacks segment 1; the second goes out mixed with
        // a copy of the first.
        {"second answer interleaved with the first",
         faults([](Faults& f) { f.loseSegment = 1; f.interleaveAnswers = true; }), true, 1},
        {"last segment never sent", faults([](Faults& f) { f.stopBeforeLast = true; }), false, 2},
        {"every transmission ignored", faults([](Faults& f) { f.dropRequests = 3; }), false, 2},
    };
    // Long enough for an answer to come back before the next transmission
    // is due, even on a loaded machine.
    client->setReplyWait(stretched(200));
    std::size_t transmissions = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.setFaults(c.faults);
        const cObjectClient::cCounters before = counters();
        EXPECT_EQ(c.whole ? jsonOf(stored.get()) : "[]", jsonOf(OwnedList(client->get(asked.get())).get()));
        EXPECT_EQ(c.whole ? 0u : 1u, counters().requestsGivenUp - before.requestsGivenUp);
        EXPECT_EQ(c.retransmissions, counters().retransmissions - before.retransmissions);
        transmissions += 1 + c.retransmissions;
    }
    // Each transmission is the same message, sequence and all: the last
    // request's three.
    const auto sent = requests(transmissions);
    ASSERT_EQ(transmissions, sent.size());
    EXPECT_EQ(sent[transmissions - 3].bytes, sent[transmissions - 2].bytes);
    EXPECT_EQ(sent[transmissions - 3].bytes, sent[transmissions - 1].bytes);
}

// A site configuration of four long texts is cut across segments, both
// ways, and comes back whole.
TEST_F(ClientTest, ObjectLargerThanADatagramTravelsWhole) {
    auto site = [](char variant) {
        cObjectSiteConfig* s = new cObjectSiteConfig;
        s->setSiteId(std::string(250, variant).c_str());
        s->setSiteLabel(std::string(250, variant + 1).c_str());
        s->setNmsAddress(std::string(250, variant + 2).c_str());
        s->setSVPAddress(std::string(250, variant + 3).c_str());
        return s;
    };
    OwnedList stored = listOf({site('a')}), changed = listOf({site('k')}), asked = listOf({new cObjectSiteConfig});
    sim.add(site('a'));
    EXPECT_EQ(jsonOf(stored.get()), jsonOf(OwnedList(client->get(asked.get())).get()));
    // A set comes back as an event of what the server now holds.
    EXPECT_EQ(0, client->set(changed->first()));
    ASSERT_TRUE(events.waitFor(1));
    EXPECT_EQ(jsonOf(changed.get()), events.seen()[0].json);
    EXPECT_EQ(jsonOf(changed.get()), jsonOf(OwnedList(client->get(asked.get())).get()));
}

// Pings answered with a bare message of type 1, sequence 0, while requests
// run through every number twice: no request takes one for its reply.
TEST_F(ClientTest, EmptyPingAnswersNeverCompleteARequest) {
    // Each reply waits a moment, so that pings go out among the requests.
    sim.setFaults(faults([](Faults& f) { f.emptyPingAnswer = true; f.delayMs = 1; }));
    cObjectClient pinging;
    pinging.setPingInterval(1);
    ASSERT_EQ(1, pinging.start("127.0.0.1", sim.port()));
    // Nothing but the answers to pings is an event here.
    auto pingAnswers = [&] { return pinging.getCounters().eventsDelivered; };
    std::atomic<bool> stop(false);
    std::atomic<int> done(0), wrong(0);
    std::vector<std::thread> callers;
    for (unsigned int serial = 1001; serial <= 1003; ++serial)
        callers.emplace_back([&, serial] { for (; !stop; ++done) wrong += fetch(pinging, serial) != serial; });
    const bool enough = waitUntil([&] { return done >= 260 && pingAnswers() >= 10; });
    stop = true;
    for (std::thread& t : callers) t.join();
    EXPECT_TRUE(enough) << done << " requests, " << pingAnswers() << " ping answers";
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(0u, pinging.getCounters().requestsGivenUp);
}

// 127 callers while the server holds every reply: each request goes out
// with a number of its own. Another that cannot wait long enough for a
// number is refused with a warning; three more wait for numbers to come
// free. Released, each caller gets its own object.
TEST_F(ClientTest, EveryNumberInUseAtOnceAndEachCallerGetsItsOwnObject) {
    for (unsigned int i = 0; i < 130; ++i) sim.add(device(6000 + i));
    sim.setFaults(faults([](Faults& f) { f.hold = true; }));
    client->setReplyWait(10 * kPatienceMs);  // nobody retransmits
    std::atomic<int> wrong(0);
    std::vector<std::thread> callers;
    auto call = [&](unsigned int s) { callers.emplace_back([&, s] { wrong += fetch(*client, s) != s; }); };
    for (unsigned int i = 0; i < 127; ++i) call(6000 + i);
    std::vector<unsigned int> numbers;
    for (const auto& d : requests(127)) numbers.push_back(d.seq);
    client->setReplyWait(kShortWaitMs);
    EXPECT_EQ(0u, fetch(*client, 6000));
    EXPECT_EQ(1u, counters().requestsRefused);
    EXPECT_EQ(1, log.count("No sequence number free"));
    client->setReplyWait(10 * kPatienceMs);
    for (unsigned int i = 127; i < 130; ++i) call(6000 + i);
    sim.setFaults(Faults());
    sim.releaseHeld();
    for (std::thread& t : callers) t.join();
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(range(1, 127), numbers);
    EXPECT_EQ(0, wrong.load());
}
