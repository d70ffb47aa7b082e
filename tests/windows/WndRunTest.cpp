#include "tests/windows/WndRunFixture.h"

#include "gui/Font.h"
#include "tests/app/WstrPrint.h"
#include "tests/support/LogRecords.h"
#include "windows/WndSatellite.h"

#include <QLineEdit>
#include <QListView>

#include <functional>

using namespace Gui;
using namespace qvtest;

namespace {

CatalogItemPtr withArgs(CatalogItemPtr item, const wstr& args) {
    item->setArgs(args, L"");
    return item;
}

} // namespace

// --- Search and suggest ------------------------------------------------------------------

TEST_F(WndRunTest, TypingBroadcastsSuggestOnlyForTextAndListsWhatTheCatalogFinds) {
    host.items = {makeItem(L"alpha"), makeItem(L"alphabet"), makeItem(L"beta")};
    type(L"alp");
    EXPECT_EQ(labels(), (std::vector<wstr>{L"alpha", L"alphabet"}));
    EXPECT_EQ(box->list().count(), 2);
    EXPECT_EQ(box->list().currentIndex(), 0);
    auto suggests = host.messages(PluginMsg::kindSuggest);
    ASSERT_EQ(suggests.size(), 1u);
    EXPECT_EQ(suggests[0].pluginId, 0u);
    EXPECT_EQ(suggests[0].data.text, L"alp");

    // Each change cancels the pending suggestions first; an empty text sends none.
    host.cancelled.clear();
    type(L"");
    EXPECT_EQ(host.messages(PluginMsg::kindSuggest).size(), 1u);
    EXPECT_EQ(host.cancelled, std::vector<uint32_t>{PluginMsg::kindSuggest});
    EXPECT_TRUE(box->results()->empty());
}

TEST_F(WndRunTest, ChainedSearchSuggestsToTheChainedPluginEvenWithAnEmptyText) {
    host.items = {makeItem(L"web search", CatalogItem::keyword, CatalogItem::required, pluginB)};
    host.chainResults = {withArgs(host.items[0]->clone(), L"kittens")};
    type(L"web");
    key(VkTab);
    ASSERT_EQ(box->mode(), WndRun::ModeChained);
    EXPECT_EQ(box->title(), L"web search");
    EXPECT_EQ(box->chain().size(), 1u);
    EXPECT_EQ(box->chain().steps()[0]->text, L"web");
    const auto suggests = host.messages(PluginMsg::kindSuggest);
    ASSERT_EQ(suggests.size(), 2u);
    EXPECT_EQ(suggests[1].pluginId, pluginB);
    EXPECT_EQ(suggests[1].data.text, L"");
    ASSERT_EQ(suggests[1].data.items.size(), 1u);
    // Pushing from search associates the text with the item.
    ASSERT_EQ(host.terms.size(), 1u);
    EXPECT_EQ(host.terms[0].first, L"web");
    // In the chained search the title shows the arguments alone.
    WndRun::RowTexts texts;
    ASSERT_TRUE(box->composeRowTexts(0, texts));
    EXPECT_EQ(texts.title, L"kittens");
}

// The actions list names the item and its arguments however it was reached.
TEST_F(WndRunTest, TheActionsTitleShowsTheArgumentsAlsoFromAChainedSearch) {
    auto web = makeItem(L"web search", CatalogItem::keyword, CatalogItem::required, pluginB);
    host.items = {web};
    host.chainResults = {withArgs(web->clone(), L"kittens")};
    host.actions[web->baseId()] = {makeAction(L"open", L"Open")};
    const wstr expected = L"web search" + box->statusSeparator() + L"kittens";
    for (int round = 0; round < 2; ++round) {
        type(L"web");
        key(VkTab);
        ASSERT_EQ(box->mode(), WndRun::ModeChained);
        key(VkTab);
        ASSERT_EQ(box->mode(), WndRun::ModeActions);
        EXPECT_EQ(box->title(), expected);
        box->show(false);
        box->show(true);
    }
}

TEST_F(WndRunTest, PoppingTheOnlyStepReturnsToSearchAndReselectsTheChainedItem) {
    host.items = {makeItem(L"one"), makeItem(L"two", CatalogItem::keyword, CatalogItem::accepted)};
    type(L"o");
    box->list().select(1, false);
    key(VkTab);
    ASSERT_EQ(box->mode(), WndRun::ModeChained);
    character(L'\b');
    EXPECT_EQ(box->mode(), WndRun::ModeSearch);
    EXPECT_EQ(box->searchBox().getText(), L"o");
    EXPECT_EQ(box->list().currentIndex(), 1);
    EXPECT_TRUE(box->chain().empty());
}

TEST_F(WndRunTest, BackspaceWithTextDeletesAndNeverPopsTheChain) {
    host.items = {makeItem(L"two", CatalogItem::keyword, CatalogItem::accepted)};
    type(L"tw");
    key(VkTab);
    type(L"x");
    EXPECT_EQ(box->stepBack(false), false);
    EXPECT_EQ(box->mode(), WndRun::ModeChained);
    EXPECT_EQ(box->chain().size(), 1u);
}

