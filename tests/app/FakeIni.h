#pragma once

#include "app/IniReader.h"

#include <utility>
#include <vector>

namespace qvtest {

// A parsed configuration held in memory: sections in the order given,
// options looked up without case as the real parser does, all of them read
// from one file.
class FakeIni : public IniReader {
public:
    using Options = std::vector<std::pair<wstr, wstr>>;

    explicit FakeIni(wstr file = L"/fake/User/Quorvalent.ini") : file_(std::move(file)) {}

    FakeIni& section(const wstr& name, Options options = {}) {
        sections_.emplace_back(name, std::move(options));
        return *this;
    }

    bool hasSection(const wstr& section) const override { return find(section) != nullptr; }
    bool hasOption(const wstr& section, const wstr& option) const override {
        return value(section, option) != nullptr;
    }
    std::vector<wstr> sections() const override {
        std::vector<wstr> names;
        for (const auto& [name, options] : sections_)
            names.push_back(name);
        return names;
    }
    std::vector<wstr> options(const wstr& section) const override {
        std::vector<wstr> names;
        if (const Options* options = find(section))
            for (const auto& [key, text] : *options)
                names.push_back(wstr::lowerCopy(key));
        return names;
    }
    wstr get(const wstr& section, const wstr& option) const override {
        const wstr* text = value(section, option);
        return text ? *text : wstr();
    }
    wstr fileOf(const wstr& section, const wstr& option) const override {
        return option.empty() ? (hasSection(section) ? file_ : wstr())
                              : (hasOption(section, option) ? file_ : wstr());
    }
    std::vector<FileOutline> outline() const override {
        FileOutline outline{file_, {}};
        for (const auto& [name, options] : sections_)
            outline.sections.emplace_back(name, this->options(name));
        return {outline};
    }

private:
    const Options* find(const wstr& section) const {
        for (const auto& [name, options] : sections_)
            if (name == section)
                return &options;
        return nullptr;
    }
    const wstr* value(const wstr& section, const wstr& option) const {
        if (const Options* options = find(section))
            for (const auto& [key, text] : *options)
                if (wstr::equals(key, option, false))
                    return &text;
        return nullptr;
    }

    wstr file_;
    std::vector<std::pair<wstr, Options>> sections_;
};

} // namespace qvtest
