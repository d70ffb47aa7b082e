#pragma once

#include "catalog/Catalog.h"
#include "core/Wstr.h"
#include "files/DataFs.h"
#include "gui/CtrlEdit.h"
#include "gui/WndThemed.h"
#include "packages/PackageManager.h"
#include "windows/DiagReport.h"

#include <memory>
#include <optional>
#include <vector>

// The diagnostic window: one read-only monospaced box with the diagnostic
// report. F5 rebuilds the detailed report; F6 builds the short one, without
// personal details, and puts it on the clipboard. Created hidden; the report
// exists only while the window is shown. User-interface thread.
class WndDiag : public Gui::WndThemed, public Gui::Wnd::ParentListener {
public:
    // What the window needs of the application. Tests give a fake.
    class Host {
    public:
        virtual ~Host() = default;
        // The package manager's snapshot; nothing without an application or
        // package manager, which leaves the report unbuilt.
        virtual std::optional<PackageManager::FullStats> packageStats() = 0;
        virtual Catalog::Stats catalogStats() = 0;
        virtual bool portable() const = 0;
        virtual DataFs::Folders folders() const = 0;
        // One line per display monitor.
        virtual std::vector<wstr> monitorLines() const = 0;
        // The About box, owned by the window.
        virtual void showAbout(Gui::Wnd& owner) = 0;
        virtual bool setClipboardText(const wstr& text) = 0;
    };

    // Throws std::runtime_error "Failed to create diagnostic window (error
    // {})" when the window cannot be made.
    WndDiag(Host& host, std::shared_ptr<Gui::Theme> theme, Gui::Instance instance = nullptr);
    ~WndDiag() override;

    // Hiding empties the box; showing rebuilds the report unless the window
    // was shown and recently active already.
    void show(bool visible) override;
    // The theme's colours and fonts again (after a configuration reload).
    void applyTheme();
    // Builds the report of the kind last chosen and puts it into the box.
    void buildReport();
    // The facts of the report, system values included; nothing when the
    // host has no package snapshot.
    std::optional<DiagReport::Facts> gatherFacts(bool detailed);

    intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void onFontsChanged() override;
    bool onActivate(bool active) override;
    intptr_t onChildMessage(Gui::Wnd& child, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) override;

    Gui::CtrlEdit& reportBox() { return *box_; }
    bool detailed() const { return detailed_; }

private:
    bool onKey(uint32_t message, uintptr_t wParam);
    void placeDefault();

    Host& host_;
    std::unique_ptr<Gui::CtrlEdit> box_;
    bool detailed_ = true;
};
