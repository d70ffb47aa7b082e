#include "core/SysClipboard.h"

#include <gtest/gtest.h>

namespace {

class FixedClipboard : public Sys::ClipboardService {
public:
    explicit FixedClipboard(wstr text) : text_(std::move(text)) {}
    wstr text() override { return text_; }
    bool setText(const wstr&) override { return false; }

private:
    wstr text_;
};

class Clipboard : public ::testing::Test {
protected:
    void TearDown() override { Sys::setClipboardService(nullptr); }
};

TEST_F(Clipboard, ProcessLocalByDefault) {
    EXPECT_EQ(Sys::getClipboardText(), L"");
    EXPECT_TRUE(Sys::setClipboardText(L"copied ünïcødé"));
    EXPECT_EQ(Sys::getClipboardText(), L"copied ünïcødé");
}

// The text is read within its own size: up to an embedded NUL, or whole when
// it has none.
TEST_F(Clipboard, ReadWithinItsSize) {
    Sys::setClipboardService(std::make_shared<FixedClipboard>(wstr(L"abc\0tail", 8)));
    EXPECT_EQ(Sys::getClipboardText(), L"abc");
    Sys::setClipboardService(std::make_shared<FixedClipboard>(wstr(L"no terminator")));
    EXPECT_EQ(Sys::getClipboardText(), L"no terminator");
    Sys::setClipboardService(std::make_shared<FixedClipboard>(wstr(0x800000, L'x')));
    EXPECT_EQ(Sys::getClipboardText().size(), 0x800000u);
    Sys::setClipboardService(std::make_shared<FixedClipboard>(wstr(0x800001, L'x')));
    EXPECT_EQ(Sys::getClipboardText(), L"");
    EXPECT_FALSE(Sys::setClipboardText(L"refused"));
}

TEST_F(Clipboard, ResettingBringsBackTheLocalClipboard) {
    Sys::setClipboardService(std::make_shared<FixedClipboard>(L"fake"));
    Sys::setClipboardService(nullptr);
    EXPECT_TRUE(Sys::setClipboardText(L"local"));
    EXPECT_EQ(Sys::getClipboardText(), L"local");
}

} // namespace
