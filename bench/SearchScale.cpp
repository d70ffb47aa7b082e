// Search over a file-like corpus (bench/FileCorpus.h) at 100,000 and
// 1,000,000 items, as the LaunchBox searches (its max_results ordered):
// median and 99th percentile per query length, over queries drawn from the
// corpus' own names. Also the memory per item, the time to insert the items,
// and the cache file's snapshot, write and load times.
#include "bench/FilesPlugin.h"
#include "catalog/Catalog.h"
#include "core/SysTime.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <malloc.h>
#include <map>
#include <memory>
#include <random>
#include <time.h>
#include <unistd.h>

namespace {

constexpr std::size_t maxResults = 50;

using Clock = std::chrono::steady_clock;

// CPU time of every thread of the process: the work a search does, which
// a loaded machine does not stretch the way it stretches wall time.
double processCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The heap in use, the blocks the allocator maps on their own (large
// arrays) included: unlike the resident size, it drops as soon as something
// is freed, so the corpus made on the way does not count.
uint64_t heapInUse() {
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

struct Fixture {
    Catalog catalog;
    std::vector<wstr> names; // a sample of labels, to draw queries from
    double bytesPerItem = 0;
    double insertMs = 0;
    double releasingSearchMs = 0;
};

std::unique_ptr<Fixture> build(std::size_t count) {
    uint64_t before = heapInUse();
    auto fixture = std::make_unique<Fixture>();
    std::vector<CatalogItemPtr> items = bench::fileItems(bench::fileCorpus(count));
    for (std::size_t i = 0; i < items.size(); i += 97)
        fixture->names.push_back(items[i]->label());
    bench::FilesPlugin plugin;
    auto start = Clock::now();
    fixture->catalog.insertPluginItems(plugin, items, true);
    fixture->insertMs = msSince(start);
    items = {};
    // The searches let go of the item objects only the catalog holds (the
    // plugin's list is gone), a step at a time: it keeps their compact
    // records. The slowest of them is reported.
    auto results = std::make_shared<CatalogResults>();
    for (std::size_t i = 0; i <= count / Catalog::releaseStep; ++i) {
        start = Clock::now();
        fixture->catalog.search(results, L"x", nullptr, maxResults);
        fixture->releasingSearchMs = std::max(fixture->releasingSearchMs, msSince(start));
    }
    results = {};
    // What the catalog holds then, without the sample of names kept for the
    // queries.
    uint64_t names = 0;
    for (const wstr& name : fixture->names)
        names += sizeof(wstr) + (name.capacity() + 1) * sizeof(wchar_t);
    fixture->bytesPerItem =
        static_cast<double>(heapInUse() - before - names) / static_cast<double>(count);
    return fixture;
}

Fixture& fixtureFor(std::size_t count) {
    static std::map<std::size_t, std::unique_ptr<Fixture>> fixtures;
    auto found = fixtures.find(count);
    if (found != fixtures.end())
        return *found->second;
    fixtures.clear(); // one corpus in memory at a time
    return *(fixtures[count] = build(count));
}

// Queries of one length: the starts and middles of names (lower case, as
// typed), and single letters and pairs common in file names.
std::vector<wstr> queriesOfLength(const Fixture& fixture, std::size_t length) {
    std::vector<wstr> queries;
    std::mt19937 rng(static_cast<unsigned>(length));
    for (const wchar_t* fixed : {L"n", L"e", L"s", L"es", L"pn", L"note", L"pyth", L"notepad"}) {
        if (wcslen(fixed) == length)
            queries.push_back(fixed);
    }
    while (queries.size() < 24) {
        const wstr& name = fixture.names[rng() % fixture.names.size()];
        if (name.size() < length)
            continue;
        std::size_t start = rng() % 2 ? 0 : rng() % (name.size() - length + 1);
        queries.push_back(wstr::lowerCopy(std::wstring_view(name).substr(start, length)));
    }
    return queries;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    std::size_t at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[at];
}

void searchByLength(benchmark::State& state) {
    Fixture& fixture = fixtureFor(static_cast<std::size_t>(state.range(0)));
    std::vector<wstr> queries = queriesOfLength(fixture, static_cast<std::size_t>(state.range(1)));
    auto results = std::make_shared<CatalogResults>();
    std::vector<double> times, cpu;
    std::size_t next = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        double startCpu = processCpuMs();
        fixture.catalog.search(results, queries[next++ % queries.size()], nullptr, maxResults);
        times.push_back(msSince(start));
        cpu.push_back(processCpuMs() - startCpu);
        benchmark::DoNotOptimize(results->size());
    }
    state.counters["p50_ms"] = percentile(times, 0.5);
    state.counters["p99_ms"] = percentile(times, 0.99);
    state.counters["max_ms"] = percentile(times, 1.0);
    state.counters["cpu_p50_ms"] = percentile(cpu, 0.5);
    state.counters["bytes_per_item"] = fixture.bytesPerItem;
    state.counters["insert_ms"] = fixture.insertMs;
    state.counters["releasing_search_ms"] = fixture.releasingSearchMs;
}

// As typed: each search follows the search of its text less the last
// character, so that it may rescore the matches of that one. Queries are
// the 7-character ones of searchByLength, cut to the length measured.
void typedByLength(benchmark::State& state) {
    Fixture& fixture = fixtureFor(static_cast<std::size_t>(state.range(0)));
    auto length = static_cast<std::size_t>(state.range(1));
    std::vector<wstr> queries = queriesOfLength(fixture, 7);
    auto results = std::make_shared<CatalogResults>();
    std::vector<double> times, cpu;
    std::size_t next = 0;
    for (auto _ : state) {
        const wstr& query = queries[next++ % queries.size()];
        if (length > 1)
            fixture.catalog.search(results, query.substr(0, length - 1), nullptr, maxResults);
        auto start = Clock::now();
        double startCpu = processCpuMs();
        fixture.catalog.search(results, query.substr(0, length), nullptr, maxResults);
        times.push_back(msSince(start));
        cpu.push_back(processCpuMs() - startCpu);
        benchmark::DoNotOptimize(results->size());
    }
    state.counters["p50_ms"] = percentile(times, 0.5);
    state.counters["p99_ms"] = percentile(times, 0.99);
    state.counters["max_ms"] = percentile(times, 1.0);
    state.counters["cpu_p50_ms"] = percentile(cpu, 0.5);
}

// Stands for the application while the cache writer runs: no plugin
// messages pending.
class Host : public CatalogHost {
public:
    void setTimer(uint32_t, uint32_t) override {}
    std::set<uint64_t> knownIds() override { return {}; }
    std::optional<wstr> pluginFullName(uint64_t) override { return std::nullopt; }
    std::optional<uint64_t> pendingCatalogMessages() override { return 0; }
};

// The cache: the writer thread writes the file while this thread keeps
// taking the catalog's lock (as a search would) and notes the longest wait;
// then the file is loaded into an empty catalog.
void cacheFile(benchmark::State& state) {
    std::size_t count = static_cast<std::size_t>(state.range(0));
    Fixture& fixture = fixtureFor(count);
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("qv-bench-cache-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::path file = dir / "catalog.qvdict";
    wstr path = wstr::fromUtf8(file.string().c_str());
    CatalogHost::setInstance(std::make_shared<Host>());
    double longestWaitMs = 0, writeMs = 0, loadMs = 0;
    for (auto _ : state) {
        std::filesystem::remove(file);
        fixture.catalog.loadCatalogFile(path); // sets the path; nothing to read yet
        CatalogWriter::Options options;
        options.quietMs = 0;
        fixture.catalog.startWriter(options);
        auto start = Clock::now();
        fixture.catalog.markDirty();
        while (true) {
            auto asked = Clock::now();
            uint64_t dirty = fixture.catalog.dirtyTime();
            longestWaitMs = std::max(longestWaitMs, msSince(asked));
            if (dirty == 0 && std::filesystem::exists(file))
                break;
            usleep(200);
        }
        writeMs = msSince(start);
        fixture.catalog.stopWriter();
        Catalog loaded;
        start = Clock::now();
        loaded.loadCatalogFile(path);
        loadMs = msSince(start);
        state.counters["loaded"] = static_cast<double>(loaded.itemCount());
    }
    CatalogHost::setInstance(nullptr);
    state.counters["longest_lock_wait_ms"] = longestWaitMs;
    state.counters["write_ms"] = writeMs;
    state.counters["load_ms"] = loadMs;
    state.counters["file_mb"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
    std::filesystem::remove_all(dir);
}

void sizesAndLengths(benchmark::internal::Benchmark* b) {
    for (int64_t items : {100000, 1000000}) {
        for (int64_t length = 1; length <= 7; ++length)
            b->Args({items, length});
    }
}

BENCHMARK(searchByLength)
    ->ArgNames({"items", "chars"})
    ->Apply(sizesAndLengths)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK(typedByLength)
    ->ArgNames({"items", "chars"})
    ->Apply(sizesAndLengths)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);
BENCHMARK(cacheFile)->ArgNames({"items"})->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(
    benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
