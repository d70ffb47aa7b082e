#pragma once

#include <cstdint>
#include <map>

#include "core/Wstr.h"

// The [network] proxy: none, the system's proxy, or a list given in the
// settings. Entries map a scheme to the proxy's URL, in ordinal order of the
// scheme.
enum ProxyMode : int32_t { ProxyNone = 0, ProxySystem = 1, ProxyList = 2 };

struct ProxySettings {
    int32_t mode = ProxyNone;
    std::map<wstr, wstr> entries;

    void clear();
    bool operator==(const ProxySettings&) const = default;
};

// Every function here is stateless and may be called from any thread; the
// warnings go to the log.

// One "scheme=url" line per entry, joined by "\n"; empty without entries.
wstr proxyListToString(const ProxySettings& proxy);

// The value of the proxy setting: "noproxy" or "none" is no proxy, "system"
// or an empty value the system's proxy, anything else a list. False, with
// `proxy` untouched by the caller's current value, when the value is
// refused.
bool parseProxySetting(ProxySettings& proxy, const wstr& text);

// The system's proxy: http_proxy, https_proxy and ftp_proxy (either case),
// each falling back to all_proxy. None set is a direct connection (mode
// none, success). Messages only when verbose.
bool readSystemProxy(ProxySettings& proxy, bool verbose);

// The system's server string: "scheme=host:port" parts separated by ';'; a
// part without a scheme is for http. True when at least one entry was read.
bool parseSystemProxyString(const wstr& text, std::map<wstr, wstr>& entries, bool verbose);

// Lines of "scheme=url" or "url". Schemes and host names are lower-cased;
// user names, passwords and paths keep their case. Each URL must end in a
// port of at least two digits.
bool parseProxyList(ProxySettings& proxy, const wstr& text);

// The URL's lower-cased scheme ("http" of "HTTP://host"), empty when it has
// none.
wstr urlScheme(const wstr& url);
// A letter followed by letters, digits, '+', '-' or '.'.
bool isValidProxyScheme(const wstr& scheme);
