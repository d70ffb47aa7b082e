#include <boost/python.hpp>

#include "packages/PackageExternal.h"

#include "catalog/Catalog.h"
#include "catalog/CatalogResults.h"
#include "core/Event.h"
#include "core/Logger.h"
#include "packages/PackageManager.h"
#include "python/GilLock.h"
#include "python/PythonBuiltins.h"
#include "tests/packages/PackageFakes.h"
#include "tests/packages/PythonEnvironment.h"
#include "tests/support/LogRecords.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace bp = boost::python;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

namespace {

wstr wide(const std::string& text) {
    return wstr::fromUtf8(text.c_str());
}

wstr wide(const std::filesystem::path& path) {
    return wide(path.string());
}

uint64_t idOf(const wstr& fullName) {
    wstr packageName;
    return Plugin::parseFullName(fullName, packageName);
}

// A zip archive of the files, written with Python's zipfile.
void writeArchive(const std::filesystem::path& path,
                  const std::vector<std::pair<std::string, std::string>>& files) {
    qvtest::requirePython();
    GilLock gil;
    bp::dict names;
    bp::list entries;
    for (const auto& [name, content] : files)
        entries.append(bp::make_tuple(name, bp::object(bp::handle<>(PyBytes_FromStringAndSize(
                                                content.data(), Py_ssize_t(content.size()))))));
    names["path"] = path.string();
    names["entries"] = entries;
    bp::exec("import os, zipfile\n"
             "os.makedirs(os.path.dirname(path), exist_ok=True)\n"
             "with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as archive:\n"
             "    for name, content in entries:\n"
             "        archive.writestr(name, content)\n",
             names);
}

// --- Layers -------------------------------------------------------------------

class Layers : public ::testing::Test {
protected:
    Layers() {
        folder_.write("early/Shared.txt", "early");
        folder_.write("early/only-early.txt", "early only");
        writeArchive(folder_.path() / "late.zip",
                     {{"shared.txt", "late"}, {"sub/deep.txt", "deep"}, {"sub\\win.txt", "win"}});
        package_ = PackageExternal::create(
            L"Layered", 1, {wide(folder_.path() / "early"), wide(folder_.path() / "late.zip")});
    }

