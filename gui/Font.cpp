#include "gui/Font.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QString>

#include <stdexcept>

#include "gui/MulDiv.h"

namespace Gui {
namespace {

QString toQString(const wstr& text) {
    return QString::fromStdWString(text);
}

QString systemFace() {
    QString face = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    return face.isEmpty() ? QStringLiteral("Tahoma") : face;
}

// Sets the style flags on the font, as create and clone apply them.
void applyStyle(QFont& font, uint32_t style) {
    font.setWeight(style & Font::Bold ? QFont::Bold : QFont::Normal);
    font.setItalic(style & Font::Italic);
    font.setUnderline(style & Font::Underline);
    font.setStrikeOut(style & Font::Strikeout);
    font.setStyleStrategy(style & Font::ClearType ? QFont::PreferAntialias : QFont::PreferDefault);
}

uint32_t styleOf(const QFont& font) {
    uint32_t style = 0;
    if (font.weight() >= QFont::Bold)
        style |= Font::Bold;
    if (font.italic())
        style |= Font::Italic;
    if (font.underline())
        style |= Font::Underline;
    if (font.strikeOut())
        style |= Font::Strikeout;
    if (font.styleStrategy() & QFont::PreferAntialias)
        style |= Font::ClearType;
    return style;
}

} // namespace

bool Font::create(uint32_t dpi, const wstr& face, int32_t points, uint32_t style) {
    clear();
    if (style == noStyle)
        style = 0;
    const bool exact = !face.empty() && (style & ExactFace);
    QFont font(face.empty() && !(style & ExactFace) ? systemFace() : toQString(face));
    font.setPixelSize(std::max(1, mulDiv(points, static_cast<int32_t>(dpi), 72)));
    applyStyle(font, style);
    // The face the font database actually matched: a missing face is
    // silently replaced by a similar one.
    if (exact && QFontInfo(font).family() != font.family())
        return false;
    hold(font, style & ~uint32_t(ExactFace));
    return true;
}

void Font::adopt(uint32_t dpi, const QFont& font) {
    QFont sized(font);
    if (sized.pixelSize() <= 0)
        sized.setPixelSize(
            std::max(1, mulDiv(qRound(sized.pointSizeF()), static_cast<int32_t>(dpi), 72)));
    hold(sized, styleOf(sized));
}

std::shared_ptr<Font> Font::clone(uint32_t changes) const {
    if (!font_)
        throw std::runtime_error("Failed to get font info");
    auto copy = std::make_shared<Font>();
    copy->font_ = *font_;
    copy->height_ = height_;
    copy->style_ = style_;
    if (changes != noStyle) {
        copy->style_ = (style_ | changes) & ~uint32_t(ExactFace);
        applyStyle(*copy->font_, copy->style_);
    }
    return copy;
}

int32_t Font::textWidth(const wstr& text, int32_t fallback) const {
    if (!font_)
        return fallback;
    return QFontMetrics(*font_).horizontalAdvance(toQString(text));
}

void Font::hold(const QFont& font, uint32_t style) {
    font_ = font;
    style_ = style;
    height_ = QFontMetrics(font).lineSpacing();
}

void Font::clear() {
    font_.reset();
    height_ = 0;
    style_ = 0;
}

int fontCoversChar(const Font& font, char32_t ch) {
    const QFont* handle = font.handle();
    if (!handle)
        return -1;
    return QFontMetrics(*handle).inFontUcs4(ch) ? 1 : 0;
}

} // namespace Gui
