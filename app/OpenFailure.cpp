#include "app/OpenFailure.h"

#include "core/SysInfo.h"
#include "core/SysShell.h"

wstr openFailureText(const wstr& target, uint32_t error, const wstr& alternatives) {
    wstr text;
    wstr::format(text, L"Cannot open \"{}\": {}", target, Sys::windowsErrorText(error, false));
    if (error == Sys::ERROR_NO_ASSOCIATION && !alternatives.empty())
        text += L" Or set " + alternatives + L" in the [external] section of your configuration.";
    return text;
}
