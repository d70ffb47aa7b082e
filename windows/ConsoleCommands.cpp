#include "windows/ConsoleCommands.h"

#include <vector>

ConsoleCommands::Outcome ConsoleCommands::apply(const wstr& line) {
    Outcome outcome{false, line, {}};
    if (line.empty() || line.front() != L':')
        return outcome;
    auto alias = aliases_.find(line.substr(1));
    if (alias != aliases_.end()) {
        outcome.line = alias->second;
        return outcome;
    }
    outcome.consumed = true;
    if (line == L":alias" || line.starts_with(L":alias ")) {
        outcome.output = runAliasCommand(line);
        return outcome;
    }
    // No Python statement starts with a colon: the user meant an alias.
    wstr::format(outcome.output, L">>> {}\nAlias not found: \"{}\"\n", line, line.substr(1));
    return outcome;
}

wstr ConsoleCommands::runAliasCommand(const wstr& line) {
    wstr out;
    wstr::format(out, L">>> {}\n", line);
    const std::vector<wstr> parts = wstr::tokenize(line, L" \t", 3);
    if (parts.size() == 1) {
        for (const auto& [name, text] : aliases_)
            wstr::format(out, L"{} = {}\n", name, text);
        return out;
    }
    const wstr& name = parts[1];
    if (parts.size() == 3) {
        aliases_[name] = parts[2];
        return wstr::format(out, L"{} = {}\n", name, parts[2]);
    }
    if (aliases_.erase(name) != 0)
        return wstr::format(out, L"Alias erased: \"{}\"\n", name);
    return wstr::format(out, L"Alias not found: \"{}\"\n", name);
}
