// The desktop services over Qt: the clipboard, the screens and the message
// boxes, asked from the user-interface thread and from other threads.

#include "core/MessageBox.h"
#include "core/SysClipboard.h"
#include "core/SysDisplay.h"
#include "gui/Monitors.h"
#include "gui/QtClipboard.h"
#include "gui/QtDisplay.h"
#include "gui/QtMessageBox.h"
#include "gui/UiCall.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/WaitFor.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Runs the work on another thread while this (the user-interface) thread
// serves the Qt events it queues; the work's result.
template <typename F> auto onOtherThread(F work) {
    auto result = std::async(std::launch::async, work);
    EXPECT_TRUE(qvtest::waitFor([&] {
        QCoreApplication::processEvents();
        return result.wait_for(0ms) == std::future_status::ready;
    }));
    return result.get();
}

class QtServices : public ::testing::Test {
protected:
    void SetUp() override { qvtest::qtApp(); }
    void TearDown() override {
        ui->detach();
        Sys::setClipboardService(nullptr);
        Sys::setDisplayService(nullptr);
    }

    std::shared_ptr<Gui::UiCall> ui = std::make_shared<Gui::UiCall>();
};

TEST_F(QtServices, ClipboardIsTheDesktopsFromAnyThread) {
    Sys::setClipboardService(std::make_shared<Gui::QtClipboard>(ui));
    EXPECT_TRUE(onOtherThread([] { return Sys::setClipboardText(L"copied ünïcødé"); }));
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdWString(), L"copied ünïcødé");

    QGuiApplication::clipboard()->setText(QStringLiteral("from Qt"));
    EXPECT_EQ(onOtherThread([] { return Sys::getClipboardText(); }), L"from Qt");
    EXPECT_EQ(Sys::getClipboardText(), L"from Qt");

    // The text is read up to an embedded NUL, and not at all above 8 Mi characters.
    QGuiApplication::clipboard()->setText(QString::fromStdWString(wstr(L"abc\0tail", 8)));
    EXPECT_EQ(Sys::getClipboardText(), L"abc");
    QGuiApplication::clipboard()->setText(QString(0x800000, QLatin1Char('x')));
    EXPECT_EQ(Sys::getClipboardText().size(), 0x800000u);
    QGuiApplication::clipboard()->setText(QString(0x800001, QLatin1Char('x')));
    EXPECT_EQ(Sys::getClipboardText(), L"");
}

TEST_F(QtServices, MonitorsAreTheScreens) {
    Sys::setDisplayService(std::make_shared<Gui::QtDisplay>(ui));
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_FALSE(screens.isEmpty());
    auto monitors = onOtherThread([] { return Sys::enumMonitors(); });
    ASSERT_EQ(monitors.size(), std::size_t(screens.size()));
    for (qsizetype i = 0; i < screens.size(); ++i) {
        const QScreen* screen = screens[i];
        const Sys::MonitorInfo& info = *monitors[i];
        const QRect g = screen->geometry();
        EXPECT_EQ(info.monitor.left, g.x());
        EXPECT_EQ(info.monitor.right, g.x() + g.width());
        EXPECT_EQ(info.monitor.bottom, g.y() + g.height());
        EXPECT_EQ(info.work.bottom, screen->availableGeometry().bottom() + 1);
        EXPECT_EQ(info.dpi.x, uint32_t(qRound(screen->logicalDotsPerInchX())));
        EXPECT_EQ(info.dpi.y, uint32_t(qRound(screen->logicalDotsPerInchY())));
        EXPECT_EQ(info.primary, screen == QGuiApplication::primaryScreen());
        EXPECT_EQ(info.deviceName, screen->name().toStdWString());
    }

    // The description of the set is made from these monitors.
    Monitors set;
    set.describe();
    const QRect g = screens[0]->geometry();
    wstr first;
    wstr::format(first, L"monitors({},{},{},{},{}dpi", g.x(), g.y(), g.width(), g.height(),
                 monitors[0]->dpi.x);
    EXPECT_TRUE(set.description().starts_with(first)) << wstr::toUtf8(set.description());
    EXPECT_EQ(Monitors::compareDescriptions(set.description(), set.description()), 1);

    QWidget window;
    Monitors::MonitorPtr shown = set.fromWindow(&window);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->info->handle, reinterpret_cast<uintptr_t>(window.screen()));
    EXPECT_EQ(set.fromWindow(nullptr), set.primary());
    EXPECT_EQ(Sys::windowDpi(&window).y, uint32_t(qRound(window.screen()->logicalDotsPerInchY())));
    EXPECT_EQ(Sys::windowDpi(nullptr, monitors[0]->handle).x, monitors[0]->dpi.x);
    EXPECT_TRUE(Sys::cursorPos().has_value());
}

TEST_F(QtServices, AnUnservedCallGivesItsFallback) {
    // This thread serves no events meanwhile: the other thread gives up.
    auto late =
        std::async(std::launch::async, [&] { return ui->run<int>([] { return 1; }, -1, 20ms); });
    EXPECT_EQ(late.get(), -1);
    QCoreApplication::processEvents();

    ui->detach();
    EXPECT_EQ(ui->run<int>([] { return 1; }, -1), -1);
}

