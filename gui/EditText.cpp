#include "gui/EditText.h"

#include "catalog/CharClass.h"

#include <algorithm>

namespace Gui {

EditText::EditText(wstr text, std::size_t anchor, std::size_t caret) : text_(std::move(text)) {
    select(anchor, caret);
}

void EditText::select(std::size_t anchor, std::size_t caret) {
    anchor_ = std::min(anchor, text_.size());
    caret_ = std::min(caret, text_.size());
}

void EditText::setWordDelimiters(const wstr& delimiters) {
    delimiters_.clear();
    for (wchar_t ch : delimiters)
        if (!CharClass::isSpace(ch) && !CharClass::isControl(ch))
            delimiters_.push_back(ch);
}

bool EditText::isWordDelimiter(wchar_t ch) const {
    return CharClass::isSpace(ch) || CharClass::isControl(ch) || delimiters_.find(ch) != wstr::npos;
}

std::size_t EditText::findWordBoundary(bool forward, std::size_t from) const {
    const std::size_t length = text_.size();
    std::size_t pos = from == atCaret ? caret_ : std::min(from, length);
    if (forward) {
        while (pos < length && !isWordDelimiter(text_[pos]))
            ++pos;
        while (pos < length && isWordDelimiter(text_[pos]))
            ++pos;
        return pos;
    }
    if (pos == 0)
        return 0;
    --pos;
    while (pos > 0 && isWordDelimiter(text_[pos]))
        --pos;
    while (pos > 0 && !isWordDelimiter(text_[pos - 1]))
        --pos;
    return pos;
}

void EditText::moveCaretByWord(bool forward, bool extend) {
    const std::size_t boundary = findWordBoundary(forward, atCaret);
    select(extend ? anchor_ : boundary, boundary);
}

std::optional<EditText::Change> EditText::deleteWordBackward() {
    if (!hasSelection() && caret_ > 0) {
        const std::size_t start = findWordBoundary(false, atCaret);
        if (start == caret_)
            return std::nullopt;
        return replace(start, caret_, {});
    }
    if (!hasSelection())
        return std::nullopt;
    return replace(selectionStart(), selectionEnd(), {});
}

std::optional<EditText::Change> EditText::insertText(const wstr& text, std::size_t position) {
    if (position == atCaret)
        return replace(selectionStart(), selectionEnd(), text);
    position = std::min(position, text_.size());
    const std::size_t start = selectionStart();
    const std::size_t end = selectionEnd();
    if (!hasSelection())
        return replace(position, position, text);
    if (position > start && position < end)
        return replace(start, end, text);
    const std::size_t anchor = anchor_;
    const std::size_t caret = caret_;
    Change change = replace(position, position, text);
    const std::size_t shift = start >= position ? text.size() : 0;
    select(anchor + shift, caret + shift);
    return change;
}

void EditText::pageToEnd(bool down, bool extend) {
    const std::size_t target = down ? text_.size() : 0;
    if (!extend) {
        select(target, target);
        return;
    }
    // The far end of the old selection stays.
    const std::size_t anchor = caret_ > selectionStart() ? selectionStart() : selectionEnd();
    select(anchor, target);
}

// Replaces [start, end) and puts the caret after the new text.
EditText::Change EditText::replace(std::size_t start, std::size_t end, const wstr& text) {
    Change change{start, end, text};
    text_.replace(start, end - start, text);
    caret_ = anchor_ = start + text.size();
    return change;
}

} // namespace Gui
