#include "gui/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace Gui {
wstr QtClipboard::text() {
    return ui_->run<wstr>([] { return wstr(QGuiApplication::clipboard()->text().toStdWString()); },
                          wstr(), UiCall::quickAnswer);
}

bool QtClipboard::setText(const wstr& text) {
    return ui_->run<bool>(
        [text] {
            const QString value = QString::fromStdWString(text);
            QClipboard* clipboard = QGuiApplication::clipboard();
            clipboard->setText(value);
            return clipboard->text() == value;
        },
        false, UiCall::quickAnswer);
}

} // namespace Gui
