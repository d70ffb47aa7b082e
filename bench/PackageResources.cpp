// Times PackageExternal::findResources over package archives of 1,000,
// 10,000 and 30,000 entries: listing must grow in proportion to the entries
// (it once compared every name with every name listed before it).
#include "packages/PackageExternal.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <minizip/zip.h>
#include <string>
#include <unistd.h>

namespace {

std::filesystem::path writeArchive(int entries) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("qv-bench-resources-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const auto path = folder / ("Many" + std::to_string(entries) + ".quorvalent-package");
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    for (int i = 0; i < entries; ++i) {
        const std::string name = "res/file" + std::to_string(i) + ".txt";
        zip_fileinfo info{};
        zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0, 0);
        zipWriteInFileInZip(zip, "x", 1);
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
    return path;
}

void FindResources(benchmark::State& state) {
    const auto path = writeArchive(int(state.range(0)));
    auto package = PackageExternal::create(L"Many", 1, {wstr::fromUtf8(path.c_str())});
    for (auto _ : state)
        benchmark::DoNotOptimize(package->findResources(L"*.txt", true, false));
    state.SetComplexityN(state.range(0));
    package.reset();
    std::filesystem::remove_all(path.parent_path());
}

BENCHMARK(FindResources)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(30000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

} // namespace

BENCHMARK_MAIN();
