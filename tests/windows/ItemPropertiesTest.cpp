#include "windows/ItemProperties.h"

#include "catalog/Catalog.h"
#include "core/MessageBox.h"
#include "tests/app/WstrPrint.h"
#include "tests/catalog/CatalogFakes.h"
#include "tests/catalog/FileTestSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

namespace fs = std::filesystem;
using qvtest::FakePlugin;
using qvtest::HostScope;
using qvtest::LogRecords;

constexpr uint64_t kLoaded = 0x0000000500000007;
constexpr uint64_t kGone = 0x0000000900000003;
const wstr kSeparator = L" \u2022 ";

class FakeHost : public ItemProperties::Host {
public:
    std::shared_ptr<Catalog> catalog() override {
        return catalog_ ? std::shared_ptr<Catalog>(std::shared_ptr<void>(), catalog_) : nullptr;
    }
    wstr pluginFullName(uint64_t pluginId) override {
        return pluginId == kLoaded ? L"Web.Search" : L"unknown";
    }
    wstr packageName(uint32_t packageId) override {
        return packageId == (kLoaded >> 32) ? L"Web" : L"0x9";
    }
    void showConsole() override { ++consoleShown; }
    int messageBox(const wstr& text, uint32_t style) override {
        boxes.push_back({text, style});
        return answer;
    }

    struct Box {
        wstr text;
        uint32_t style;
    };
    Catalog* catalog_ = nullptr;
    int answer = MessageBox::IDOK;
    int consoleShown = 0;
    std::vector<Box> boxes;
};

class ItemPropertiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        host_->setKnown({kLoaded});
        catalog_.loadHistoryFile(qvtest::widePath(historyFile_));
        fake_.catalog_ = &catalog_;
    }

    size_t hitsInFile() const {
        Catalog other;
        return other.loadHistoryFile(qvtest::widePath(historyFile_));
    }

    qvtest::TempDir dir_;
    fs::path historyFile_ = dir_.path() / "Quorvalent.history";
    HostScope host_;
    Catalog catalog_;
    FakeHost fake_;
    ItemProperties commands_{fake_};
    FakePlugin loaded_{kLoaded, L"Web.Search"};
    FakePlugin gone_{kGone, L"Old.Thing"};
};

TEST(ItemPropertiesText, ListsEveryPropertyAndHidesNonPrintableTargetsAndDataBags) {
    auto item = std::make_shared<CatalogItem>(kLoaded, CatalogItem::url, L"Search", L"Find it",
                                              L"https://search.example/?q=", CatalogItem::required,
                                              true, CatalogItem::noargs, 0, L"bag");
    item->setArgs(L"cats", L"");
    wstr expected;
    wstr::format(expected,
                 L"Item properties:\n"
                 L"  label:           Search\n"
                 L"  args:            cats\n"
                 L"  short_desc:      Find it\n"
                 L"  target:          https://search.example/?q=\n"
                 L"  category:        url (40)\n"
                 L"  args_hint:       required\n"
                 L"  hit_hint:        noargs\n"
                 L"  plugin:          Web.Search ({})\n"
                 L"  item_id:         {}\n"
                 L"  loop_on_suggest: true\n"
                 L"  data_bag:        bag\n",
                 kLoaded, item->id());
    EXPECT_EQ(ItemProperties::propertiesText(*item, L"Web.Search"), expected);

    struct Case {
        wstr target;
        wstr dataBag;
        bool targetShown;
        bool bagShown;
    };
    const Case cases[] = {
        {L"echo\tone", L"plain", false, true},
        {L"/bin/true", L"line\nbreak", true, false},
        {L"bell\a", L"\x7f", false, false},
        {L"\u00e9t\u00e9 \u2713", L"", true, true},
    };
    for (const Case& c : cases) {
        CatalogItem odd(kLoaded, CatalogItem::cmdline, L"Odd", L"", c.target,
                        CatalogItem::forbidden, false, CatalogItem::keepall, 0, c.dataBag);
        const wstr text = ItemProperties::propertiesText(odd, L"p");
        EXPECT_EQ(text.find(L"target:          " + c.target + L"\n") != wstr::npos, c.targetShown)
            << wstr::toUtf8(text);
        EXPECT_EQ(text.find(L"data_bag:        " + c.dataBag + L"\n") != wstr::npos, c.bagShown)
            << wstr::toUtf8(text);
        const size_t hidden = (c.targetShown ? 0 : 1) + (c.bagShown ? 0 : 1);
        size_t found = 0;
        for (size_t at = text.find(L"<non_printable>"); at != wstr::npos;
             at = text.find(L"<non_printable>", at + 1))
            ++found;
        EXPECT_EQ(found, hidden) << wstr::toUtf8(text);
    }
}

TEST_F(ItemPropertiesTest, PropertiesAreLoggedAndTheConsoleShown) {
    LogRecords log;
    commands_.showProperties(nullptr);
    EXPECT_EQ(fake_.consoleShown, 0);

    commands_.showProperties(loaded_.item(L"Home", L"https://home.example/"));
    EXPECT_EQ(fake_.consoleShown, 1);
    const auto logged = qvtest::messagesWith(log, Logger::Info, L"Item properties:\n");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find(L"plugin:          Web.Search ("), wstr::npos);

    fake_.catalog_ = nullptr;
    commands_.showProperties(loaded_.item(L"Home", L"https://home.example/"));
    EXPECT_EQ(fake_.consoleShown, 1) << "nothing once the application is gone";
}

