#pragma once

#include "catalog/CatalogAction.h"
#include "catalog/CatalogResults.h"
#include "catalog/CatalogSearchChain.h"
#include "core/SysDisplay.h"
#include "gui/Theme.h"
#include "gui/WndMessage.h"
#include "gui/WndThemed.h"

#include <QImage>
#include <QRect>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class ItemIcons;
class WndSatellite;
class LaunchBoxHost;
class QTimer;

namespace Gui {
class CtrlEditPadded;
class CtrlList;
class CtrlSizeGrip;
} // namespace Gui

// The LaunchBox: a frameless top-level window with the search box, the
// owner-drawn result list and the status line. The user types, picks an
// item (and maybe an action and arguments) and executes it through its
// plugin. Modes: 0 search, 1 chained search, 2 actions list, 3 history.
// The window's code is split by concern: WndRun.cpp (window, placement,
// layout, showing), WndRunSearch.cpp (modes and search), WndRunKeys.cpp
// (keys and mouse), WndRunExecute.cpp and WndRunDraw.cpp (rows).
// User-interface thread only.
class WndRun : public Gui::WndThemed, public Gui::Wnd::ParentListener {
public:
    enum Mode : uint32_t { ModeSearch = 0, ModeChained = 1, ModeActions = 2, ModeHistory = 3 };
    enum ShowMode : uint32_t { ShowSearch = 0, ShowPaste = 1, ShowHistory = 2 };
    // The longest text taken from the clipboard.
    static constexpr std::size_t maxPasteLength = 512;
    // Rows that Page Up/Down and the wheel move.
    static constexpr int pageRows = 5;
    // Main-window commands of F2, F3 and F5.
    static constexpr uint32_t commandConsole = 216;
    static constexpr uint32_t commandDiagnostics = 217;
    static constexpr uint32_t commandRefreshAll = 214;

    // The texts of one list row: the title, the description (with how its
    // ellipsis is made) and the tips of the first and second line.
    struct RowTexts {
        wstr title;
        wstr desc;
        bool pathEllipsis = false;
        wstr tips1;
        wstr tips2;
    };

    // Creates the window, hidden; throws std::runtime_error "Failed to create
    // the LaunchBox" when the window cannot be made. The host and the icons
    // outlive the window.
    WndRun(Gui::Instance instance, std::shared_ptr<Gui::Theme> theme, LaunchBoxHost& host,
           ItemIcons& icons);
    ~WndRun() override;

    intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void paint(QPainter& painter, const QRect& rect) override;
    void show(bool visible) override;
    void onFontsChanged() override;
    bool onActivate(bool active) override;
    void onDpiChanged(const QRect& suggested) override;
    // The box is as high as its rows: never less than the search band.
    int minHeight() override { return baseHeight(); }
    intptr_t onChildMessage(Gui::Wnd& child, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) override;

    // --- Window (WndRun.cpp) ----------------------------------------------------
    void showMode(bool visible, uint32_t showMode);
    // On a configuration reload.
    void applyTheme();
    void placeOnMonitor(bool reposition);
    void layout(int clientWidth, int clientHeight);
    void toggleExpanded();

    // --- Search and modes (WndRunSearch.cpp) --------------------------------------
    void onSearchTextChanged(const CatalogItemPtr& reselect);
    // App timer 8 runs it while the window is visible.
    void runSearch(const CatalogItemPtr& reselect);
    bool refreshList(uint32_t newMode, bool back);
    void pushSelection();
    void resetSearch();
    void rememberLastSearch();
    void updateStatus();
    // App timer 9.
    void onActionsChanged();
    CatalogItemPtr selectedItem() const;
    // The theme's separator of status texts, which history questions quote.
    const wstr& statusSeparator() const { return separator_; }
    bool stepBack(bool forced);
    // Entries left the history (Ctrl+Delete, the item menu): the history
    // view is filled again, the other modes search again.
    void onHistoryErased();

    // --- Keys and mouse (WndRunKeys.cpp) --------------------------------------------
    // The key and character messages of the window (control null) and of its
    // two children; a key with the Alt modifier stands for a system key.
    intptr_t onKey(Gui::Wnd* control, uint32_t message, uintptr_t key, intptr_t modifiers);
    // Inserts a dropped file's path; false when the drop is refused.
    bool onDropFiles(const std::vector<wstr>& paths, Gui::Wnd& target, QPoint at);
    // Clipboard text as the search box takes it: blanks collapsed, cut to
    // maxPasteLength characters, trimmed at the right.
    static wstr pasteText(const wstr& clipboard);
    // Runs of spaces and control characters as one space, no trailing one;
    // bidirectional controls dropped.
    static wstr normalizeSpaces(const wstr& text);
    // The bidirectional control characters (U+061C, U+200E, U+200F,
    // U+202A-U+202E, U+2066-U+2069): a name or a pasted text that holds them
    // could show its characters in another order than they are matched and
    // run in.
    static bool isBidiControl(wchar_t ch);

    // --- Execution (WndRunExecute.cpp) ----------------------------------------------
    // The modifiers are those of the key or click that executes.
    void executeSelection(uintptr_t modifiers);
    static CatalogItemPtr chooseHitItem(const CatalogItemPtr& first,
                                        const CatalogItemPtr& executed);

    // --- Rows (WndRunDraw.cpp) --------------------------------------------------------
    int computeItemHeight();
    // The texts of the row in the current mode, without bidirectional
    // controls; false beyond the rows.
    bool composeRowTexts(int row, RowTexts& texts);
    // App timer 10 and selection changes: the satellite's icon, a repaint.
    void updateIcons();
    // App timer 10: icons arrived; the rows and the satellite ask again.
    void onIconsChanged();

