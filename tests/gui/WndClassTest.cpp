#include "gui/WndClass.h"
#include "gui/WndMessage.h"

#include "tests/gui/WndRecorder.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Gui;

namespace {

TEST(WndClass, OneClassPerNameAndInstance) {
    qvtest::qtApp();
    auto run = createWindowClass(nullptr, L"quorvalent_wndcls_run");
    EXPECT_EQ(createWindowClass(ownInstance(), L"quorvalent_wndcls_run"), run);
    EXPECT_EQ(findWindowClass(L"quorvalent_wndcls_run", nullptr), run);
    EXPECT_NE(createWindowClass(nullptr, L"QUORVALENT_wndcls_run"), run);
    static const char plugin = 0;
    EXPECT_EQ(findWindowClass(L"quorvalent_wndcls_run", &plugin), nullptr);
    EXPECT_NE(createWindowClass(&plugin, L"quorvalent_wndcls_run"), run);
    EXPECT_NE(run->atom(), 0);
    EXPECT_FALSE(run->bigIcon().isNull()) << "the program icon ships as a resource";
}

TEST(WndClass, CreatingAWindowNamesAndBindsIt) {
    qvtest::qtApp();
    auto cls = createWindowClass(nullptr, L"quorvalent_wndcls_console");
    qvtest::WndRecorder wnd;
    cls->createWindow(wnd, new QWidget);
    EXPECT_EQ(wnd.hwnd()->objectName(), "quorvalent_wndcls_console");
    EXPECT_FALSE(wnd.hwnd()->windowIcon().isNull());
    EXPECT_EQ(wnd.messages.front().message, NcCreate);
}

TEST(WndClass, AnEmptyNameCannotBeRegistered) {
    EXPECT_THROW(createWindowClass(nullptr, L""), std::runtime_error);
    EXPECT_EQ(findWindowClass(L"", nullptr), nullptr);
}

} // namespace
