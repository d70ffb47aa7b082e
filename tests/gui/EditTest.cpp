#include "gui/CtrlEdit.h"
#include "gui/CtrlEditPadded.h"
#include "gui/EditText.h"
#include "gui/VirtualKey.h"
#include "gui/WndMessage.h"

#include "tests/gui/WndRecorder.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <gtest/gtest.h>

using namespace Gui;

namespace {

TEST(EditText, WordBoundaries) {
    struct Case {
        const wchar_t* text;
        const wchar_t* delimiters;
        bool forward;
        std::size_t from;
        std::size_t expected;
    };
    const Case cases[] = {
        {L"a.b c", L".", true, 0, 2},     {L"a.b c", L"", true, 0, 4},
        {L"foo  bar", L"", true, 1, 5},   {L"foo bar", L"", true, 4, 7},
        {L"foo bar", L"", true, 99, 7},   {L"foo bar", L"", false, 7, 4},
        {L"foo bar  ", L"", false, 9, 4}, {L"foo bar", L"", false, 4, 0},
        {L"foo bar", L"", false, 0, 0},   {L"a/b/c", L"/", false, 5, 4},
        {L"a\tb", L"", true, 0, 2},
    };
    for (const Case& c : cases) {
        EditText text(c.text, 0, 0);
        text.setWordDelimiters(c.delimiters);
        EXPECT_EQ(text.findWordBoundary(c.forward, c.from), c.expected)
            << "text " << wstr::toUtf8(c.text) << " from " << c.from;
    }
}

TEST(EditText, DelimitersDropSpacesAndControls) {
    EditText text;
    text.setWordDelimiters(L". \t/\x01");
    EXPECT_EQ(text.wordDelimiters(), L"./");
    EXPECT_TRUE(text.isWordDelimiter(L' '));
    EXPECT_TRUE(text.isWordDelimiter(L'\n'));
    EXPECT_FALSE(text.isWordDelimiter(L'a'));
}

TEST(EditText, DeletingWordsBackward) {
    EditText text(L"foo bar", 7, 7);
    ASSERT_TRUE(text.deleteWordBackward());
    EXPECT_EQ(text.text(), L"foo ");
    EXPECT_EQ(text.caret(), 4u);
    ASSERT_TRUE(text.deleteWordBackward());
    EXPECT_EQ(text.text(), L"");
    EXPECT_FALSE(text.deleteWordBackward());

    EditText selected(L"foo bar", 5, 1);
    selected.deleteWordBackward();
    EXPECT_EQ(selected.text(), L"far");
    EXPECT_EQ(selected.caret(), 1u);
}

TEST(EditText, InsertionKeepsTheUsersSelection) {
    struct Case {
        const char* name;
        std::size_t anchor;
        std::size_t caret;
        std::size_t position;
        const wchar_t* expected;
        std::size_t newAnchor;
        std::size_t newCaret;
    };
    // "ab" goes into "0123456789".
    const Case cases[] = {
        {"replacing the selection", 3, 5, EditText::atCaret, L"012ab56789", 5, 5},
        {"empty selection", 8, 8, 2, L"01ab23456789", 4, 4},
        {"selection after the position", 5, 3, 3, L"012ab3456789", 7, 5},
        {"selection before the position", 3, 5, 5, L"01234ab56789", 3, 5},
        {"position inside the selection", 3, 6, 4, L"012ab6789", 5, 5},
        {"position beyond the text", 1, 1, 99, L"0123456789ab", 12, 12},
    };
    for (const Case& c : cases) {
        EditText text(L"0123456789", c.anchor, c.caret);
        text.insertText(L"ab", c.position);
        EXPECT_EQ(text.text(), c.expected) << c.name;
        EXPECT_EQ(text.anchor(), c.newAnchor) << c.name;
        EXPECT_EQ(text.caret(), c.newCaret) << c.name;
    }
}

TEST(EditText, PagingToTheEnds) {
    EditText down(L"0123456789", 6, 2);
    down.pageToEnd(true, true);
    EXPECT_EQ(down.anchor(), 6u);
    EXPECT_EQ(down.caret(), 10u);
    EditText up(L"0123456789", 2, 6);
    up.pageToEnd(false, true);
    EXPECT_EQ(up.anchor(), 2u);
    EXPECT_EQ(up.caret(), 0u);
    up.pageToEnd(true, false);
    EXPECT_EQ(up.anchor(), 10u);
    EXPECT_EQ(up.caret(), 10u);
}

class CtrlEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::qtApp();
        Wnd::create(parent, new QWidget);
        edit = std::make_unique<CtrlEdit>(parent, nullptr, 0);
    }
    void press(int key, Qt::KeyboardModifiers modifiers, const QString& text = {}) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        QCoreApplication::sendEvent(edit->hwnd(), &event);
    }

    qvtest::WndRecorder parent;
    std::unique_ptr<CtrlEdit> edit;
};

