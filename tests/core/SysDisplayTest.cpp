#include "core/SysDisplay.h"

#include <gtest/gtest.h>

namespace {

class TwoMonitors : public Sys::DisplayService {
public:
    std::vector<std::shared_ptr<Sys::MonitorInfo>> monitors() override {
        auto left = std::make_shared<Sys::MonitorInfo>();
        left->handle = 10;
        auto right = std::make_shared<Sys::MonitorInfo>();
        right->handle = 11;
        right->dpi = {144, 144};
        return {left, right};
    }
    Sys::Dpi windowDpi(const void*, uintptr_t monitor) override {
        return monitor == 11 ? Sys::Dpi{144, 144} : Sys::Dpi{};
    }
};

TEST(SysDisplay, OnePrimaryMonitorAt96DpiUntilReplaced) {
    auto monitors = Sys::enumMonitors();
    ASSERT_EQ(monitors.size(), 1u);
    EXPECT_TRUE(monitors[0]->primary);
    EXPECT_EQ(monitors[0]->dpi.x, 96u);
    EXPECT_GT(monitors[0]->monitor.right, monitors[0]->monitor.left);
    EXPECT_EQ(Sys::windowDpi().y, 96u);

    Sys::setDisplayService(std::make_shared<TwoMonitors>());
    EXPECT_EQ(Sys::enumMonitors().size(), 2u);
    EXPECT_EQ(Sys::windowDpi(nullptr, 11).x, 144u);
    Sys::setDisplayService(nullptr);
    EXPECT_EQ(Sys::enumMonitors().size(), 1u);
}

} // namespace
