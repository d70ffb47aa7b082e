"""Network access for plugins with the proxy and the time-out of the
program's [network] settings."""

import quorvalent_api as api

# The time-out when the settings give none.
_DEFAULT_TIMEOUT = 5


def _setting(key):
    return api.settings_get(api.app_settings(), "network", key) or ""


def proxies():
    """The proxy of each scheme, from the "scheme=url" lines of the proxy
    setting; empty for no proxy."""
    result = {}
    for line in _setting("proxy").splitlines():
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
