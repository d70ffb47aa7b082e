// The main window's hot keys and history commands, and the item menu, with
// a fake grabber and a real catalog.

#include "windows/WndMain.h"

#include "app/AppConfig.h"
#include "catalog/Catalog.h"
#include "tests/catalog/CatalogFakes.h"
#include "tests/catalog/FileTestSupport.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RecordingMessageBox.h"
#include "tests/support/TempDir.h"
#include "tests/windows/FakeWindowsHost.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

namespace fs = std::filesystem;
using qvtest::RecordingMessageBox;

// Grabs what is free; keys in `taken` are held by another program.
class FakeGrabber : public HotkeyGrabber {
public:
    struct State {
        std::map<int, std::pair<uint32_t, uint32_t>> grabbed;
        std::set<uint32_t> taken;
        Handler handler;
        bool fullScreen = false;
    };
    explicit FakeGrabber(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::optional<Failure> grab(int id, uint32_t modifiers, uint32_t key) override {
        if (state_->taken.count(key))
            return Failure{10, L"BadAccess (attempt to access private resource denied)"};
        state_->grabbed[id] = {modifiers, key};
        return std::nullopt;
    }
    void release(int id) override { state_->grabbed.erase(id); }
    void setHandler(Handler handler) override { state_->handler = std::move(handler); }
    bool fullScreenActive() const override { return state_->fullScreen; }

private:
    std::shared_ptr<State> state_;
};

std::vector<wstr> texts(RecordingMessageBox& boxes) {
    std::vector<wstr> out;
    for (const auto& shown : boxes.shown())
        out.push_back(shown.text);
    return out;
}

class MainCommandsTest : public ::testing::Test {
protected:
    void SetUp() override { qvtest::qtApp(); }

    size_t hitsInFile() const {
        Catalog other;
        return other.loadHistoryFile(qvtest::widePath(history));
    }

    qvtest::FakeWindowsHost host;
    qvtest::TempDir dir;
    fs::path history = dir.path() / "Quorvalent.history";
    qvtest::HostScope catalogHost;
    qvtest::FakePlugin plugin{0x200000001, L"Web.Search"};
    qvtest::FakePlugin other{0x300000001, L"Files"};
};

TEST_F(MainCommandsTest, HotkeysRegisterInOrderAndReportMalformedAndTakenKeys) {
    auto state = std::make_shared<FakeGrabber::State>();
    state->taken = {0x7C}; // F13
    WndMain main(host, host, std::make_unique<FakeGrabber>(state));
    AppConfig config;
    config.hotkeyPaste = parseHotkey(L"Ctrl+Foo");
    config.hotkeyHistory = parseHotkey(L"Alt+F13");
    config.hotkeyConsole = parseHotkey(L"");

    RecordingMessageBox::Installed boxes;
    main.registerHotkeys(true, &config);
    EXPECT_EQ(state->grabbed, (std::map<int, std::pair<uint32_t, uint32_t>>{{100, {10, 75}}}));
    EXPECT_EQ(texts(*boxes.box),
              (std::vector<wstr>{
                  L"Malformed 'Paste' hotkey: \"Ctrl+Foo\"! Please reconfigure.",
                  L"Failed to register the 'History' hotkey \"Alt+F13\"! Please reconfigure. "
                  L"Error 10: BadAccess (attempt to access private resource denied)"}));

    // A reload with the key freed registers it; the rest stay as they were.
    state->taken.clear();
    main.registerHotkeys(true, &config);
    EXPECT_EQ(state->grabbed.size(), 2u);
    EXPECT_EQ(state->grabbed[102], (std::pair<uint32_t, uint32_t>{1, 0x7C}));
    main.registerHotkeys(false, &config);
    EXPECT_TRUE(state->grabbed.empty());
}

TEST_F(MainCommandsTest, HotkeysReachTheirWindowsUnlessAFullScreenWindowIsActive) {
    auto state = std::make_shared<FakeGrabber::State>();
    WndMain main(host, host, std::make_unique<FakeGrabber>(state));
    ASSERT_TRUE(state->handler);
    for (int id : {100, 101, 102, 103})
        state->handler(id);
    EXPECT_FALSE(main.onHotKey(104));
    state->fullScreen = true;
    EXPECT_FALSE(main.onHotKey(100));
    EXPECT_EQ(host.calls,
              (std::vector<std::string>{"toggle", "show 1", "show 2", "toggle console"}));
}

TEST_F(MainCommandsTest, ItemMenuGraysWhatTheHistoryLacksAndHandsItsCommandsOn) {
    WndMain main(host, host, nullptr);
    Catalog catalog;
    CatalogItemPtr executed = plugin.item(L"Home", L"https://home.example/");
    CatalogItemPtr sibling = plugin.item(L"News", L"https://news.example/");
    CatalogItemPtr stranger = other.item(L"Notes", L"/tmp/notes.txt", CatalogItem::file);
    ASSERT_TRUE(catalog.recordHit(executed, nullptr));

    struct Case {
        CatalogItemPtr item;
        bool removeItem, removePackage;
    };
    for (const Case& c :
         {Case{executed, true, true}, Case{sibling, false, true}, Case{stranger, false, false}}) {
        auto menu = main.itemMenu().build(c.item, catalog);
        const auto actions = menu->actions();
        ASSERT_EQ(actions.size(), 6);
        EXPECT_EQ(actions[0]->text(), "Item &Properties");
        EXPECT_TRUE(actions[0]->isEnabled());
        EXPECT_EQ(actions[1]->isEnabled(), c.removeItem) << actions[1]->text().toStdString();
        EXPECT_EQ(actions[2]->isEnabled(), c.removePackage) << actions[2]->text().toStdString();
        EXPECT_EQ(actions[3]->text(), "&Shell");
        EXPECT_FALSE(actions[3]->isEnabled()) << "no shell menu on this system, files neither";
        EXPECT_TRUE(actions[4]->isSeparator());
        EXPECT_EQ(actions[5]->text(), "&Quorvalent");
        EXPECT_EQ(actions[5]->menu(), main.trayMenu().menu());
        main.itemMenu().detach(*menu);
        EXPECT_EQ(menu->actions().size(), 5);
    }
    EXPECT_TRUE(main.itemMenu().run(230, sibling, nullptr));
    EXPECT_TRUE(main.itemMenu().run(232, sibling, nullptr));
    EXPECT_TRUE(main.itemMenu().run(231, executed, nullptr));
    EXPECT_FALSE(main.itemMenu().run(232, nullptr, nullptr)) << "no item: nothing erased";
    EXPECT_FALSE(main.itemMenu().run(214, executed, nullptr));
    EXPECT_EQ(host.calls, (std::vector<std::string>{"properties News", "erase package News",
                                                    "erase item Home"}));
}

} // namespace
