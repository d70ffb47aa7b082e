"""Network access for plugins with the proxy and the time-out of the
program's [network] settings."""

import quorvalent_api as api

# The time-out when the settings give none.
_DEFAULT_TIMEOUT = 5


def _setting(key):
    return api.settings_get(api.app_settings(), "network", key) or ""


def _system_proxies():
    # The environment's proxies as the program reads them: http, https and
    # ftp, each variable in either case, each falling back to all_proxy.
    import os

    def variable(name):
        return os.environ.get(name) or os.environ.get(name.upper())

    every = variable("all_proxy")
    result = {}
    for scheme in ("http", "https", "ftp"):
        url = variable(scheme + "_proxy") or every
        if url:
            result[scheme] = url
    return result


def proxies():
    """The proxy of each scheme: the environment's for the proxy setting
    "system", none for "none", else from its "scheme=url" lines."""
    setting = _setting("proxy").strip()
    if setting == "system":
        return _system_proxies()
    result = {}
    for line in setting.splitlines():
        scheme, sep, url = line.strip().partition("=")
        if sep and scheme and url:
            result[scheme] = url
    return result


def timeout():
    """The time-out in seconds."""
    try:
        return int(_setting("timeout"))
    except ValueError:
        return _DEFAULT_TIMEOUT


def build_opener(*handlers):
    """A urllib opener that goes through the configured proxies."""
    # Imported here: it takes longer than the rest of the program's start.
    import urllib.request
    return urllib.request.build_opener(urllib.request.ProxyHandler(proxies()), *handlers)


def urlopen(url, data=None):
    """Opens the address through the configured proxies and time-out."""
    return build_opener().open(url, data, timeout())