TEST_F(ItemPropertiesTest, ErasingAnItemAsksFirstAndOnlyForExecutedItems) {
    CatalogItemPtr never = loaded_.item(L"Never", L"https://never.example/");
    EXPECT_FALSE(commands_.eraseFromHistory(never, kSeparator));
    EXPECT_TRUE(fake_.boxes.empty()) << "no question for an item never executed";

    CatalogItemPtr search = loaded_.item(L"Search", L"https://search.example/?q=");
    search->setArgs(L"cats", L"");
    ASSERT_TRUE(catalog_.recordHit(search, nullptr));
    ASSERT_TRUE(catalog_.recordHit(loaded_.item(L"News", L"https://news.example/"), nullptr));

    fake_.answer = MessageBox::IDCANCEL;
    EXPECT_FALSE(commands_.eraseFromHistory(search, kSeparator));
    ASSERT_EQ(fake_.boxes.size(), 1u);
    EXPECT_EQ(fake_.boxes[0].text,
              L"Erase the following item from history?\nSearch" + kSeparator + L"cats");
    EXPECT_EQ(fake_.boxes[0].style, MessageBox::MB_OKCANCEL | MessageBox::MB_ICONWARNING);
    EXPECT_TRUE(catalog_.historyHasItem(search)) << "Cancel leaves the history alone";
    EXPECT_EQ(hitsInFile(), 2u);

    fake_.answer = MessageBox::IDOK;
    EXPECT_TRUE(commands_.eraseFromHistory(search, kSeparator));
    EXPECT_FALSE(catalog_.historyHasItem(search));
    EXPECT_EQ(hitsInFile(), 1u);
}

TEST_F(ItemPropertiesTest, ErasingThePackageNamesItAndNeedsAnItem) {
    EXPECT_FALSE(commands_.eraseParentPackageFromHistory(nullptr, kSeparator));
    EXPECT_TRUE(fake_.boxes.empty());

    CatalogItemPtr home = loaded_.item(L"Home", L"https://home.example/");
    EXPECT_FALSE(commands_.eraseParentPackageFromHistory(home, kSeparator))
        << "no question while the history holds nothing of the package";
    EXPECT_TRUE(fake_.boxes.empty());

    ASSERT_TRUE(catalog_.recordHit(home, nullptr));
    ASSERT_TRUE(catalog_.recordHit(gone_.item(L"Old", L"https://old.example/"), nullptr));
    fake_.answer = MessageBox::IDCANCEL;
    EXPECT_FALSE(commands_.eraseParentPackageFromHistory(home, kSeparator));
    ASSERT_EQ(fake_.boxes.size(), 1u);
    EXPECT_EQ(fake_.boxes[0].text, L"Erase any reference to the parent package of the following "
                                   L"item in history?\nItem: Home\nPackage name (if found): Web");
    EXPECT_TRUE(catalog_.historyHasPackage(home->packageId()));

    fake_.answer = MessageBox::IDOK;
    EXPECT_TRUE(commands_.eraseParentPackageFromHistory(home, kSeparator));
    EXPECT_FALSE(catalog_.historyHasPackage(home->packageId()));
    EXPECT_EQ(hitsInFile(), 1u) << "the other package's hit stays";
}

TEST_F(ItemPropertiesTest, RemovingOrphansTellsHowManyAndWritesTheHistoryFile) {
    EXPECT_EQ(ItemProperties::orphansQuestion(1).find(L"1 orphan found in the history.\n\n"), 0u);
    EXPECT_EQ(ItemProperties::orphansQuestion(2),
              L"2 orphans found in the history.\n\nOrphan items are items that do not have their "
              L"parent package CURRENTLY loaded.\n\nRemove all orphans from the history?");

    ASSERT_TRUE(catalog_.recordHit(loaded_.item(L"Home", L"https://home.example/"), nullptr));
    EXPECT_EQ(commands_.removeOrphans(), 0u);
    ASSERT_EQ(fake_.boxes.size(), 1u);
    EXPECT_EQ(fake_.boxes[0].text, L"No orphan found in the history.");
    EXPECT_EQ(fake_.boxes[0].style, MessageBox::MB_OK | MessageBox::MB_ICONINFORMATION);

    ASSERT_TRUE(catalog_.recordHit(gone_.item(L"Old", L"https://old.example/"), nullptr));
    ASSERT_TRUE(catalog_.recordHit(gone_.item(L"Older", L"https://older.example/"), nullptr));
    fake_.answer = MessageBox::IDCANCEL;
    EXPECT_EQ(commands_.removeOrphans(), 0u);
    EXPECT_EQ(fake_.boxes.back().text, ItemProperties::orphansQuestion(2));
    EXPECT_EQ(catalog_.countHistoryOrphans(), 2u);

    fake_.answer = MessageBox::IDOK;
    LogRecords log;
    EXPECT_EQ(commands_.removeOrphans(), 2u);
    EXPECT_EQ(catalog_.countHistoryOrphans(), 0u);
    EXPECT_EQ(qvtest::messagesWith(log, Logger::Info, L"2 orphans removed from history.").size(),
              1u);
    EXPECT_EQ(hitsInFile(), 1u) << "the file no longer holds the orphans' hits";
}

} // namespace
