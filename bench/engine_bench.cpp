// The table engine against SQLite on the dictionary workload: 100,000 words appended with the
// four tags kept, tags built, counted with and without a record filter, walked in WORD1 order,
// looked up, copied and opened with the tag check. Both run in this process on the same words;
// after the runs a table gives each operation's time on both and their ratio.
#include "EngineSide.h"
#include "SqliteSide.h"
#include "Workload.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

// Collects the mean real time of every run for the closing table.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            if (r.error_occurred || r.run_type != Run::RT_Iteration)
                continue;
            const double unit = benchmark::GetTimeUnitMultiplier(r.time_unit);
            times[r.run_name.function_name] = {r.GetAdjustedRealTime() / unit, r.GetAdjustedCPUTime() / unit};
        }
    }
    struct Times {
        double real = 0, cpu = 0; // seconds per iteration
    };
    std::map<std::string, Times> times;
};

// A failing operation is reported as that benchmark's error; the others still run.
template <class F>
void guarded(benchmark::State &state, F body)
{
    try {
        body();
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}

template <class Side>
Side &side()
{
    static Side s(Workload::instance());
    return s;
}

template <class Side>
void BM_Append(benchmark::State &state)
{
    guarded(state, [&] {
        for (auto _ : state) {
            state.PauseTiming();
            side<Side>().prepareEmptyWithIndexes();
            state.ResumeTiming();
            side<Side>().appendAll();
        }
        state.SetItemsProcessed(state.iterations() * int64_t(Workload::instance().words.size()));
    });
}

template <class Side>
void BM_BuildIndexes(benchmark::State &state)
{
    guarded(state, [&] {
        for (auto _ : state) {
            state.PauseTiming();
            side<Side>().prepareWithoutIndexes();
            state.ResumeTiming();
            side<Side>().buildIndexes();
        }
    });
}

template <class Side>
void BM_CountAll(benchmark::State &state)
{
    guarded(state, [&] {
        side<Side>().openBase();
        int64_t n = 0;
        for (auto _ : state)
            benchmark::DoNotOptimize(n = side<Side>().countAll());
        if (n != int64_t(Workload::instance().words.size()))
            state.SkipWithError("wrong count");
    });
}

template <class Side>
void BM_CountHalf(benchmark::State &state)
{
    guarded(state, [&] {
        side<Side>().openBase();
        int64_t n = 0;
        for (auto _ : state)
            benchmark::DoNotOptimize(n = side<Side>().countHalf());
        if (n != Workload::instance().halfCount)
            state.SkipWithError("wrong filtered count");
    });
}

template <class Side>
void BM_WalkWord1(benchmark::State &state)
{
    guarded(state, [&] {
        side<Side>().openBase();
        int64_t n = 0;
        for (auto _ : state)
            benchmark::DoNotOptimize(n = side<Side>().walkWord1());
        if (n != int64_t(Workload::instance().words.size()))
            state.SkipWithError("walk missed records");
    });
}

template <class Side>
void BM_Locate1000(benchmark::State &state)
{
    guarded(state, [&] {
        side<Side>().openBase();
        int64_t found = 0;
        for (auto _ : state)
            benchmark::DoNotOptimize(found = side<Side>().locateAll());
        if (found != int64_t(Workload::instance().lookups.size()))
            state.SkipWithError("lookups missed words");
    });
}

template <class Side>
void BM_CopyTo(benchmark::State &state)
{
    guarded(state, [&] {
        side<Side>().openBase();
        for (auto _ : state) {
            state.PauseTiming();
            side<Side>().removeCopy();
            state.ResumeTiming();
            side<Side>().copyTo();
        }
    });
}

template <class Side>
void BM_OpenChecked(benchmark::State &state)
{
    guarded(state, [&] {
        side<Side>().closeBase();
        for (auto _ : state) {
            side<Side>().openChecked();
            state.PauseTiming();
            side<Side>().closeBase();
            state.ResumeTiming();
        }
    });
}

template <class Side>
void BM_OpenCounted(benchmark::State &state)
{
    guarded(state, [&] {
        side<Side>().closeBase();
        int64_t n = 0;
        for (auto _ : state) {
            n = side<Side>().openCounted();
            state.PauseTiming();
            side<Side>().closeBase();
            state.ResumeTiming();
        }
        if (n != int64_t(Workload::instance().words.size()))
            state.SkipWithError("wrong count");
    });
}

struct Operation {
    const char *name;
    void (*engine)(benchmark::State &);
    void (*sqlite)(benchmark::State &);
    int iterations; // 0: let the library choose
};

const Operation operations[] = {
    {"append 100000 with 4 tags", BM_Append<EngineSide>, BM_Append<SqliteSide>, 1},
    {"build 4 tags", BM_BuildIndexes<EngineSide>, BM_BuildIndexes<SqliteSide>, 3},
    {"RecordCount, MISS order", BM_CountAll<EngineSide>, BM_CountAll<SqliteSide>, 0},
    {"RecordCount, filter passing half", BM_CountHalf<EngineSide>, BM_CountHalf<SqliteSide>, 0},
    {"walk in WORD1 order", BM_WalkWord1<EngineSide>, BM_WalkWord1<SqliteSide>, 0},
    {"1000 exact Locate on WORD1", BM_Locate1000<EngineSide>, BM_Locate1000<SqliteSide>, 0},
    {"CopyTo", BM_CopyTo<EngineSide>, BM_CopyTo<SqliteSide>, 5},
    {"open with the 4-tag check", BM_OpenChecked<EngineSide>, BM_OpenChecked<SqliteSide>, 0},
    {"open, then RecordCount", BM_OpenCounted<EngineSide>, BM_OpenCounted<SqliteSide>, 0},
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Workload::instance(); // words made before any clock runs

    std::vector<std::pair<std::string, std::string>> names;
    for (const Operation &op : operations) {
        const std::string e = std::string("engine/") + op.name;
        const std::string s = std::string("sqlite/") + op.name;
        auto *be = benchmark::RegisterBenchmark(e.c_str(), op.engine)->Unit(benchmark::kMillisecond)->UseRealTime();
        auto *bs = benchmark::RegisterBenchmark(s.c_str(), op.sqlite)->Unit(benchmark::kMillisecond)->UseRealTime();
        if (op.iterations) {
            be->Iterations(op.iterations);
            bs->Iterations(op.iterations);
        }
        names.emplace_back(e, s);
    }

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // Real time is what a user waits; processor time (this process, user and system) is less
    // disturbed by other work on the machine.
    std::printf("\n%-34s %11s %11s %8s   %11s %11s %8s\n", "operation", "engine ms", "sqlite ms", "ratio",
                "engine cpu", "sqlite cpu", "ratio");
    for (const auto &[e, s] : names) {
        auto ie = reporter.times.find(e), is = reporter.times.find(s);
        if (ie == reporter.times.end() && is == reporter.times.end())
            continue; // not run (filtered out)
        if (ie == reporter.times.end() || is == reporter.times.end()) {
            std::printf("%-34s %s\n", e.c_str() + 7, "(failed, see above)");
            continue;
        }
        const auto &a = ie->second, &b = is->second;
        std::printf("%-34s %11.3f %11.3f %8.3f   %11.3f %11.3f %8.3f\n", e.c_str() + 7, a.real * 1e3, b.real * 1e3,
                    a.real / b.real, a.cpu * 1e3, b.cpu * 1e3, a.cpu / b.cpu);
    }
    std::printf("ratio: engine time / SQLite time (below 1: the engine is faster)\n");
    std::filesystem::remove_all(Workload::instance().folder);
    benchmark::Shutdown();
    return 0;
}
