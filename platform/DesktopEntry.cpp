#include "platform/DesktopEntry.h"

#include <cerrno>
#include <sstream>

#include "platform/KeyFile.h"
#include "platform/ReadFile.h"

namespace Platform {
namespace {

const std::string kMainGroup = "[Desktop Entry]";

std::string unescape(const std::string& raw) {
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            out += raw[i];
            continue;
        }
        switch (raw[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\';
            out += raw[i];
            break;
        }
    }
    return out;
}

std::string replaceFieldCodes(const std::string& arg, const std::string& fileCode) {
    std::string out;
    for (size_t i = 0; i < arg.size(); ++i) {
        if (arg[i] != '%' || i + 1 == arg.size()) {
            out += arg[i];
            continue;
        }
        char code = arg[i + 1];
        if (std::string_view("%fFuUdDnNickvm").find(code) == std::string_view::npos) {
            out += '%';
            continue;
        }
        ++i;
        if (code == '%')
            out += '%';
        else if (std::string_view("fFuU").find(code) != std::string_view::npos)
            out += fileCode;
    }
    return out;
}

} // namespace

bool DesktopEntry::load(const std::string& path) {
    values_.clear();
    std::string content;
    readError_ = Platform::readFile(path, content) ? 0 : errno;
    std::istringstream in(content);
    bool inMain = false;
    bool seenMain = false;
    std::string line;
    while (std::getline(in, line)) {
        std::string text = trimBlanks(line);
        if (text.empty() || text.front() == '#')
            continue;
        if (text.front() == '[') {
            inMain = text == kMainGroup;
            seenMain = seenMain || inMain;
            continue;
        }
        size_t eq = text.find('=');
        if (!inMain || eq == std::string::npos)
            continue;
        std::string key = trimBlanks(text.substr(0, eq));
        if (key.find('[') == std::string::npos)
            values_.emplace(key, trimBlanks(text.substr(eq + 1)));
    }
    if (!seenMain)
        values_.clear();
    return seenMain;
}

std::string DesktopEntry::value(const std::string& key) const {
    auto it = values_.find(key);
    return it == values_.end() ? std::string() : unescape(it->second);
}

std::optional<std::vector<std::string>> DesktopEntry::splitExec(const std::string& exec) {
    std::vector<std::string> args;
    std::string current;
    bool inArg = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        char c = exec[i];
        if (c == ' ') {
            if (inArg)
                args.push_back(std::move(current));
            current.clear();
            inArg = false;
            continue;
        }
        inArg = true;
        if (c != '"') {
            current += c;
            continue;
        }
        for (++i;; ++i) {
            if (i == exec.size())
                return std::nullopt;
            if (exec[i] == '"')
                break;
            if (exec[i] == '\\' && i + 1 < exec.size())
                ++i;
            current += exec[i];
        }
    }
    if (inArg)
        args.push_back(std::move(current));
    return args;
}

std::vector<std::string> DesktopEntry::execArguments(const std::string& fileCode) const {
    std::vector<std::string> args;
    for (const auto& raw : splitExec(value("Exec")).value_or(std::vector<std::string>())) {
        std::string arg = replaceFieldCodes(raw, fileCode);
        if (!arg.empty() || raw.empty())
            args.push_back(std::move(arg));
    }
    return args;
}

} // namespace Platform
