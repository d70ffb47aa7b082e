#pragma once

#include "gui/ImageUtil.h"
#include "gui/WndThemed.h"

#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <memory>
#include <optional>

class MainMenus;

// The small frameless window beside the LaunchBox that shows the selected
// item's icon larger than the list can. It follows the LaunchBox when that
// moves, drags the LaunchBox along when it is dragged itself, and hands
// activation, keys and double clicks back to the LaunchBox, so that it
// behaves as part of it. With a compositor only the icon's own pixels show;
// without one the window paints the theme background with the icon inside
// the control margin.
//
// The LaunchBox drives it: setPlacement and setMaxImageSize from its theme
// settings, showImage when the selection or its icon changes, show with the
// LaunchBox. User-interface thread only.
class WndSatellite : public Gui::WndThemed {
public:
    // Where the satellite goes relative to the parent's frame.
    enum Placement : uint32_t {
        PlaceTopLeft = 1,         // its top left at the parent's top left plus the offset
        PlaceBottomRightAt = 2,   // its bottom right at the parent's top left plus the offset
        PlaceFromClientArea = 16, // the offset counts from the parent's client area
        PlaceCentreAbove = 32,    // centred above the parent, the offset's y from its top
    };
    static constexpr int systemIconSize = 32;
    static constexpr int defaultMaxImageSize = 256;

    // Creates the hidden window, owned by the parent's window; the menus pop
    // the tray menu up on a right click (null: no menu). Throws
    // std::runtime_error "Failed to create the satellite window (error
    // 1400)" when the parent has no window.
    WndSatellite(Gui::Instance instance, std::shared_ptr<Gui::Theme> theme, Gui::Wnd& parent,
                 MainMenus* menus);
    ~WndSatellite() override;

    void setPlacement(uint32_t flags, QPoint offset);
    uint32_t placement() const { return placement_; }
    // The largest image shown, in pixels at 96 DPI; larger ones are scaled
    // down into it.
    void setMaxImageSize(QSize size) { maxImageSize_ = size; }
    // Shows the image (null: none; the window is unmapped) and sizes the
    // window to it. The same image again changes nothing.
    void showImage(Gui::Bitmap image);
    // Places the window beside the parent, whose frame is the one given (a
    // position it is about to take) or else its current one. False when the
    // window has no size yet.
    bool followParent(std::optional<QRect> parentFrame = std::nullopt);
    // The image as drawn (scaled into the limit, alpha repaired); null when
    // none.
    const Gui::Bitmap& shownImage() const { return shown_; }

    // Showing never activates the satellite, and maps its window only while
    // it has an image to show; hiding drops the image.
    void show(bool visible) override;
    bool applyTransparency(uint32_t flags, uint8_t alpha) override;
    int minWidth() override;
    int minHeight() override;
    void paint(QPainter& painter, const QRect& rect) override;
    bool onActivate(bool active) override;
    intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    // The top left of a satellite of that size beside the parent's frame;
    // clientOffset is where the parent's client area starts in its frame.
    static QPoint placeBeside(uint32_t flags, QPoint offset, const QRect& parentFrame,
                              QPoint clientOffset, QSize size);
    // The image scaled down, keeping its proportions, when it is larger than
    // the limit in either direction; null when that fails.
    static Gui::Bitmap fitImage(const Gui::Bitmap& image, QSize limit);
    // Repairs pixels a bitmap without real alpha carries: a non-zero pixel
    // with alpha 0 becomes opaque, and one whose colour exceeds its alpha
    // (straight alpha) is premultiplied.
    static QImage repairAlpha(const QImage& image);

private:
    class ParentWatch;

    bool perPixel() const { return appliedTransparencyFlags() & PerPixelAlpha; }
    // The window size that shows an image of that size.
    QSize windowSizeFor(QSize imageSize);
    void resizeToImage();
    void mapWhenWanted();
    void beginDrag();
    void dragTo(QPoint cursor);
    void activateParent();
    // The client point of this window in the parent's client coordinates.
    intptr_t toParentPoint(intptr_t lParam) const;

    Gui::Wnd& parent_;
    MainMenus* menus_;
    uint32_t placement_ = PlaceTopLeft;
    QPoint offset_;
    QSize maxImageSize_{defaultMaxImageSize, defaultMaxImageSize};
    Gui::Bitmap source_;
    Gui::Bitmap shown_;
    // The LaunchBox shows the satellite (which is mapped once it has an image).
    bool wanted_ = false;
    bool dragging_ = false;
    QPoint dragCursor_;
    QPoint dragParentStart_;
    std::unique_ptr<ParentWatch> watch_;
};
