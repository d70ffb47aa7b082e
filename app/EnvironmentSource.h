#pragma once

#include "core/Wstr.h"

#include <memory>
#include <vector>

// Where the environment reload takes the user's current environment from.
// Linux sends no notice when the user's environment changes and keeps no
// per-user block of it; the closest is the systemd user manager's
// environment, which the session's programs are started with. Tests install
// their own source.
class EnvironmentSource {
public:
    virtual ~EnvironmentSource() = default;

    // The variables as "NAME=value" texts, in order; false when the source
    // cannot tell. User-interface thread.
    virtual bool read(std::vector<wstr>& block) = 0;

    // The installed source; the system's until another is installed. Any
    // thread.
    static std::shared_ptr<EnvironmentSource> current();
    // Installs a source; null brings back the system's. Any thread.
    static void install(std::shared_ptr<EnvironmentSource> source);
};

// The systemd user manager's environment where it answers, otherwise the
// environment the program started with (taken when this object is made).
class SystemEnvironmentSource : public EnvironmentSource {
public:
    // How long the user manager may take to answer.
    static constexpr int answerTimeoutMs = 2000;

    SystemEnvironmentSource();
    bool read(std::vector<wstr>& block) override;

    // The block of the user manager; false when it does not answer.
    static bool readUserManager(std::vector<wstr>& block);

private:
    std::vector<wstr> startBlock_;
};
