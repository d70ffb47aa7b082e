#pragma once

#include <cstddef>
#include <optional>

#include "core/Wstr.h"

namespace Gui {

// The text of an edit control with a directed selection (anchor, caret) and
// the command-line editing rules of the edit controls: word boundaries with
// extra delimiters, deleting the previous word, inserting while keeping the
// user's selection, and the end of paging. Positions count code points.
// CtrlEdit loads it from its widget, runs one operation and writes the
// change back. Not thread-safe; any one thread.
class EditText {
public:
    static constexpr std::size_t atCaret = 0xFFFFFFFF;

    // One replaced range, in positions before the change.
    struct Change {
        std::size_t start = 0;
        std::size_t end = 0;
        wstr text;

        bool operator==(const Change&) const = default;
    };

    EditText() = default;
    EditText(wstr text, std::size_t anchor, std::size_t caret);

    const wstr& text() const { return text_; }
    std::size_t anchor() const { return anchor_; }
    std::size_t caret() const { return caret_; }
    std::size_t selectionStart() const { return std::min(anchor_, caret_); }
    std::size_t selectionEnd() const { return std::max(anchor_, caret_); }
    bool hasSelection() const { return anchor_ != caret_; }

    // Positions beyond the text are taken as its end.
    void select(std::size_t anchor, std::size_t caret);

    // Keeps the characters that are neither spaces nor control characters.
    void setWordDelimiters(const wstr& delimiters);
    const wstr& wordDelimiters() const { return delimiters_; }
    bool isWordDelimiter(wchar_t ch) const;

    // Forward: the start of the next word (or the end). Backward: the start
    // of the word before the position. atCaret starts at the caret.
    std::size_t findWordBoundary(bool forward, std::size_t from) const;
    // Moves the caret to the next or previous word boundary; with extend the
    // anchor stays, else the selection collapses onto the caret.
    void moveCaretByWord(bool forward, bool extend);
    // Deletes from the start of the previous word to the caret, or the
    // selection when there is one.
    std::optional<Change> deleteWordBackward();
    // Inserts at the position (atCaret: replaces the selection). A selection
    // after the position moves with its text, one before it stays, one
    // around it is replaced.
    std::optional<Change> insertText(const wstr& text, std::size_t position);
    // The selection after a page key that could not move the caret: the end
    // (Page Down) or the start (Page Up) of the text, extended from the far
    // end of the selection when extend.
    void pageToEnd(bool down, bool extend);

private:
    Change replace(std::size_t start, std::size_t end, const wstr& text);

    wstr text_;
    std::size_t anchor_ = 0;
    std::size_t caret_ = 0;
    wstr delimiters_;
};

} // namespace Gui
