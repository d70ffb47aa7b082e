#pragma once

#include <map>
#include <vector>

#include "core/Wstr.h"

// The process environment, the program search path and the resolution of a
// program name to the executable it stands for. Every function reads the
// environment at the time of the call and may be called from any thread.
namespace Sys {

using EnvironmentMap = std::map<wstr, wstr>;

// Replaces every %NAME% by the variable's value; names are looked up as
// written, then without case. Unknown names and a lone '%' stay as written.
// Always succeeds here; the out text receives the expansion.
bool tryExpandEnvVars(const wstr& text, wstr& out);
wstr expandEnvVars(const wstr& text);
void expandEnvVarsInPlace(wstr& text);

// The environment with upper-cased names; a later entry of the same name
// wins, an entry without '=' is skipped.
EnvironmentMap environmentBlock();

// The folders of PATH (split at ':', empty and relative parts dropped) that
// exist.
std::vector<wstr> searchPath();

// The extensions of PATHEXT (split at ';'), each with its leading dot.
// Usually unset on this system, which gives none.
std::vector<wstr> pathExtensions();

// The full path of the program a name stands for, or empty. The name is
// trimmed and expanded. A name with a '/' is a path and is taken as it is;
// a bare name is looked up in each folder in order (the PATH folders when
// the list is empty; missing folders are skipped and never replaced by PATH).
// Each candidate is tried as named and then, unless it already carries one,
// with each extension of the list (PATHEXT when empty). Only regular files
// with an execute bit are accepted.
wstr resolveExecutable(wstr name, std::vector<wstr> folders, std::vector<wstr> extensions);

// The command line with its first argument replaced by the final path of the
// executable it resolves to (Sys::finalPathName), quoted only where needed;
// empty when the text is blank or the program cannot be found.
wstr resolveCommandLine(const wstr& commandLine, const std::vector<wstr>& folders,
                        const std::vector<wstr>& extensions);

} // namespace Sys

namespace Path {

// True when the name has an extension and '.' with it equals one of the
// entries (each with its dot), compared without case.
bool hasExtensionIn(const wstr& name, const std::vector<wstr>& extensions);

} // namespace Path
