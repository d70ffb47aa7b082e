// Every test of this binary that needs the interpreter: it starts once per
// process.
#include "python/Python.h"

#include "gui/Theme.h"
#include "gui/VirtualKey.h"
#include "gui/WndMessage.h"
#include "tests/app/PythonForTests.h"
#include "tests/support/QtTestApp.h"
#include "tests/windows/WindowFakes.h"
#include "windows/ConsoleInterpreter.h"
#include "windows/WndAbout.h"
#include "windows/WndConsole.h"
#include "windows/WndDiag.h"

#include <QDir>
#include <QImage>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Gui;

namespace {

TEST(ConsoleInterpreter, CollectsWhatAStatementPrintsToBothStreams) {
    qvtest::ensurePython();
    ConsoleInterpreter python;
    EXPECT_EQ(python.run(L"import sys\nprint('out', 6 * 7)\nprint('err', file=sys.stderr)"),
              L"out 42\nerr\n");
    // A statement that prints nothing yields nothing; its effects stay in the
    // console namespace.
    EXPECT_EQ(python.run(L"kept = 'x' * 3"), L"");
    EXPECT_EQ(python.run(L"print(kept)"), L"xxx\n");
}

TEST(ConsoleInterpreter, ExceptionsAndSystemExitBecomeTextWithoutLeaving) {
    qvtest::ensurePython();
    ConsoleInterpreter python;
    const wstr error = python.run(L"1 / 0");
    EXPECT_NE(error.find(L"Traceback"), wstr::npos) << wstr::toUtf8(error);
    EXPECT_NE(error.find(L"ZeroDivisionError"), wstr::npos) << wstr::toUtf8(error);
    const wstr syntax = python.run(L"def (");
    EXPECT_NE(syntax.find(L"SyntaxError"), wstr::npos) << wstr::toUtf8(syntax);
    // Would end the program if printed the usual way.
    const wstr exit = python.run(L"raise SystemExit(3)");
    EXPECT_NE(exit.find(L"SystemExit"), wstr::npos) << wstr::toUtf8(exit);
    EXPECT_EQ(python.run(L"print('still here')"), L"still here\n");
}

// A console whose host runs Python for real.
class LiveConsoleHost : public qvtest::FakeConsoleHost {
public:
    LiveConsoleHost() {
        python = [this](const wstr& statement) { return interpreter.run(statement); };
    }
    ConsoleInterpreter interpreter;
};

TEST(ConsoleInterpreter, TheQvAliasImportsTheModule) {
    qvtest::ensurePython();
    qvtest::qtApp();
    LiveConsoleHost host;
    host.settings->showTimePrefix = false;
    WndConsole console(host, std::make_shared<Theme>());
    console.inputBox().setText(L":qv");
    console.inputBox().sendMessage(KeyDown, VkReturn, 0);
    console.inputBox().setText(L"print(qv.__name__)");
    console.inputBox().sendMessage(KeyDown, VkReturn, 0);
    EXPECT_EQ(console.logBox().getText(),
              L">>> import quorvalent as qv\n>>> print(qv.__name__)\nquorvalent\n");
}

QString screenshotFolder() {
    const QString folder = QString(QV_BUILD_DIR) + "/screenshots";
    QDir().mkpath(folder);
    return folder;
}

// How many pixels differ from the colour at the top-left corner: a window
// that drew text has many.
int pixelsUnlike(const QImage& image, const QRect& rect) {
    const QRgb back = image.pixel(rect.topLeft());
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += image.pixel(x, y) != back;
    return count;
}

TEST(WindowScreenshots, ConsoleWithPythonOutputOnDisplay) {
    qvtest::ensurePython();
    qvtest::qtApp();
    LiveConsoleHost host;
    host.addRecord(Logger::Info, L"Quorvalent started");
    host.addRecord(Logger::Warning, L"A package could not be loaded");
    WndConsole console(host, std::make_shared<Theme>());
    console.appendLog();
    console.show(true);
    console.hwnd()->resize(640, 360);
    console.inputBox().setText(L"print('\\n'.join(str(n * n) for n in range(1, 6)))");
    console.inputBox().sendMessage(KeyDown, VkReturn, 0);
    ASSERT_NE(console.logBox().getText().find(L"1\n4\n9\n16\n25\n"), wstr::npos);
    console.inputBox().setText(L"qv.__name__");

    const QImage image = console.hwnd()->grab().toImage();
    ASSERT_TRUE(image.save(screenshotFolder() + "/console.png"));
    EXPECT_GT(pixelsUnlike(image, console.logBox().hwnd()->geometry()), 200);
    EXPECT_GT(pixelsUnlike(image, console.inputBox().hwnd()->geometry()), 20);
}

TEST(WindowScreenshots, DiagnosticWindowOnDisplay) {
    qvtest::qtApp();
    qvtest::FakeDiagHost host;
    WndDiag diag(host, std::make_shared<Theme>());
    diag.show(true);
    diag.hwnd()->resize(640, 480);
    ASSERT_NE(diag.reportBox().getText().find(L"Package Sample:"), wstr::npos);

    const QImage image = diag.hwnd()->grab().toImage();
    ASSERT_TRUE(image.save(screenshotFolder() + "/diagnostic.png"));
    EXPECT_GT(pixelsUnlike(image, diag.reportBox().hwnd()->geometry()), 500);
}

TEST(WindowScreenshots, AboutBoxOnDisplay) {
    qvtest::qtApp();
    qvtest::FakeAboutHost host;
    QImage image;
    QTimer::singleShot(0, [&] {
        WndAbout* box = WndAbout::current();
        ASSERT_NE(box, nullptr);
        image = box->hwnd()->grab().toImage();
        box->close(1);
    });
    WndAbout::showModal(host, std::make_shared<Theme>(), nullptr);
    ASSERT_FALSE(image.isNull());
    ASSERT_TRUE(image.save(screenshotFolder() + "/about.png"));
    EXPECT_GT(pixelsUnlike(image, image.rect()), 500);
}

} // namespace
