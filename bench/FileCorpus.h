#pragma once

// File items as a file-indexing plugin gives them: the file name as label,
// the full path as target. Either generated (deterministic, shaped like a
// Linux system's tree: package folders, source trees, documentation,
// translations, icons, user files) or, when QV_BENCH_CORPUS names a folder,
// the paths found below it (capped, then repeated under numbered roots to
// reach the size asked for).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace bench {

struct FileEntry {
    std::string name;
    std::string path;
};

namespace detail {

inline const char* const stems[] = {
    "lib",      "python3",     "share",     "doc",      "locale",     "icons",    "hicolor",
    "include",  "linux",       "net",       "core",     "util",       "config",   "test",
    "tests",    "src",         "build",     "cache",    "data",       "gtk",      "qt6",
    "kde",      "gnome",       "xml",       "json",     "http",       "client",   "server",
    "crypto",   "ssl",         "zlib",      "png",      "image",      "font",     "fonts",
    "man",      "man1",        "man3",      "perl5",    "site",       "packages", "dist",
    "node",     "modules",     "index",     "main",     "init",       "setup",    "readme",
    "license",  "changelog",   "copyright", "Makefile", "CMakeLists", "types",    "common",
    "base",     "debug",       "release",   "plugin",   "plugins",    "theme",    "themes",
    "scalable", "apps",        "actions",   "status",   "devices",    "mime",     "places",
    "emblems",  "document",    "notes",     "notepad",  "photos",     "music",    "video",
    "Desktop",  "Downloads",   "project",   "report",   "invoice",    "backup",   "archive",
    "old",      "new",         "tmp",       "es",       "de",         "fr",       "pt_BR",
    "zh_CN",    "LC_MESSAGES", "kernel",    "drivers",  "arch",       "x86",      "arm64",
    "fs",       "mm",          "sound",     "usb",      "pci",
};
inline const char* const extensions[] = {
    ".h",       ".c",       ".cpp",  ".py", ".pyc",  ".so",  ".so.6", ".png", ".svg", ".mo",
    ".gz",      ".txt",     ".html", ".js", ".json", ".xml", ".conf", ".md",  ".pdf", ".jpg",
    ".desktop", ".service", ".pm",   ".rb", ".go",   ".rs",  ".ko",   ".a",   "",     ".1.gz",
};
// Extensions weighted as on a development desktop: headers, sources,
// compiled Python, shared objects, icons and translations dominate.
inline const int extensionWeights[] = {14, 10, 4, 10, 8, 6, 2, 10, 6, 5, 6, 3, 3, 4, 2,
                                       2,  1,  2, 1,  2, 1, 1, 1,  1, 1, 1, 1, 1, 5, 2};

template <typename T, std::size_t N> const T& pick(std::mt19937& rng, const T (&array)[N]) {
    return array[rng() % N];
}

inline std::string fileName(std::mt19937& rng, std::discrete_distribution<int>& ext) {
    static const char* const joins[] = {"_", "-", ".", "", "_"};
    std::string name;
    for (int parts = 1 + static_cast<int>(rng() % 3); parts > 0; --parts) {
        if (!name.empty())
            name += pick(rng, joins);
        std::string stem = pick(rng, stems);
        if (rng() % 6 == 0)
            stem[0] = static_cast<char>(std::toupper(stem[0]));
        name += stem;
    }
    if (rng() % 4 == 0)
        name += std::to_string(rng() % 100);
    if (rng() % 10 == 0)
        name += "-" + std::to_string(rng() % 10) + "." + std::to_string(rng() % 30);
    return name + extensions[ext(rng)];
}

inline std::vector<FileEntry> machineFiles(const std::filesystem::path& root, std::size_t cap) {
    namespace fs = std::filesystem;
    std::vector<FileEntry> out;
    std::error_code ec;
    auto options = fs::directory_options::skip_permission_denied;
    for (fs::recursive_directory_iterator it(root, options, ec), end; it != end && !ec;
         it.increment(ec)) {
        if (it->is_symlink(ec) || !it->is_regular_file(ec))
            continue;
        out.push_back({it->path().filename().string(), it->path().string()});
        if (out.size() >= cap)
            break;
    }
    return out;
}

} // namespace detail

// `count` files; the same count and seed give the same corpus.
inline std::vector<FileEntry> fileCorpus(std::size_t count, unsigned seed = 1) {
    std::vector<FileEntry> out;
    out.reserve(count);
    if (const char* root = std::getenv("QV_BENCH_CORPUS")) {
        std::vector<FileEntry> found = detail::machineFiles(root, count);
        for (std::size_t copy = 0; !found.empty() && out.size() < count; ++copy) {
            for (const FileEntry& f : found) {
                if (out.size() == count)
                    break;
                out.push_back(
                    {f.name, copy == 0 ? f.path : "/copy" + std::to_string(copy) + f.path});
            }
        }
        return out;
    }
    std::mt19937 rng(seed);
    std::discrete_distribution<int> ext(std::begin(detail::extensionWeights),
                                        std::end(detail::extensionWeights));
    std::vector<std::string> folder = {""};
    while (out.size() < count) {
        // Walk the tree: go up a few levels, down a few, then list a folder
        // of a size drawn from a long-tailed distribution.
        std::size_t up = rng() % 3;
        while (up-- > 0 && folder.size() > 1)
            folder.pop_back();
        for (std::size_t down = rng() % 3; down > 0 && folder.size() < 10; --down)
            folder.push_back(folder.back() + "/" + detail::pick(rng, detail::stems));
        std::size_t files = 1 + static_cast<std::size_t>(std::exp2((rng() % 800) / 100.0));
        for (std::size_t n = 0; n < files && out.size() < count; ++n) {
            std::string name = detail::fileName(rng, ext);
            std::string prefix = folder.size() > 1 ? folder.back() : "/usr";
            out.push_back({name, prefix + "/" + name});
        }
    }
    return out;
}

} // namespace bench
