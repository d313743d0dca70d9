#include <gtest/gtest.h>

#include <string>

#include "adhoc.h"
#include "logcapture.h"
#include "objecttest.h"

using namespace objecttest;

namespace {

const unsigned int U = 0xFFFFFFFF;

struct AdhocFields {
    unsigned int seq, time, dev, port;
    const char* label;
    const char* value;
    unsigned int start;
};

cObjectAdhocEvent* makeAdhoc(const AdhocFields& f) {
    cObjectAdhocEvent* e = new cObjectAdhocEvent;
    e->setSequenceNumber(f.seq);
    e->setTimeStamp(f.time);
    e->setDeviceSerial(f.dev);
    e->setPortId(f.port);
    e->setEventLabel(f.label);
    e->setEventValue(f.value);
    e->setStartSeq(f.start);
    return e;
}

void expectFields(const cObject* o, const AdhocFields& f, const std::string& context) {
    const cObjectAdhocEvent* e = dynamic_cast<const cObjectAdhocEvent*>(o);
    ASSERT_NE(e, nullptr) << context;
    EXPECT_EQ(e->getSequenceNumber(), f.seq) << context;
    EXPECT_EQ(e->getTimeStamp(), f.time) << context;
    EXPECT_EQ(e->getDeviceSerial(), f.dev) << context;
    EXPECT_EQ(e->getPortId(), f.port) << context;
    EXPECT_EQ(textOf(e->getEventLabel()), textOf(f.label)) << context;
    EXPECT_EQ(textOf(e->getEventValue()), textOf(f.value)) << context;
    EXPECT_EQ(e->getStartSeq(), f.start) << context;
}

const AdhocFields kUnset = {U, U, U, U, nullptr, nullptr, U};
const AdhocFields kFull = {41, 1700000000, 9, 3, "Door", "open", 1000};

}  // namespace

TEST(AdhocEvent, TagsOut) {
    struct Row {
        AdhocFields fields;
        Strings tags;
    } rows[] = {
        {kUnset, {"175"}},
        {{U, U, U, U, nullptr, nullptr, 1000}, {"175", "44 u32 1000"}},
        {kFull,
         {"175", "37 u32 41", "39 u32 1700000000", "8 u32 9", "25 u32 3", "176 'Door'", "177 'open'",
          "44 u32 1000"}},
    };
    for (const Row& r : rows) {
        std::unique_ptr<cObjectAdhocEvent> e(makeAdhoc(r.fields));
        EXPECT_EQ(tagsOf(*e), r.tags);
    }
}

TEST(AdhocEvent, TagsIn) {
    const std::string longText(400, 'z');
    struct Row {
        VTag* tag;
        AdhocFields expected;
    } rows[] = {
        {new VTagUInt32(8, 9u), {U, U, 9, U, nullptr, nullptr, U}},
        {new VTagUInt32(25, 3u), {U, U, U, 3, nullptr, nullptr, U}},
        {new VTagUInt32(37, 41u), {41, U, U, U, nullptr, nullptr, U}},
        {new VTagUInt32(39, 7u), {U, 7, U, U, nullptr, nullptr, U}},
        {new VTagUInt32(44, 1000u), {U, U, U, U, nullptr, nullptr, 1000}},
        {new VTagString(176, "Door", 4), {U, U, U, U, "Door", nullptr, U}},
        {new VTagString(177, longText.c_str(), longText.size()), {U, U, U, U, nullptr, longText.c_str(), U}},
    };
    for (const Row& r : rows) {
        const std::string what = tagText(r.tag);
        cObjectAdhocEvent e;
        EXPECT_TRUE(TagGroup().add(r.tag).feed(e));
        expectFields(&e, r.expected, what);
    }
    cObjectAdhocEvent e;
    expectUnknownTag(e, new VTagUInt32(18, 1u), "cObjectAdhocEvent", "Unknown Tag 12(18)");
    expectFields(&e, kUnset, "unknown tag");
}

TEST(AdhocEvent, JsonOut) {
    std::unique_ptr<cObjectAdhocEvent> unset(makeAdhoc(kUnset));
    std::unique_ptr<cObjectAdhocEvent> full(makeAdhoc(kFull));
    EXPECT_EQ(jsonOf(*unset),
              R"([{"TAG_DEV_ID": -1}, {"TAG_IO_PNUM": -1}, {"TAG_EVT_SEQ": -1}, {"TAG_EVT_TIMESTAMP": -1}, )"
              R"({}, {}, {"TAG_EVT_START_SEQ": -1}])");
    EXPECT_EQ(jsonOf(*full),
              R"([{"TAG_DEV_ID": 9}, {"TAG_IO_PNUM": 3}, {"TAG_EVT_SEQ": 41}, {"TAG_EVT_TIMESTAMP": 1700000000}, )"
              R"({"TAG_ADHOC_LABEL": "Door"}, {"TAG_ADHOC_VALUE": "open"}, {"TAG_EVT_START_SEQ": 1000}])");
}

