#pragma once

#include <vector>

#include "core/Wstr.h"

// Command lines in the program's syntax (the Windows rules, which its
// settings use): arguments separated by blanks outside double quotes; 2n
// backslashes before a double quote give n backslashes and the quote toggles
// quoting; 2n+1 give n backslashes and a literal quote; other backslashes
// are literal. Argument 0 follows the same rules, so that quoting and
// splitting give every argument back. Any thread.
namespace Sys {

// Replaces args by the arguments of the command line; a text that is empty
// or only white space gives none. True on success.
bool splitCommandLine(std::vector<wstr>& args, const wstr& commandLine);
// The process's own arguments.
bool splitCommandLine(std::vector<wstr>& args);

// The first argument; for an empty command line the program's own first
// argument. Empty when there is none.
wstr firstArgument(const wstr& commandLine);

// The argument as it must stand on a command line so that splitting gives
// it back: unchanged when it needs no quotes (and alwaysQuote is off), else
// in double quotes with backslashes before quotes and at the end doubled.
wstr quoteArgument(const wstr& arg, bool alwaysQuote = false);

// The arguments quoted by quoteArgument and joined by single spaces.
wstr joinArguments(const std::vector<wstr>& args, bool alwaysQuote = false);

} // namespace Sys
