#pragma once

#include "core/Event.h"

// Tells the application that the system's network (proxy) settings changed,
// where a desktop watches its Internet Settings. The proxy here comes from
// the *_proxy environment variables, of which Linux gives no change notice:
// the default watch arms and never fires. Tests install their own.
// User-interface thread.
class NetworkSettingsWatch {
public:
    virtual ~NetworkSettingsWatch() = default;

    // Arms a one-shot notice that signals the event; false when that fails.
    virtual bool arm(const Event::Handle& event) = 0;
    // Drops an armed notice.
    virtual void disarm() = 0;
};

// The watch for a system without change notices.
class SilentNetworkSettingsWatch : public NetworkSettingsWatch {
public:
    bool arm(const Event::Handle&) override { return true; }
    void disarm() override {}
};
