#include "gui/CtrlEdit.h"

#include "gui/QtText.h"
#include "gui/VirtualKey.h"
#include "gui/WndMessage.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace Gui {
namespace {

// Qt counts UTF-16 units, the program code points.
int toUtf16(const QString& text, std::size_t codePoints) {
    int pos = 0;
    for (std::size_t i = 0; i < codePoints && pos < text.size(); ++i)
        pos += QChar::isHighSurrogate(text[pos].unicode()) && pos + 1 < text.size() ? 2 : 1;
    return pos;
}

std::size_t fromUtf16(const QString& text, int units) {
    std::size_t count = 0;
    for (int pos = 0; pos < units && pos < text.size(); ++count)
        pos += QChar::isHighSurrogate(text[pos].unicode()) && pos + 1 < text.size() ? 2 : 1;
    return count;
}

// A read-only view keeps a caret that the keys move, Page Up and Page Down
// included, as an edit control does; it has nothing to undo.
void setViewReadOnly(QPlainTextEdit& edit, bool on) {
    edit.setReadOnly(on);
    edit.document()->setUndoRedoEnabled(!on);
    if (on)
        edit.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

QWidget* makeWidget(Wnd& parent, uint32_t style) {
    QWidget* widget = nullptr;
    if (style & CtrlEdit::EditMultiline) {
        auto* edit = new QPlainTextEdit(parent.hwnd());
        setViewReadOnly(*edit, style & CtrlEdit::EditReadOnly);
        widget = edit;
    } else {
        auto* edit = new QLineEdit(parent.hwnd());
        edit->setReadOnly(style & CtrlEdit::EditReadOnly);
        widget = edit;
    }
    widget->setGeometry(0, 0, 1, 1);
    widget->show();
    return widget;
}

} // namespace

CtrlEdit::CtrlEdit(Wnd& parent, ParentListener* listener, uint32_t style) : Wnd(parent.instance()) {
    setStyle(StyleWord, style, true);
    attach(makeWidget(parent, style), false);
    setParentListener(listener);
}

QLineEdit* CtrlEdit::lineEdit() const {
    return qobject_cast<QLineEdit*>(hwnd());
}

QPlainTextEdit* CtrlEdit::plainEdit() const {
    return qobject_cast<QPlainTextEdit*>(hwnd());
}

QString CtrlEdit::widgetText() const {
    if (QLineEdit* edit = lineEdit())
        return edit->text();
    if (QPlainTextEdit* edit = plainEdit())
        return edit->toPlainText();
    return {};
}

wstr CtrlEdit::getText() const {
    return toWstr(widgetText());
}

int CtrlEdit::getTextLengthExact() const {
    return static_cast<int>(getText().size());
}

void CtrlEdit::setText(const wstr& text) {
    if (QLineEdit* edit = lineEdit())
        edit->setText(toQString(text));
    else if (QPlainTextEdit* edit = plainEdit())
        edit->setPlainText(toQString(text));
    setSelection(text.size(), text.size());
}

EditText CtrlEdit::load() const {
    const QString text = widgetText();
    int anchor = 0;
    int caret = 0;
    if (QLineEdit* edit = lineEdit()) {
        caret = edit->cursorPosition();
        anchor = caret;
        if (edit->hasSelectedText()) {
            const int start = edit->selectionStart();
            const int end = start + static_cast<int>(edit->selectedText().size());
            anchor = caret == start ? end : start;
        }
    } else if (QPlainTextEdit* edit = plainEdit()) {
        anchor = edit->textCursor().anchor();
        caret = edit->textCursor().position();
    }
    EditText model(toWstr(text), fromUtf16(text, anchor), fromUtf16(text, caret));
    model.setWordDelimiters(wordDelimiters_);
    return model;
}

void CtrlEdit::apply(const EditText& model, const std::optional<EditText::Change>& change) {
    if (change)
        replaceRange(*change);
    setDirectedSelection(model.anchor(), model.caret());
}

// Replaces through the widget's own editing, so that undo keeps working.
void CtrlEdit::replaceRange(const EditText::Change& change) {
    const QString text = widgetText();
    const int start = toUtf16(text, change.start);
    const int end = toUtf16(text, change.end);
    if (QLineEdit* edit = lineEdit()) {
        edit->setSelection(start, end - start);
        edit->insert(toQString(change.text));
    } else if (QPlainTextEdit* edit = plainEdit()) {
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.insertText(toQString(change.text));
    }
}

bool CtrlEdit::isReadOnly() const {
    if (QLineEdit* edit = lineEdit())
        return edit->isReadOnly();
    QPlainTextEdit* edit = plainEdit();
    return edit && edit->isReadOnly();
}

void CtrlEdit::setWordDelimiters(const wstr& delimiters) {
    EditText model;
    model.setWordDelimiters(delimiters);
    wordDelimiters_ = model.wordDelimiters();
}

bool CtrlEdit::isWordDelimiter(wchar_t ch) const {
    EditText model;
    model.setWordDelimiters(wordDelimiters_);
    return model.isWordDelimiter(ch);
}

void CtrlEdit::setReadOnly(bool on) {
    if (QLineEdit* edit = lineEdit())
        edit->setReadOnly(on);
    else if (QPlainTextEdit* edit = plainEdit())
        setViewReadOnly(*edit, on);
    setStyle(StyleWord, EditReadOnly, on);
}

void CtrlEdit::setCueBanner(const wstr& text) {
    if (QLineEdit* edit = lineEdit())
        edit->setPlaceholderText(toQString(text));
    else if (QPlainTextEdit* edit = plainEdit())
        edit->setPlaceholderText(toQString(text));
}

std::size_t CtrlEdit::getCaretPos(std::size_t* anchor) const {
    DirectedSelection selection = getDirectedSelection();
    if (anchor)
        *anchor = selection.anchor;
    return selection.caret;
}

std::size_t CtrlEdit::findWordBoundary(bool forward, std::size_t from) const {
    return load().findWordBoundary(forward, from);
}

void CtrlEdit::moveCaretByWord(bool forward, bool extend) {
    EditText model = load();
    model.moveCaretByWord(forward, extend);
    apply(model, std::nullopt);
}

void CtrlEdit::insertText(const wstr& text, std::size_t position) {
    EditText model = load();
    auto change = model.insertText(text, position);
    apply(model, change);
}

void CtrlEdit::appendText(const wstr& text, const wstr* second) {
    if (QPlainTextEdit* edit = plainEdit()) {
        wstr appended = text;
        if (second)
            appended += *second;
        appendToView(*edit, appended);
        return;
    }
    DirectedSelection saved = getDirectedSelection();
    const std::size_t end = getText().size();
    wstr appended = text;
    if (second)
        appended += *second;
    replaceRange({end, end, appended});
    setDirectedSelectionRange(saved);
}

// A log view grows by appends: each costs what it adds, not the whole text.
// The user's selection stays where it was, also when it ends at the end.
void CtrlEdit::appendToView(QPlainTextEdit& edit, const wstr& text) {
    const int anchor = edit.textCursor().anchor();
    const int position = edit.textCursor().position();
    QTextCursor end(edit.document());
    end.movePosition(QTextCursor::End);
    end.insertText(toQString(text));
    if (edit.textCursor().anchor() == anchor && edit.textCursor().position() == position)
        return;
    QTextCursor restored(edit.document());
    restored.setPosition(anchor);
    restored.setPosition(position, QTextCursor::KeepAnchor);
    edit.setTextCursor(restored);
}

void CtrlEdit::dropLeadingLines(std::size_t maxLength) {
    QPlainTextEdit* edit = plainEdit();
    if (!edit)
        return;
    QTextDocument& document = *edit->document();
    // The count includes the paragraph separator after the last line.
    const auto length = static_cast<std::size_t>(document.characterCount() - 1);
    if (length <= maxLength)
        return;
    QTextBlock first = document.findBlock(static_cast<int>(length - maxLength));
    if (first.position() < static_cast<int>(length - maxLength) && first.next().isValid())
        first = first.next();
    QTextCursor cursor(&document);
    cursor.setPosition(first.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void CtrlEdit::deleteWordBackward() {
    EditText model = load();
    auto change = model.deleteWordBackward();
    if (change)
        apply(model, change);
}

CtrlEdit::DirectedSelection CtrlEdit::getDirectedSelection() const {
    EditText model = load();
    return {model.anchor(), model.caret()};
}

CtrlEdit::SelectionRange CtrlEdit::getSelection() const {
    EditText model = load();
    return {model.selectionStart(), model.selectionEnd()};
}

void CtrlEdit::setDirectedSelection(std::size_t anchor, std::size_t caret) {
    const QString text = widgetText();
    const int from = toUtf16(text, anchor);
    const int to = toUtf16(text, caret);
    if (QLineEdit* edit = lineEdit()) {
        // A negative length selects backwards: the caret ends at its start.
        edit->setSelection(from, to - from);
    } else if (QPlainTextEdit* edit = plainEdit()) {
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        edit->setTextCursor(cursor);
    }
    scrollToCaret();
}

void CtrlEdit::setSelection(std::size_t start, std::size_t end) {
    setDirectedSelection(start, end);
}

void CtrlEdit::moveCaretToEnd() {
    if (QPlainTextEdit* edit = plainEdit()) {
        edit->moveCursor(QTextCursor::End);
        return;
    }
    const std::size_t end = getText().size();
    setSelection(end, end);
}

// What the edit control itself does with a Paste message.
void CtrlEdit::paste() {
    if (QLineEdit* edit = lineEdit())
        edit->paste();
    else if (QPlainTextEdit* edit = plainEdit())
        edit->paste();
}

void CtrlEdit::selectAll() {
    if (QLineEdit* edit = lineEdit())
        edit->selectAll();
    else if (QPlainTextEdit* edit = plainEdit())
        edit->selectAll();
}

bool CtrlEdit::isCaretAtEnd() const {
    if (QPlainTextEdit* edit = plainEdit())
        return !edit->textCursor().hasSelection() && edit->textCursor().atEnd();
    SelectionRange range = getSelection();
    return range.start == range.end &&
           range.start >= static_cast<std::size_t>(getTextLengthExact());
}

void CtrlEdit::scrollToCaret() {
    if (QPlainTextEdit* edit = plainEdit())
        edit->ensureCursorVisible();
}

void CtrlEdit::resetScroll() {
    if (QLineEdit* edit = lineEdit()) {
        DirectedSelection saved = getDirectedSelection();
        edit->setCursorPosition(0);
        setDirectedSelectionRange(saved);
    } else if (QPlainTextEdit* edit = plainEdit()) {
        edit->verticalScrollBar()->setValue(0);
        edit->horizontalScrollBar()->setValue(0);
    }
}

CtrlEdit::Margins CtrlEdit::getMargins() const {
    if (QLineEdit* edit = lineEdit())
        return {edit->textMargins().left(), edit->textMargins().right()};
    return {};
}

int CtrlEdit::getMarginsWidth() const {
    Margins margins = getMargins();
    return margins.left + margins.right;
}

void CtrlEdit::onPageKey(uint32_t message, uint32_t virtualKey, intptr_t lParam, bool extend) {
    EditText model = load();
    const bool down = virtualKey == VkNext;
    if ((down && model.caret() >= model.text().size()) || (!down && model.caret() == 0))
        return;
    if (!onLastPage(down)) {
        deliverKey(message, virtualKey, lParam);
        if (getCaretPos(nullptr) != model.caret())
            return;
    }
    // The view was already on its last (first) page: go to the very end.
    model.pageToEnd(down, extend);
    apply(model, std::nullopt);
}

// A multi-line view shows its last (first) page: the key cannot scroll.
bool CtrlEdit::onLastPage(bool down) const {
    QPlainTextEdit* edit = plainEdit();
    if (!edit)
        return false;
    const QScrollBar& bar = *edit->verticalScrollBar();
    return down ? bar.value() >= bar.maximum() : bar.value() <= bar.minimum();
}

intptr_t CtrlEdit::wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    const bool ctrl = lParam & ModCtrl;
    const bool shift = lParam & ModShift;
    if (message == KeyDown) {
        if (wParam == VkBack && ctrl) {
            deleteWordBackward();
            return messageResult(0);
        }
        if ((wParam == VkPrior || wParam == VkNext) && isReadOnly()) {
            onPageKey(message, static_cast<uint32_t>(wParam), lParam, shift);
            return messageResult(0);
        }
        if ((wParam == VkLeft || wParam == VkRight) && ctrl) {
            moveCaretByWord(wParam == VkRight, shift);
            return messageResult(0);
        }
    }
    if (message == Paste) {
        paste();
        return messageResult(0);
    }
    if (message == Char) {
        switch (wParam) {
        case 0:
        case 9:
        case 10:
        case 13:
            return 0;
        case 1:
            selectAll();
            return messageResult(0);
        case 127:
            if (ctrl)
                return 0;
            break;
        default:
            break;
        }
    }
    return Wnd::wndProc(message, wParam, lParam);
}

} // namespace Gui
