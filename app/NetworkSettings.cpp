#include "app/NetworkSettings.h"

#include <cstdlib>
#include <string>

#include "core/Logger.h"
#include "platform/Environment.h"

namespace {

constexpr std::wstring_view schemeChars = L"abcdefghijklmnopqrstuvwxyz0123456789+-.";
constexpr std::wstring_view digits = L"0123456789";
constexpr std::wstring_view separator = L"://";

void warn(wstr message) {
    logMessage(Logger::Warning, std::move(message));
}

wstr& trimmed(wstr& text) {
    return wstr::trimRight(wstr::trimLeft(text));
}

wstr withoutLeadingColonsAndSlashes(const wstr& text) {
    std::size_t start = text.find_first_not_of(L":/");
    return start == wstr::npos ? wstr() : wstr(text.substr(start));
}

void removeTrailingSlashes(wstr& text) {
    std::size_t end = text.find_last_not_of(L'/');
    text.resize(end == wstr::npos ? 0 : end + 1);
}

// The position of the colon before a port of at least two digits that ends
// the text, or npos when there is none at or after minPos.
std::size_t portColon(const wstr& text, std::size_t minPos) {
    std::size_t last = text.find_last_not_of(digits);
    if (last == wstr::npos || text[last] != L':' || last < minPos || text.size() - last - 1 < 2)
        return wstr::npos;
    return last;
}

// Lowers the scheme and the host name of a "scheme://[user[:password]@]host..."
// URL; the user name, the password and the path keep their case.
void lowerSchemeAndHost(wstr& url, std::size_t schemeEnd, std::size_t portPos) {
    url.replace(0, schemeEnd, wstr::lowerCopy(std::wstring_view(url).substr(0, schemeEnd)));
    std::size_t authority = schemeEnd + separator.size();
    std::size_t authorityEnd = std::min(url.find(L'/', authority), portPos);
    std::size_t at = url.rfind(L'@', authorityEnd);
    std::size_t host = at == wstr::npos || at < authority ? authority : at + 1;
    wstr lowered = wstr::lowerCopy(std::wstring_view(url).substr(host, authorityEnd - host));
    url.replace(host, authorityEnd - host, lowered);
}

// Reads one line of a configured proxy list into scheme and URL; false
// refuses the whole list.
bool parseProxyLine(const wstr& line, wstr& scheme, wstr& url) {
    std::size_t eq = line.find(L'=');
    scheme = eq == wstr::npos ? wstr() : wstr(line.substr(0, eq));
    url = eq == wstr::npos ? line : wstr(line.substr(eq + 1));
    wstr::toLower(trimmed(scheme));
    trimmed(url);
    wstr ownScheme = urlScheme(url);
    if (!scheme.empty()) {
        if (!isValidProxyScheme(scheme)) {
            wstr message;
            warn(wstr::format(message, L"Invalid proxy scheme in proxy: \"{}\"", line));
            return false;
        }
        if (ownScheme.empty())
            url = scheme + wstr(separator) + withoutLeadingColonsAndSlashes(url);
    } else if (!ownScheme.empty()) {
        scheme = ownScheme;
    } else {
        scheme = L"http";
        url = scheme + wstr(separator) + withoutLeadingColonsAndSlashes(url);
        wstr message;
        warn(wstr::format(message, L"Scheme not found in proxy URL (defaults to {}): \"{}\"",
                          scheme, line));
    }
    removeTrailingSlashes(url);
    std::size_t schemeEnd = url.find(separator);
    std::size_t port = portColon(url, schemeEnd + separator.size() + 1);
    if (schemeEnd == wstr::npos || port == wstr::npos)
        return false;
    lowerSchemeAndHost(url, schemeEnd, port);
    return true;
}

// Reads one part of the system's server string into entries; false when it
// is not understood.
bool parseServerPart(const wstr& whole, wstr part, std::map<wstr, wstr>& entries, bool verbose) {
    trimmed(part);
    std::size_t eq = part.find(L'=');
    wstr scheme;
    wstr address;
    if (eq == wstr::npos || eq == 0) {
        scheme = L"http";
        std::size_t start = part.find_first_not_of(L'=');
        address = start == wstr::npos ? wstr() : wstr(part.substr(start));
        if (verbose) {
            wstr message;
            warn(wstr::format(message,
                              L"Proxy scheme not found in system config (defaults to {}): \"{}\"",
                              scheme, whole));
        }
    } else {
        scheme = part.substr(0, eq);
        std::size_t start = part.find_first_not_of(L'=', eq);
        address = start == wstr::npos ? wstr() : wstr(part.substr(start));
    }
    if (!isValidProxyScheme(scheme) || address.empty())
        return false;
    removeTrailingSlashes(address);
    if (portColon(address, 1) == wstr::npos)
        return false;
    if (address.find(separator) == wstr::npos)
        address = scheme + wstr(separator) + withoutLeadingColonsAndSlashes(address);
    entries[scheme] = address;
    return true;
}

// The variable in lower case, else in upper case; empty when neither is set.
std::string proxyVariable(const std::string& lowerName) {
    std::string upperName;
    for (char c : lowerName)
        upperName += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& name : {lowerName, upperName}) {
        std::string value = Platform::env::value(name);
        if (!value.empty())
            return value;
    }
    return {};
}

