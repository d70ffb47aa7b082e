#include "core/SysCommandLine.h"

#include "core/TextLocale.h"
#include "platform/ReadFile.h"

namespace Sys {
namespace {

bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

size_t skipBlanks(const wstr& text, size_t i) {
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return i;
}

size_t readArgument(const wstr& text, size_t i, wstr& out) {
    bool quoted = false;
    while (i < text.size() && (quoted || !isBlank(text[i]))) {
        size_t slashes = 0;
        while (i < text.size() && text[i] == L'\\') {
            ++slashes;
            ++i;
        }
        if (i < text.size() && text[i] == L'"') {
            out.append(slashes / 2, L'\\');
            if (slashes % 2)
                out += L'"';
            else
                quoted = !quoted;
            ++i;
            continue;
        }
        out.append(slashes, L'\\');
        if (i < text.size() && (quoted || !isBlank(text[i])))
            out += text[i++];
    }
    return i;
}

std::vector<wstr> processArguments() {
    std::string raw;
    Platform::readFile("/proc/self/cmdline", raw);
    std::vector<wstr> args;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos)
            end = raw.size();
        args.push_back(
            wstr::fromMultiByte(raw.data() + start, int64_t(end - start), wstr::codePageUtf8));
        start = end + 1;
    }
    return args;
}

bool needsQuotes(const wstr& arg) {
    return arg.empty() || arg.find_first_of(L" \t\n\v\"") != wstr::npos;
}

} // namespace

bool splitCommandLine(std::vector<wstr>& args, const wstr& commandLine) {
    args.clear();
    size_t i = 0;
    while (i < commandLine.size() && iswspace_l(wint_t(commandLine[i]), textLocale()))
        ++i;
    if (i == commandLine.size())
        return true;
    // Argument 0 too follows the rules that quoteArgument writes for: a
    // program path may hold a quote or end in a backslash.
    while (i < commandLine.size()) {
        wstr arg;
        i = skipBlanks(commandLine, readArgument(commandLine, i, arg));
        args.push_back(std::move(arg));
    }
    return true;
}

bool splitCommandLine(std::vector<wstr>& args) {
    args = processArguments();
    return true;
}

wstr firstArgument(const wstr& commandLine) {
    std::vector<wstr> args;
    if (commandLine.empty())
        splitCommandLine(args);
    else
        splitCommandLine(args, commandLine);
    return args.empty() ? wstr() : args.front();
}

wstr quoteArgument(const wstr& arg, bool alwaysQuote) {
    if (!alwaysQuote && !needsQuotes(arg))
        return arg;
    wstr out = L"\"";
    for (size_t i = 0;; ++i) {
        size_t slashes = 0;
        while (i < arg.size() && arg[i] == L'\\') {
            ++slashes;
            ++i;
        }
        if (i == arg.size()) {
            out.append(2 * slashes, L'\\');
            break;
        }
        if (arg[i] == L'"') {
            out.append(2 * slashes + 1, L'\\');
        } else {
            out.append(slashes, L'\\');
        }
        out += arg[i];
    }
    return out + L"\"";
}

wstr joinArguments(const std::vector<wstr>& args, bool alwaysQuote) {
    wstr out;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i > 0)
            out += L' ';
        out += quoteArgument(args[i], alwaysQuote);
    }
    return out;
}

} // namespace Sys
