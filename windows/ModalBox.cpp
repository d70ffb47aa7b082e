#include "windows/ModalBox.h"

#include "app/App.h"
#include "core/MessageBox.h"
#include "gui/QtSession.h"
#include "gui/QtText.h"
#include "gui/Wnd.h"

#include <QMessageBox>
#include <QScreen>

namespace {

int openBoxes = 0;

QMessageBox::Icon iconOf(uint32_t style) {
    switch (style & MessageBox::MB_ICONMASK) {
    case MessageBox::MB_ICONERROR:
        return QMessageBox::Critical;
    case MessageBox::MB_ICONQUESTION:
        return QMessageBox::Question;
    case MessageBox::MB_ICONWARNING:
        return QMessageBox::Warning;
    case MessageBox::MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// A box over a window that is not on screen (the main window never is) goes
// to the middle of that window's screen, not beside the window's corner.
class OwnedBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        const QWidget* owner = parentWidget();
        if (!owner || owner->isVisible() || !owner->screen())
            return;
        const QRect area = owner->screen()->availableGeometry();
        const QSize frame = frameGeometry().size();
        move(area.x() + (area.width() - frame.width()) / 2,
             area.y() + (area.height() - frame.height()) / 2);
    }
};

} // namespace

ModalBox::Scope::Scope() {
    ++openBoxes;
}

ModalBox::Scope::~Scope() {
    --openBoxes;
}

bool ModalBox::isOpen() {
    return openBoxes > 0;
}

int ModalBox::show(Gui::Wnd* owner, const wstr& text, uint32_t style) {
    Scope open;
    if (!Gui::QtSession::hasDisplay())
        return MessageBox::ask(text, App::appTitle(), style);
    const bool okCancel = (style & MessageBox::MB_TYPEMASK) == MessageBox::MB_OKCANCEL;
    OwnedBox box(iconOf(style), Gui::toQString(App::appTitle()), Gui::toQString(text),
                 okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                 owner ? owner->hwnd() : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    if (okCancel)
        box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok ? MessageBox::IDOK : MessageBox::IDCANCEL;
}
