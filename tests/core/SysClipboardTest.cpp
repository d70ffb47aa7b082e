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

TEST_F(Clipboard, ResettingBringsBackTheLocalClipboard) {
    Sys::setClipboardService(std::make_shared<FixedClipboard>(L"fake"));
    Sys::setClipboardService(nullptr);
    EXPECT_TRUE(Sys::setClipboardText(L"local"));
    EXPECT_EQ(Sys::getClipboardText(), L"local");
}

} // namespace
