#include "packages/PluginAbout.h"

#include "core/Logger.h"
#include "packages/PackageHost.h"
#include "packages/PackageManager.h"

namespace {

void logNotRun(const CatalogItem& item, const wchar_t* reason) {
    wstr text;
    logMessage(Logger::Error, wstr::format(text, L"\"{}\" ({}) cannot run: {}", item.label(),
                                           item.target(), reason));
}

bool mainWindowExists() {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    return host && host->hasMainWindow();
}

} // namespace

PluginAbout::PluginAbout() : PluginInternal(L"About") {}

const std::vector<PluginAbout::Command>& PluginAbout::commands() {
    static const std::vector<Command> table = {
        {L"about", L"About", L"About Quorvalent...", 205},
        {L"app_config", L"Configure", L"Edit Quorvalent's configuration file(s)", 209},
        {L"browse_profiledir", L"Browse Profile Dir",
         L"Browse your configuration files and packages", 210},
        {L"changelog", L"ChangeLog", L"Show Quorvalent's change log", 207},
        {L"clear_history", L"Clear History", L"Wipe the history of executed items", 211},
        {L"console", L"Console", L"Show Quorvalent's console window", 216},
        {L"diagnostic", L"Diagnostic Window", L"Show Quorvalent's diagnostic window", 217},
        {L"exit", L"Exit", L"Exit Quorvalent", 204},
        {L"onlinedocs", L"Online Documentation",
         L"Go to Quorvalent's website to read its documentation", 206},
        {L"onlinedocs", L"Online Help", L"Go to Quorvalent's website to read its documentation",
         206},
        {L"quit", L"Quit", L"Exit Quorvalent (alias for Exit)", 204},
        {L"refresh_catalog", L"Refresh Catalog", L"Ask all plugins to refresh their catalog", 214},
        {L"reload_config", L"Reload Configuration",
         L"Reload configuration of the application and the loaded plugins, and clear icons cache",
         215},
        {L"remove_orphans", L"Remove Orphans", L"Remove orphan items from the history", 212},
        {L"website", L"Website", L"Go to Quorvalent's website", 206},
    };
    return table;
}

const PluginAbout::Command* PluginAbout::findCommand(const wstr& target) {
    for (const Command& command : commands()) {
        if (target == command.target)
            return &command;
    }
    return nullptr;
}

CatalogItemPtr PluginAbout::makeItem(uint32_t category, const wstr& label, const wstr& shortDesc,
                                     const wstr& target) const {
    return std::make_shared<CatalogItem>(id(), category, label, shortDesc, target,
                                         CatalogItem::forbidden, false, CatalogItem::noargs, 0,
                                         wstr());
}

void PluginAbout::onCatalog() {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    if (host && host->packageManager())
        updateCatalog(items(), true);
}

std::vector<CatalogItemPtr> PluginAbout::items() const {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    std::shared_ptr<PackageManager> manager = host ? host->packageManager() : nullptr;
    if (!manager)
        return {};
    const auto all = manager->listPackages(false);
    const auto configurable = manager->listPackages(true);
    std::vector<CatalogItemPtr> items;
    for (const Command& command : commands())
        items.push_back(makeItem(CatalogItem::keyword, wstr(L"Quorvalent: ") + command.label,
                                 command.shortDesc, command.target));
    for (const auto& entry : all) {
        wstr desc;
        items.push_back(
            makeItem(CatalogItem::reference, L"Quorvalent: Refresh Catalog: " + entry.name,
                     wstr::format(desc, L"Refresh the Catalog of Package \"{}\"", entry.name),
                     PackageKeys::packRefreshPrefix() + entry.name));
    }
    for (const auto& entry : configurable) {
        wstr desc;
        items.push_back(makeItem(CatalogItem::reference,
                                 L"Quorvalent: Configure Package: " + entry.name,
                                 wstr::format(desc, L"Configure Package \"{}\"", entry.name),
                                 PackageKeys::packConfigPrefix() + entry.name));
    }
    return items;
}

void PluginAbout::onExecute(const std::vector<CatalogItemPtr>& items, const CatalogActionPtr&) {
    if (items.empty() || !items.front())
        return;
    const CatalogItem& item = *items.front();
    if (item.category() == CatalogItem::keyword)
        executeCommand(item);
    else if (item.category() == CatalogItem::reference)
        executePackageItem(item.target());
}

bool PluginAbout::canExecute(const CatalogItem& item) const {
    if (item.category() != CatalogItem::keyword)
        return true;
    if (!findCommand(item.target())) {
        logNotRun(item, L"there is no such command");
        return false;
    }
    if (!mainWindowExists()) {
        logNotRun(item, L"there is no main window");
        return false;
    }
    // A command that cannot open what it opens is no hit of the history.
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    const wstr problem =
        host ? host->commandProblem(findCommand(item.target())->commandId) : wstr();
    if (!problem.empty()) {
        logNotRun(item, problem.c_str());
        return false;
    }
    return true;
}

// The main window may have gone since canExecute said yes (shutdown).
void PluginAbout::executeCommand(const CatalogItem& item) {
    const Command* command = findCommand(item.target());
    if (!command) {
        logNotRun(item, L"there is no such command");
        return;
    }
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    if (!host || !host->postMainWindowCommand(command->commandId))
        logNotRun(item, L"there is no main window");
}

void PluginAbout::executePackageItem(const wstr& target) {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    if (!host)
        return;
    const wstr& config = PackageKeys::packConfigPrefix();
    const wstr& refresh = PackageKeys::packRefreshPrefix();
    if (wstr::startsWith(target, config, false)) {
        host->editPackageConfig(target.substr(config.size()));
        return;
    }
    if (!wstr::startsWith(target, refresh, false))
        return;
    std::shared_ptr<PackageManager> manager = host->packageManager();
    const PackagePtr package =
        manager ? manager->findPackage(Package::idOf(target.substr(refresh.size())), 0) : nullptr;
    if (package)
        package->postMessage(PluginMsg::kindCatalog, PluginMsg::Data::none());
}
