// Conversion costs of whole lists: to a message and its datagrams, back from
// datagrams to objects, and to and from the JSON document. Figures are per
// object (items_per_second is objects per second).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "sample_objects.h"

namespace {

using Datagrams = std::vector<std::vector<unsigned char>>;

Datagrams encode(cObjectList& list) {
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

void BM_ToDatagrams(benchmark::State& state) {
    SampleList list(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(encode(list.get()));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_FromDatagrams(benchmark::State& state) {
    SampleList list(static_cast<int>(state.range(0)));
    const Datagrams grams = encode(list.get());
    for (auto _ : state) {
        for (const auto& g : grams) {
            std::unique_ptr<VMsg> msg(VMsg::parseMsg(g.data(), static_cast<unsigned short>(g.size())));
            std::unique_ptr<cObjectList> objs(cObject::parseMsg(msg.get()));
            objs->deleteObjects();
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_GetJSON(benchmark::State& state) {
    SampleList list(static_cast<int>(state.range(0)));
    for (auto _ : state) cObject::deleteJSON(cObject::getJSON(&list.get()));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ParseJSON(benchmark::State& state) {
    SampleList list(static_cast<int>(state.range(0)));
    char* text = cObject::getJSON(&list.get());
    for (auto _ : state) {
        std::unique_ptr<cObjectList> objs(cObject::parseJSON(text));
        objs->deleteObjects();
    }
    cObject::deleteJSON(text);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_ToDatagrams)->Arg(1)->Arg(100)->Arg(1000);
BENCHMARK(BM_FromDatagrams)->Arg(1)->Arg(100)->Arg(1000);
BENCHMARK(BM_GetJSON)->Arg(1)->Arg(100)->Arg(1000);
BENCHMARK(BM_ParseJSON)->Arg(1)->Arg(100)->Arg(1000);
