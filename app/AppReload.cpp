// Environment reload and the shell operations.

// Python's headers go before Qt's, whose "slots" macro they use as a name.
#include "python/GilLock.h"
#include "python/Python.h"

#include "app/App.h"
#include "app/EnvironmentSource.h"
#include "app/OpenFailure.h"
#include "core/Logger.h"
#include "core/SysShell.h"
#include "gui/ImageManager.h"
#include "packages/PackageManager.h"
#include "packages/PluginMsg.h"

#include "platform/Environment.h"

namespace {

using Environment = Platform::env::Variables;

// The variables of the block, in order; a later one of the same name wins.
Environment parseBlock(const std::vector<wstr>& block, std::map<wstr, wstr>* out) {
    Environment env;
    for (const auto& entry : block) {
        const size_t eq = entry.find(L'=');
        if (eq == wstr::npos || eq == 0)
            continue;
        const wstr name = entry.substr(0, eq);
        const wstr value = entry.substr(eq + 1);
        env[wstr::toUtf8(name)] = wstr::toUtf8(value);
        if (out)
            (*out)[name] = value;
    }
    return env;
}

// Calls a function of the utility module; false when that fails (the Python
// error is cleared).
bool callUtil(const char* function, const char* key, const wstr& value, bool execute) {
    if (!Py_IsInitialized())
        return false;
    namespace bp = boost::python;
    GilLock gil;
    try {
        bp::object util = bp::import(wstr::toUtf8(Python::utilModuleName()).c_str());
        bp::dict kwargs;
        kwargs[key] = bp::str(wstr::toUtf8(value));
        if (execute)
            kwargs["execute"] = true;
        util.attr(function)(*bp::tuple(), **kwargs);
        return true;
    } catch (const bp::error_already_set&) {
        PyErr_Clear();
    } catch (const std::exception&) {
    }
    return false;
}

} // namespace

uint32_t App::reloadConfig() {
    // Nothing to compare with before start-up loaded the settings.
    const std::shared_ptr<const AppConfig> before = config();
    if (!before)
        return 0;
    auto config = config_.reload(DataFs::appConfigFiles(folders_));
    if (!config)
        return 0;
    logMessage(Logger::Info, L"Application configuration has changed");
    Logger::enableFile(config->writeLogFile);
    applyCatalogSettings(*config);
    if (auto edit = configEdit())
        edit->resolveEditor();
    if (auto manager = packageManager())
        manager->applyConfig();
    if (auto images = imageManager())
        images->onConfigChanged();
    if (windows_)
        windows_->onConfigChanged();
    return PluginMsg::appConfigChanged |
           (config->sameNetwork(*before) ? 0u : uint32_t(PluginMsg::internetSettingsChanged));
}

int App::reloadEnvironment(std::map<wstr, wstr>* out) {
    if (out)
        out->clear();
    std::vector<wstr> block;
    auto source = EnvironmentSource::current();
    if (!source || !source->read(block))
        return -1;
    // The program's table, not the process environment: other threads read
    // it meanwhile, and what we start gets the table.
    return Platform::env::replace(parseBlock(block, out)) ? 1 : 0;
}

void App::exploreFile(const wstr& path) {
    if (callUtil("explore_file", "file", path, false))
        return;
    if (uint32_t error = Sys::shellExecute(path))
        logMessage(Logger::Error, openFailureText(path, error, L"file_explorer"));
}

void App::openUrl(const wstr& url, bool) {
    if (callUtil("web_browser_command", "url", url, true))
        return;
    if (uint32_t error = Sys::shellExecute(url))
        logMessage(Logger::Error, openFailureText(url, error, L"web_browser"));
}
