// Our message and JSON forms side by side with the formats a program would
// pick instead, on the same records in the same run:
//   msg/ours     toMsg, segmentMessage(1024), getMsg per segment; back with
//                VMsg::parseMsg per datagram and cObject::parseMsg
//   msg/tlv      a minimal hand-written codec of the same wire format (floor)
//   msg/msgpack  msgpack-c, array form
//   json/ours    cObject::getJSON and cObject::parseJSON
//   json/jansson jansson's own calls building, dumping, loading and reading
//                the same document
// Records: "device" (a list of devices) and "mixed" (every class in turn),
// each object with every field set; lists of 1, 100 and 1000 objects.
// Times are per object: items_per_second counts objects. The summary at the
// end gives encode plus decode per object and the ratio to each peer.
//
// Before timing, each dataset checks that the peers really carry the same
// data: the floor's datagrams equal ours byte for byte, every peer decodes
// what it encoded back to the records, and jansson's text equals ours.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "everyfield.h"
#include "jansson_raw.h"
#include "msgpack_codec.h"
#include "ratio_reporter.h"
#include "records.h"
#include "tlv_codec.h"

namespace {

using records::Record;
using Datagrams = std::vector<std::vector<unsigned char>>;

enum Kind { DEVICE, MIXED };
const char* const kKindNames[] = {"device", "mixed"};
const int kTypeCount = cObject::OBJ_NONE;

// One list of objects and every form of it the benchmarks start from.
struct Dataset {
    cObjectList list;
    std::vector<Record> recs;
    std::vector<records::JsonRecord> json;
    std::unique_ptr<mpk::Schema> schema;
    Datagrams grams;
    std::vector<char> packed;
    std::string text;
    std::size_t readable = 0;  // objects our readers make (message info is never read)
    std::string problem;       // why the peers do not carry the same data

