// Feeds the catalog cache file reader. The first byte chooses what the rest
// is, so that inputs reach past the checksum and the compression: 0 a whole
// file image, 1 a length field and a zlib stream behind a valid header, 2 an
// uncompressed payload. Whatever is read must write back and read again to
// the same items (but for texts with NULs: strings are written without their
// trailing NULs, which may move a file item's canonical target), and the
// records the catalog loads must be those items.
#include "catalog/CatalogFile.h"
#include "core/Hash.h"
#include "core/MemWriter.h"
#include "fuzz/LogRing.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> sealedImage(const uint8_t* body, size_t size) {
    std::vector<uint8_t> image = {'Q', 'V', 'D', 'I', 'C', 'T', 1, 0, 0, 0, 0, 0};
    image.insert(image.end(), body, body + size);
    CatalogFile::unscramble(image.data() + 12, image.size() - 12);
    uint32_t crc = crc32(image.data() + 12, image.size() - 12);
    for (int i = 0; i < 4; ++i)
        image[8 + i] = static_cast<uint8_t>(crc >> (8 * i));
    return image;
}

std::vector<uint8_t> imageOf(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image;
    switch (data[0] % 3) {
    case 0:
        image.assign(data + 1, data + size);
        break;
    case 1:
        image = sealedImage(data + 1, size - 1);
        break;
    default:
        CatalogFile::buildImage(data + 1, size - 1, image);
        break;
    }
    return image;
}

bool hasNul(const CatalogItem& item) {
    for (const wstr* text : {&item.label(), &item.target(), &item.shortDesc(), &item.rawArgs(),
                             &item.displayArgsField(), &item.dataBag()}) {
        if (text->find(L'\0') != wstr::npos)
            return true;
    }
    return false;
}

void checkRoundTrip(const CatalogFile::ItemSet& items) {
    MemWriter payload;
    CatalogFile::writeItems(payload, items);
    std::vector<uint8_t> image;
    if (!CatalogFile::buildImage(payload.data(), payload.size(), image))
        abort();
    CatalogFile::ItemSet again;
    uint32_t corruption = 0;
    int zlibError = 0;
    if (!CatalogFile::parseImage(image, again, corruption, zlibError))
        abort();
    for (const CatalogItemPtr& item : items) {
        if (hasNul(*item))
            continue;
        auto found = again.find(item);
        if (found == again.end() || (*found)->label() != item->label() ||
            (*found)->rawArgs() != item->rawArgs())
            abort();
    }
}

// The records the catalog loads: refused as the set is, else the set's
// items one for one (ids, and the label of every record).
void checkRecords(std::vector<uint8_t> image, bool read, uint32_t corruption,
                  const CatalogFile::ItemSet& items) {
    std::vector<CatalogFile::Loaded> loaded;
    uint32_t recordsCorruption = 0;
    int zlibError = 0;
    if (CatalogFile::parseImage(image, loaded, recordsCorruption, zlibError) != read ||
        recordsCorruption != corruption)
        abort();
    if (!read)
        return;
    if (loaded.size() != items.size())
        abort();
    auto item = items.begin();
    for (const CatalogFile::Loaded& entry : loaded) {
        if (entry.id != (*item)->id() ||
            (entry.record.used() && entry.record.item(entry.id)->label() != (*item)->label()))
            abort();
        ++item;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fillLogRing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::vector<uint8_t> image = imageOf(data, size);
    const std::vector<uint8_t> original = image;
    CatalogFile::ItemSet items;
    uint32_t corruption = 0;
    int zlibError = 0;
    bool read = CatalogFile::parseImage(image, items, corruption, zlibError);
    checkRecords(original, read, corruption, items);
    if (read)
        checkRoundTrip(items);
    return 0;
}