// The proxy variables in the system's server-string form.
wstr systemServerString() {
    std::string all = proxyVariable("all_proxy");
    std::string server;
    for (const char* scheme : {"http", "https", "ftp"}) {
        std::string value = proxyVariable(std::string(scheme) + "_proxy");
        if (value.empty())
            value = all;
        if (value.empty())
            continue;
        if (!server.empty())
            server += ';';
        server += std::string(scheme) + "=" + value;
    }
    return wstr::fromUtf8(server.c_str());
}

bool failProxy(ProxySettings& proxy) {
    proxy.clear();
    return false;
}

} // namespace

void ProxySettings::clear() {
    mode = ProxyNone;
    entries.clear();
}

wstr proxyListToString(const ProxySettings& proxy) {
    wstr text;
    const wchar_t* separatorText = L"";
    for (const auto& [scheme, url] : proxy.entries) {
        wstr::format(text, L"{}{}={}", separatorText, scheme, url);
        separatorText = L"\n";
    }
    return text;
}

bool parseProxySetting(ProxySettings& proxy, const wstr& text) {
    wstr value = wstr::trimCopy(text);
    if (value == L"noproxy" || value == L"none") {
        proxy.clear();
        return true;
    }
    if (value == L"system" || value.empty())
        return readSystemProxy(proxy, true);
    if (parseProxyList(proxy, value))
        return true;
    ProxySettings reported;
    readSystemProxy(reported, true);
    return false;
}

bool readSystemProxy(ProxySettings& proxy, bool verbose) {
    proxy.mode = ProxySystem;
    proxy.entries.clear();
    wstr server = systemServerString();
    if (server.empty()) {
        proxy.clear();
        return true;
    }
    if (!parseSystemProxyString(server, proxy.entries, verbose))
        return failProxy(proxy);
    return true;
}

bool parseSystemProxyString(const wstr& text, std::map<wstr, wstr>& entries, bool verbose) {
    entries.clear();
    for (const wstr& part : wstr::split(text, L";", true, false)) {
        if (!parseServerPart(text, part, entries, verbose)) {
            if (verbose) {
                wstr message;
                warn(wstr::format(message, L"Unrecognized format of system's proxy setting: \"{}\"",
                                  text));
            }
            return false;
        }
    }
    return !entries.empty();
}

bool parseProxyList(ProxySettings& proxy, const wstr& text) {
    proxy.mode = ProxyList;
    proxy.entries.clear();
    for (const wstr& line : wstr::tokenize(text, L"\r\n")) {
        wstr scheme;
        wstr url;
        if (!parseProxyLine(line, scheme, url))
            return failProxy(proxy);
        proxy.entries[scheme] = url;
    }
    if (proxy.entries.empty()) {
        warn(L"Empty proxy list!");
        return failProxy(proxy);
    }
    return true;
}

wstr urlScheme(const wstr& url) {
    wstr text = wstr::lowerCopy(url);
    wstr::trimLeft(text);
    if (text.size() < 4 || text[0] < L'a' || text[0] > L'z')
        return {};
    std::size_t end = text.find_first_not_of(schemeChars, 1);
    if (end == wstr::npos || std::wstring_view(text).substr(end, separator.size()) != separator ||
        text.size() <= end + separator.size())
        return {};
    return text.substr(0, end);
}

bool isValidProxyScheme(const wstr& scheme) {
    return !scheme.empty() && urlScheme(scheme + L"://host") == wstr::lowerCopy(scheme);
}
