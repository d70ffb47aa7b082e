#include <boost/python.hpp>

#include "python/PythonBuiltins.h"

#include "catalog/AppIdentity.h"
#include "catalog/FuzzyMatch.h"
#include "core/Logger.h"
#include "core/SysInfo.h"
#include "files/DataFs.h"
#include "packages/Package.h"
#include "packages/PackageHost.h"
#include "packages/PackageIcon.h"
#include "packages/PackageManager.h"
#include "python/ApiDefinition.h"
#include "python/Converters.h"
#include "python/GuardedFunction.h"
#include "python/Python.h"
#include "python/PythonHost.h"
#include "python/StdStreams.h"

#include <xxhash.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bp = boost::python;

BOOST_PYTHON_MODULE(quorvalent_api) {
    PythonBuiltins::defineApiModule();
}

namespace PythonBuiltins {
namespace {

// The seed of the catalog's item and action ids, so that plugins compute the
// same hashes.
constexpr uint64_t idSeed = 0x46B4DEC784D49158ull;

std::shared_ptr<PackageManager> packageManager() {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    return host ? host->packageManager() : nullptr;
}

// A folder of the running application; Python learns of a shutdown in
// progress.
wstr folder(wstr DataFs::Folders::*field) {
    std::shared_ptr<PythonHost> app = PythonHost::instance();
    if (!app)
        Python::setError(PyExc_RuntimeError, L"Shutting down!");
    return app->folders().*field;
}

// The reason a plugin's icon cannot be loaded, logged with the sources.
void warnNoIconPackage(const Python::WstrList& sources, const wstr& name, uint32_t state) {
    wstr message;
    if (state == PackageManager::callerShouldTerminate)
        message = L"Cannot create/load icon because calling thread has been marked as 'should "
                  L"terminate'.";
    else if (name.empty())
        message = L"Cannot create/load icon because calling thread could not be associated with "
                  L"a Package.";
    else
        wstr::format(message,
                     L"Cannot create/load icon because calling thread could not be associated "
                     L"with a Package and the specified name \"{}\" did not match any.",
                     name);
    message += L" Icon sources: ";
    wstr::join(message, sources, L", ");
    logMessage(Logger::Warning, std::move(message));
}

// Without the GIL: the package's lock is taken.
uint64_t loadIconUnlocked(const Python::WstrList& sources, const wstr& name) {
    std::shared_ptr<PackageManager> manager = packageManager();
    std::shared_ptr<Package> package = manager ? manager->callerPackage(name) : nullptr;
    if (!package) {
        warnNoIconPackage(sources, name,
                          manager ? manager->callerState() : PackageManager::callerNoTask);
        return 0;
    }
    std::shared_ptr<PackageIcon> icon = package->loadIcon(sources);
    return icon ? icon->id() : 0;
}

Python::WstrList packagesList() {
    Python::WstrList names;
    if (std::shared_ptr<PackageManager> manager = packageManager()) {
        for (const PackageManager::PackageEntry& entry : manager->listPackages(false))
            names.push_back(entry.name);
    }
    return names;
}

std::atomic<bool> shuttingDown{false};

bool shouldTerminate() {
    if (shuttingDown.load())
        return true;
    std::shared_ptr<PackageManager> manager = packageManager();
    return manager && manager->callerState() == PackageManager::callerShouldTerminate;
}

// The icon of the sources, registered with the calling plugin's package (or,
// on a thread of no package, the package of that name).
bp::object loadIcon(const Python::WstrList& sources, bool /*force*/,
                    const Python::OptionalStr& package) {
    const wstr name = package.value_or(wstr());
    uint64_t handle = 0;
    {
        Python::ReleaseGIL unlocked;
        handle = loadIconUnlocked(sources, name);
    }
    return handle != 0 ? bp::object(handle) : bp::object();
}

bool freeIcon(unsigned long long handle) {
    const uint32_t packageId = static_cast<uint32_t>(handle >> 32);
    if (packageId == 0)
        return false;
    std::shared_ptr<PackageManager> manager = packageManager();
    std::shared_ptr<Package> owner = manager ? manager->findPackage(packageId, 0) : nullptr;
    return owner && owner->freeIcon(handle);
}

// The start-up module's thread hooks: the GIL stays held, as the package
// manager's threads lock is never held while Python is waited for.
// Registering answers whom the thread serves, for the start-up module's log.
wstr registerPythonThread(unsigned guard, unsigned long ownerThreadId) {
    if (guard != registerThreadGuard)
        return {};
    if (std::shared_ptr<PackageManager> manager = packageManager())
        return manager->registerPythonThread(static_cast<uint32_t>(ownerThreadId));
    return {};
}

void unregisterPythonThread(unsigned guard) {
    if (guard != unregisterThreadGuard)
        return;
    if (std::shared_ptr<PackageManager> manager = packageManager())
        manager->unregisterPythonThread();
}

// Levels other than info, warning, error and fatal log as info, whatever
// the int.
void log(wstr source, int line, const bp::object& level, wstr message) {
    if (!PyLong_Check(level.ptr()))
        Python::setError(PyExc_TypeError, L"log() argument 'level' must be int, not {}",
                         wstr::fromUtf8(Py_TYPE(level.ptr())->tp_name));
    int overflow = 0;
    long value = PyLong_AsLongAndOverflow(level.ptr(), &overflow);
    if (overflow != 0 || value < Logger::Info || value > Logger::Fatal)
        value = Logger::Info;
    Python::ReleaseGIL unlocked;
    Logger::log(static_cast<Logger::Level>(value), Logger::fromScript, std::move(source), line,
                std::move(message));
}

// The text ends at its first NUL.
unsigned long long hashString(const wstr& text) {
    const std::string bytes = wstr::toUtf8(text.c_str());
    return XXH64(bytes.data(), bytes.size(), idSeed);
}

unsigned long long fuzzy(wstr pattern, const wstr& candidate, bool caseSensitive) {
    normalizeSpaces(pattern);
    float score = fuzzyScore(pattern, wstr::lowerCopy(pattern), candidate,
                             wstr::lowerCopy(candidate), nullptr, caseSensitive);
    return integerScore(score);
}

wstr appVersion() {
    return AppIdentity::get().version;
}

// "2.24" gives (2, 24, 0).
bp::tuple versionTuple() {
    std::vector<wstr> parts = wstr::split(appVersion(), L".", false, false);
    parts.resize(3, L"0");
    return bp::make_tuple(wstr::toInt64(parts[0]), wstr::toInt64(parts[1]),
                          wstr::toInt64(parts[2]));
}

void defineIdentity() {
    defineGuarded<wstr()>(bp::scope(), "name", [] { return appName(); });
    defineGuarded<wstr()>(bp::scope(), "label", [] { return DataFs::appTitle(); });
    defineFunction(bp::scope(), "version_tuple", &versionTuple);
    defineGuarded<wstr()>(bp::scope(), "version_string", &appVersion);
    defineGuarded<wstr()>(bp::scope(), "arch", [] { return wstr(L"x64"); });
    defineGuarded<wstr()>(bp::scope(), "computer_name", &Sys::computerName);
    defineGuarded<wstr()>(bp::scope(), "user_name", &Sys::userName);
}

void defineFolders() {
    using F = DataFs::Folders;
    defineGuarded<Python::WstrList()>(bp::scope(), "packages_list", &packagesList);
    defineGuarded<wstr()>(bp::scope(), "exe_path", [] { return folder(&F::bootstrap); });
    defineGuarded<wstr()>(bp::scope(), "live_packages_dir",
                          [] { return folder(&F::profilePackages); });
    defineGuarded<wstr()>(bp::scope(), "installed_packages_dir",
                          [] { return folder(&F::profileInstalledPackages); });
    defineGuarded<wstr()>(bp::scope(), "user_config_dir", [] { return folder(&F::profileUser); });
    defineGuarded<wstr()>(bp::scope(), "packages_cache_dir",
                          [] { return folder(&F::localPackages); });
    defineGuarded<bool()>(bp::scope(), "should_terminate", &shouldTerminate);
    defineFunction(bp::scope(), "load_icon", &loadIcon);
    defineGuarded<bool(unsigned long long)>(bp::scope(), "free_icon", &freeIcon);
}

void defineThreadsAndStreams() {
    defineFunction(bp::scope(), "register_python_thread", &registerPythonThread);
    defineFunction(bp::scope(), "unregister_python_thread", &unregisterPythonThread);
    defineGuarded<void(int, const wstr&)>(bp::scope(), "std_print", [](int id, const wstr& text) {
        StdStreams::instance().print(id, text);
    });
    defineGuarded<void(int)>(bp::scope(), "std_flush",
                             [](int id) { StdStreams::instance().flush(id); });
    defineGuarded<void()>(bp::scope(), "std_flush_all", [] { StdStreams::instance().flushAll(); });
    defineFunction(bp::scope(), "log", &log);
}

} // namespace

void defineApiModule() {
    defineCoreFunctions();
    defineShellFunctions();
    definePlugin();
    defineCatalogAction();
    defineCatalogItem();
    defineSettings();
    addDocstrings();
}

void defineCoreFunctions() {
    defineIdentity();
    defineFolders();
    defineThreadsAndStreams();
    defineGuarded<unsigned long long(const wstr&)>(bp::scope(), "hash_string", &hashString);
    defineGuarded<unsigned long long(wstr, const wstr&, bool)>(bp::scope(), "fuzzy_score", &fuzzy);
}

void setShuttingDown(bool value) {
    shuttingDown.store(value);
}

bool callerShouldTerminate() {
    return shouldTerminate();
}

void flushAllStd(wstr* capture) {
    StdStreams::instance().capture(capture);
}

} // namespace PythonBuiltins
