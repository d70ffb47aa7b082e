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
        right->primary = primaryRight;
        return {left, right};
    }
    Sys::Dpi windowDpi(const void*, uintptr_t monitor) override {
        return monitor == 11 ? Sys::Dpi{144, 144} : Sys::Dpi{};
    }

    bool primaryRight = true;
};

TEST(SysDisplay, TheInstalledServiceAnswers) {
    auto service = std::make_shared<TwoMonitors>();
    Sys::setDisplayService(service);
    EXPECT_EQ(Sys::enumMonitors().size(), 2u);
    EXPECT_EQ(Sys::windowDpi(nullptr, 11).x, 144u);
    // Without its own answer a service places every window on the primary monitor.
    EXPECT_EQ(Sys::windowMonitor(nullptr), 11u);
    service->primaryRight = false;
    EXPECT_EQ(Sys::windowMonitor(nullptr), 0u);
    EXPECT_FALSE(Sys::cursorPos().has_value());
    Sys::setDisplayService(nullptr);
    EXPECT_NE(Sys::windowMonitor(nullptr), 0u);
}

} // namespace