TEST(AdhocEvent, JsonIn) {
    struct Row {
        const char* json;
        bool ok;
        const char* warning;
        AdhocFields expected;
    } rows[] = {
        {R"([{"TAG_DEV_ID": 9, "TAG_IO_PNUM": 3, "TAG_EVT_SEQ": 41, "TAG_EVT_TIMESTAMP": 1700000000,
              "TAG_ADHOC_LABEL": "Door", "TAG_ADHOC_VALUE": "open", "TAG_EVT_START_SEQ": 1000}])",
         true, nullptr, kFull},
        {R"(["x", {"TAG_EVT_SEQ": 2}])", true, "object in adhoc parse not a JSON array ",
         {2, U, U, U, nullptr, nullptr, U}},
        {R"(null)", false, "object in adhoc parse not a JSON array ", kUnset},
        {R"([{"TAG_DEV_ID": 9, "TAG_IO_PNUM": 3, "TAG_EVT_SEQ": 41, "TAG_EVT_TIMESTAMP": 7,
              "TAG_EVT_START_SEQ": 1000.0, "TAG_ADHOC_LABEL": "Door"}])",
         false, "startSeq in adhoc parse not a number", {41, 7, 9, 3, nullptr, nullptr, U}},
        {R"([{"TAG_DEV_ID": "9"}])", false, "devID in adhoc parse not a number", kUnset},
        {R"([{"TAG_DEV_ID": 9, "TAG_IO_PNUM": [3]}])", false, "PortId in adhoc parse not a number",
         {U, U, 9, U, nullptr, nullptr, U}},
        {R"([{"TAG_EVT_SEQ": true}])", false, "seqNum in adhoc parse not a number", kUnset},
        {R"([{"TAG_EVT_TIMESTAMP": "now"}])", false, "TimeStamp in adhoc parse not a number", kUnset},
        // The start sequence is looked up before the texts.
        {R"([{"TAG_ADHOC_LABEL": 1, "TAG_EVT_START_SEQ": 5}])", false,
         "Event label in adhoc parse not a string", {U, U, U, U, nullptr, nullptr, 5}},
        {R"([{"TAG_ADHOC_LABEL": "Door", "TAG_ADHOC_VALUE": {}}])", false,
         "Event Value in adhoc parse not a string", {U, U, U, U, "Door", nullptr, U}},
    };
    for (const Row& r : rows) {
        cObjectAdhocEvent e;
        expectJsonParse(e, r.json, r.ok, r.warning);
        expectFields(&e, r.expected, r.json);
    }
}

TEST(AdhocEvent, Identity) {
    std::unique_ptr<cObjectAdhocEvent> a(makeAdhoc({5, 1, 1, 1, "A", "x", 1}));
    std::unique_ptr<cObjectAdhocEvent> sameSeq(makeAdhoc({5, 2, 2, 2, nullptr, nullptr, U}));
    std::unique_ptr<cObjectAdhocEvent> later(makeAdhoc({0x80000000u, U, U, U, nullptr, nullptr, U}));
    std::unique_ptr<cObject> access(cObject::create(cObject::OBJ_ACCESS));
    expectIdentity(*a, *sameSeq, *later, *access);  // the sequence compared unsigned
    EXPECT_STREQ(a->printKey(), "");
}

TEST(AdhocEvent, CloneAndRoundTrips) {
    // The clone outlives its source: it owns its own texts.
    cObjectAdhocEvent* source = makeAdhoc(kFull);
    std::unique_ptr<cObject> full(source->clone());
    delete source;
    expectFields(full.get(), kFull, "clone");
    std::unique_ptr<cObjectAdhocEvent> unset(makeAdhoc(kUnset));
    cObjectList list;
    list.add(full.get());
    list.add(unset.get());
    for (Trip trip : kTrips) {
        LogCapture log;
        ListPtr back = trip(list);
        const std::vector<cObject*> got = objectsOf(*back);
        ASSERT_EQ(got.size(), 2u);
        expectFields(got[0], kFull, tripName(trip));
        expectFields(got[1], kUnset, tripName(trip));
        // The document reader logs the label of each ad hoc event it reads.
        const bool fromDocument = trip == throughDocument;
        EXPECT_EQ(log.has("cObject", log4cpp::Priority::WARN, "Eventlabel:'Door'"), fromDocument);
        EXPECT_EQ(log.has("cObject", log4cpp::Priority::WARN, "Eventlabel:''"), fromDocument);
    }
}

TEST(AdhocEvent, DocumentLogsTheLabelOfEachAdhocEntry) {
    // The label is logged after the parse, also when the parse stopped
    // early, and the half-read event is still kept.
    const char* document =
        R"([[{"objectType": "OBJ_ADHOC_EVENT"}, {"objectValues": [{"TAG_ADHOC_LABEL": "50% off"}, {"TAG_EVT_SEQ": "x"}]}],)"
        R"( [{"objectType": "OBJ_ACCESS"}, {"objectValues": [{"TAG_ADHOC_LABEL": "Gate"}]}]])";
    LogCapture log;
    ListPtr doc(cObject::parseJSON(document));
    ASSERT_EQ(doc->numObjects(), 2);
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::WARN, "seqNum in adhoc parse not a number"));
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::WARN, "Eventlabel:'50% off'"));
    EXPECT_FALSE(log.has("Eventlabel:'Gate'"));
    EXPECT_STREQ(dynamic_cast<cObjectAdhocEvent*>(doc->first())->getEventLabel(), "50% off");
}

TEST(RecordTypes, CreateGivesTheClassOfEachType) {
    const struct {
        cObject::eObjectTypes type;
        const char* wireCode;
    } rows[] = {{cObject::OBJ_ANALOG_SAMPLE, "63"},
                {cObject::OBJ_ACCESS, "73"},
                {cObject::OBJ_CAPABILITY, "171"},
                {cObject::OBJ_ADHOC_EVENT, "175"}};
    for (const auto& r : rows) {
        std::unique_ptr<cObject> o(cObject::create(r.type));
        ASSERT_NE(o, nullptr) << r.wireCode;
        EXPECT_EQ(o->getType(), r.type);
        EXPECT_EQ(tagsOf(*o), Strings{r.wireCode});
        std::unique_ptr<cObject> copy(o->clone());
        EXPECT_EQ(copy->getType(), r.type);
    }
}
