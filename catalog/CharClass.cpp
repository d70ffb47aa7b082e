#include "catalog/CharClass.h"

#include <cwctype>

#include "core/TextLocale.h"

namespace CharClass {

bool isSpaceSlow(wchar_t ch) {
    return iswspace_l(static_cast<wint_t>(ch), textLocale()) != 0;
}

bool isControlSlow(wchar_t ch) {
    return iswcntrl_l(static_cast<wint_t>(ch), textLocale()) != 0;
}

bool isPrint(wchar_t ch) {
    return iswprint_l(static_cast<wint_t>(ch), textLocale()) != 0;
}

wchar_t toUpperSlow(wchar_t ch) {
    return static_cast<wchar_t>(towupper_l(static_cast<wint_t>(ch), textLocale()));
}

wchar_t toLowerSlow(wchar_t ch) {
    return static_cast<wchar_t>(towlower_l(static_cast<wint_t>(ch), textLocale()));
}

} // namespace CharClass