    ~Dataset() { list.deleteObjects(); }
};

cObject* prototype(cObject::eObjectTypes type) {
    static std::unique_ptr<cObject> protos[kTypeCount];
    if (!protos[type]) protos[type].reset(everyfield::makeFull(type));
    return protos[type].get();
}

Datagrams ourDatagrams(cObjectList& list) {
    Datagrams out;
    std::unique_ptr<VMsg> msg(list.toMsg());
    msg->segmentMessage(1024);
    msg->resetSegment();
    unsigned char buf[1024];
    while (VMsg* seg = msg->getNextSegment()) {
        const unsigned short n = seg->getMsg(buf, sizeof buf);
        out.emplace_back(buf, buf + n);
    }
    return out;
}

// Names the first way in which the peers' data differs from ours, or "".
std::string check(Dataset& d) {
    Datagrams tlvGrams;
    tlv::encode(d.recs, d.list.getMsgType(), d.list.getMsgSeq(),
                [&](const unsigned char* p, std::size_t n) { tlvGrams.emplace_back(p, p + n); });
    if (tlvGrams != d.grams) return "hand-written datagrams differ from ours";
    std::vector<Record> back;
    for (const auto& g : d.grams)
        if (!tlv::decode(g.data(), g.size(), back)) return "hand-written decoder refused a datagram";
    if (back != d.recs) return "hand-written decoder lost fields";
    back.clear();
    if (!mpk::decode(d.packed.data(), d.packed.size(), *d.schema, back) || back != d.recs)
        return "msgpack round trip lost fields";
    char* raw = rawjson::build(d.json);
    const bool same = d.text == raw;
    std::free(raw);
    if (!same) return "jansson's document differs from ours";
    std::vector<rawjson::ReadRecord> read;
    if (!rawjson::read(d.text.c_str(), read) || read.size() != d.json.size())
        return "jansson reader refused the document";
    std::unique_ptr<cObjectList> objs(cObject::parseJSON(d.text.c_str()));
    const bool whole = static_cast<std::size_t>(objs->numObjects()) == d.readable;
    objs->deleteObjects();
    if (!whole) return "our JSON reader lost objects";
    return "";
}

Dataset& dataset(Kind kind, int n) {
    static std::map<std::pair<int, int>, std::unique_ptr<Dataset>> cache;
    std::unique_ptr<Dataset>& slot = cache[{kind, n}];
    if (slot) return *slot;
    slot.reset(new Dataset);
    Dataset& d = *slot;
    for (int i = 0; i < n; ++i) {
        const auto type = kind == DEVICE ? cObject::OBJ_DEVICE
                                         : static_cast<cObject::eObjectTypes>(i % kTypeCount);
        d.list.add(prototype(type)->clone());
        if (type != cObject::OBJ_MSG_INFO) ++d.readable;
    }
    d.list.setMsgType(1);
    d.list.setMsgSeq(5);
    d.recs = records::fromList(d.list);
    d.json = records::jsonFromList(d.list);
    d.schema.reset(new mpk::Schema(d.recs));
    d.grams = ourDatagrams(d.list);
    msgpack_sbuffer sbuf;
    msgpack_sbuffer_init(&sbuf);
    mpk::encode(d.recs, &sbuf);
    d.packed.assign(sbuf.data, sbuf.data + sbuf.size);
    msgpack_sbuffer_destroy(&sbuf);
    char* text = cObject::getJSON(&d.list);
    d.text = text;
    cObject::deleteJSON(text);
    d.problem = check(d);
    return d;
}

// Every timed call goes through here, never inlined and never left by a
// tail call, so that bench/instructions.sh can count exactly the bodies.
__attribute__((noinline)) void timed(void (*body)(Dataset&), Dataset& d) {
    body(d);
    benchmark::ClobberMemory();
}

// Runs body once per iteration on the dataset of the benchmark's arguments
// and counts its objects.
void run(benchmark::State& state, Kind kind, void (*body)(Dataset&)) {
    Dataset& d = dataset(kind, static_cast<int>(state.range(0)));
    if (!d.problem.empty()) {
        state.SkipWithError(d.problem.c_str());
        return;
    }
    for (auto _ : state) timed(body, d);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// ---- the message form ----

void oursEncode(Dataset& d) {
    std::unique_ptr<VMsg> msg(d.list.toMsg());
    msg->segmentMessage(1024);
    msg->resetSegment();
    unsigned char buf[1024];
    while (VMsg* seg = msg->getNextSegment()) {
        benchmark::DoNotOptimize(seg->getMsg(buf, sizeof buf));
        benchmark::ClobberMemory();
    }
}

void oursDecode(Dataset& d) {
    for (const auto& g : d.grams) {
        std::unique_ptr<VMsg> msg(VMsg::parseMsg(g.data(), static_cast<unsigned short>(g.size())));
        std::unique_ptr<cObjectList> objs(cObject::parseMsg(msg.get()));
        benchmark::DoNotOptimize(objs->numObjects());
        objs->deleteObjects();
    }
}

void tlvEncode(Dataset& d) {
    std::size_t bytes = 0;
    tlv::encode(d.recs, 1, 5, [&bytes](const unsigned char* p, std::size_t n) {
        benchmark::DoNotOptimize(p);
        bytes += n;
        benchmark::ClobberMemory();
    });
    benchmark::DoNotOptimize(bytes);
}

void tlvDecode(Dataset& d) {
    std::vector<Record> out;
    out.reserve(d.recs.size());
    for (const auto& g : d.grams) tlv::decode(g.data(), g.size(), out);
    benchmark::DoNotOptimize(out.data());
}

void msgpackEncode(Dataset& d) {
    // One buffer reused across iterations, as a sender would keep it.
    static msgpack_sbuffer sbuf = [] {
        msgpack_sbuffer b;
        msgpack_sbuffer_init(&b);
        return b;
    }();
    msgpack_sbuffer_clear(&sbuf);
    mpk::encode(d.recs, &sbuf);
    benchmark::DoNotOptimize(sbuf.data);
    benchmark::ClobberMemory();
}

void msgpackDecode(Dataset& d) {
    std::vector<Record> out;
    out.reserve(d.recs.size());
    mpk::decode(d.packed.data(), d.packed.size(), *d.schema, out);
    benchmark::DoNotOptimize(out.data());
}

// ---- the JSON form ----

void oursJsonEncode(Dataset& d) { cObject::deleteJSON(cObject::getJSON(&d.list)); }

void oursJsonDecode(Dataset& d) {
    std::unique_ptr<cObjectList> objs(cObject::parseJSON(d.text.c_str()));
    benchmark::DoNotOptimize(objs->numObjects());
    objs->deleteObjects();
}

void janssonEncode(Dataset& d) { std::free(rawjson::build(d.json)); }

void janssonDecode(Dataset& d) {
    std::vector<rawjson::ReadRecord> out;
    out.reserve(d.json.size());
    rawjson::read(d.text.c_str(), out);
    benchmark::DoNotOptimize(out.data());
}

struct Case {
    const char* name;
    void (*body)(Dataset&);
};

const Case kCases[] = {
    {"msg/ours/encode", oursEncode},         {"msg/ours/decode", oursDecode},
    {"msg/tlv/encode", tlvEncode},           {"msg/tlv/decode", tlvDecode},
    {"msg/msgpack/encode", msgpackEncode},   {"msg/msgpack/decode", msgpackDecode},
    {"json/ours/encode", oursJsonEncode},    {"json/ours/decode", oursJsonDecode},
    {"json/jansson/encode", janssonEncode},  {"json/jansson/decode", janssonDecode},
};

void registerAll() {
    for (Kind kind : {DEVICE, MIXED})
        for (const Case& c : kCases) {
            const std::string name = std::string(c.name) + "/" + kKindNames[kind];
            benchmark::RegisterBenchmark(name.c_str(), [kind, c](benchmark::State& state) {
                run(state, kind, c.body);
            })->Arg(1)->Arg(100)->Arg(1000);
        }
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
