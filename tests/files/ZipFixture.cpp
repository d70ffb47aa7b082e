#include "tests/files/ZipFixture.h"

#include <minizip/zip.h>
#include <stdexcept>
#include <zlib.h>

namespace qvtest {

namespace {

constexpr unsigned long utf8NameFlag = 1u << 11;

void addItem(zipFile zip, const ZipItem& item) {
    zip_fileinfo info{};
    int method = item.raw ? 0 : Z_DEFLATED;
    int level = item.raw ? 0 : Z_DEFAULT_COMPRESSION;
    if (zipOpenNewFileInZip4_64(zip, item.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                method, level, item.raw ? 1 : 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                Z_DEFAULT_STRATEGY, nullptr, 0, 0, item.utf8Name ? utf8NameFlag : 0,
                                0) != ZIP_OK)
        throw std::runtime_error("zipOpenNewFileInZip failed for " + item.name);
    if (!item.data.empty() &&
        zipWriteInFileInZip(zip, item.data.data(), unsigned(item.data.size())) != ZIP_OK)
        throw std::runtime_error("zipWriteInFileInZip failed for " + item.name);
    int closed =
        item.raw ? zipCloseFileInZipRaw64(zip, item.rawSize, item.rawCrc) : zipCloseFileInZip(zip);
    if (closed != ZIP_OK)
        throw std::runtime_error("zipCloseFileInZip failed for " + item.name);
}

} // namespace

void writeZip(const std::filesystem::path& path, const std::vector<ZipItem>& items) {
    std::filesystem::create_directories(path.parent_path());
    std::filesystem::remove(path);
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zip)
        throw std::runtime_error("zipOpen64 failed for " + path.string());
    try {
        for (const auto& item : items)
            addItem(zip, item);
    } catch (...) {
        zipClose(zip, nullptr);
        throw;
    }
    if (zipClose(zip, nullptr) != ZIP_OK)
        throw std::runtime_error("zipClose failed for " + path.string());
}

ZipItem rawItem(const std::string& name, const std::string& data, uint64_t declaredSize) {
    auto crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), unsigned(data.size()));
    return {name, data, false, true, uint32_t(crc), declaredSize};
}

} // namespace qvtest
