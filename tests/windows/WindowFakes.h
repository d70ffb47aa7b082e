#pragma once

#include "app/AppConfig.h"
#include "windows/WndAbout.h"
#include "windows/WndConsole.h"
#include "windows/WndDiag.h"

#include <memory>
#include <vector>

namespace qvtest {

// The application as the console sees it: a log of its own, settings the
// test sets, and a record of what the console asked for. Python runs
// through the function given (none: the statement is answered unrun).
class FakeConsoleHost : public WndConsole::Host {
public:
    FakeConsoleHost() : settings(std::make_shared<AppConfig>()) {}

    std::shared_ptr<const AppConfig> config() const override { return settings; }
    std::vector<Logger::ItemPtr> fetchLog(uint64_t afterId) override {
        std::vector<Logger::ItemPtr> newer;
        for (const auto& record : log)
            if (record->id > afterId)
                newer.push_back(record);
        return newer;
    }
    wstr runPython(const wstr& statement) override {
        statements.push_back(statement);
        return python ? python(statement) : wstr();
    }
    void showAbout(Gui::Wnd& owner) override { aboutOwners.push_back(&owner); }
    AppState* state() override { return nullptr; }
    void alert(QWidget* window) override { alerts.push_back(window); }

    void addRecord(Logger::Level level, const wstr& message) {
        auto item = std::make_shared<Logger::Item>();
        item->id = log.size() + 1;
        item->level = level;
        item->message = message;
        item->time = {2026, 12, 4, 10, 9, 5, 7, 42};
        log.push_back(item);
    }

    std::shared_ptr<AppConfig> settings;
    std::vector<Logger::ItemPtr> log;
    std::function<wstr(const wstr&)> python;
    std::vector<wstr> statements;
    std::vector<Gui::Wnd*> aboutOwners;
    std::vector<QWidget*> alerts;
};

// The application as the diagnostic window sees it: one package with one
// plugin, made-up folders, and the clipboard as a text.
class FakeDiagHost : public WndDiag::Host {
public:
    FakeDiagHost() {
        auto package = std::make_shared<PackageManager::FullStats::Package>();
        package->id = 7;
        package->name = L"Sample";
        auto plugin = std::make_shared<PackageManager::FullStats::Plugin>();
        plugin->id = (uint64_t(7) << 32) | 1;
        plugin->name = L"Echo";
        package->plugins[plugin->id] = plugin;
        stats.packages[7] = package;
        stats.plugins[plugin->id] = plugin;
        folders_.defaultPackages = L"/opt/qv-test/default/Packages";
        folders_.profile = L"/home/tester/.config/qv-test-profile";
        folders_.local = L"/home/tester/.local/state/qv-test-local";
    }

    std::optional<PackageManager::FullStats> packageStats() override {
        ++snapshots;
        if (!hasPackageManager)
            return std::nullopt;
        return stats;
    }
    Catalog::Stats catalogStats() override { return {}; }
    bool portable() const override { return false; }
    DataFs::Folders folders() const override { return folders_; }
    std::vector<wstr> monitorLines() const override { return {L"Monitor #1: test"}; }
    void showAbout(Gui::Wnd& owner) override { aboutOwners.push_back(&owner); }
    bool setClipboardText(const wstr& text) override {
        clipboard = text;
        return true;
    }

    PackageManager::FullStats stats;
    DataFs::Folders folders_;
    bool hasPackageManager = true;
    int snapshots = 0;
    wstr clipboard;
    std::vector<Gui::Wnd*> aboutOwners;
};

class FakeAboutHost : public WndAbout::Host {
public:
    void openUrl(const wstr& url) override { urls.push_back(url); }
    Gui::Wnd* mainWindow() override { return nullptr; }
    std::vector<wstr> urls;
};

} // namespace qvtest
