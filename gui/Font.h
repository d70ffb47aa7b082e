#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QFont>

#include "core/Wstr.h"

namespace Gui {

// One font of the windows with the two facts the drawing code needs about
// it: its line height in pixels and its style flags. The font is sized in
// pixels from points and the DPI it is made for, so the program's own DPI
// scaling is the only one. Shared by shared pointer between a window and
// its controls. User-interface thread only.
class Font {
public:
    enum Style : uint32_t {
        Bold = 1,
        Italic = 2,
        Underline = 4,
        Strikeout = 8,
        ClearType = 16,
        // Only while creating: fail when the system would substitute the face.
        ExactFace = 32,
    };
    // As a style: none to create, no change to clone.
    static constexpr uint32_t noStyle = 32767;

    Font() = default;
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // Makes the font: the face (empty: the system font's face, without
    // ExactFace) at points × dpi / 72 pixels. With ExactFace and a face the
    // system does not have, nothing is held afterwards and the result is
    // false; otherwise true. Any font held before is dropped.
    bool create(uint32_t dpi, const wstr& face, int32_t points, uint32_t style);
    // Takes an existing font (a control's own), sized for the DPI when it
    // is given in points; the style is read from it.
    void adopt(uint32_t dpi, const QFont& font);
    // A copy with the changes OR-ed into the style (noStyle: unchanged), of
    // the same line height. Throws std::runtime_error when nothing is held.
    std::shared_ptr<Font> clone(uint32_t changes) const;
    // The width of the text in pixels; the fallback when nothing is held.
    int32_t textWidth(const wstr& text, int32_t fallback) const;

    // The font; null when nothing is held.
    const QFont* handle() const { return font_ ? &*font_ : nullptr; }
    int32_t height() const { return height_; }
    uint32_t style() const { return style_; }

private:
    void hold(const QFont& font, uint32_t style);
    void clear();

    std::optional<QFont> font_;
    int32_t height_ = 0;
    uint32_t style_ = 0;
};

// 1 when the font has a glyph for the character, 0 when not, -1 when no
// font is held. User-interface thread only.
int fontCoversChar(const Font& font, char32_t ch);

} // namespace Gui
