#pragma once

#include "core/Wstr.h"

// How the program names itself in the files it writes and in the messages
// about them (the history file's creator and its web address, the version in its load errors, the
// build revision in the cache file's corruption warning). The application
// installs its own values at start-up (App::appTitle, App::appVersion,
// App::appRevision); until then the defaults stand, with an empty revision.
struct AppIdentity {
    wstr title = L"Quorvalent";
    wstr version = L"2.24";
    // The build's revision: 40 lower-case hexadecimal digits.
    wstr revision;
    // The product's web address, written beside the creator.
    wstr website = L"https://quorvalent.org/";

    // "{} ({})" with the version and the first 7 characters of the revision.
    wstr versionString() const;

    // A copy of the installed identity. Any thread.
    static AppIdentity get();
    // Installs the identity. Start-up thread, before the files are used.
    static void set(AppIdentity identity);
};
