#pragma once

#include "core/Wstr.h"
#include "gui/CtrlUrl.h"
#include "gui/WndThemed.h"

#include <QIcon>
#include <QRect>

#include <array>
#include <memory>

// The About box: a small themed modal dialog with the program's large icon,
// its name, version and architecture, and two links. It closes at the first
// click, on Esc, or as soon as it loses activation; Enter opens the first
// link. At most one exists at a time. User-interface thread.
class WndAbout : public Gui::WndThemed, public Gui::Wnd::ParentListener {
public:
    // What the box needs of the application. Tests give a fake.
    class Host {
    public:
        virtual ~Host() = default;
        // Opens the address in the configured web browser.
        virtual void openUrl(const wstr& url) = 0;
        // The owner when none is given; null when there is no main window.
        virtual Gui::Wnd* mainWindow() = 0;
    };

    struct Link {
        int id;
        const wchar_t* text;
        const wchar_t* url;
    };
    static const std::array<Link, 2>& links();

    // Runs the About box modally, owned by owner (null: the main window, or
    // none), and returns when it is closed; while one is open it is only
    // brought to the front.
    static void showModal(Host& host, std::shared_ptr<Gui::Theme> theme, Gui::Wnd* owner);
    // The open About box, null when none is.
    static WndAbout* current();

    WndAbout(Host& host, std::shared_ptr<Gui::Theme> theme, Gui::Instance instance = nullptr);
    ~WndAbout() override;

    // Creates the dialog over the owner's widget and runs it; its result.
    int runDialog(QWidget* owner);

    intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void paint(QPainter& painter, const QRect& rect) override;
    void onFontsChanged() override;
    bool onActivate(bool active) override;
    int minWidth() override { return scaleX(200); }
    int minHeight() override { return scaleY(100); }
    intptr_t onChildMessage(Gui::Wnd& child, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) override;

    const wstr& bodyText() const { return body_; }
    // Where the program's large icon is drawn.
    const QRect& iconRect() const { return iconRect_; }
    Gui::CtrlUrl* link(std::size_t index) { return links_[index].get(); }

private:
    void initDialog();
    void openLink(int id);

    Host& host_;
    std::array<std::unique_ptr<Gui::CtrlUrl>, 2> links_;
    QIcon icon_;
    wstr title_;
    wstr body_;
    QRect iconRect_;
    QRect titleRect_;
    QRect bodyRect_;
};