    qvtest::TempDir folder_;
    std::shared_ptr<PackageExternal> package_;
};

TEST_F(Layers, LaterLayerShadowsTheEarlierOne) {
    ASSERT_TRUE(package_);
    EXPECT_EQ(package_->findResource(L"SHARED.TXT", false), L"shared.txt");
    EXPECT_EQ(package_->findResource(L"only-early.txt"), L"only-early.txt");
    EXPECT_EQ(package_->findResource(L"missing.txt", false), L"");
    VDir::ReadResult read = package_->readResource(L"Shared.txt", 100, -1);
    EXPECT_EQ(read.status, VDir::ReadResult::Done);
    EXPECT_EQ(std::string(read.bytes.begin(), read.bytes.end()), "late");
    read = package_->readResource(L"Shared.txt", 100, 0);
    EXPECT_EQ(std::string(read.bytes.begin(), read.bytes.end()), "early");
    EXPECT_EQ(package_->readResource(L"shared.txt", 3, -1).status, VDir::ReadResult::TooLarge);
    EXPECT_EQ(package_->readResource(L"shared.txt", 100, 5).status, VDir::ReadResult::NoSuchFile);
}

TEST_F(Layers, ListsEachNameOnceLatestLayerFirst) {
    EXPECT_THAT(package_->findResources(L"*.txt", false, false),
                ElementsAre(L"shared.txt", L"only-early.txt"));
    EXPECT_THAT(
        package_->findResources(L"*.txt", true, false),
        UnorderedElementsAre(L"shared.txt", L"sub/deep.txt", L"sub/win.txt", L"only-early.txt"));
    EXPECT_EQ(package_->resourceInfo(L"shared.txt", true).size(), 2u);
    EXPECT_EQ(package_->resourceInfo(L"only-early.txt", true).size(), 1u);
    EXPECT_EQ(package_->resourceInfo(L"only-early.txt", false).size(), 2u);
}

TEST(PackageExternal, PlacesThatDoNotOpen) {
    qvtest::TempDir folder;
    folder.write("broken.quorvalent-package", "not a zip archive");
    qvtest::LogRecords records;
    const wstr broken = wide(folder.path() / "broken.quorvalent-package");
    EXPECT_FALSE(PackageExternal::create(L"broken", 1, {broken, wide(folder.path() / "gone")}));
    EXPECT_EQ(records
                  .matching(Logger::Warning,
                            L"Failed to load/read what appears to be a package file: " + broken)
                  .size(),
              1u);
    EXPECT_TRUE(PackageExternal::create(L"broken", 1, {broken, wide(folder.path())}));
}

TEST(PackageExternal, ModuleNames) {
    EXPECT_EQ(PackageExternal::moduleName(L"Pack", L"finder.py"), L"Pack.finder");
    EXPECT_EQ(PackageExternal::moduleName(L"Pack", L"sub/Tool.PY"), L"Pack.sub.Tool");
}

// --- Packages loaded by the package manager -------------------------------------

// The plugins of the sample packages: they read their package's settings and
// resources when they start, hand in items and an action, and log what they
// receive.
constexpr const char* alphaScript = R"(import quorvalent
import quorvalent_api as api

def say(text):
    api.log('', 0, 1, text)

class Alpha(quorvalent.Plugin):
    def on_start(self):
        handle = api.settings_load(None)
        say('start %s %s' % (self.full_name(), api.settings_get(handle, 'main', 'greeting')))
        try:
            self.load_binary_resource('big.bin')
        except IOError as e:
            say('big %s: %s' % (self.full_name(), e))
        say('text %s: %s' % (self.full_name(), self.load_text_resource('notes.txt')))

    def on_catalog(self):
        item = api.CatalogItem(self, 30, 'Sample Zebra ' + self.package_name(), 'a sample',
                               'zebra-' + self.package_name(), 1, False, 0, 0, 'bag')
        self.set_catalog([item])
        self.set_actions(30, [api.CatalogAction(self.id(), 'shout', 'Shout', '', ''),
                              api.CatalogAction(self.id(), 'fail', 'Fail', '', '')])
        say('catalog ' + self.full_name())

    def on_execute(self, item, action):
        if action.name() == 'fail':
            raise RuntimeError('cannot do that')
        say('execute %s %s %s' % (self.full_name(), item.label(), action.name()))
)";

constexpr const char* betaScript = R"(import quorvalent
class Beta(quorvalent.Plugin):
    pass
)";

constexpr const char* brokenScript = "raise RuntimeError('broken sample')\n";

const std::string bigResource(16777217, 'x');

class LoadedPackages : public ::testing::Test {
protected:
    LoadedPackages() {
        qvtest::requirePython();
        Logger::addListener(logged_.handle());
        live_ = app_->root().path() / "live";
        addToModulePath(live_.string());
        for (const char* file : {"alpha.py", "beta.py", "broken.py", "notes.txt", "big.bin"})
            files_.emplace_back(file, content(file));
        for (const auto& [file, text] : files_)
            app_->writePackageFile("Folded", file, text);
        app_->writePackageFile("Folded", "folded.ini", "[main]\ngreeting = from the folder\n");
        auto files = files_;
        files.emplace_back("archived.ini", "[main]\ngreeting = from the archive\n");
        writeArchive(app_->root().path() / "default" / "Archived.quorvalent-package", files);
    }

    ~LoadedPackages() override {
        if (manager_)
            manager_->stop();
        app_->setManager(nullptr);
        Logger::clearListeners();
        removeFromModulePath(live_.string());
    }

    static std::string content(const std::string& file) {
        if (file == "alpha.py")
            return alphaScript;
        if (file == "beta.py")
            return betaScript;
        if (file == "broken.py")
            return brokenScript;
        if (file == "notes.txt")
            return "\xEF\xBB\xBFnotes \xC3\xA9";
        return bigResource;
    }

