#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "core/SysDisplay.h"
#include "gui/Wnd.h"

namespace Gui {

class Font;
class Theme;

// The base of the visible top-level windows: the shared theme, the DPI of
// the window's monitor with the scaling of sizes designed at 96 DPI, the
// five theme fonts made on first use, the show/hide/toggle rule of the hot
// keys, transparency, a minimum size, staying inside the work area, and the
// background in the theme's colour. Closing hides the window.
// User-interface thread only.
class WndThemed : public Wnd {
public:
    enum Transparency : uint32_t {
        ConstantAlpha = 1, // the whole window at one opacity
        ColourKey = 2,     // the theme's key colour is cut out of the window
        PerPixelAlpha = 4, // the window paints itself with alpha
    };
    // Theme font indexes 0 to 4 as Theme::FontIndex; this one asks for the
    // result list's title font.
    static constexpr uint32_t ListTitleFont = 6;
    // A window deactivated at most this long ago still counts as active.
    static constexpr uint64_t recentlyActiveMs = 200;

    // Milliseconds of a monotonic clock.
    using Clock = std::function<uint64_t()>;

    WndThemed(Instance instance, std::shared_ptr<Theme> theme);
    ~WndThemed() override;

    void attach(QWidget* handle, bool isDialog) override;
    intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    // Fills the rectangle with the theme's background colour.
    void paint(QPainter& painter, const QRect& rect) override;

    virtual bool isRecentlyActive();
    virtual void show(bool visible);
    virtual void toggle() { show(!isRecentlyActive()); }
    virtual void fitToMonitor();
    virtual Sys::Dpi getDpi(bool force);
    virtual int scaleX(int value, bool force = false);
    virtual int scaleY(int value, bool force = false);
    virtual void setTransparency(uint32_t flags, uint8_t alpha);
    virtual uint32_t transparencyFlags() const { return transparencyFlags_; }
    virtual uint32_t appliedTransparencyFlags() const { return appliedTransparencyFlags_; }
    virtual uint8_t transparencyAlpha() const { return transparencyAlpha_; }
    virtual uint8_t appliedTransparencyAlpha() const { return appliedTransparencyAlpha_; }
    // True when the window's transparency changed to the flags; false when
    // nothing changed or when the request failed, in which case the window
    // is left opaque and the applied state says so.
    virtual bool applyTransparency(uint32_t flags, uint8_t alpha);
    virtual int minWidth() { return scaleX(400); }
    virtual int minHeight() { return scaleY(200); }
    virtual int controlMarginX();
    virtual int controlMarginY();
    virtual int controlSpacingX() { return controlMarginX(); }
    virtual int controlSpacingY() { return controlMarginY(); }
    virtual int textboxPaddingX();
    virtual int textboxPaddingHeight();
    virtual int listItemPaddingX();
    virtual int listItemPaddingHeight();
    virtual std::shared_ptr<Font> createThemeFont(uint32_t index);
    virtual void onFontsChanged() {}
    virtual void onPrintClient(QPainter& painter, intptr_t flags);
    virtual void onDisplayChange(int width, int height, int bitsPerPixel);
    virtual bool onActivate(bool active);
    virtual void onDpiChanged(const QRect& suggested);

    // Makes the fonts in use again for the current DPI.
    void rebuildFonts();
    const std::shared_ptr<Theme>& theme() const { return theme_; }
    uint64_t lastDeactivation() const { return lastDeactivation_; }
    void setClock(Clock clock) { clock_ = std::move(clock); }

protected:
    // Whether windows can be blended with what lies behind them (a
    // compositing window manager runs).
    virtual bool canBlend() const;

private:
    static constexpr std::size_t fontSlots = 5;

    uint64_t now() const;
    bool applyToWidget(uint32_t flags, uint8_t alpha);
    void clearTransparency();
    void applyMinimumSize();

    uint32_t dpiX_ = 96;
    uint32_t dpiY_ = 96;
    bool dpiKnown_ = false;
    uint64_t lastDeactivation_ = 0;
    std::array<std::shared_ptr<Font>, fontSlots> fonts_;
    uint32_t transparencyFlags_ = 0;
    uint32_t appliedTransparencyFlags_ = 0;
    uint8_t transparencyAlpha_ = 255;
    uint8_t appliedTransparencyAlpha_ = 255;
    std::shared_ptr<Theme> theme_;
    Clock clock_;
};

} // namespace Gui