TEST_F(WndRunTest, TabOnAnItemWithoutArgumentsOpensItsActionsOrDoesNothing) {
    auto plain = makeItem(L"plain");
    auto withActions = makeItem(L"acted");
    host.items = {plain, withActions};
    host.actions[withActions->baseId()] = {makeAction(L"open", L"Open"),
                                           makeAction(L"copy", L"Copy")};
    type(L"plain");
    key(VkTab);
    EXPECT_EQ(box->mode(), WndRun::ModeSearch);
    type(L"acted");
    key(VkTab);
    ASSERT_EQ(box->mode(), WndRun::ModeActions);
    EXPECT_EQ(box->list().count(), 2);
    EXPECT_EQ(box->title(), L"acted");
    // Leaving the actions of a one-step chain goes back to the search.
    key(VkLeft, ModAlt);
    EXPECT_EQ(box->mode(), WndRun::ModeSearch);
    EXPECT_EQ(box->searchBox().getText(), L"acted");
}

TEST_F(WndRunTest, PushInChainedModeOnALoopItemAddsAStep) {
    auto first = makeItem(L"files", CatalogItem::keyword, CatalogItem::accepted);
    auto folder = makeItem(L"folder", CatalogItem::file, CatalogItem::accepted, pluginA, L"/tmp");
    folder->setLoopOnSuggest(true);
    host.items = {first};
    host.chainResults = {folder};
    type(L"files");
    key(VkTab);
    ASSERT_EQ(box->mode(), WndRun::ModeChained);
    key(VkTab);
    EXPECT_EQ(box->mode(), WndRun::ModeChained);
    EXPECT_EQ(box->chain().size(), 2u);
    EXPECT_EQ(box->title(), L"folder");
}

TEST_F(WndRunTest, HistoryViewListsEntriesIgnoresTypingAndEmptyOneReturnsOnEscape) {
    host.history = {makeItem(L"recent")};
    key(VkDown);
    ASSERT_EQ(box->mode(), WndRun::ModeHistory);
    EXPECT_EQ(box->title(), L"History");
    EXPECT_EQ(labels(), std::vector<wstr>{L"recent"});
    const int searches = host.searches;
    box->searchBox().hwnd()->show();
    type(L"zz");
    EXPECT_EQ(host.searches, searches);
    EXPECT_EQ(labels(), std::vector<wstr>{L"recent"});

    host.history.clear();
    host.settings->escapeAlwaysCloses = true;
    box->refreshList(WndRun::ModeHistory, false);
    EXPECT_EQ(box->title(), L"History is empty (press Esc)");
    character(27);
    EXPECT_EQ(box->mode(), WndRun::ModeSearch);
    EXPECT_TRUE(box->isVisible());
}

TEST_F(WndRunTest, TimerNineRefreshesTheActionsList) {
    auto item = makeItem(L"acted");
    host.items = {item};
    host.actions[item->baseId()] = {makeAction(L"open", L"Open")};
    type(L"acted");
    key(VkTab);
    ASSERT_EQ(box->list().count(), 1);
    host.actions[item->baseId()].push_back(makeAction(L"copy", L"Copy"));
    box->onActionsChanged();
    EXPECT_EQ(box->list().count(), 2);
    EXPECT_EQ(box->list().currentIndex(), 0);
}

// --- Status line ----------------------------------------------------------------------------

