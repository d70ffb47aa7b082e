#pragma once

#include <filesystem>
#include <string>

namespace qvtest {

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes away, whatever the test left in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

    // Writes a file below the folder (creating its parent folders) and returns its path.
    std::filesystem::path write(const std::string& relative, const std::string& content) const;

private:
    std::filesystem::path path_;
};

} // namespace qvtest
