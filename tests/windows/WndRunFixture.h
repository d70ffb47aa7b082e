#pragma once

// A LaunchBox over a fake application: a catalog that finds items whose
// label contains the text, a history, actions per item, and a package
// manager that records the messages it is given.

#include "gui/CtrlEditPadded.h"
#include "gui/CtrlList.h"
#include "gui/Theme.h"
#include "gui/VirtualKey.h"
#include "gui/WndMessage.h"
#include "windows/ItemIcons.h"
#include "windows/LaunchBoxHost.h"
#include "windows/WndRun.h"

#include "tests/support/FakeDisplay.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace qvtest {

inline constexpr uint64_t pluginA = 0x0000000500000007ull;
inline constexpr uint64_t pluginB = 0x0000000600000009ull;

inline CatalogItemPtr makeItem(const wstr& label, uint32_t category = CatalogItem::keyword,
                               uint32_t argsHint = CatalogItem::forbidden,
                               uint64_t pluginId = pluginA, const wstr& target = {}) {
    return std::make_shared<CatalogItem>(pluginId, category, label, L"",
                                         target.empty() ? wstr(L"target:" + label) : target,
                                         argsHint, false, CatalogItem::keepall, 0, L"");
}

inline CatalogActionPtr makeAction(const wstr& name, const wstr& label) {
    return std::make_shared<CatalogAction>(pluginA, name, label, L"", L"");
}

// What a package manager was asked to do.
struct SentMessage {
    uint32_t kind = 0;
    uint64_t pluginId = 0; // 0: broadcast
    PluginMsg::Data data;
};

class FakeLaunchBoxHost : public LaunchBoxHost {
public:
    FakeLaunchBoxHost() : settings(std::make_shared<AppConfig>()) {}

    std::shared_ptr<const AppConfig> config() override { return settings; }
    bool hasPackageManager() override { return packageManager; }

    void search(const std::shared_ptr<CatalogResults>& results, const wstr& text,
                const CatalogItemPtr& chainItem, std::size_t) override {
        ++searches;
        if (chainItem) {
            for (const auto& item : chainResults)
                results->addUnscored(item, CatalogResult::suggestion, 0);
            return;
        }
        if (text.empty())
            return;
        for (const auto& item : items)
            if (wstr::findNoCase(item->label(), text) >= 0)
                results->addUnscored(item, CatalogResult::catalog, 0);
    }
    std::size_t historyResults(CatalogResults& results) override {
        for (const auto& item : history)
            results.addUnscored(item, CatalogResult::history, 0);
        return results.size();
    }
    std::size_t countItemActions(const CatalogItemPtr& item) override {
        auto found = actions.find(item->baseId());
        return found == actions.end() ? 0 : found->second.size();
    }
    std::size_t getItemActions(const CatalogItemPtr& item,
                               std::vector<CatalogActionPtr>& out) override {
        auto found = actions.find(item->baseId());
        if (found != actions.end())
            out.insert(out.end(), found->second.begin(), found->second.end());
        return 0;
    }
    bool recordHit(const CatalogItemPtr& item, const CatalogActionPtr& action) override {
        hits.emplace_back(item, action);
        return true;
    }
    void addSearchTerms(const wstr& text, const CatalogItemPtr& item) override {
        terms.emplace_back(text, item);
    }
    wstr historyTerms(const CatalogItemPtr&) override { return historyText; }
    bool eraseFromHistory(const CatalogItemPtr& item, Gui::Wnd&) override {
        erased.push_back(item);
        return true;
    }
    void clearSuggestions() override { ++suggestionClears; }
    std::size_t catalogItemCount() override { return items.size(); }

    bool sendMessage(uint64_t pluginId, uint32_t kind, const PluginMsg::Data& data) override {
        if (!livePlugins.count(pluginId))
            return false;
        sent.push_back({kind, pluginId, data});
        return true;
    }
    void broadcastMessage(uint32_t kind, const PluginMsg::Data& data) override {
        sent.push_back({kind, 0, data});
    }
    void cancelMessages(uint32_t kind) override { cancelled.push_back(kind); }
    uint64_t activeTasks() override { return tasks; }
    std::size_t packageCount() override { return packages; }
    wstr packageName(uint32_t) override { return L"Sample"; }

