#include "windows/TrayMenu.h"

#include "app/App.h"
#include "gui/QtText.h"

#include <algorithm>

namespace {

constexpr const char* commandProperty = "qv_command";

} // namespace

TrayMenu::TrayMenu(PackageSource packages, CommandHandler onCommand)
    : packages_(std::move(packages)), onCommand_(std::move(onCommand)),
      menu_(std::make_unique<QMenu>()) {
    QMenu& m = *menu_;
    wstr about;
    addCommand(
        m, About,
        wstr::format(about, L"&About {} {}{}", App::appTitle(), App::appVersion(), L"").c_str());
    m.addSeparator();
    m.setDefaultAction(addCommand(m, OpenLaunchBox, L"&Open L(a)unchBox"));
    addCommand(m, OpenConsole, L"Open Con&sole");
    addCommand(m, OpenDiagnostic, L"Open Di&agnostic Window");
    m.addSeparator();
    addCommand(m, ConfigureApp, L"&Configure Quorvalent");
    configureMenu_ = m.addMenu(Gui::toQString(L"Configure &Package"));
    configureMenu_->menuAction()->setProperty(commandProperty, uint32_t(ConfigurePackage));
    addCommand(m, BrowseProfile, L"&Browse Profile Dir");
    m.addSeparator();
    refreshMenu_ = m.addMenu(Gui::toQString(L"Refresh Catalo&g..."));
    refreshMenu_->menuAction()->setProperty(commandProperty, uint32_t(RefreshCatalog));
    addCommand(*refreshMenu_, RefreshAll, L"All Packages");
    addCommand(m, ReloadConfig, L"Reload Co&nfiguration");
    m.addSeparator();
    addCommand(m, ClearHistory, L"Clear &History");
    addCommand(m, RemoveOrphans, L"Remove Orp&hans from History");
    m.addSeparator();
    addCommand(m, Documentation, L"Online &Documentation");
    addCommand(m, ChangeLog, L"Show Change &Log");
    m.addSeparator();
    addCommand(m, Exit, L"E&xit");
}

TrayMenu::~TrayMenu() = default;

QAction* TrayMenu::addCommand(QMenu& menu, uint32_t command, const wchar_t* text) {
    QAction* action = menu.addAction(Gui::toQString(text));
    action->setProperty(commandProperty, command);
    QObject::connect(action, &QAction::triggered, menu_.get(),
                     [this, command] { onCommand_(command); });
    return action;
}

QMenu* TrayMenu::menu() {
    if (dirty_) {
        if (auto packages = packages_()) {
            rebuild(sorted(std::move(*packages)));
            dirty_ = false;
        }
    }
    return menu_.get();
}

std::vector<TrayMenu::Package> TrayMenu::sorted(std::vector<Package> packages) {
    std::stable_sort(packages.begin(), packages.end(), [](const Package& a, const Package& b) {
        return wstr::lowerCopy(a.name) < wstr::lowerCopy(b.name);
    });
    return packages;
}

void TrayMenu::rebuild(const std::vector<Package>& packages) {
    packageIds_.clear();
    configureMenu_->clear();
    // "All Packages" stays.
    const auto refreshActions = refreshMenu_->actions();
    for (size_t i = 1; i < size_t(refreshActions.size()); ++i) {
        refreshMenu_->removeAction(refreshActions[i]);
        delete refreshActions[i];
    }
    uint32_t configureId = FirstConfigurePackage;
    for (const Package& package : packages) {
        if (configureId > LastConfigurePackage)
            break;
        addCommand(*configureMenu_, configureId, package.name.c_str());
        packageIds_[configureId++] = package.id;
    }
    if (!packages.empty())
        refreshMenu_->addSeparator();
    uint32_t refreshId = FirstRefreshPackage;
    for (const Package& package : packages) {
        if (refreshId > LastRefreshPackage)
            break;
        addCommand(*refreshMenu_, refreshId, package.name.c_str());
        packageIds_[refreshId++] = package.id;
    }
}

std::optional<uint32_t> TrayMenu::packageOf(uint32_t command) const {
    auto found = packageIds_.find(command);
    if (found == packageIds_.end())
        return std::nullopt;
    return found->second;
}

QAction* TrayMenu::action(uint32_t command) const {
    QList<QMenu*> menus{menu_.get(), configureMenu_, refreshMenu_};
    for (QMenu* menu : menus) {
        for (QAction* action : menu->actions()) {
            const QVariant id = action->property(commandProperty);
            if (id.isValid() && id.toUInt() == command)
                return action;
        }
    }
    return nullptr;
}
