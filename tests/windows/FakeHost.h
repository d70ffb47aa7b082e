#pragma once

#include "windows/WndMain.h"

#include <string>
#include <vector>

namespace qvtest {

// Records what the main window asks of the other windows.
class FakeHost : public WndMain::Host {
public:
    void showLaunchBox(int mode) override { calls.push_back("show " + std::to_string(mode)); }
    void hideLaunchBox() override { calls.push_back("hide"); }
    void toggleLaunchBox() override { calls.push_back("toggle"); }
    void toggleConsole() override { calls.push_back("console"); }

    std::vector<std::string> calls;
};

} // namespace qvtest
