#pragma once

#include "core/Wstr.h"

#include <map>

// The console's own commands, typed as lines that begin with ":": an alias
// name stands for its Python text, and ":alias" lists, sets and erases
// aliases for the rest of the run (the settings are not written). Any other
// line that begins with ":" names an alias that does not exist.
// User-interface thread.
class ConsoleCommands {
public:
    // What became of a line: consumed by a command (with the text it
    // printed, its echo included), or the line that goes on to Python.
    struct Outcome {
        bool consumed = false;
        wstr line;
        wstr output;
    };

    explicit ConsoleCommands(std::map<wstr, wstr> aliases = {}) : aliases_(std::move(aliases)) {}

    Outcome apply(const wstr& line);

    // Alias name -> Python text, ordered by name in code-unit order.
    const std::map<wstr, wstr>& aliases() const { return aliases_; }
    void setAliases(std::map<wstr, wstr> aliases) { aliases_ = std::move(aliases); }

private:
    wstr runAliasCommand(const wstr& line);

    std::map<wstr, wstr> aliases_;
};
