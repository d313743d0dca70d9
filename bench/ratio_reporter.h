// Console output as usual, then a summary: ns per object of every format
// and the ratio of our path to each peer, per records and list length.
// Benchmarks are named "<path>/<format>/<direction>/<records>" with the list
// length as their argument; the summary reads each run's items_per_second
// (objects per CPU second), preferring the median when repetitions give one.
#ifndef WQX_BENCH_RATIO_REPORTER_H
#define WQX_BENCH_RATIO_REPORTER_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) take(r);
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nSummary: encode + decode, ns per object\n");
        for (const char* records : {"device", "mixed"})
            for (const char* n : {"1", "100", "1000"}) summarise(records, n);
    }

private:
    // "msg/ours/encode/mixed" + "100" -> ns per object
    std::map<std::string, double> nsPerObject_;

    void take(const Run& r) {
        if (r.error_occurred) return;
        const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
        if (r.run_type == Run::RT_Aggregate && !median) return;
        auto it = r.counters.find("items_per_second");
        if (it == r.counters.end() || it->second.value <= 0) return;
        const std::string key = r.run_name.function_name + "@" + r.run_name.args;
        if (median || !nsPerObject_.count(key)) nsPerObject_[key] = 1e9 / it->second.value;
    }

    // Encode plus decode, or a negative number when either is missing.
    double both(const std::string& path, const std::string& format, const std::string& records,
                const std::string& n) const {
        auto get = [&](const char* dir) {
            auto it = nsPerObject_.find(path + "/" + format + "/" + dir + "/" + records + "@" + n);
            return it == nsPerObject_.end() ? -1e30 : it->second;
        };
        return get("encode") + get("decode");
    }

    void summarise(const std::string& records, const std::string& n) const {
        const double ours = both("msg", "ours", records, n);
        const double tlv = both("msg", "tlv", records, n);
        const double mp = both("msg", "msgpack", records, n);
        const double js = both("json", "ours", records, n);
        const double raw = both("json", "jansson", records, n);
        if (ours < 0 && js < 0) return;
        std::printf("%-6s n=%-4s", records.c_str(), n.c_str());
        if (ours > 0) {
            std::printf("  msg ns/obj: ours %.0f", ours);
            peer("tlv", ours, tlv);
            peer("msgpack", ours, mp);
        }
        if (js > 0) {
            std::printf("  json ns/obj: ours %.0f", js);
            peer("jansson", js, raw);
        }
        std::printf("\n");
    }

    // A peer's time and our ratio to it; just "-" for a peer a filter left out.
    static void peer(const char* name, double ours, double theirs) {
        if (theirs > 0)
            std::printf(" %s %.0f (ours/%s %.2fx)", name, theirs, name, ours / theirs);
        else
            std::printf(" %s -", name);
    }
};

#endif
