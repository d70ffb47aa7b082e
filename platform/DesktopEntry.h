#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Platform {

// The main group of a freedesktop desktop entry file (.desktop). Values are
// UTF-8; localised variants ("Name[de]") are not kept.
// One object belongs to one thread at a time.
class DesktopEntry {
public:
    // Reads the file; false when it cannot be read or has no [Desktop Entry]
    // group. A failed load leaves the entry empty.
    bool load(const std::string& path);
    // errno of the last load's read (EINVAL: no regular file, EFBIG: too
    // large); 0 when the file was read.
    int readError() const { return readError_; }

    // The key's value with the escapes \s \n \t \r and \\ resolved; empty
    // when absent.
    std::string value(const std::string& key) const;
    bool has(const std::string& key) const { return values_.count(key) != 0; }

    // Splits an Exec value into its arguments by the desktop-entry quoting
    // rules; field codes stay in their arguments as written ("%%" too).
    // Characters the desktop-entry rules want quoted are taken literally outside
    // quotes, as many installed entries write them. Nothing on an
    // unterminated quote.
    static std::optional<std::vector<std::string>> splitExec(const std::string& exec);

    // The arguments of the Exec key with the file and URL field codes (%f %F
    // %u %U) written as `fileCode`, "%%" as '%', and the other field codes
    // of the desktop-entry rules dropped; any other '%' stays. An argument left
    // empty by that goes. Empty when Exec is missing or malformed.
    std::vector<std::string> execArguments(const std::string& fileCode) const;

private:
    std::map<std::string, std::string> values_;
    int readError_ = 0;
};

} // namespace Platform
