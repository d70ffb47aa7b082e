#include "platform/DesktopEntry.h"

#include <algorithm>
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

// What the field codes of a word stand for; empty texts drop their codes.
struct FieldValues {
    std::string file;
    std::string name;
    std::string entryPath;
};

std::string replaceFieldCodes(const std::string& arg, const FieldValues& values) {
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
            out += values.file;
        else if (code == 'c')
            out += values.name;
        else if (code == 'k')
            out += values.entryPath;
    }
    return out;
}

bool isFileList(const std::string& arg) {
    return arg == "%F" || arg == "%U";
}

// Whether the word holds a file field code (one of `codes`), "%%" skipped.
bool holdsCode(const std::string& arg, std::string_view codes) {
    for (size_t i = 0; i + 1 < arg.size(); ++i) {
        if (arg[i] != '%')
            continue;
        if (codes.find(arg[i + 1]) != std::string_view::npos)
            return true;
        ++i;
    }
    return false;
}

// A word that takes one file: %f or %u anywhere, %F or %U inside a word.
bool takesOneFile(const std::string& arg) {
    return !isFileList(arg) && holdsCode(arg, "fFuU");
}

} // namespace

bool DesktopEntry::load(const std::string& path) {
    values_.clear();
    path_ = path;
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
        std::string arg = replaceFieldCodes(raw, {fileCode, {}, {}});
        if (!arg.empty() || raw.empty())
            args.push_back(std::move(arg));
    }
    return args;
}

std::vector<std::vector<std::string>>
DesktopEntry::commands(const std::vector<std::string>& files) const {
    const auto exec = splitExec(value("Exec"));
    if (!exec || exec->empty())
        return {};
    std::vector<std::vector<std::string>> commands;
    auto add = [&](std::vector<std::string> args) {
        // An Exec line of field codes alone names no program without files.
        if (!args.empty())
            commands.push_back(std::move(args));
    };
    if (files.size() < 2 || std::none_of(exec->begin(), exec->end(), takesOneFile)) {
        add(command(*exec, files));
        return commands;
    }
    for (const auto& file : files)
        add(command(*exec, {file}));
    return commands;
}

std::vector<std::string> DesktopEntry::command(const std::vector<std::string>& exec,
                                               const std::vector<std::string>& files) const {
    const FieldValues values{files.empty() ? std::string() : files.front(), value("Name"), path_};
    std::vector<std::string> args;
    bool filesPlaced = false;
    for (const auto& raw : exec) {
        filesPlaced = filesPlaced || holdsCode(raw, "fFuU");
        if (isFileList(raw)) {
            args.insert(args.end(), files.begin(), files.end());
        } else if (raw == "%i") {
            if (!value("Icon").empty())
                args.insert(args.end(), {"--icon", value("Icon")});
        } else if (std::string arg = replaceFieldCodes(raw, values); !arg.empty() || raw.empty()) {
            args.push_back(std::move(arg));
        }
    }
    if (!filesPlaced)
        args.insert(args.end(), files.begin(), files.end());
    return args;
}

} // namespace Platform
