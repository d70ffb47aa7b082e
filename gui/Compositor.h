#pragma once

namespace Gui {

// Whether a compositing manager blends windows with what lies behind them:
// on X11 the owner of the _NET_WM_CM_S<screen> selection, on Wayland always;
// platforms that show nothing (offscreen, minimal) have none.
// User-interface thread only.
bool compositorRunning();

} // namespace Gui
