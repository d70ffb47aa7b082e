#pragma once

#include "windows/WndMain.h"

#include <string>
#include <vector>

namespace qvtest {

// Records what the main window asks of the other windows.
class FakeWindowsHost : public WndMain::Host, public ItemCommands {
public:
    void showLaunchBox(int mode) override { calls.push_back("show " + std::to_string(mode)); }
    void hideLaunchBox() override { calls.push_back("hide"); }
    void toggleLaunchBox() override { calls.push_back("toggle"); }
    void showConsole() override { calls.push_back("console"); }
    void toggleConsole() override { calls.push_back("toggle console"); }
    void showDiagnostic() override { calls.push_back("diagnostic"); }
    void showAbout(Gui::Wnd*) override { calls.push_back("about"); }
    void showProperties(const CatalogItemPtr& item, Gui::Wnd*) override {
        calls.push_back("properties " + (item ? wstr::toUtf8(item->label()) : std::string()));
    }
    void eraseFromHistory(const CatalogItemPtr& item, EraseScope scope, Gui::Wnd*) override {
        calls.push_back(std::string(scope == EraseItem ? "erase item " : "erase package ") +
                        (item ? wstr::toUtf8(item->label()) : std::string()));
    }

    std::vector<std::string> calls;
};

} // namespace qvtest