TEST_F(WndRunTest, StatusLineTexts) {
    struct Row {
        const char* name;
        int items;
        int32_t maxResults;
        wstr text;
        wstr expected;
    };
    const Row rows[] = {
        {"cut", 25, 10, L"item", L"10 results out of 25 matches"},
        {"one", 1, 100, L"item", L"1 result"},
        {"all shown", 3, 100, L"item", L"3 results"},
        {"empty box", 3, 100, L"", L"3 items in catalog | 2 packages | Quorvalent 2.24"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        host.items.clear();
        for (int i = 0; i < row.items; ++i)
            host.items.push_back(makeItem(L"item " + std::to_wstring(i)));
        host.settings->maxResults = row.maxResults;
        box->applyTheme();
        type(L"x");
        type(row.text);
        EXPECT_NE(box->statusText().find(row.expected), wstr::npos)
            << wstr::toUtf8(box->statusText());
    }
    host.items = {makeItem(L"solo")};
    host.tasks = 2;
    host.actions[host.items[0]->baseId()] = {makeAction(L"open", L"Open")};
    type(L"solo");
    EXPECT_EQ(box->statusText(), L"2 workers active | 1 action available | Sample item | 1 result");
}

// --- Keys ---------------------------------------------------------------------------------------

TEST_F(WndRunTest, KeyBindings) {
    struct Row {
        const char* name;
        std::function<void(WndRunTest&)> setup;
        uint32_t message;
        uint32_t key;
        uintptr_t mods;
        std::function<void(WndRunTest&)> check;
    };
    auto rowsOf = [](int n) {
        return [n](WndRunTest& t) {
            for (int i = 0; i < n; ++i)
                t.host.items.push_back(makeItem(L"row " + std::to_wstring(i)));
            t.type(L"row");
        };
    };
    auto acted = [](WndRunTest& t) {
        auto item = makeItem(L"acted");
        t.host.items = {item};
        t.host.actions[item->baseId()] = {makeAction(L"open", L"Open")};
        t.type(L"acted");
    };
    const uint32_t vk0 = 0x30;
    const Row rows[] = {
        {"Tab pushes from the search box", acted, KeyDown, VkTab, 0,
         [](WndRunTest& t) { EXPECT_EQ(t.box->mode(), WndRun::ModeActions); }},
        {"Enter executes", acted, KeyDown, VkReturn, 0,
         [](WndRunTest& t) {
             EXPECT_EQ(t.host.messages(PluginMsg::kindExecute).size(), 1u);
             EXPECT_FALSE(t.box->isVisible());
         }},
        {"Ctrl+Enter opens the actions", acted, KeyDown, VkReturn, ModCtrl,
         [](WndRunTest& t) { EXPECT_EQ(t.box->mode(), WndRun::ModeActions); }},
        {"Ctrl+Shift+Enter executes and stays", acted, KeyDown, VkReturn, ModCtrl | ModShift,
         [](WndRunTest& t) {
             EXPECT_EQ(t.host.messages(PluginMsg::kindExecute).size(), 1u);
             EXPECT_TRUE(t.box->isVisible());
             EXPECT_EQ(t.box->searchBox().getText(), L"acted");
             EXPECT_EQ(t.box->results()->size(), 1u);
         }},
        {"Shift+Enter executes and empties", acted, KeyDown, VkReturn, ModShift,
         [](WndRunTest& t) {
             EXPECT_TRUE(t.box->isVisible());
             EXPECT_EQ(t.box->searchBox().getText(), L"");
         }},
        {"Page Down moves five, clamped", rowsOf(3), KeyDown, VkNext, 0,
         [](WndRunTest& t) { EXPECT_EQ(t.box->list().currentIndex(), 2); }},
        {"Page Up from row 0", rowsOf(8), KeyDown, VkPrior, 0,
         [](WndRunTest& t) { EXPECT_EQ(t.box->list().currentIndex(), 0); }},
        {"Ctrl+End selects the last row", rowsOf(4), KeyDown, VkEnd, ModCtrl,
         [](WndRunTest& t) { EXPECT_EQ(t.box->list().currentIndex(), 3); }},
        {"End alone stays in the box", rowsOf(4), KeyDown, VkEnd, 0,
         [](WndRunTest& t) { EXPECT_EQ(t.box->list().currentIndex(), 0); }},
        {"Down moves the selection", rowsOf(3), KeyDown, VkDown, 0,
         [](WndRunTest& t) { EXPECT_EQ(t.box->list().currentIndex(), 1); }},
        {"Down on an empty box opens the history", nullptr, KeyDown, VkDown, 0,
         [](WndRunTest& t) { EXPECT_EQ(t.box->mode(), WndRun::ModeHistory); }},
        {"Ctrl+Down opens the history", rowsOf(3), KeyDown, VkDown, ModCtrl,
         [](WndRunTest& t) { EXPECT_EQ(t.box->mode(), WndRun::ModeHistory); }},
        {"Up wraps with loop_list",
         [&](WndRunTest& t) {
             t.host.settings->loopList = true;
             rowsOf(3)(t);
         },
         KeyDown, VkUp, 0, [](WndRunTest& t) { EXPECT_EQ(t.box->list().currentIndex(), 2); }},
        {"Ctrl+Delete erases from the history", rowsOf(1), KeyDown, VkDelete, ModCtrl,
         [](WndRunTest& t) { EXPECT_EQ(t.host.erased.size(), 1u); }},
        {"Ctrl+Shift+Delete does not", rowsOf(1), KeyDown, VkDelete, ModCtrl | ModShift,
         [](WndRunTest& t) { EXPECT_TRUE(t.host.erased.empty()); }},
        {"Ctrl+3 executes the third visible row", rowsOf(4), KeyDown, vk0 + 3, ModCtrl,
         [](WndRunTest& t) {
             auto m = t.host.messages(PluginMsg::kindExecute);
             ASSERT_EQ(m.size(), 1u);
             EXPECT_EQ(m[0].data.item->label(), L"row 2");
         }},
        {"Ctrl+0 on four rows does nothing", rowsOf(4), KeyDown, vk0, ModCtrl,
         [](WndRunTest& t) {
             EXPECT_TRUE(t.host.messages(PluginMsg::kindExecute).empty());
             EXPECT_EQ(t.box->list().currentIndex(), 0);
             EXPECT_TRUE(t.box->isVisible());
         }},
        {"Ctrl+Shift+1 opens the actions", acted, KeyDown, vk0 + 1, ModCtrl | ModShift,
         [](WndRunTest& t) { EXPECT_EQ(t.box->mode(), WndRun::ModeActions); }},
        {"F1 opens the About box", nullptr, KeyDown, VkF1, 0,
         [](WndRunTest& t) { EXPECT_EQ(t.host.abouts, 1); }},
        {"F2 F3 F5 post main commands",
         [](WndRunTest& t) {
             t.key(VkF1 + 1);
             t.key(VkF1 + 2);
         },
         KeyDown, VkF1 + 4, 0,
         [](WndRunTest& t) {
             EXPECT_EQ(t.host.commands, (std::vector<uint32_t>{216, 217, 214}));
         }},
        {"Alt+Enter shows the properties", rowsOf(1), KeyDown, VkReturn, ModAlt,
         [](WndRunTest& t) { EXPECT_EQ(t.host.properties.size(), 1u); }},
        {"Alt+X expands", nullptr, KeyDown, 0x58, ModAlt,
         [](WndRunTest& t) { EXPECT_TRUE(t.box->expanded()); }},
        {"Win+Up released expands", nullptr, KeyUp, VkUp, ModMeta,
         [](WndRunTest& t) { EXPECT_TRUE(t.box->expanded()); }},
        {"Alt+Right pushes", acted, KeyDown, VkRight, ModAlt,
         [](WndRunTest& t) { EXPECT_EQ(t.box->mode(), WndRun::ModeActions); }},
        {"Esc with text clears", rowsOf(2), Char, 27, 0,
         [](WndRunTest& t) {
             EXPECT_TRUE(t.box->isVisible());
             EXPECT_EQ(t.box->searchBox().getText(), L"");
         }},
        {"Esc on an empty box hides", nullptr, Char, 27, 0,
         [](WndRunTest& t) { EXPECT_FALSE(t.box->isVisible()); }},
        {"Shift+Esc with text hides", rowsOf(2), Char, 27, ModShift,
         [](WndRunTest& t) { EXPECT_FALSE(t.box->isVisible()); }},
        {"Space as Tab at the end pushes",
         [&](WndRunTest& t) {
             t.host.settings->spaceAsTab = true;
             acted(t);
         },
         Char, L' ', 0, [](WndRunTest& t) { EXPECT_EQ(t.box->mode(), WndRun::ModeActions); }},
        {"Space as Tab in the middle types",
         [&](WndRunTest& t) {
             t.host.settings->spaceAsTab = true;
             acted(t);
             t.box->searchBox().setSelection(2, 2);
         },
         Char, L' ', 0,
         [](WndRunTest& t) {
             EXPECT_EQ(t.box->mode(), WndRun::ModeSearch);
             EXPECT_EQ(t.box->searchBox().getText(), L"ac ted");
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TearDown();
        host = FakeLaunchBoxHost();
        SetUp();
        if (row.setup)
            row.setup(*this);
        box->searchBox().sendMessage(row.message, row.key, static_cast<intptr_t>(row.mods));
        row.check(*this);
    }
}

// --- Rows ---------------------------------------------------------------------------------------

TEST_F(WndRunTest, RowHeightFollowsTheFontsAndTheLayout) {
    const int title = box->createThemeFont(WndThemed::ListTitleFont)->height();
    const int small = box->createThemeFont(Theme::Small)->height();
    const int pad = box->listItemPaddingHeight() + 2;
    EXPECT_EQ(box->itemHeight(), std::max(title + small + 1, 32) + pad);
    // The compact layout draws its titles in the small font.
    theme->compactResults = true;
    box->applyTheme();
    EXPECT_EQ(box->itemHeight(), std::max(small, 16) + pad);
}

TEST_F(WndRunTest, RowTextsCarryActionsHitsAndDialDigits) {
    for (int i = 0; i < 12; ++i)
        host.items.push_back(makeItem(L"row " + std::to_wstring(i)));
    host.items[1]->setHitCount(5);
    host.actions[host.items[1]->baseId()] = {makeAction(L"a", L"A"), makeAction(L"b", L"B"),
                                             makeAction(L"c", L"C")};
    host.actions[host.items[0]->baseId()] = {makeAction(L"a", L"A")};
    type(L"row");
    WndRun::RowTexts texts;
    ASSERT_TRUE(box->composeRowTexts(1, texts));
    EXPECT_EQ(texts.title, L"row 1");
    EXPECT_EQ(texts.desc, L"target:row 1");
    EXPECT_EQ(texts.tips1, L" +5 #2");
    EXPECT_EQ(texts.tips2, L" 3 actions");
    ASSERT_TRUE(box->composeRowTexts(9, texts));
    EXPECT_EQ(texts.tips1, L" #0");
    ASSERT_TRUE(box->composeRowTexts(10, texts));
    EXPECT_EQ(texts.tips1, L"");
    EXPECT_FALSE(box->composeRowTexts(12, texts));

    theme->layout &= ~Theme::ListDialNum;
    ASSERT_TRUE(box->composeRowTexts(0, texts));
    EXPECT_EQ(texts.tips1, L" 1 action");

    theme->layout |= Theme::ListDialNum;
    theme->compactResults = true;
    ASSERT_TRUE(box->composeRowTexts(1, texts));
    EXPECT_EQ(texts.tips1, L" >3 +5 #2");
    EXPECT_EQ(texts.desc, L" - target:row 1");
}

TEST_F(WndRunTest, RowDescriptionsByCategoryAndActionRows) {
    auto file = makeItem(L"notes", CatalogItem::file, CatalogItem::forbidden, pluginA,
                         L"/home/user/notes.txt");
    auto url = makeItem(L"site", CatalogItem::url, CatalogItem::forbidden, pluginA,
                        L"https://example.org/");
    auto ref = makeItem(L"ref", CatalogItem::reference);
    auto args = withArgs(makeItem(L"say", CatalogItem::keyword, CatalogItem::accepted), L"hi");
    host.items = {file, url, ref, args};
    host.actions[file->baseId()] = {makeAction(L"open", L"Open")};
    type(L"e");
    WndRun::RowTexts texts;
    ASSERT_TRUE(box->composeRowTexts(0, texts));
    EXPECT_EQ(texts.desc, L"/home/user/notes.txt");
    EXPECT_TRUE(texts.pathEllipsis);
    ASSERT_TRUE(box->composeRowTexts(1, texts));
    EXPECT_EQ(texts.desc, L"https://example.org/");
    EXPECT_FALSE(texts.pathEllipsis);
    ASSERT_TRUE(box->composeRowTexts(2, texts));
    EXPECT_EQ(texts.desc, L"");
    type(L"say");
    ASSERT_TRUE(box->composeRowTexts(0, texts));
    EXPECT_EQ(texts.title, L"say | hi");

    type(L"notes");
    key(VkTab);
    ASSERT_EQ(box->mode(), WndRun::ModeActions);
    ASSERT_TRUE(box->composeRowTexts(0, texts));
    EXPECT_EQ(texts.title, L"Open");
    EXPECT_EQ(texts.tips1, L"#1");
}

TEST_F(WndRunTest, PaintingDrawsEveryRowWithoutFault) {
    for (int i = 0; i < 5; ++i)
        host.items.push_back(makeItem(L"row " + std::to_wstring(i)));
    type(L"row");
    const QImage image = box->hwnd()->grab().toImage();
    EXPECT_FALSE(image.isNull());
    const QRect list = box->list().hwnd()->geometry();
    EXPECT_EQ(list.height() / box->itemHeight(), 5);
}

// --- Execution
// ------------------------------------------------------------------------------------

TEST_F(WndRunTest, ChooseHitItem) {
    auto base = makeItem(L"say", CatalogItem::keyword, CatalogItem::accepted);
    auto withArg = withArgs(base->clone(), L"hello");
    auto other = makeItem(L"other");
    EXPECT_EQ(WndRun::chooseHitItem(base, withArg), withArg);
    EXPECT_EQ(WndRun::chooseHitItem(base, other), other);
    auto noargs =
        std::make_shared<CatalogItem>(pluginA, CatalogItem::keyword, L"say", L"", L"target:say",
                                      CatalogItem::accepted, false, CatalogItem::noargs, 0, L"");
    noargs->setArgs(L"hello", L"");
    EXPECT_EQ(WndRun::chooseHitItem(base, noargs), base);
}

TEST_F(WndRunTest, ExecutingAPlainResultRecordsOneHitAndAChainedOneTwo) {
    auto plain = makeItem(L"plain");
    host.items = {plain};
    type(L"pla");
    key(VkReturn);
    ASSERT_EQ(host.hits.size(), 1u);
    EXPECT_EQ(host.hits[0].first, plain);
    ASSERT_EQ(host.terms.size(), 1u);
    EXPECT_EQ(host.terms[0].first, L"pla");
    EXPECT_FALSE(box->isVisible());

    host.hits.clear();
    box->show(true);
    auto search = makeItem(L"web", CatalogItem::keyword, CatalogItem::required, pluginB);
    auto result = makeItem(L"kittens page", CatalogItem::url, CatalogItem::forbidden, pluginA);
    host.items = {search};
    host.chainResults = {result};
    type(L"web");
    key(VkTab);
    key(VkReturn);
    const auto executes = host.messages(PluginMsg::kindExecute);
    ASSERT_EQ(executes.size(), 2u);
    EXPECT_EQ(executes[1].pluginId, pluginA);
    ASSERT_EQ(host.hits.size(), 2u);
    EXPECT_EQ(host.hits[0].first->baseId(), search->baseId());
    EXPECT_EQ(host.hits[1].first, result);
}

TEST_F(WndRunTest, EnterOnAnItemThatNeedsArgumentsPushesItInsteadUnlessInHistory) {
    auto needs = makeItem(L"needs", CatalogItem::keyword, CatalogItem::required);
    host.items = {needs};
    host.chainResults = {needs};
    type(L"needs");
    key(VkReturn);
    EXPECT_EQ(box->mode(), WndRun::ModeChained);
    EXPECT_TRUE(host.messages(PluginMsg::kindExecute).empty());
    // The same in the chained search pushes one more step.
    key(VkReturn);
    EXPECT_EQ(box->chain().size(), 2u);
    EXPECT_TRUE(host.messages(PluginMsg::kindExecute).empty());

    box->resetSearch();
    host.history = {needs};
    key(VkDown);
    key(VkReturn);
    EXPECT_EQ(host.messages(PluginMsg::kindExecute).size(), 1u);
}

TEST_F(WndRunTest, ExecutionThatReachesNoPluginRecordsNothingAndStaysOpen) {
    auto orphan = makeItem(L"orphan", CatalogItem::keyword, CatalogItem::forbidden, 0x7700000077);
    host.items = {orphan};
    type(L"orphan");
    LogRecords log;
    key(VkReturn);
    EXPECT_TRUE(host.hits.empty());
    EXPECT_TRUE(host.terms.empty());
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(log.matching(Logger::Warning,
                           L"\"orphan\" was not executed: its plugin is not loaded or refused it")
                  .size(),
              1u);
}

TEST_F(WndRunTest, EnterOnAnEmptyListDoesNothingAndWithoutSelectionExecutesTheFirstRow) {
    key(VkReturn);
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(host.sent.empty() || host.messages(PluginMsg::kindExecute).empty());
    host.items = {makeItem(L"first"), makeItem(L"firstly")};
    type(L"first");
    box->list().select(-1, false);
    key(VkReturn);
    const auto executes = host.messages(PluginMsg::kindExecute);
    ASSERT_EQ(executes.size(), 1u);
    EXPECT_EQ(executes[0].data.item->label(), L"first");
}

TEST_F(WndRunTest, ExecutingAnActionSendsItAndRecordsTheHitWithIt) {
    auto item = makeItem(L"acted");
    auto copy = makeAction(L"copy", L"Copy");
    host.items = {item};
    host.actions[item->baseId()] = {makeAction(L"open", L"Open"), copy};
    type(L"acted");
    key(VkTab);
    key(VkDown);
    key(VkReturn);
    const auto executes = host.messages(PluginMsg::kindExecute);
    ASSERT_EQ(executes.size(), 1u);
    EXPECT_EQ(executes[0].data.action, copy);
    ASSERT_EQ(host.hits.size(), 1u);
    EXPECT_EQ(host.hits[0].second, copy);
}

// --- Showing, paste and drops
// -----------------------------------------------------------------------

TEST_F(WndRunTest, ShowAndHideTellThePlugins) {
    box->show(false);
    EXPECT_EQ(host.messages(PluginMsg::kindDeactivated).size(), 1u);
    host.sent.clear();
    box->show(true);
    EXPECT_EQ(host.messages(PluginMsg::kindActivated).size(), 1u);
}

TEST_F(WndRunTest, PasteTextIsOneLineCutTo512WholeCharacters) {
    EXPECT_EQ(WndRun::pasteText(L"one\r\ntwo  \tthree\n"), L"one two three");
    EXPECT_EQ(WndRun::normalizeSpaces(L"a\x01\x02 b "), L"a b");
    wstr longText(511, L'x');
    longText += L"\U0001F600tail";
    const wstr cut = WndRun::pasteText(longText);
    ASSERT_EQ(cut.size(), 512u);
    EXPECT_EQ(cut.back(), L'\U0001F600');
    EXPECT_EQ(QString::fromStdWString(cut).toStdWString(), cut);
    wstr spaced(511, L'y');
    spaced += L"   z";
    EXPECT_EQ(WndRun::pasteText(spaced), wstr(511, L'y'));

    host.clipboard = L"line one\nline two\nline three";
    type(L"ab");
    box->searchBox().selectAll();
    box->searchBox().sendMessage(Paste);
    EXPECT_EQ(box->searchBox().getText(), L"line one line two line three");
    box->searchBox().setText(L"x");
    key(0x56, ModCtrl);
    EXPECT_EQ(box->searchBox().getText(), L"xline one line two line three");
}

// A text that holds bidirectional controls shows its characters in another
// order than they are: "invoice\u202Efdp.exe" reads "invoiceexe.pdf". They
// are dropped from what is pasted and from the rows drawn; right-to-left
// letters themselves stay.
TEST_F(WndRunTest, BidirectionalControlsAreNeitherPastedNorDrawn) {
    const std::pair<wstr, wstr> pasted[] = {
        {L"invoice\u202Efdp.exe", L"invoicefdp.exe"},
        {L"a\u2066b\u2069 \u202Ac\u202B\u202C\u202D", L"ab c"},
        {L"\u200Fx\u061C\u200E \u2067\u2068", L"x"},
        {L"\u05E9\u05DC\u05D5\u05DD 1", L"\u05E9\u05DC\u05D5\u05DD 1"},
    };
    for (const auto& [clipboard, text] : pasted)
        EXPECT_EQ(WndRun::pasteText(clipboard), text) << wstr::toUtf8(clipboard);

    host.items = {makeItem(L"invoice\u202Efdp.exe", CatalogItem::file, CatalogItem::accepted)};
    type(L"invoice");
    WndRun::RowTexts texts;
    ASSERT_TRUE(box->composeRowTexts(0, texts));
    EXPECT_EQ(texts.title, L"invoicefdp.exe");
    EXPECT_EQ(texts.desc, L"target:invoicefdp.exe");
    // Nor in the title band once the item takes its arguments.
    key(VkTab);
    ASSERT_EQ(box->mode(), WndRun::ModeChained);
    EXPECT_EQ(box->title(), L"invoicefdp.exe");
}

TEST_F(WndRunTest, PasteShowingWithTheSameTextExecutesOtherwiseReplaces) {
    host.items = {makeItem(L"alpha")};
    host.clipboard = L"alp";
    box->showMode(true, WndRun::ShowPaste);
    EXPECT_EQ(box->searchBox().getText(), L"alp");
    EXPECT_TRUE(host.messages(PluginMsg::kindExecute).empty());
    box->showMode(true, WndRun::ShowPaste);
    EXPECT_EQ(host.messages(PluginMsg::kindExecute).size(), 1u);

    box->show(true);
    type(L"other");
    box->showMode(true, WndRun::ShowPaste);
    EXPECT_EQ(box->searchBox().getText(), L"alp");
}

TEST_F(WndRunTest, RetainedSearchComesBackSelected) {
    host.settings->retainLastSearch = RetainSelected;
    host.items = {makeItem(L"alpha")};
    type(L"alp");
    box->show(false);
    EXPECT_EQ(box->lastSearchText(), L"alp");
    box->show(true);
    EXPECT_EQ(box->searchBox().getText(), L"alp");
    EXPECT_EQ(box->searchBox().getSelection(), (CtrlEdit::SelectionRange{0, 3}));
}

TEST_F(WndRunTest, ADroppedFileGoesIntoTheSearchBoxOnlyAlone) {
    type(L"ab");
    box->searchBox().setSelection(0, 0);
    EXPECT_FALSE(box->onDropFiles({L"/a", L"/b"}, box->searchBox(), {0, 0}));
    EXPECT_FALSE(box->onDropFiles({L"/a"}, box->list(), {0, 0}));
    EXPECT_FALSE(box->onDropFiles({wstr(2601, L'a')}, box->searchBox(), {0, 0}));
    EXPECT_EQ(box->searchBox().getText(), L"ab");
    ASSERT_TRUE(box->onDropFiles({L"/tmp/x"}, box->searchBox(), {10000, 0}));
    EXPECT_EQ(box->searchBox().getText(), L"ab/tmp/x");

    host.items = {makeItem(L"open with", CatalogItem::keyword, CatalogItem::accepted)};
    type(L"open");
    key(VkTab);
    ASSERT_TRUE(box->onDropFiles({L"/tmp/a b"}, box->searchBox(), {0, 0}));
    EXPECT_EQ(box->searchBox().getText(), L"\"/tmp/a b\"");
}

// --- Placement
// ------------------------------------------------------------------------------------

TEST_F(WndRunTest, AutoPlacementCentresAQuarterDown) {
    const QRect f = frame();
    EXPECT_EQ(f.width(), 1920 * 33 / 100);
    EXPECT_EQ(f.x(), (1920 - f.width()) / 2);
    EXPECT_EQ(f.y(), 1040 / 4);
}

TEST_F(WndRunTest, MousePositionPlacementIsClampedIntoTheWorkArea) {
    host.settings->geometry.mode = GeometrySetting::MousePos;
    screens->cursor = Sys::Point{1000, 500};
    box->show(false);
    box->show(true);
    QRect f = frame();
    EXPECT_EQ(f.center().x(), 1000 - (f.width() % 2 == 0 ? 1 : 0));
    screens->cursor = Sys::Point{1910, 1030};
    box->show(false);
    box->show(true);
    f = frame();
    EXPECT_EQ(f.right() + 1, 1920);
    EXPECT_LE(f.bottom() + 1, 1040);
}

// Two monitors, the pointer on the left one and another program's window
// active on the right one.
TEST_F(WndRunTest, EachGeometryOpensOnItsMonitor) {
    screens->list = {monitor(1, {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96, true),
                     monitor(2, {1920, 0, 3840, 1080}, {1920, 0, 3840, 1040}, 96, false)};
    screens->cursor = Sys::Point{500, 500};
    screens->activeWindow = Sys::Rect{2000, 100, 2600, 500};
    const struct {
        GeometrySetting geometry;
        int left;
    } cases[] = {
        {{GeometrySetting::ActiveMonitor, 0}, 1920},
        {{GeometrySetting::MouseMonitor, 0}, 0},
        {{GeometrySetting::Auto, 2}, 1920},
        {{GeometrySetting::Auto, 0}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(wstr::toUtf8(geometryToString(c.geometry)));
        host.settings->geometry = c.geometry;
        box->show(false);
        box->show(true);
        EXPECT_EQ(frame().x(), c.left + (1920 - frame().width()) / 2);
    }
    // No active window known: the primary monitor.
    screens->activeWindow.reset();
    host.settings->geometry = {GeometrySetting::ActiveMonitor, 0};
    box->show(false);
    box->show(true);
    EXPECT_EQ(frame().x(), (1920 - frame().width()) / 2);
}

TEST_F(WndRunTest, PersistentPlacementUsesTheStoredRectangle) {
    host.settings->geometry.mode = GeometrySetting::Persistent;
    host.stored = Sys::Rect{100, 200, 900, 260};
    box->show(false);
    box->show(true);
    EXPECT_EQ(frame().topLeft(), QPoint(100, 200));
    EXPECT_EQ(frame().width(), 800);
}

TEST_F(WndRunTest, ListHeightFollowsMaxHeightAndTheExpandedToggle) {
    for (int i = 0; i < 40; ++i)
        host.items.push_back(makeItem(L"row " + std::to_wstring(i)));
    host.settings->maxHeight = 4;
    type(L"row");
    const int base = frame().height() - 4 * box->itemHeight();
    host.settings->maxHeight = 0;
    box->placeOnMonitor(false);
    const int rows = (frame().height() - base) / box->itemHeight();
    EXPECT_GT(rows, 4);
    EXPECT_LE(frame().bottom() + 1, 1040);
    box->toggleExpanded();
    EXPECT_EQ(frame().x(), 0);
    EXPECT_EQ(frame().width(), 1920);
    EXPECT_EQ(frame().y(), 0);
}

// Fonts follow the screen's DPI: the box takes the height they give it.
TEST_F(WndRunTest, ADpiChangePlacesTheBoxAgain) {
    for (int i = 0; i < 3; ++i)
        host.items.push_back(makeItem(L"row " + std::to_wstring(i)));
    type(L"row");
    const QRect placed = frame();
    for (int height : {40, 900}) {
        box->hwnd()->resize(placed.width(), height);
        box->onDpiChanged(QRect());
        EXPECT_EQ(frame(), placed) << height;
    }
}

// --- Mouse
// --------------------------------------------------------------------------------------------

TEST_F(WndRunTest, WheelMovesFiveRowsAndClicksFollowTheSingleClickSetting) {
    for (int i = 0; i < 12; ++i)
        host.items.push_back(makeItem(L"row " + std::to_wstring(i)));
    type(L"row");
    box->list().sendMessage(MouseWheel, static_cast<uintptr_t>(intptr_t(-120)), 0);
    EXPECT_EQ(box->list().currentIndex(), 5);
    box->list().sendMessage(MouseWheel, 120, 0);
    EXPECT_EQ(box->list().currentIndex(), 0);

    const int rowHeight = box->itemHeight();
    const intptr_t secondRow = packPoint({5, rowHeight + rowHeight / 2});
    // The menu comes with the release: the press may begin a drag.
    box->list().sendMessage(RButtonDown, ButtonRight, secondRow);
    EXPECT_TRUE(host.itemMenus.empty());
    box->list().sendMessage(RButtonUp, 0, secondRow);
    ASSERT_EQ(host.itemMenus.size(), 1u);
    EXPECT_EQ(host.itemMenus[0]->label(), L"row 1");

    // Without single-click mode a click only selects; a double click executes.
    box->list().sendMessage(LButtonDown, ButtonLeft, packPoint({5, 2 * rowHeight + 2}));
    EXPECT_TRUE(host.messages(PluginMsg::kindExecute).empty());
    box->list().sendMessage(LButtonDblClk, ButtonLeft, packPoint({5, 2 * rowHeight + 2}));
    ASSERT_EQ(host.messages(PluginMsg::kindExecute).size(), 1u);

    host.settings->singleClick = true;
    box->show(true);
    box->applyTheme();
    type(L"row");
    box->list().sendMessage(MouseMove, 0, secondRow);
    EXPECT_EQ(box->list().currentIndex(), 1);
    box->list().sendMessage(LButtonDown, ButtonLeft, secondRow);
    const auto executes = host.messages(PluginMsg::kindExecute);
    ASSERT_EQ(executes.size(), 2u);
    EXPECT_EQ(executes[1].data.item->label(), L"row 1");
}

// --- Satellite
// ------------------------------------------------------------------------------------

namespace {

// Every item's icon is a square of its size; counts the requests at the front.
class SquareIcons : public ItemIcons {
public:
    QImage icon(const CatalogItemPtr&, int size, bool atFront) override {
        frontRequests += atFront;
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::red);
        return image;
    }
    int frontRequests = 0;
};

} // namespace

TEST_F(WndRunTest, TheSatelliteShowsTheSelectedItemsIconWithTheBox) {
    TearDown();
    SquareIcons squares;
    screens->list = {monitor(1, {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96, true)};
    Sys::setDisplayService(screens);
    theme->satelliteShow = Theme::ShowAlways;
    theme->satelliteSize = 64;
    box = std::make_unique<WndRun>(nullptr, theme, host, squares);
    box->show(true);
    ASSERT_NE(box->satellite(), nullptr);
    EXPECT_FALSE(box->satellite()->isVisible()) << "no item, no image: nothing to show";
    host.items = {makeItem(L"alpha")};
    type(L"alp");
    ASSERT_TRUE(box->satellite()->shownImage());
    EXPECT_TRUE(box->satellite()->isVisible());
    EXPECT_GT(squares.frontRequests, 0);
    type(L"none such");
    EXPECT_FALSE(box->satellite()->shownImage());
    EXPECT_FALSE(box->satellite()->isVisible());
    type(L"alp");
    EXPECT_TRUE(box->satellite()->isVisible());
    box->show(false);
    EXPECT_FALSE(box->satellite()->isVisible());
    EXPECT_FALSE(box->satellite()->shownImage());
    box.reset();
}
