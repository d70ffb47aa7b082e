#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qvtest {

// One entry of an archive written by writeZip. A name ending in '/' is a
// folder entry. A raw entry is stored as given, with the CRC and uncompressed
// size written into its headers, so a test can make it lie about either.
struct ZipItem {
    std::string name;
    std::string data;
    bool utf8Name = false;
    bool raw = false;
    uint32_t rawCrc = 0;
    uint64_t rawSize = 0;
};

// Writes a zip archive with minizip, replacing the file. Throws on failure.
void writeZip(const std::filesystem::path& path, const std::vector<ZipItem>& items);

// A raw item whose headers claim the true CRC but the given size.
ZipItem rawItem(const std::string& name, const std::string& data, uint64_t declaredSize);

} // namespace qvtest
