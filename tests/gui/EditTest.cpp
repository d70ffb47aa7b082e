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
