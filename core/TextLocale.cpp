#include "core/TextLocale.h"

locale_t textLocale() {
    static const locale_t locale = [] {
        locale_t utf8 = newlocale(LC_ALL_MASK, "C.UTF-8", locale_t{});
        return utf8 ? utf8 : newlocale(LC_ALL_MASK, "C", locale_t{});
    }();
    return locale;
}
