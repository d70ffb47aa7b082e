#include "platform/KeyboardLayout.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace Platform;

TEST(KeyboardLayout, TheSessionsLayoutElseTheSystemsConfiguration) {
    qvtest::TempDir dir;
    const std::string config =
        dir.write("keyboard",
                  "XKBMODEL=\"pc105\"\nXKBLAYOUT=\"de,us\"\nXKBVARIANT=\"nodeadkeys,\"\n")
            .string();
    qvtest::ScopedEnv env;
    env.unset("DISPLAY").unset("XKB_DEFAULT_LAYOUT").unset("XKB_DEFAULT_VARIANT");
    EXPECT_EQ(keyboardLayoutName(config), "de(nodeadkeys)") << "the first layout of the list";
    EXPECT_EQ(keyboardLayoutName((dir.path() / "missing").string()), "");
    env.set("XKB_DEFAULT_LAYOUT", "fr");
    EXPECT_EQ(keyboardLayoutName(config), "fr");
    env.set("XKB_DEFAULT_VARIANT", "azerty");
    EXPECT_EQ(keyboardLayoutName(config), "fr(azerty)");
}

// Under an X server (the display tests run under Xvfb) its layout comes first.
TEST(KeyboardLayoutOnDisplay, TheServersLayoutComesFirst) {
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no X display";
    qvtest::ScopedEnv env;
    env.set("XKB_DEFAULT_LAYOUT", "qv-not-a-layout");
    const std::string layout = keyboardLayoutName("/nonexistent");
    EXPECT_FALSE(layout.empty());
    EXPECT_NE(layout, "qv-not-a-layout");
}
