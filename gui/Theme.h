#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "core/Wstr.h"

class QWidget;

namespace Gui {

// What the themed windows draw with: colours, font descriptions, opacity,
// layout flags, satellite options and spacings. Filled with built-in
// defaults, then with the keys of the active theme (the merged values of
// the theme sections of the configuration). The theme keeps font
// descriptions, not fonts: each window makes its fonts at its own DPI.
// The application owns one instance, shared with every themed window.
// User-interface thread only.
class Theme {
public:
    // Colours are 0xAARRGGBB, addressed by these ids.
    enum ColourId : uint32_t {
        ColourNone = 0,
        ColourKey = 1, // the colour made transparent by colour-key transparency
        Background = 2,
        Foreground,
        Faded,
        Accent,
        Warn,
        Title,
        Status,
        TextboxBack,
        ListItemBack,
        ListItemTitle,
        ListItemDesc,
        ListItemTips,
        ListItemSelectedBack,
        ListItemSelectedTitle,
        ListItemSelectedDesc,
        ListItemSelectedTips,
        ColourCount
    };
    enum FontIndex : uint32_t { Small = 0, SNormal, Normal, Large, Mono, FontCount };
    enum LayoutFlag : uint32_t {
        LayoutMinimal = 0,
        ListScrollbar = 1,
        ListSelMark = 2,
        ListIcon = 4,
        ListDialNum = 8,
        ListHits = 16,
        ListActions = 32,
        StatusBar = 64,
        LayoutAll = 255,
    };
    enum SatelliteShow : uint32_t { ShowAlways = 0, ShowNever = 1, ShowOnSelect = 2 };
    enum SatellitePos : uint32_t { TopLeft = 0, TopCenter = 1 };

    struct FontEntry {
        wstr face; // empty for the proportional fonts until resolved
        int32_t points = 0;
        uint32_t style = 0;
        // What the result list draws between texts and as a pointer; chosen
        // among characters the resolved font has (0: none of them).
        char16_t separatorChar = u'|';
        char16_t arrowChar = u'>';
    };
    struct Spacing {
        int32_t x = 0;
        int32_t y = 0;
        bool operator==(const Spacing&) const = default;
    };

    Theme() { resetDefaults(); }

    void resetDefaults();
    // Applies the theme's key/value map (lower-case keys). Bad values are
    // logged as warnings "Invalid value for setting {key}{of}: {value}" and
    // leave the previous value in place; a number outside its range is
    // warned about ("Out-of-range value for setting ...") and brought
    // within it. {of} is " of " and the key's entry in `origins` (where the
    // value came from: 'theme "Dark" in /path/file.ini'), when it has one.
    void load(const std::map<wstr, wstr>& values, const std::map<wstr, wstr>& origins = {});
    // Resolves each font's face against the installed fonts at the DPI of
    // the window (null: of the primary monitor): the first face the system
    // has, else the system font (the fixed one for the mono font).
    void createFonts(const QWidget* window);
    // resetDefaults, load and createFonts: at start-up and on every
    // configuration reload.
    void initialize(const QWidget* window, const std::map<wstr, wstr>& values,
                    const std::map<wstr, wstr>& origins = {});

    // A colour as the theme keys write it: "#rgb", "#rrggbb", "rgb(r,g,b)",
    // "rgba(r,g,b,a)" (numbers, percents or fractions) or one of the 147 CSS
    // colour names. False for anything else. Any thread.
    static bool parseColour(const wstr& text, uint32_t& colour);

    std::vector<wstr> fontFaces;
    std::array<uint32_t, ColourCount> colours{};
    uint8_t opacity = 0;
    uint32_t layout = 0;
    bool compactResults = false;
    uint32_t satelliteShow = 0;
    uint32_t satellitePos = 0;
    uint32_t satelliteSize = 0;
    Spacing controlMargin;
    Spacing textboxPadding;
    Spacing listItemPadding;
    std::array<FontEntry, FontCount> fonts;
    uint32_t listItemTitleFont = SNormal;

private:
    // Tries the candidates as exact faces, then the fallback as the system
    // substitutes it (empty: the system font).
    void resolveFont(FontEntry& entry, const std::vector<wstr>& candidates, const wstr& fallback,
                     uint32_t dpi);
};

} // namespace Gui
