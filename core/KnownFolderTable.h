#pragma once

#include <vector>

#include "core/SysKnownFolder.h"

// The known folders offered to the configuration files as the [var]
// variables KNOWNFOLDER_<NAME> (the path) and KNOWNFOLDERGUID_<NAME> (the
// folder's documented identifier). Any thread.
struct KnownFolderRow {
    const wchar_t* name;
    const wchar_t* guid; // lower-case, in braces
    Sys::KnownFolder folder;
};

// 47 rows, ACCOUNTPICTURES to WINDOWS.
const std::vector<KnownFolderRow>& knownFolderTable();