// Work from other threads runs on this thread in the order it was queued;
// what is still queued when the session detaches is dropped, and a caller
// waiting for it (without a time-out) gets its fallback instead of waiting
// for ever.
TEST_F(QtServices, QueuedWorkRunsInOrderAndDetachingDropsTheRest) {
    std::vector<int> ran;
    const auto self = std::this_thread::get_id();
    std::async(std::launch::async, [&] {
        for (int i = 0; i < 5; ++i)
            ui->post([&ran, &self, i] {
                EXPECT_EQ(std::this_thread::get_id(), self);
                ran.push_back(i);
            });
    }).get();
    ASSERT_TRUE(qvtest::waitFor([&] {
        QCoreApplication::processEvents();
        return ran.size() == 5;
    }));
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3, 4}));

    ui->post([&ran] { ran.push_back(5); });
    std::atomic<bool> calling = false;
    auto waiting = std::async(std::launch::async, [&] {
        calling = true;
        return ui->run<int>([] { return 1; }, -1);
    });
    // The call queues its work and waits: this thread serves nothing.
    ASSERT_TRUE(qvtest::waitFor([&] { return calling.load(); }));
    ASSERT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    ui->detach();
    ASSERT_EQ(waiting.wait_for(10s), std::future_status::ready) << "the caller still waits";
    EXPECT_EQ(waiting.get(), -1);
    QCoreApplication::processEvents();
    EXPECT_EQ(ran.size(), 5u) << "dropped work ran";
}

QString plain(QString text) {
    return text.remove(QLatin1Char('&'));
}

// Answers the message box once it is shown, from within its event loop, with
// the button of that text (mnemonics left out), or ends it without one.
class BoxAnswerer {
public:
    explicit BoxAnswerer(QString button) : button_(std::move(button)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start(5);
    }

    QString text, title, defaultButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;

private:
    void answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        timer_.stop();
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        defaultButton = box->defaultButton() ? plain(box->defaultButton()->text()) : QString();
        for (QAbstractButton* b : box->buttons())
            buttons << plain(b->text());
        // None: the box ends unanswered, as when the program is asked to end.
        if (button_.isEmpty())
            return box->done(0);
        for (QAbstractButton* b : box->buttons())
            if (plain(b->text()) == button_)
                return b->click();
    }

    QString button_;
    QTimer timer_;
};

TEST_F(QtServices, MessageBoxAskedFromAnotherThreadWaitsForTheAnswer) {
    Gui::QtMessageBox boxes(ui);
    BoxAnswerer answerer("Yes");
    int answer = onOtherThread([&] {
        return boxes.show(L"<b>Delete</b> the history?", L"Quorvalent",
                          MessageBox::MB_YESNO | MessageBox::MB_ICONQUESTION |
                              MessageBox::MB_DEFBUTTON2);
    });
    EXPECT_EQ(answer, MessageBox::IDYES);
    EXPECT_EQ(answerer.text.toStdString(), "<b>Delete</b> the history?");
    EXPECT_EQ(answerer.title.toStdString(), "Quorvalent");
    EXPECT_EQ(answerer.icon, QMessageBox::Question);
    EXPECT_EQ(answerer.buttons.size(), 2);
    EXPECT_EQ(answerer.defaultButton, "No");
}

TEST_F(QtServices, MessageBoxButtonsAnswerTheirIds) {
    Gui::QtMessageBox boxes(ui);
    struct Case {
        uint32_t style;
        const char* click;
        int answer;
    };
    for (const Case& c : std::initializer_list<Case>{
             {MessageBox::MB_OK, "OK", MessageBox::IDOK},
             {MessageBox::MB_CANCELTRYCONTINUE, "Continue", MessageBox::IDCONTINUE},
             {MessageBox::MB_CANCELTRYCONTINUE, "Try Again", MessageBox::IDTRYAGAIN},
             {MessageBox::MB_ABORTRETRYIGNORE, "Retry", MessageBox::IDRETRY},
             {MessageBox::MB_YESNOCANCEL, "Cancel", MessageBox::IDCANCEL},
             // Unanswered: Cancel where there is one, else the default.
             {MessageBox::MB_OKCANCEL, "", MessageBox::IDCANCEL},
             {MessageBox::MB_YESNOCANCEL, "", MessageBox::IDCANCEL},
             {MessageBox::MB_YESNO | MessageBox::MB_DEFBUTTON2, "", MessageBox::IDNO},
         }) {
        BoxAnswerer answerer(c.click);
        EXPECT_EQ(boxes.show(L"text", L"caption", c.style), c.answer) << c.click;
    }
}

} // namespace

namespace {

// The visible message boxes that are not modal, by their text.
QStringList informBoxes() {
    QStringList texts;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible() && box->windowModality() == Qt::NonModal)
            texts << box->text();
    }
    return texts;
}

TEST_F(QtServices, AnInformingBoxWaitsForNobodyAndGoesWithTheSession) {
    Gui::QtMessageBox boxes(ui);
    // From another thread that serves nothing, and from this one, which
    // shows it only once its loop runs (a start-up is not held).
    std::async(std::launch::async, [&] {
        boxes.inform(L"first", L"Quorvalent", MessageBox::MB_ICONWARNING);
    }).get();
    boxes.inform(L"second", L"Quorvalent", MessageBox::MB_ICONWARNING);
    EXPECT_TRUE(informBoxes().isEmpty());
    ASSERT_TRUE(qvtest::waitFor([] {
        QCoreApplication::processEvents();
        return informBoxes().size() == 2;
    }));

    // OK closes one; the other stays until the session goes.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible() && box->text() == "first")
            box->button(QMessageBox::Ok)->click();
    }
    EXPECT_EQ(informBoxes(), QStringList{"second"});
    boxes.closeInformBoxes();
    boxes.inform(L"third", L"Quorvalent", MessageBox::MB_ICONWARNING);
    QCoreApplication::processEvents();
    EXPECT_TRUE(informBoxes().isEmpty());
}

} // namespace
