// Times Catalog::search over synthetic catalogs of 10,000, 100,000 and
// 1,000,000 items with a history of 1,000 hits, and reports the resident
// memory each item costs.
#include "catalog/Catalog.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <unistd.h>

namespace {

const wchar_t* const words[] = {
    L"account",  L"address",  L"agenda",   L"album",   L"annual",   L"archive",  L"audio",
    L"backup",   L"balance",  L"banner",   L"budget",  L"build",    L"calendar", L"camera",
    L"capture",  L"chart",    L"client",   L"clip",    L"code",     L"color",    L"config",
    L"contract", L"contact",  L"copy",     L"course",  L"data",     L"deploy",   L"design",
    L"desktop",  L"diagram",  L"diary",    L"draft",   L"driver",   L"editor",   L"email",
    L"export",   L"family",   L"feedback", L"figure",  L"final",    L"finance",  L"folder",
    L"font",     L"garden",   L"guide",    L"holiday", L"icon",     L"image",    L"import",
    L"index",    L"invoice",  L"journal",  L"kernel",  L"label",    L"layout",   L"lecture",
    L"letter",   L"library",  L"license",  L"list",    L"logo",     L"manual",   L"map",
    L"meeting",  L"memo",     L"menu",     L"minutes", L"mobile",   L"model",    L"monitor",
    L"movie",    L"music",    L"network",  L"notes",   L"notepad",  L"office",   L"order",
    L"outline",  L"package",  L"paint",    L"paper",   L"payment",  L"photo",    L"picture",
    L"plan",     L"planning", L"player",   L"podcast", L"poster",   L"present",  L"preview",
    L"printer",  L"profile",  L"program",  L"project", L"proposal", L"python",   L"query",
    L"receipt",  L"recipe",   L"record",   L"release", L"report",   L"research", L"resume",
    L"review",   L"sample",   L"schedule", L"script",  L"server",   L"settings", L"sheet",
    L"sketch",   L"slides",   L"source",   L"sprint",  L"summary",  L"survey",   L"table",
    L"task",     L"template", L"terminal", L"test",    L"theme",    L"ticket",   L"timeline",
    L"travel",   L"update",   L"upload",   L"video",   L"viewer",   L"volume",   L"wallet",
    L"weather",  L"website",  L"widget",   L"window",  L"workflow", L"writer",   L"year",
};
constexpr std::size_t wordCount = sizeof(words) / sizeof(words[0]);
constexpr int pluginCount = 12;
constexpr int historyHits = 1000;

class Plugin : public CatalogPlugin {
public:
    explicit Plugin(uint64_t id) : id_(id) {}
    uint64_t id() const override { return id_; }
    const wstr& name() const override { return name_; }
    bool isInternal() const override { return false; }
    bool shouldTerminate(bool) override { return false; }

private:
    uint64_t id_;
    wstr name_ = L"Bench";
};

uint64_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

wstr capitalized(const wchar_t* word) {
    wstr text = word;
    text[0] = static_cast<wchar_t>(std::towupper(text[0]));
    return text;
}

// A label of one to four words and a file path under a few folders; one item
// in eight is a command that accepts arguments.
CatalogItemPtr makeItem(std::mt19937& rng, uint64_t pluginId, std::size_t n) {
    wstr label;
    for (int w = rng() % 4 + 1; w > 0; --w) {
        if (!label.empty())
            label += L' ';
        label += capitalized(words[rng() % wordCount]);
    }
    if (n % 8 == 0) {
        return std::make_shared<CatalogItem>(pluginId, CatalogItem::cmdline, label, L"Command",
                                             L"cmd" + std::to_wstring(n), CatalogItem::accepted,
                                             false, CatalogItem::keepall, 0, L"");
    }
    wstr target = L"/home/user/";
    target += words[rng() % wordCount];
    target += L'/';
    target += words[rng() % wordCount];
    target += L'/' + label + L' ' + std::to_wstring(n) + L".txt";
    return std::make_shared<CatalogItem>(pluginId, CatalogItem::file, label, L"Document in folder",
                                         target, CatalogItem::forbidden, false,
                                         CatalogItem::keepall, 0, L"");
}

struct Fixture {
    Catalog catalog;
    CatalogItemPtr chainItem;
    double bytesPerItem = 0;
};

std::unique_ptr<Fixture> build(std::size_t items) {
    uint64_t before = residentBytes();
    auto fixture = std::make_unique<Fixture>();
    std::mt19937 rng(static_cast<unsigned>(items));
    std::vector<std::vector<CatalogItemPtr>> byPlugin(pluginCount);
    for (std::size_t n = 0; n < items; ++n)
        byPlugin[n % pluginCount].push_back(makeItem(rng, 0x200000001ull + n % pluginCount, n));
    std::vector<CatalogItemPtr> sample;
    for (int p = 0; p < pluginCount; ++p) {
        for (std::size_t i = 0; i < byPlugin[p].size(); i += byPlugin[p].size() / 100)
            sample.push_back(byPlugin[p][i]);
        Plugin plugin(0x200000001ull + p);
        fixture->catalog.insertPluginItems(plugin, byPlugin[p], true);
        byPlugin[p] = {};
    }
    // The history: 1,000 hits, some with arguments, some on a chain item.
    fixture->chainItem = sample[0];
    {
        Mutex::Lock lock(fixture->catalog.mutex());
        CatalogHistory& history = fixture->catalog.history();
        for (int hit = 0; hit < historyHits; ++hit) {
            CatalogItemPtr item =
                hit % 10 == 0 ? fixture->chainItem : sample[rng() % sample.size()];
            if (item->acceptsArgs()) {
                item = item->clone();
                item->setArgs(L"argument " + std::to_wstring(hit % 37), L"");
            }
            history.addHit(item, nullptr, 1700000000 + hit, 3600);
            if (hit % 20 == 0)
                history.addSearchTerms(wstr(item->lowerLabel().substr(0, 3)), item);
        }
    }
    fixture->bytesPerItem =
        static_cast<double>(residentBytes() - before) / static_cast<double>(items);
    return fixture;
}

Fixture& fixtureFor(std::size_t items) {
    static std::map<std::size_t, std::unique_ptr<Fixture>> fixtures;
    std::unique_ptr<Fixture>& fixture = fixtures[items];
    if (!fixture)
        fixture = build(items);
    return *fixture;
}

const wchar_t* queryOfLength(int64_t length) {
    switch (length) {
    case 1:
        return L"p";
    case 2:
        return L"pr";
    case 4:
        return L"proj";
    case 7:
        return L"project";
    default:
        return L"project pl";
    }
}

// As the LaunchBox searches: only its max_results (100 by default) need to be
// in order.
constexpr std::size_t maxResults = 100;

void searchCatalog(benchmark::State& state) {
    Fixture& fixture = fixtureFor(static_cast<std::size_t>(state.range(0)));
    wstr query = queryOfLength(state.range(1));
    auto results = std::make_shared<CatalogResults>();
    for (auto _ : state) {
        fixture.catalog.search(results, query, nullptr, maxResults);
        benchmark::DoNotOptimize(results->size());
    }
    state.counters["results"] = static_cast<double>(results->size());
    state.counters["bytes_per_item"] = fixture.bytesPerItem;
}

// Every result in order, for comparison.
void searchCatalogFullOrder(benchmark::State& state) {
    Fixture& fixture = fixtureFor(static_cast<std::size_t>(state.range(0)));
    wstr query = queryOfLength(state.range(1));
    auto results = std::make_shared<CatalogResults>();
    for (auto _ : state) {
        fixture.catalog.search(results, query, nullptr);
        benchmark::DoNotOptimize(results->size());
    }
    state.counters["results"] = static_cast<double>(results->size());
}

void searchChained(benchmark::State& state) {
    Fixture& fixture = fixtureFor(static_cast<std::size_t>(state.range(0)));
    auto results = std::make_shared<CatalogResults>();
    for (auto _ : state) {
        fixture.catalog.search(results, L"argument 1", fixture.chainItem, maxResults);
        benchmark::DoNotOptimize(results->size());
    }
    state.counters["results"] = static_cast<double>(results->size());
}

double minimum(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

void searchSizes(benchmark::internal::Benchmark* b) {
    for (int64_t items : {10000, 100000, 1000000}) {
        for (int64_t length : {1, 2, 4, 7, 10})
            b->Args({items, length});
    }
}

BENCHMARK(searchCatalog)
    ->ArgNames({"items", "chars"})
    ->Apply(searchSizes)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ComputeStatistics("min", minimum)
    ->ReportAggregatesOnly(true);
BENCHMARK(searchCatalogFullOrder)
    ->ArgNames({"items", "chars"})
    ->Apply(searchSizes)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ComputeStatistics("min", minimum)
    ->ReportAggregatesOnly(true);
BENCHMARK(searchChained)
    ->ArgNames({"items"})
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ComputeStatistics("min", minimum)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
