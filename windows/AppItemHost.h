#pragma once

#include "windows/ItemProperties.h"

#include <functional>

namespace Gui {
class Wnd;
}

// The application as the history commands see it: App::instance()'s
// catalog, the package manager's names, and confirmation boxes owned by the
// window that asks, captioned with the product name. The catalog is nothing
// once the application is gone. User-interface thread.
class AppItemHost : public ItemProperties::Host {
public:
    // owner: the window whose commands these are (the LaunchBox, or the main
    // window for the orphans); showConsole shows the console (empty: none).
    AppItemHost(Gui::Wnd& owner, std::function<void()> showConsole);

    std::shared_ptr<Catalog> catalog() override;
    wstr pluginFullName(uint64_t pluginId) override;
    wstr packageName(uint32_t packageId) override;
    void showConsole() override;
    // A modal QMessageBox on the owner's window, so that the LaunchBox
    // knows the focus it loses goes to its own box.
    int messageBox(const wstr& text, uint32_t style) override;

private:
    Gui::Wnd& owner_;
    std::function<void()> showConsole_;
};