TEST_F(CtrlEditTest, CtrlBackspaceDeletesWordsThroughTheWidget) {
    edit->setText(L"foo bar");
    EXPECT_EQ(edit->getCaretPos(nullptr), 7u);
    press(Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(edit->getText(), L"foo ");
    EXPECT_EQ(edit->getCaretPos(nullptr), 4u);
    press(Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(edit->getText(), L"");
    // The widget's undo still has the words.
    static_cast<QLineEdit*>(edit->hwnd())->undo();
    EXPECT_EQ(edit->getText(), L"foo ");
}

// A multi-line widget would take Tab and Enter into its text.
TEST_F(CtrlEditTest, TabEnterAndNulNeverReachTheText) {
    CtrlEdit view(parent, nullptr, CtrlEdit::EditMultiline);
    auto send = [&](int key, Qt::KeyboardModifiers modifiers, const QString& text) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        QCoreApplication::sendEvent(view.hwnd(), &event);
    };
    send(Qt::Key_A, Qt::NoModifier, "a");
    send(Qt::Key_Tab, Qt::NoModifier, "\t");
    send(Qt::Key_Return, Qt::NoModifier, "\r");
    send(Qt::Key_unknown, Qt::NoModifier, QString(QChar(0)));
    send(Qt::Key_B, Qt::NoModifier, "b");
    EXPECT_EQ(view.getText(), L"ab");
    send(Qt::Key_A, Qt::ControlModifier, "\x01");
    EXPECT_EQ(view.getSelection(), (CtrlEdit::SelectionRange{0, 2}));
}

TEST_F(CtrlEditTest, CtrlArrowsMoveByWordsWithDelimiters) {
    edit->setWordDelimiters(L".");
    edit->setText(L"a.b c");
    edit->moveCaretToStart();
    press(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(edit->getCaretPos(nullptr), 2u);
    press(Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(edit->getDirectedSelection(), (CtrlEdit::DirectedSelection{2, 4}));
}

TEST_F(CtrlEditTest, DirectedSelectionKeepsItsCaret) {
    edit->setText(L"0123456789");
    edit->setDirectedSelection(5, 2);
    EXPECT_EQ(edit->getSelection(), (CtrlEdit::SelectionRange{2, 5}));
    std::size_t anchor = 0;
    EXPECT_EQ(edit->getCaretPos(&anchor), 2u);
    EXPECT_EQ(anchor, 5u);
    edit->sendMessage(KeyDown, VkLeft, ModShift);
    EXPECT_EQ(edit->getSelection(), (CtrlEdit::SelectionRange{1, 5}));

    edit->setDirectedSelection(5, 3);
    edit->insertText(L"ab", 0);
    EXPECT_EQ(edit->getDirectedSelection(), (CtrlEdit::DirectedSelection{7, 5}));
}

TEST_F(CtrlEditTest, PasteMessagesPasteTheClipboard) {
    QGuiApplication::clipboard()->setText("xyz");
    edit->setText(L"ab");
    edit->setSelection(1, 1);
    edit->sendMessage(Paste);
    EXPECT_EQ(edit->getText(), L"axyzb");
}

TEST_F(CtrlEditTest, AppendingLeavesTheSelectionAlone) {
    edit->setText(L"abc");
    edit->setDirectedSelection(2, 1);
    const wstr second = L"!";
    edit->appendText(L"def", &second);
    EXPECT_EQ(edit->getText(), L"abcdef!");
    EXPECT_EQ(edit->getDirectedSelection(), (CtrlEdit::DirectedSelection{2, 1}));
}

TEST_F(CtrlEditTest, PageDownInAReadOnlyViewOnItsLastPageGoesToTheEnd) {
    // A hidden view keeps its first size: shown, it is the size given.
    parent.hwnd()->show();
    CtrlEdit view(parent, nullptr, CtrlEdit::EditMultiline | CtrlEdit::EditReadOnly);
    view.hwnd()->resize(300, 300);
    view.setText(L"one\ntwo\nthree");
    view.setSelection(1, 1);
    view.sendMessage(KeyDown, VkNext, 0);
    EXPECT_EQ(view.getSelection(), (CtrlEdit::SelectionRange{13, 13}));
    view.setSelection(5, 5);
    view.sendMessage(KeyDown, VkPrior, ModShift);
    EXPECT_EQ(view.getDirectedSelection(), (CtrlEdit::DirectedSelection{5, 0}));
}

// A report far longer than its view: each Page Down moves the caret and the
// view one page on, each Page Up one page back, and only the last (first)
// page goes on to the very end (start).
TEST_F(CtrlEditTest, PageKeysInALongReadOnlyViewMoveOnePageAtATime) {
    parent.hwnd()->show();
    CtrlEdit view(parent, nullptr, CtrlEdit::EditMultiline | CtrlEdit::EditReadOnly);
    view.hwnd()->resize(300, 200);
    wstr text;
    for (int i = 0; i < 500; ++i)
        wstr::format(text, L"line {:03}\n", i);
    view.setText(text);
    view.moveCaretToStart();
    auto* edit = static_cast<QPlainTextEdit*>(view.hwnd());
    const int page = edit->viewport()->height() / edit->fontMetrics().lineSpacing();
    ASSERT_GT(page, 2);
    ASSERT_LT(page, 100) << "the text does not fit in the view";
    const auto line = [&] { return edit->textCursor().blockNumber(); };
    const auto onScreen = [&] {
        const int top = edit->verticalScrollBar()->value();
        return line() >= top && line() <= top + page;
    };

    std::vector<int> stops{0};
    for (int i = 0; i < 3; ++i) {
        view.sendMessage(KeyDown, VkNext, 0);
        EXPECT_NEAR(line() - stops.back(), page, 2) << "Page Down " << i + 1;
        EXPECT_TRUE(onScreen()) << "Page Down " << i + 1;
        EXPECT_FALSE(edit->textCursor().hasSelection());
        stops.push_back(line());
    }
    for (int i = 2; i >= 0; --i) {
        view.sendMessage(KeyDown, VkPrior, 0);
        EXPECT_NEAR(line(), stops[i], 1) << "Page Up back to stop " << i;
        EXPECT_TRUE(onScreen());
    }
    EXPECT_EQ(edit->verticalScrollBar()->value(), 0);

    // Shift extends the selection by a page from where it was anchored.
    view.sendMessage(KeyDown, VkNext, ModShift);
    EXPECT_NEAR(line(), stops[1], 1);
    EXPECT_EQ(view.getDirectedSelection().anchor, 0u);

    // From the last page Page Down ends at the very end of the text.
    view.moveCaretToEnd();
    view.sendMessage(KeyDown, VkPrior, 0);
    view.sendMessage(KeyDown, VkNext, 0);
    EXPECT_TRUE(view.isCaretAtEnd());
}

// The console's log grows by appends and keeps its newest lines.
TEST_F(CtrlEditTest, AViewDropsItsOldestWholeLinesPastItsSize) {
    CtrlEdit view(parent, nullptr, CtrlEdit::EditMultiline | CtrlEdit::EditReadOnly);
    const struct {
        const wchar_t* text;
        std::size_t keep;
        const wchar_t* left;
    } cases[] = {
        {L"one\ntwo\nthree\n", 100, L"one\ntwo\nthree\n"},
        {L"one\ntwo\nthree\n", 14, L"one\ntwo\nthree\n"},
        {L"one\ntwo\nthree\n", 13, L"two\nthree\n"},
        {L"one\ntwo\nthree\n", 10, L"two\nthree\n"},
        {L"one\ntwo\nthree\n", 9, L"three\n"},
        {L"one\ntwo\nthree\n", 6, L"three\n"},
        {L"one\ntwo\nthree\n", 2, L""},
        {L"one\ntwo\nthree", 3, L"three"}, // the last line stays whole
    };
    for (const auto& c : cases) {
        view.setText(c.text);
        view.dropLeadingLines(c.keep);
        EXPECT_EQ(view.getText(), c.left) << wstr::toUtf8(c.text) << " kept " << c.keep;
    }

    // A selection in the lines that stay stays on the same characters, and a
    // caret at the end is not pulled along by appends.
    view.setText(L"one\ntwo\n");
    view.setDirectedSelection(7, 4);
    const wstr second = L"four\n";
    view.appendText(L"three\n", &second);
    view.dropLeadingLines(16);
    EXPECT_EQ(view.getText(), L"two\nthree\nfour\n");
    EXPECT_EQ(view.getDirectedSelection(), (CtrlEdit::DirectedSelection{3, 0}));
    view.moveCaretToEnd();
    EXPECT_TRUE(view.isCaretAtEnd());
    view.appendText(L"five\n", nullptr);
    EXPECT_EQ(view.getCaretPos(nullptr), 15u);
    EXPECT_FALSE(view.isCaretAtEnd());
}

TEST(CtrlEditPadded, PaddingSplitsTheRoomAroundTheLine) {
    EXPECT_EQ(CtrlEditPadded::measure({200, 30}, 16, 0, 0), QRect(0, 7, 200, 16));
    EXPECT_EQ(CtrlEditPadded::measure({200, 31}, 16, 2, 2), QRect(2, 7, 196, 16));
    // Padding that would take a quarter of the width is left out.
    EXPECT_EQ(CtrlEditPadded::measure({16, 16}, 16, 2, 2), QRect());
    EXPECT_EQ(CtrlEditPadded::measure({200, 10}, 16, 0, 0), QRect());
    EXPECT_EQ(CtrlEditPadded::measure({200, 30}, 0, 2, 2), QRect());
}

TEST(CtrlEditPadded, ResizingMeasuresAgain) {
    qvtest::qtApp();
    qvtest::WndRecorder parent;
    Wnd::create(parent, new QWidget);
    parent.hwnd()->show();
    CtrlEditPadded edit(parent, nullptr, 0, 2, 2);
    const int line = QFontMetrics(edit.hwnd()->font()).height();
    edit.hwnd()->resize(200, line + 14);
    EXPECT_FALSE(edit.notMeasured());
    EXPECT_EQ(edit.paddedRect(), QRect(2, 7, 196, line));
    auto* lineEdit = static_cast<QLineEdit*>(edit.hwnd());
    EXPECT_EQ(lineEdit->textMargins(), QMargins(2, 7, 2, 7));
}

} // namespace
