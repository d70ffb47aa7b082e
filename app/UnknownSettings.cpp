#include "app/UnknownSettings.h"

#include <algorithm>
#include <map>

#include "app/ConfigValues.h"
#include "app/IniReader.h"
#include "core/Logger.h"

namespace {

const wstr themeSectionPrefix = L"theme/";
const wstr aliasPrefix = L"alias_";

// The keys of each section the program reads; an empty list means that
// every key is the user's own.
const std::map<wstr, std::vector<wstr>>& knownSections() {
    static const std::map<wstr, std::vector<wstr>> sections = {
        {L"app",
         {L"launch_at_startup", L"hotkey_run", L"hotkey_paste", L"hotkey_history",
          L"hotkey_console", L"write_log_file", L"ignored_packages",
          L"exclude_nonexistent_local_files", L"exclude_nonexistent_remote_files"}},
        {L"gui",
         {L"geometry", L"auto_width", L"always_on_top", L"hide_on_focus_lost",
          L"retain_last_search", L"escape_always_closes", L"space_as_tab", L"loop_list",
          L"single_click", L"max_height", L"show_on_taskbar", L"max_results", L"word_separators",
          L"theme",
          // Obsolete: the settings reader warns about these itself.
          L"font_size", L"compact_results", L"show_history_hits", L"show_scores"}},
        {L"external",
         {L"editor", L"editor_accepts_multifiles", L"config_editor",
          L"config_editor_accepts_multifiles", L"terminal", L"file_explorer", L"web_browser",
          L"web_browser_new_window", L"web_browser_private_mode"}},
        {L"console", {L"geometry", L"show_time_prefix", L"flash_on"}},
        {L"network", {L"proxy", L"timeout"}},
        {L"var", {}},
        {L"env", {}},
    };
    return sections;
}

std::vector<wstr> knownSectionNames() {
    std::vector<wstr> names;
    for (const auto& [name, keys] : knownSections())
        names.push_back(name);
    return names;
}

// Optimal string alignment distance, without case.
size_t editDistance(const wstr& a, const wstr& b) {
    const wstr x = wstr::lowerCopy(a);
    const wstr y = wstr::lowerCopy(b);
    std::vector<std::vector<size_t>> d(x.size() + 1, std::vector<size_t>(y.size() + 1));
    for (size_t i = 0; i <= x.size(); ++i)
        d[i][0] = i;
    for (size_t j = 0; j <= y.size(); ++j)
        d[0][j] = j;
    for (size_t i = 1; i <= x.size(); ++i) {
        for (size_t j = 1; j <= y.size(); ++j) {
            size_t cost = x[i - 1] == y[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[x.size()][y.size()];
}

wstr didYouMean(const wstr& name, const std::vector<wstr>& candidates, const wchar_t* open,
                const wchar_t* close) {
    wstr nearest = nearestName(name, candidates);
    if (nearest.empty())
        return {};
    return L" (did you mean " + wstr(open) + nearest + close + L"?)";
}

void warnUnknownSection(const wstr& file, const wstr& section) {
    wstr hint = didYouMean(section, knownSectionNames(), L"[", L"]");
    if (hint.empty() && wstr::startsWith(section, L"theme", false))
        hint = L" (a theme's section is named [theme/NAME])";
    wstr message;
    logMessage(Logger::Warning,
               wstr::format(message,
                            L"Unknown section [{}] in {}{}: the program does not read it (section "
                            L"names are compared with case)",
                            section, file, hint));
}

void warnUnknownKey(const wstr& file, const wstr& section, const wstr& key,
                    const std::vector<wstr>& known) {
    wstr message;
    logMessage(Logger::Warning,
               wstr::format(message,
                            L"Unknown setting \"{}\" in section [{}] of {}{}: the program does not "
                            L"read it",
                            key, section, file, didYouMean(key, known, L"\"", L"\"")));
}

bool isAlias(const wstr& section, const wstr& key) {
    return section == L"console" && key.size() > aliasPrefix.size() && key.starts_with(aliasPrefix);
}

void checkSection(const wstr& file, const wstr& section, const std::vector<wstr>& keys) {
    const std::vector<wstr>* known = nullptr;
    auto found = knownSections().find(section);
    if (found != knownSections().end())
        known = &found->second;
    else if (wstr::startsWith(wstr::trimCopy(section), themeSectionPrefix, false))
        known = &themeKeyList();
    if (!known) {
        warnUnknownSection(file, section);
        return;
    }
    if (known->empty())
        return;
    for (const wstr& key : keys)
        if (wstr::indexIn(key, *known) < 0 && !isAlias(section, key))
            warnUnknownKey(file, section, key, *known);
}

} // namespace

void warnUnknownSettings(const IniReader& reader) {
    for (const IniReader::FileOutline& file : reader.outline())
        for (const auto& [section, keys] : file.sections)
            checkSection(file.file, section, keys);
}

wstr nearestName(const wstr& name, const std::vector<wstr>& candidates) {
    const size_t allowed = name.size() >= 6 ? 2 : 1;
    wstr nearest;
    size_t best = allowed + 1;
    for (const wstr& candidate : candidates) {
        size_t distance = editDistance(name, candidate);
        if (distance < best) {
            best = distance;
            nearest = candidate;
        }
    }
    return nearest;
}
