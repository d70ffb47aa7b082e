#pragma once

#include <utility>
#include <vector>

#include "core/Wstr.h"

// Read access to a parsed configuration: what the settings reader asks of
// the INI parser. Section and option names are compared as the parser does
// (options without case). A failing parser call throws its own error.
// One thread at a time, under whatever lock the parser needs.
class IniReader {
public:
    virtual ~IniReader() = default;
    virtual bool hasSection(const wstr& section) const = 0;
    virtual bool hasOption(const wstr& section, const wstr& option) const = 0;
    // In the parser's order.
    virtual std::vector<wstr> sections() const = 0;
    virtual std::vector<wstr> options(const wstr& section) const = 0;
    // The value with its references resolved.
    virtual wstr get(const wstr& section, const wstr& option) const = 0;

    // The file that gave the option its value (with an empty option, the last
    // file that holds the section); empty when no file did.
    virtual wstr fileOf(const wstr& section, const wstr& option) const = 0;
    // What each file held on its own, files in reading order: its sections
    // and the options each named. Names the program does not know are found
    // here, where they still belong to one file.
    struct FileOutline {
        wstr file;
        std::vector<std::pair<wstr, std::vector<wstr>>> sections;
    };
    virtual std::vector<FileOutline> outline() const = 0;
};
