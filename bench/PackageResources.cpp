// Listing the resources of an archive package (a plugin's find_resources)
// at 10,000 and 30,000 entries: the names are deduplicated across layers
// without case, which must stay linear in the number of entries.
#include "packages/PackageExternal.h"

#include <benchmark/benchmark.h>
#include <minizip/zip.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Empty stored entries in a few folders, named like a package's data files.
void writeArchive(const fs::path& path, int64_t entries) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zip)
        throw std::runtime_error("zipOpen64 failed for " + path.string());
    zip_fileinfo info{};
    for (int64_t i = 0; i < entries; ++i) {
        const std::string name =
            "data/set" + std::to_string(i % 17) + "/Entry" + std::to_string(i) + ".txt";
        if (zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0,
                                  0) != ZIP_OK ||
            zipCloseFileInZip(zip) != ZIP_OK) {
            zipClose(zip, nullptr);
            throw std::runtime_error("failed to add " + name);
        }
    }
    if (zipClose(zip, nullptr) != ZIP_OK)
        throw std::runtime_error("zipClose failed for " + path.string());
}

void findResources(benchmark::State& state) {
    const int64_t entries = state.range(0);
    const fs::path folder =
        fs::temp_directory_path() / ("qv-bench-resources-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path archive = folder / "Bench.zip";
    writeArchive(archive, entries);
    auto package = PackageExternal::create(L"Bench", 1, {wstr::fromUtf8(archive.c_str())});
    if (!package) {
        state.SkipWithError("the archive did not open");
        fs::remove_all(folder);
        return;
    }
    std::size_t listed = 0;
    for (auto _ : state) {
        listed = package->findResources(L"*", true, false).size();
        benchmark::DoNotOptimize(listed);
    }
    if (listed != std::size_t(entries))
        state.SkipWithError("not every entry was listed");
    state.SetComplexityN(entries);
    state.counters["entries"] = double(entries);
    package.reset();
    fs::remove_all(folder);
}

BENCHMARK(findResources)->Arg(10000)->Arg(30000)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace

BENCHMARK_MAIN();
