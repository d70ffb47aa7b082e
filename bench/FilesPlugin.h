#pragma once

// The file-indexing plugin the benchmarks insert their corpus as, and its
// items: file name as label, full path as target.
#include "bench/FileCorpus.h"
#include "catalog/CatalogHost.h"
#include "catalog/CatalogItem.h"

#include <memory>
#include <vector>

namespace bench {

class FilesPlugin : public CatalogPlugin {
public:
    static constexpr uint64_t pluginId = 0x200000001ull;

    uint64_t id() const override { return pluginId; }
    const wstr& name() const override { return name_; }
    bool isInternal() const override { return false; }
    bool shouldTerminate(bool) override { return false; }

private:
    wstr name_ = L"Files";
};

inline std::vector<CatalogItemPtr> fileItems(const std::vector<FileEntry>& corpus) {
    std::vector<CatalogItemPtr> items;
    items.reserve(corpus.size());
    for (const FileEntry& f : corpus)
        items.push_back(std::make_shared<CatalogItem>(
            FilesPlugin::pluginId, CatalogItem::file, wstr::fromUtf8(f.name.c_str()), L"",
            wstr::fromUtf8(f.path.c_str()), CatalogItem::forbidden, false, CatalogItem::keepall, 0,
            L""));
    return items;
}

} // namespace bench
