#include "windows/TrayMenu.h"

#include "gui/QtText.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

namespace {

using Packages = std::vector<TrayMenu::Package>;

// One menu level as "id text" lines; separators are "-", submenus "id >text".
std::vector<std::string> entries(const TrayMenu& tray, QMenu* menu) {
    std::vector<std::string> lines;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            lines.push_back("-");
            continue;
        }
        uint32_t id = 0;
        for (uint32_t candidate = 200; candidate < 700 && !id; ++candidate) {
            if (tray.action(candidate) == action)
                id = candidate;
        }
        lines.push_back(std::to_string(id) + (action->menu() ? " >" : " ") +
                        action->text().toStdString());
    }
    return lines;
}

class TrayMenuTest : public ::testing::Test {
protected:
    void SetUp() override { qvtest::qtApp(); }

    TrayMenu tray{[this]() -> std::optional<Packages> {
                      ++listed;
                      return packages;
                  },
                  [this](uint32_t command) { commands.push_back(command); }};
    std::optional<Packages> packages = Packages{};
    int listed = 0;
    std::vector<uint32_t> commands;
};

TEST_F(TrayMenuTest, TheMenuHoldsItsEntriesInOrderWithTheirIds) {
    QMenu* menu = tray.menu();
    EXPECT_EQ(entries(tray, menu), (std::vector<std::string>{"205 &About Quorvalent 2.24",
                                                             "-",
                                                             "208 &Open L(a)unchBox",
                                                             "216 Open Con&sole",
                                                             "217 Open Di&agnostic Window",
                                                             "-",
                                                             "209 &Configure Quorvalent",
                                                             "203 >Configure &Package",
                                                             "210 &Browse Profile Dir",
                                                             "-",
                                                             "213 >Refresh Catalo&g...",
                                                             "215 Reload Co&nfiguration",
                                                             "-",
                                                             "211 Clear &History",
                                                             "212 Remove Orp&hans from History",
                                                             "-",
                                                             "206 Online &Documentation",
                                                             "207 Show Change &Log",
                                                             "-",
                                                             "204 E&xit"}));
    EXPECT_EQ(menu->defaultAction(), tray.action(TrayMenu::OpenLaunchBox));
    // No package carries a configuration file: no separator under "All Packages".
    EXPECT_TRUE(tray.action(TrayMenu::ConfigurePackage)->menu()->actions().isEmpty());
    EXPECT_EQ(entries(tray, tray.action(TrayMenu::RefreshCatalog)->menu()),
              (std::vector<std::string>{"214 All Packages"}));
    tray.action(TrayMenu::Exit)->trigger();
    tray.action(TrayMenu::RefreshAll)->trigger();
    EXPECT_EQ(commands, (std::vector<uint32_t>{204, 214}));
}

TEST_F(TrayMenuTest, PackageSubmenusAreSortedWithoutCaseAndRebuiltOnlyWhenDirty) {
    packages = Packages{{L"beta", 7}, {L"Alpha", 9}, {L"gamma", 3}};
    tray.menu();
    EXPECT_EQ(entries(tray, tray.action(TrayMenu::ConfigurePackage)->menu()),
              (std::vector<std::string>{"301 Alpha", "302 beta", "303 gamma"}));
    EXPECT_EQ(
        entries(tray, tray.action(TrayMenu::RefreshCatalog)->menu()),
        (std::vector<std::string>{"214 All Packages", "-", "401 Alpha", "402 beta", "403 gamma"}));
    EXPECT_EQ(tray.packageOf(301), 9u);
    EXPECT_EQ(tray.packageOf(403), 3u);
    EXPECT_EQ(tray.packageOf(214), std::nullopt);

    packages = Packages{{L"delta", 1}};
    tray.menu();
    EXPECT_EQ(listed, 1) << "clean: not listed again";
    tray.setDirty();
    tray.menu();
    EXPECT_EQ(listed, 2);
    EXPECT_EQ(entries(tray, tray.action(TrayMenu::RefreshCatalog)->menu()),
              (std::vector<std::string>{"214 All Packages", "-", "401 delta"}));
    EXPECT_EQ(tray.packageOf(302), std::nullopt);
    tray.action(401)->trigger();
    EXPECT_EQ(commands, (std::vector<uint32_t>{401}));
}

TEST_F(TrayMenuTest, WithoutAPackageManagerTheMenuStaysDirty) {
    packages = std::nullopt;
    tray.menu();
    EXPECT_TRUE(tray.dirty());
    packages = Packages{{L"one", 1}};
    tray.menu();
    EXPECT_FALSE(tray.dirty());
    EXPECT_EQ(tray.packageOf(301), 1u);
}

TEST_F(TrayMenuTest, ManyPackagesNeverTakeIdsOfTheNextRange) {
    Packages many;
    for (uint32_t i = 0; i < 300; ++i) {
        wchar_t name[16];
        std::swprintf(name, 16, L"pkg%03u", i);
        many.push_back({name, i + 1});
    }
    packages = many;
    tray.menu();
    const auto configure = tray.action(TrayMenu::ConfigurePackage)->menu()->actions();
    EXPECT_EQ(configure.size(), 100);
    EXPECT_EQ(tray.packageOf(400), 100u);
    EXPECT_EQ(tray.packageOf(549), 149u);
    for (uint32_t id = 550; id < 700; ++id)
        EXPECT_EQ(tray.action(id), nullptr) << id;
}

} // namespace