    // The program puts the live packages folder on the module search path.
    static void addToModulePath(const std::string& folder) {
        GilLock gil;
        bp::import("sys").attr("path").attr("insert")(0, folder);
    }
    static void removeFromModulePath(const std::string& folder) {
        GilLock gil;
        bp::import("sys").attr("path").attr("remove")(folder);
    }

    void start() {
        PackageManager::Options options;
        options.packageFactory = [](const wstr& name, uint64_t revision,
                                    const std::vector<wstr>& places) {
            return PackageExternal::create(name, revision, places);
        };
        options.terminateHook = &PythonBuiltins::interruptThread;
        manager_ = std::make_shared<PackageManager>(std::move(options));
        app_->setManager(manager_);
        manager_->start();
    }

    // Waits, on the log's new-record signal, until the log holds the text
    // `times` times.
    bool logged(const wstr& text, std::size_t times = 1) {
        const auto deadline = std::chrono::steady_clock::now() + qvtest::waitLimit;
        while (true) {
            std::size_t seen = 0;
            for (const auto& item : records_.all())
                seen += item->message == text;
            if (seen >= times)
                return true;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            logged_.wait(uint32_t(left.count()));
        }
    }

    // Waits like logged for a record that starts with the text.
    bool loggedStartingWith(const wstr& prefix) {
        const auto deadline = std::chrono::steady_clock::now() + qvtest::waitLimit;
        while (true) {
            for (const auto& item : records_.all()) {
                if (item->message.starts_with(prefix))
                    return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            logged_.wait(uint32_t(left.count()));
        }
    }

    // The sample items the catalog finds for the text.
    std::vector<CatalogItemPtr> found(const wstr& text) {
        auto results = std::make_shared<CatalogResults>();
        app_->catalog()->search(results, text, nullptr);
        std::vector<CatalogItemPtr> items;
        for (const auto& result : results->list()) {
            if (result->item()->label().starts_with(L"Sample Zebra"))
                items.push_back(result->item());
        }
        return items;
    }

    qvtest::AppScope app_;
    qvtest::LogRecords records_;
    Event logged_{true};
    std::filesystem::path live_;
    std::vector<std::pair<std::string, std::string>> files_;
    std::shared_ptr<PackageManager> manager_;
};

// The same scripts in a folder and in an archive: both load in script order,
// start, read their settings and resources, fill the catalog, and a broken
// script leaves the others loaded.
TEST_F(LoadedPackages, FolderAndArchiveLoadStartAndFillTheCatalog) {
    start();
    for (const wchar_t* package : {L"Folded", L"Archived"}) {
        const wstr name = package;
        ASSERT_TRUE(logged(L"catalog " + name + L".Alpha")) << wstr::toUtf8(name);
        EXPECT_TRUE(logged(L"start " + name + L".Alpha from the " +
                           (name == L"Folded" ? L"folder" : L"archive")));
        EXPECT_TRUE(logged(L"big " + name +
                           L".Alpha: Resource size exceeds maximum limit of "
                           L"16777216 bytes: " +
                           name + L"/big.bin"));
        EXPECT_TRUE(logged(L"text " + name + L".Alpha: notes \u00e9"));
        std::vector<wstr> loaded;
        for (const auto& item : records_.all()) {
            if (item->message.starts_with(L"Plugin loaded: " + name + L"."))
                loaded.push_back(item->message);
        }
        EXPECT_THAT(loaded, ElementsAre(L"Plugin loaded: " + name + L".Alpha (instance #1)",
                                        L"Plugin loaded: " + name + L".Beta (instance #1)"));
    }
    std::vector<wstr> labels;
    for (const CatalogItemPtr& item : found(L"sample zebra"))
        labels.push_back(item->label());
    EXPECT_THAT(labels, UnorderedElementsAre(L"Sample Zebra Folded", L"Sample Zebra Archived"));
    EXPECT_EQ(records_.matching(Logger::Info, L"Python: RuntimeError: broken sample").size(), 2u);
    // Beta has no message methods: its messages pass without a word.
    for (const auto& item : records_.all())
        EXPECT_LT(item->level, Logger::Warning) << wstr::toUtf8(item->message);
}

TEST_F(LoadedPackages, ExecuteReachesThePluginWithItemAndAction) {
    start();
    ASSERT_TRUE(logged(L"catalog Folded.Alpha"));
    const std::vector<CatalogItemPtr> items = found(L"sample zebra folded");
    ASSERT_FALSE(items.empty());
    const CatalogItemPtr item = items.front();
    std::vector<CatalogActionPtr> actions;
    app_->catalog()->getItemActions(item, actions);
    std::map<wstr, CatalogActionPtr> byName;
    for (const auto& action : actions)
        byName[action->name()] = action;
    ASSERT_TRUE(byName.count(L"shout") && byName.count(L"fail"));
    EXPECT_TRUE(manager_->sendMessage(item->pluginId(), PluginMsg::kindExecute,
                                      PluginMsg::Data::execution(item, byName[L"shout"])));
    EXPECT_TRUE(logged(L"execute Folded.Alpha Sample Zebra Folded shout"));
    EXPECT_TRUE(manager_->sendMessage(item->pluginId(), PluginMsg::kindExecute,
                                      PluginMsg::Data::execution(item, byName[L"fail"])));
    EXPECT_TRUE(loggedStartingWith(L"Error from Folded.Alpha.on_execute: <class 'RuntimeError'>: "
                                   L"cannot do that\nTraceback (most recent call last):"));
}

// A change of the package's files loads it again with the next revision: the
// plugins of the old load are gone, those the scripts now define are there.
TEST_F(LoadedPackages, FileChangeReloadsWithANewRevision) {
    start();
    ASSERT_TRUE(logged(L"catalog Folded.Alpha"));
    app_->writePackageFile("Folded", "beta.py",
                           "import quorvalent\nclass Gamma(quorvalent.Plugin):\n    pass\n");
    manager_->onPackagesChanged({{L"Folded", false}});
    ASSERT_TRUE(logged(L"Plugin loaded: Folded.Gamma (instance #2)"));
    EXPECT_TRUE(logged(L"catalog Folded.Alpha", 2));
    EXPECT_TRUE(manager_->findPlugin(idOf(L"Folded.Alpha")));
    EXPECT_FALSE(manager_->findPlugin(idOf(L"Folded.Beta")));
    EXPECT_EQ(manager_->findPackage(Package::idOf(L"Folded"), 0)->revision(), 2u);
}

// An instance that is no plugin of the load (its class names none) and one
// that a later script's class of the same full name replaces are released
// at once, at every load: their __del__ runs.
TEST_F(LoadedPackages, SkippedAndReplacedInstancesAreReleased) {
    app_->writePackageFile("Dels", "a.py", R"(import quorvalent
import quorvalent_api as api
class Same(quorvalent.Plugin):
    def __del__(self):
        api.log('', 0, 1, 'released a')
class Nameless(quorvalent.Plugin):
    __module__ = 'nowhere'
    def __del__(self):
        api.log('', 0, 1, 'released nameless')
)");
    app_->writePackageFile("Dels", "b.py", R"(import quorvalent
import quorvalent_api as api
class Same(quorvalent.Plugin):
    def __del__(self):
        api.log('', 0, 1, 'released b')
)");
    start();
    ASSERT_TRUE(logged(L"Plugin loaded: Dels.Same (instance #1)", 2));
    EXPECT_TRUE(logged(L"released a"));
    EXPECT_TRUE(logged(L"released nameless"));
    manager_->onPackagesChanged({{L"Dels", false}});
    ASSERT_TRUE(logged(L"Plugin loaded: Dels.Same (instance #2)", 2));
    EXPECT_TRUE(logged(L"released b")) << "the unloaded instance of the first load";
    EXPECT_TRUE(logged(L"released a", 2));
    EXPECT_TRUE(logged(L"released nameless", 2));
}

// A plugin asks whether its task must stop: not while its package is
// loaded, yes once it is unloaded.
TEST_F(LoadedPackages, ShouldTerminateOnceThePackageIsUnloaded) {
    app_->writePackageFile("Waiting", "waiter.py", R"(import quorvalent, time
import quorvalent_api as api
class Waiter(quorvalent.Plugin):
    def on_start(self):
        api.log('', 0, 1, 'waiting %s' % api.should_terminate())
        while not api.should_terminate():
            time.sleep(0.005)
        api.log('', 0, 1, 'told to stop')
)");
    start();
    ASSERT_TRUE(logged(L"waiting False"));
    EXPECT_TRUE(manager_->unloadPackage(Package::idOf(L"Waiting")));
    EXPECT_TRUE(logged(L"told to stop"));
}

// Plugin code that never returns is interrupted with SystemExit when the
// pool gives up on its worker.
TEST_F(LoadedPackages, StuckPluginCodeIsInterruptedWhenThePoolStops) {
    app_->writePackageFile("Stuck", "looper.py", R"(import quorvalent, time
import quorvalent_api as api
class Looper(quorvalent.Plugin):
    def on_start(self):
        api.log('', 0, 1, 'looping')
        while True:
            time.sleep(0.005)
)");
    start();
    ASSERT_TRUE(logged(L"looping"));
    manager_->stop();
    EXPECT_TRUE(loggedStartingWith(L"Error from Stuck.Looper.on_start: <class 'SystemExit'>"));
}

// A plugin registers icons with its package and frees them; elsewhere no
// package takes them.
TEST_F(LoadedPackages, IconsOfAPlugin) {
    app_->writePackageFile("Iconic", "painter.py", R"(import quorvalent
import quorvalent_api as api
class Painter(quorvalent.Plugin):
    def on_start(self):
        handle = api.load_icon(['res://Iconic/icon.png'], False, None)
        same = api.load_icon(['res://iconic/icon.png'], True, None)
        try:
            self.set_default_icon(5)
            refused = 'no'
        except ValueError as e:
            refused = str(e)
        self.set_default_icon(handle)
        api.log('', 0, 1, 'icons %s %s %s %s %s %s' % (
            handle >> 32 == self.package_id(), same == handle, refused, api.free_icon(handle),
            api.free_icon(handle), api.free_icon(5)))
)");
    start();
    EXPECT_TRUE(logged(L"icons True True invalid IconHandle True False False"));
    GilLock gil;
    bp::object api = bp::import("quorvalent_api");
    EXPECT_TRUE(api.attr("load_icon")(bp::list(), false, bp::object()).is_none());
    EXPECT_TRUE(api.attr("load_icon")(bp::list(), false, "Nowhere").is_none());
    EXPECT_EQ(records_
                  .matching(Logger::Warning,
                            L"Cannot create/load icon because calling thread could not be "
                            L"associated with a Package and the specified name \"Nowhere\" "
                            L"did not match any. Icon sources: ")
                  .size(),
              1u);
}

// From a thread of no package, a plugin API caller names the package whose
// settings it reads.
TEST_F(LoadedPackages, SettingsOfAPackageByName) {
    start();
    ASSERT_TRUE(logged(L"catalog Folded.Alpha"));
    GilLock gil;
    bp::object api = bp::import("quorvalent_api");
    bp::object handle = api.attr("settings_load")("Folded");
    EXPECT_EQ(bp::extract<uint32_t>(handle)(), Package::idOf(L"Folded"));
    EXPECT_TRUE(api.attr("settings_get")(handle, "MAIN", "greeting").is_none());
    EXPECT_EQ(bp::extract<std::string>(api.attr("settings_get")(handle, "main", "GREETING"))(),
              "from the folder");
    EXPECT_TRUE(api.attr("settings_load")(bp::object()).is_none());
}

} // namespace