    // State, for the application and the tests.
    uint32_t mode() const { return mode_; }
    bool expanded() const { return expanded_; }
    const CatalogSearchChain& chain() const { return chain_; }
    const std::shared_ptr<CatalogResults>& results() const { return results_; }
    std::size_t matchCount() const { return matchCount_; }
    const std::vector<CatalogActionPtr>& actions() const { return actions_; }
    const wstr& title() const { return title_; }
    const wstr& statusText() const { return status_; }
    int itemHeight() const { return itemHeight_; }
    Gui::CtrlEditPadded& searchBox() const { return *edit_; }
    Gui::CtrlList& list() const { return *list_; }
    const wstr& lastSearchText() const { return lastText_; }
    const CatalogItemPtr& lastSearchItem() const { return lastItem_; }
    const QRect& statusRect() const { return statusRect_; }
    WndSatellite* satellite() const { return satellite_.get(); }

private:
    class ListWatch;

    // WndRun.cpp
    void createChildren();
    void readSettings();
    void applyTaskbarStyle(bool force);
    void connectSearchBox();
    bool satelliteShownForMode() const;
    void showSatellite(bool visible);
    void applySatelliteTheme();
    // The room kept for the satellite at the top left; 0 when it is elsewhere.
    int satelliteBox();
    int baseHeight();
    Sys::Rect workAreaOf(const Sys::Rect& rect);
    Sys::Rect placementRect(bool reposition, int minWidth, int base, bool& record);
    void fitRows(Sys::Rect& rect, int base, const Sys::Rect& work, bool& record);
    void layoutTopRow(int width, int& top);
    void layoutList(int width, int height, int top);
    void showPasted(bool wasShown);
    void showRetained();
    void hideWindow();
    void onFocusTimer();
    void moveByTheBody(QPoint cursor);
    void onMoved();
    void recordGeometry(const QRect& frame);

    // WndRunSearch.cpp
    void fillList(std::size_t rows, int select, bool notify);
    void backToSearch();
    void clearSearch(const wstr& text);
    bool pushChain(uint32_t fromMode);
    bool popChain();
    bool leaveActions();
    bool chainedActions();
    bool showActions();
    void setTitle(wstr title);
    wstr actionsTitle(const CatalogItem& item) const;
    void showHistory();
    CatalogItemPtr copyOf(const CatalogItemPtr& item) const;
    void afterModeChange();
    void statusParts(std::vector<wstr>& parts);

    // WndRunKeys.cpp
    intptr_t onKeyDown(Gui::Wnd* control, uintptr_t key, uintptr_t modifiers, bool& handled);
    intptr_t onChar(Gui::Wnd* control, uintptr_t ch, uintptr_t modifiers, bool& handled);
    void pickRow(int digit, uintptr_t modifiers);
    void selectRow(int row);
    void clearOrHide();
    void onPaste();
    void onPastePrimary();
    bool onListMouse(uint32_t message, uintptr_t flags, intptr_t point);
    // Drags the result row under the point out of the LaunchBox; true when a
    // drag ran.
    bool dragRow(QPoint at);
    void installPasteMenu();
    // The list's rows live in its viewport: its mouse reaches onListMouse.
    void watchListViewport();
    void shellProperties();

    // WndRunExecute.cpp
    bool executeItem(uintptr_t modifiers);
    bool executeAction();
    void recordHits(const CatalogItemPtr& first, const CatalogItemPtr& executed,
                    const CatalogActionPtr& action);
    void afterExecution(uintptr_t modifiers);

    // WndRunDraw.cpp
    void onDrawItem(const Gui::DrawItemInfo& info);
    void composeResultRow(const CatalogItemPtr& item, int position, RowTexts& texts);
    void composeActionRow(const CatalogAction& action, int position, RowTexts& texts);
    void drawItem(QPainter& painter, const QRect& rect, bool selected, const RowTexts& texts,
                  const CatalogItemPtr& item);
    QImage programIcon(int size);

    LaunchBoxHost& host_;
    ItemIcons& icons_;

    // Settings copied at construction and on every theme application.
    int32_t autoWidth_ = 33;
    std::size_t maxResults_ = 100;
    bool showOnTaskbar_ = true;
    bool singleClick_ = false;

    int itemHeight_ = 0;
    wstr separator_;
    bool movingOrSizing_ = false;
    // A move by the body has ended; the window's position that the window
    // system reports next is where the user put it.
    bool dragEnding_ = false;
    // Where the left button went down on the body, until it is released or
    // the window system takes the move over.
    std::optional<QPoint> bodyPressedAt_;
    QRect titleRect_;
    QRect editRect_;
    QRect listRect_;
    QRect statusRect_;
    uint32_t titleFontSlot_ = Gui::Theme::Large;
    std::unique_ptr<Gui::CtrlEditPadded> edit_;
    std::unique_ptr<Gui::CtrlList> list_;
    std::unique_ptr<Gui::CtrlSizeGrip> grip_;
    std::unique_ptr<WndSatellite> satellite_;
    CatalogItemPtr satelliteItem_;
    qint64 satelliteImageKey_ = -1;
    std::unique_ptr<QTimer> focusTimer_;
    std::unique_ptr<ListWatch> listWatch_;
    wstr status_;
    bool expanded_ = false;

    uint32_t mode_ = ModeSearch;
    CatalogSearchChain chain_;
    std::shared_ptr<CatalogResults> results_;
    std::size_t matchCount_ = 0;
    std::vector<CatalogActionPtr> actions_;
    wstr title_;
    wstr lastText_;
    CatalogItemPtr lastItem_;
    std::map<int, QImage> programIcons_;
    // Reused from row to row so that painting allocates nothing once grown.
    RowTexts rowTexts_;
};
