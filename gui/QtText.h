#pragma once

#include <QString>

#include "core/Wstr.h"

// The program's text and Qt's (wchar_t holds UTF-32 on Linux, so both
// directions are lossless). Any thread.
namespace Gui {

inline QString toQString(const std::wstring& text) {
    return QString::fromStdWString(text);
}
inline wstr toWstr(const QString& text) {
    return wstr(text.toStdWString());
}

} // namespace Gui
