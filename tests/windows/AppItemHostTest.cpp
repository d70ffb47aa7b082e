#include "windows/AppItemHost.h"

#include "core/MessageBox.h"
#include "gui/Wnd.h"
#include "gui/WndClass.h"
#include "tests/support/QtTestApp.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

struct Seen {
    bool ownedByOwner = false;
    QString caption;
    QString text;
    int buttons = 0;
};

// Answers the next modal box by clicking its button of that role, noting
// what it showed.
void answerNextBox(QMessageBox::StandardButton button, QWidget* owner, Seen& seen) {
    QTimer::singleShot(0, [=, &seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        seen.ownedByOwner = box->parentWidget() == owner;
        seen.caption = box->windowTitle();
        seen.text = box->text();
        seen.buttons = static_cast<int>(box->buttons().size());
        box->button(button)->click();
    });
}

// On a display: without one the message box service answers for the user.
TEST(AppItemHostOnDisplay, BoxesAreOwnedByTheAskingWindowAndAnswerAsMessageBoxDoes) {
    qvtest::qtApp();
    Gui::Wnd owner;
    Gui::createWindowClass(nullptr, L"quorvalent_wndcls_test_owner")
        ->createWindow(owner, new QWidget);
    int consoles = 0;
    AppItemHost host(owner, [&] { ++consoles; });

    Seen seen;
    answerNextBox(QMessageBox::Cancel, owner.hwnd(), seen);
    EXPECT_EQ(host.messageBox(L"Erase?", MessageBox::MB_OKCANCEL | MessageBox::MB_ICONWARNING),
              MessageBox::IDCANCEL);
    EXPECT_TRUE(seen.ownedByOwner);
    EXPECT_EQ(seen.caption, "Quorvalent");
    EXPECT_EQ(seen.text, "Erase?");
    EXPECT_EQ(seen.buttons, 2);

    answerNextBox(QMessageBox::Ok, owner.hwnd(), seen);
    EXPECT_EQ(host.messageBox(L"Erase?", MessageBox::MB_OKCANCEL | MessageBox::MB_ICONWARNING),
              MessageBox::IDOK);

    answerNextBox(QMessageBox::Ok, owner.hwnd(), seen);
    EXPECT_EQ(host.messageBox(L"None.", MessageBox::MB_OK | MessageBox::MB_ICONINFORMATION),
              MessageBox::IDOK);
    EXPECT_EQ(seen.buttons, 1);

    host.showConsole();
    EXPECT_EQ(consoles, 1);
    EXPECT_FALSE(host.catalog()) << "no application in this test";
}

} // namespace
