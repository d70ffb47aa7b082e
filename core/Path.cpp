#include "core/Path.h"

#include <vector>

namespace Path {
namespace {

constexpr auto npos = std::wstring_view::npos;

// The index just past the last non-separator character; 0 when there is none.
size_t endOfLastComponent(std::wstring_view path) {
    const size_t last = path.find_last_not_of(kSeparator);
    return last == npos ? 0 : last + 1;
}

bool isDotOrDotDot(std::wstring_view name) {
    return name == L"." || name == L"..";
}

// The characters behind the last separator (the whole path without one).
std::wstring_view lastSegment(std::wstring_view path) {
    const size_t sep = path.rfind(kSeparator);
    return sep == npos ? path : path.substr(sep + 1);
}

} // namespace

bool isRooted(std::wstring_view path) {
    return !path.empty() && path.front() == kSeparator;
}

wchar_t driveLetter(std::wstring_view) {
    return 0;
}

wstr root(std::wstring_view path, int64_t* rest) {
    int64_t restPos = -1;
    wstr result;
    if (isRooted(path)) {
        result.push_back(kSeparator);
        const size_t first = path.find_first_not_of(kSeparator);
        restPos = first == npos ? -1 : static_cast<int64_t>(first);
    } else if (!path.empty()) {
        restPos = 0;
    }
    if (rest)
        *rest = restPos;
    return result;
}

wstr canonicalize(std::wstring_view path) {
    int64_t rest = -1;
    wstr result = root(path, &rest);
    if (rest < 0)
        return result;
    std::vector<std::wstring_view> kept;
    size_t pos = static_cast<size_t>(rest);
    while (pos < path.size()) {
        const size_t end = std::min(path.find(kSeparator, pos), path.size());
        const std::wstring_view component = path.substr(pos, end - pos);
        if (component == L"..") {
            if (!kept.empty())
                kept.pop_back();
        } else if (component != L".") {
            kept.push_back(component);
        }
        pos = path.find_first_not_of(kSeparator, end);
    }
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0)
            result.push_back(kSeparator);
        result.append(kept[i]);
    }
    return result;
}

wstr& join(wstr& first, std::wstring_view second) {
    if (!first.empty() && !second.empty() && first.back() != kSeparator &&
        second.front() != kSeparator)
        first.push_back(kSeparator);
    first.append(second);
    return first;
}

wstr combine(std::wstring_view first, std::wstring_view second) {
    wstr result(first);
    return join(result, second);
}

wstr parent(std::wstring_view path) {
    if (path.empty())
        return wstr(L".");
    const size_t end = endOfLastComponent(path);
    if (end == 0)
        return wstr(L"/");
    const size_t sep = path.rfind(kSeparator, end - 1);
    if (sep == npos)
        return wstr(L".");
    const size_t before = endOfLastComponent(path.substr(0, sep));
    return before == 0 ? wstr(L"/") : wstr(path.substr(0, before));
}

wstr fileName(std::wstring_view path) {
    const size_t end = endOfLastComponent(path);
    if (end == 0)
        return wstr(path);
    return wstr(lastSegment(path.substr(0, end)));
}

wstr stem(std::wstring_view path) {
    const wstr name = fileName(path);
    const size_t start = name.find_first_not_of(L'.');
    const size_t dot = start == npos ? npos : name.find(L'.', start);
    return dot == npos ? name : wstr(name.substr(0, dot));
}

wstr extension(std::wstring_view path, bool multiPart) {
    const std::wstring_view name = lastSegment(path);
    const size_t start = name.find_first_not_of(L'.');
    if (name.empty() || isDotOrDotDot(name) || start == npos)
        return wstr();
    const size_t dot = multiPart ? name.find(L'.', start) : name.rfind(L'.');
    if (dot == npos || dot < start || dot + 1 == name.size())
        return wstr();
    return wstr(name.substr(dot + 1));
}

wstr& replaceExtension(wstr& path, std::wstring_view extension) {
    const std::wstring_view name = lastSegment(path);
    if (name.empty() || isDotOrDotDot(name))
        return path;
    const size_t dot = name.find(L'.');
    if (dot != npos && dot != 0)
        path.erase(path.size() - name.size() + dot);
    if (!extension.empty()) {
        path.push_back(L'.');
        path.append(extension);
    }
    return path;
}

bool hasExtension(std::wstring_view path, std::wstring_view extension) {
    if (path.size() <= extension.size() + 1)
        return false;
    const size_t dot = path.size() - extension.size() - 1;
    return path[dot] == L'.' && wstr::equals(path.substr(dot + 1), extension, false);
}

} // namespace Path

wstr joinPath(const wstr& first, const wchar_t* second) {
    wstr result = first;
    return Path::join(result, second);
}
