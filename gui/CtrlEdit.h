#pragma once

#include <cstddef>
#include <cstdint>

#include "gui/EditText.h"
#include "gui/Wnd.h"

class QLineEdit;
class QPlainTextEdit;
class QString;

namespace Gui {

// An edit control with the keys of a command line: Ctrl+Backspace deletes
// the previous word, Ctrl+Left/Right move by words (with extra delimiters),
// Ctrl+A selects all, typed Tab, Enter and NUL never reach the text, and Page
// Up/Down in a read-only view end at the top or bottom. A single-line control
// is a QLineEdit, a multi-line one (EditMultiline) a QPlainTextEdit. The
// editing rules live in EditText. User-interface thread only.
class CtrlEdit : public Wnd {
public:
    enum Style : uint32_t { EditMultiline = 0x4, EditReadOnly = 0x800 };

    struct DirectedSelection {
        std::size_t anchor = 0;
        std::size_t caret = 0;
        bool operator==(const DirectedSelection&) const = default;
    };
    struct SelectionRange {
        std::size_t start = 0;
        std::size_t end = 0;
        bool operator==(const SelectionRange&) const = default;
    };
    struct Margins {
        int left = 0;
        int right = 0;
    };

    // A 1 by 1 control on the parent's widget; the owner places it.
    CtrlEdit(Wnd& parent, ParentListener* listener, uint32_t style);

    wstr getText() const override;
    int getTextLength() const override { return getTextLengthExact(); }
    int getTextLengthExact() const override;
    // Replaces the text and puts the caret at its end.
    void setText(const wstr& text) override;
    intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    virtual bool isReadOnly() const;
    virtual void setWordDelimiters(const wstr& delimiters);
    virtual bool isWordDelimiter(wchar_t ch) const;
    virtual void setReadOnly(bool on);
    virtual void setCueBanner(const wstr& text);
    virtual std::size_t getCaretPos(std::size_t* anchor) const;
    virtual std::size_t findWordBoundary(bool forward, std::size_t from) const;
    virtual void moveCaretByWord(bool forward, bool extend);
    virtual void clear() { setText({}); }
    virtual void insertText(const wstr& text, std::size_t position);
    virtual void replaceSelection(const wstr& text) { insertText(text, EditText::atCaret); }
    // Appends at the end without disturbing the user's selection.
    virtual void appendText(const wstr& text, const wstr* second);
    // Drops whole lines from the start of a multi-line text until at most
    // maxLength characters (UTF-16 units) are left; the last line stays
    // whatever its length.
    void dropLeadingLines(std::size_t maxLength);
    virtual void deleteWordBackward();
    virtual DirectedSelection getDirectedSelection() const;
    virtual SelectionRange getSelection() const;
    virtual void setDirectedSelectionRange(DirectedSelection selection) {
        setDirectedSelection(selection.anchor, selection.caret);
    }
    virtual void setDirectedSelection(std::size_t anchor, std::size_t caret);
    virtual void setSelectionRange(SelectionRange range) { setSelection(range.start, range.end); }
    virtual void setSelection(std::size_t start, std::size_t end);
    virtual void moveCaretToStart() { setSelection(0, 0); }
    virtual void moveCaretToEnd();
    virtual void selectAll();
    virtual bool isCaretAtEnd() const;
    virtual void scrollToCaret();
    // Scrolls back to the start of the text, keeping the selection.
    virtual void resetScroll();
    virtual Margins getMargins() const;
    virtual int getMarginsWidth() const;
    virtual void onPageKey(uint32_t message, uint32_t virtualKey, intptr_t lParam, bool extend);

protected:
    QLineEdit* lineEdit() const;
    QPlainTextEdit* plainEdit() const;

private:
    void paste();
    static void appendToView(QPlainTextEdit& edit, const wstr& text);
    bool onLastPage(bool down) const;
    EditText load() const;
    void apply(const EditText& model, const std::optional<EditText::Change>& change);
    void replaceRange(const EditText::Change& change);
    QString widgetText() const;

    wstr wordDelimiters_;
};

} // namespace Gui
