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

    // The command lines that run the entry's program with `files` (file names
    // or URLs; here what the user typed): %F and %U as arguments of their
    // own become all files, %f and %u (and %F or %U inside a word) one file,
    // so that several files run one command per file; %i becomes "--icon"
    // and the Icon, %c the Name, %k the entry's file, "%%" '%', and the
    // deprecated field codes go. Without a file field code the files follow
    // the arguments. An argument left empty by the expansion goes. Empty
    // when Exec is missing or malformed.
    std::vector<std::vector<std::string>> commands(const std::vector<std::string>& files) const;

private:
    std::vector<std::string> command(const std::vector<std::string>& exec,
                                     const std::vector<std::string>& files) const;

    std::string path_;
    std::map<std::string, std::string> values_;
    int readError_ = 0;
};

} // namespace Platform
