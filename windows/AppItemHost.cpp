#include "windows/AppItemHost.h"

#include "app/App.h"
#include "core/MessageBox.h"
#include "gui/QtText.h"
#include "gui/Wnd.h"
#include "packages/PackageManager.h"

#include <QMessageBox>

AppItemHost::AppItemHost(Gui::Wnd& owner, std::function<void()> showConsole)
    : owner_(owner), showConsole_(std::move(showConsole)) {}

std::shared_ptr<Catalog> AppItemHost::catalog() {
    std::shared_ptr<App> app = App::instance();
    if (!app)
        return nullptr;
    Catalog& catalog = app->catalog();
    return std::shared_ptr<Catalog>(std::move(app), &catalog);
}

wstr AppItemHost::pluginFullName(uint64_t pluginId) {
    return PackageManager::pluginFullNameOf(pluginId);
}

wstr AppItemHost::packageName(uint32_t packageId) {
    return PackageManager::packageNameOf(packageId);
}

void AppItemHost::showConsole() {
    if (showConsole_)
        showConsole_();
}

// The history commands ask with OK and Cancel or tell with OK alone.
int AppItemHost::messageBox(const wstr& text, uint32_t style) {
    const bool withCancel = (style & MessageBox::MB_TYPEMASK) == MessageBox::MB_OKCANCEL;
    const QMessageBox::Icon icon = (style & MessageBox::MB_ICONMASK) == MessageBox::MB_ICONWARNING
                                       ? QMessageBox::Warning
                                       : QMessageBox::Information;
    QMessageBox box(icon, Gui::toQString(App::appName()), Gui::toQString(text),
                    withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    owner_.exists() ? owner_.hwnd() : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    if (withCancel)
        box.setEscapeButton(QMessageBox::Cancel);
    const int clicked = box.exec();
    if (clicked == QMessageBox::Ok)
        return MessageBox::IDOK;
    return withCancel ? MessageBox::IDCANCEL : MessageBox::IDOK;
}