    wstr clipboardText() override { return clipboard; }
    std::optional<Sys::Rect> storedGeometry() override { return stored; }
    void captureGeometry(const Sys::Rect& rect) override { captured.push_back(rect); }

    void postMainCommand(uint32_t id) override { commands.push_back(id); }
    void showAbout() override { ++abouts; }
    void showTrayMenu(Gui::Wnd&) override { ++trayMenus; }
    void showItemMenu(const CatalogItemPtr& item, Gui::Wnd&, QPoint) override {
        itemMenus.push_back(item);
    }
    void showItemProperties(const CatalogItemPtr& item) override { properties.push_back(item); }
    MainMenus* mainMenus() override { return nullptr; }

    // The messages of one kind.
    std::vector<SentMessage> messages(uint32_t kind) const {
        std::vector<SentMessage> out;
        for (const auto& m : sent)
            if (m.kind == kind)
                out.push_back(m);
        return out;
    }

    std::shared_ptr<AppConfig> settings;
    bool packageManager = true;
    std::vector<CatalogItemPtr> items;
    std::vector<CatalogItemPtr> chainResults;
    std::vector<CatalogItemPtr> history;
    std::map<uint64_t, std::vector<CatalogActionPtr>> actions;
    std::set<uint64_t> livePlugins{pluginA, pluginB};
    wstr historyText;
    wstr clipboard;
    std::optional<Sys::Rect> stored;
    uint64_t tasks = 0;
    std::size_t packages = 2;

    int searches = 0;
    int suggestionClears = 0;
    std::vector<std::pair<CatalogItemPtr, CatalogActionPtr>> hits;
    std::vector<std::pair<wstr, CatalogItemPtr>> terms;
    std::vector<CatalogItemPtr> erased;
    std::vector<SentMessage> sent;
    std::vector<uint32_t> cancelled;
    std::vector<Sys::Rect> captured;
    std::vector<uint32_t> commands;
    int abouts = 0;
    int trayMenus = 0;
    std::vector<CatalogItemPtr> itemMenus;
    std::vector<CatalogItemPtr> properties;
};

// Monitors as the test sets them, and the mouse and the active window where
// the test puts them.
class LaunchBoxScreens : public Screens {
public:
    std::optional<Sys::Point> cursorPos() override { return cursor; }
    std::optional<Sys::Rect> activeWindowRect() override { return activeWindow; }
    std::optional<Sys::Point> cursor;
    std::optional<Sys::Rect> activeWindow;
};

class WndRunTest : public ::testing::Test {
public:
    void SetUp() override {
        qtApp();
        screens->list = {monitor(1, {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96, true)};
        Sys::setDisplayService(screens);
        theme->layout = Gui::Theme::LayoutAll;
        box = std::make_unique<WndRun>(nullptr, theme, host, icons);
        box->show(true);
    }
    void TearDown() override {
        box.reset();
        Sys::setDisplayService(nullptr);
    }

    // Types the text as the user's edit would: the search box changes.
    void type(const wstr& text) { box->searchBox().setText(text); }
    intptr_t key(uint32_t vk, uintptr_t mods = 0) {
        return box->searchBox().sendMessage(Gui::KeyDown, vk, static_cast<intptr_t>(mods));
    }
    intptr_t character(wchar_t ch, uintptr_t mods = 0) {
        return box->searchBox().sendMessage(Gui::Char, ch, static_cast<intptr_t>(mods));
    }
    std::vector<wstr> labels() const {
        std::vector<wstr> out;
        for (const auto& r : *box->results())
            out.push_back(r->item()->label());
        return out;
    }
    QRect frame() const { return box->hwnd()->geometry(); }

    std::shared_ptr<LaunchBoxScreens> screens = std::make_shared<LaunchBoxScreens>();
    std::shared_ptr<Gui::Theme> theme = std::make_shared<Gui::Theme>();
    FakeLaunchBoxHost host;
    NoItemIcons icons;
    std::unique_ptr<WndRun> box;
};

} // namespace qvtest
