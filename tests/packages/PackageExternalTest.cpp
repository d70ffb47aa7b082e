#include <boost/python.hpp>

#include "packages/PackageExternal.h"

#include "catalog/Catalog.h"
#include "catalog/CatalogResults.h"
#include "core/Event.h"
#include "core/Logger.h"
#include "core/SysClipboard.h"
#include "packages/PackageManager.h"
#include "platform/Environment.h"
#include "python/GilLock.h"
#include "python/PythonBuiltins.h"
#include "tests/packages/PackageFakes.h"
#include "tests/packages/PythonEnvironment.h"
#include "tests/support/LogRecords.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
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

// A pattern with a folder lists what "*" lists below that folder; what is
// not a regular file (a FIFO) is neither listed nor found, as it cannot be
// loaded either.
TEST_F(Layers, FolderPatternsAndOnlyRegularFiles) {
    folder_.write("early/lib/a.py", "a");
    folder_.write("early/lib/deep/b.py", "b");
    ASSERT_EQ(mkfifo((folder_.path() / "early/pipe.txt").c_str(), 0600), 0);
    struct Row {
        const wchar_t* pattern;
        bool recursive;
        std::vector<wstr> names;
    } rows[] = {
        {L"lib/*", true, {L"lib/a.py", L"lib/deep/b.py"}},
        {L"lib/*", false, {L"lib/a.py"}},
        {L"LIB/*.PY", true, {L"lib/a.py", L"lib/deep/b.py"}},
        {L"sub/*", true, {L"sub/deep.txt", L"sub/win.txt"}},
        {L"*/deep*", true, {L"lib/deep/b.py", L"sub/deep.txt"}},
        {L"*",
         true,
         {L"lib/a.py", L"lib/deep/b.py", L"only-early.txt", L"shared.txt", L"sub/deep.txt",
          L"sub/win.txt"}},
    };
    for (const Row& row : rows) {
        std::vector<wstr> names = package_->findResources(row.pattern, row.recursive, false);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, row.names) << wstr::toUtf8(row.pattern) << " " << row.recursive;
    }
    EXPECT_EQ(package_->findResource(L"pipe.txt", false), L"");
    EXPECT_EQ(package_->findResource(L"lib/deep/B.py", false), L"lib/deep/b.py");
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
    // The broken script is one error each, naming its file and line; Beta has
    // no message methods: its messages pass without a word.
    const std::map<wstr, std::string> brokenFiles = {
        {L"Folded", (live_ / "Folded/broken.py").string()},
        {L"Archived",
         (app_->root().path() / "default/Archived.quorvalent-package/broken.py").string()}};
    for (const auto& [package, file] : brokenFiles) {
        EXPECT_TRUE(loggedStartingWith(L"Error while loading Python script " + package +
                                       L"/broken.py: RuntimeError: broken sample\nTraceback "
                                       L"(most recent call last):\n  File \"" +
                                       wide(file) + L"\", line 1, in <module>"))
            << file;
    }
    std::size_t errors = 0;
    for (const auto& item : records_.all()) {
        if (item->level < Logger::Warning)
            continue;
        EXPECT_EQ(item->level, Logger::Error) << wstr::toUtf8(item->message);
        EXPECT_NE(item->message.find(L"/broken.py: "), wstr::npos) << wstr::toUtf8(item->message);
        ++errors;
    }
    EXPECT_EQ(errors, 2u);
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
    EXPECT_TRUE(loggedStartingWith(L"Error from Folded.Alpha.on_execute: RuntimeError: "
                                   L"cannot do that\nTraceback (most recent call last):"));
}

// A plugin that changes the item objects it gets and sends them back: the
// catalog's own objects stay as they were, and its count stays right through
// a replace, a removal and the items sent again.
constexpr const char* renamerScript = R"(import quorvalent
import quorvalent_api as api

class Renamer(quorvalent.Plugin):
    def fresh(self):
        return [api.CatalogItem(self, 30, 'Rename Me', '', 'rename-me', 1, False, 0, 0, ''),
                api.CatalogItem(self, 30, 'Other Thing', '', 'other-thing', 1, False, 0, 0, '')]

    def on_catalog(self):
        self.set_catalog(self.fresh())
        api.log('', 0, 1, 'renamer catalog')

    def on_suggest(self, text, chain):
        if text == 'rename':
            stored = chain[0]
            stored.set_label('Renamed')
            stored.set_args('changed')
            self.set_catalog([stored])
        elif text == 'remove':
            self.set_catalog([])
        else:
            self.set_catalog(self.fresh())
        api.log('', 0, 1, 'renamer ' + text)

    def on_execute(self, item, action):
        item.set_label('Executed')
        item.set_args('run')
        api.log('', 0, 1, 'renamer executed')
)";

TEST_F(LoadedPackages, PluginChangingItsItemObjectsLeavesTheCatalogIntact) {
    app_->writePackageFile("Renaming", "renamer.py", renamerScript);
    start();
    ASSERT_TRUE(logged(L"renamer catalog"));
    ASSERT_TRUE(logged(L"catalog Folded.Alpha") && logged(L"catalog Archived.Alpha"));
    const uint64_t renamer = idOf(L"Renaming.Renamer");
    const std::shared_ptr<Catalog> catalog = app_->catalog();
    // The plugin's labels; the catalog's count must match what it holds.
    auto labelsNow = [&] {
        Catalog::Stats stats;
        catalog->getStats(stats);
        uint64_t held = 0;
        for (const auto& [plugin, counters] : stats.plugins)
            held += counters.catalogItems;
        EXPECT_EQ(catalog->itemCount(), held);
        std::vector<wstr> labels;
        auto results = std::make_shared<CatalogResults>();
        catalog->search(results, L"e", nullptr);
        for (const auto& result : results->list()) {
            if (result->item()->pluginId() == renamer)
                labels.push_back(result->item()->label());
        }
        EXPECT_EQ(labels.size(), stats.plugins[renamer].catalogItems);
        return labels;
    };
    auto suggest = [&](const wstr& text, const std::vector<CatalogItemPtr>& chain) {
        EXPECT_TRUE(manager_->sendMessage(renamer, PluginMsg::kindSuggest,
                                          PluginMsg::Data::suggestion(text, chain)));
        return logged(L"renamer " + text);
    };
    ASSERT_THAT(labelsNow(), UnorderedElementsAre(L"Rename Me", L"Other Thing"));
    CatalogItemPtr stored;
    auto results = std::make_shared<CatalogResults>();
    catalog->search(results, L"rename me", nullptr);
    for (const auto& result : results->list()) {
        if (result->item()->label() == L"Rename Me")
            stored = result->item();
    }
    ASSERT_TRUE(stored);
    const uint64_t storedId = stored->id();

    EXPECT_TRUE(manager_->sendMessage(renamer, PluginMsg::kindExecute,
                                      PluginMsg::Data::execution(stored, nullptr)));
    ASSERT_TRUE(logged(L"renamer executed"));
    ASSERT_TRUE(suggest(L"rename", {stored}));
    EXPECT_EQ(stored->label(), L"Rename Me");
    EXPECT_EQ(stored->id(), storedId);
    EXPECT_THAT(labelsNow(), ElementsAre(L"Renamed"));
    ASSERT_TRUE(suggest(L"remove", {}));
    EXPECT_THAT(labelsNow(), ElementsAre());
    ASSERT_TRUE(suggest(L"resend", {}));
    EXPECT_THAT(labelsNow(), UnorderedElementsAre(L"Rename Me", L"Other Thing"));
}

// A package that reaches for files outside itself through every door the
// plugin API has: a name with "..", a link to a file outside, a FIFO, a
// desktop entry linked to /dev/zero, a folder link loop. It gets nothing,
// the program goes on, and each attempt is logged once.
constexpr const char* hostileScript = R"(import quorvalent
import quorvalent_api as api

def attempt(what, call):
    try:
        return '%s=%r' % (what, call())
    except Exception as e:
        return '%s=%s(%s)' % (what, type(e).__name__, e)

class Hostile(quorvalent.Plugin):
    def on_start(self):
        folder = api.package_path_placeholder
        results = [
            attempt('dotdot', lambda: self.load_text_resource('../secret.txt')),
            attempt('link', lambda: self.load_text_resource('linked.txt')),
            attempt('fifo', lambda: self.load_binary_resource('pipe.txt')),
            attempt('zero', lambda: api.read_link(folder + '/zero.desktop')),
            attempt('loop', lambda: api.scan_directory(folder + '/tree', ['*.txt'], 1, 0xFFFFFFFF)),
        ]
        api.log('', 0, 1, 'hostile done ' + ' '.join(results))
)";

TEST_F(LoadedPackages, AHostilePackageReadsNothingOutsideItself) {
    namespace fs = std::filesystem;
    const fs::path secret = app_->writePackageFile("..", "secret.txt", "SECRET");
    const fs::path folder = live_ / "Hostile";
    std::string script = hostileScript;
    script.replace(script.find("api.package_path_placeholder"),
                   std::string("api.package_path_placeholder").size(), "'" + folder.string() + "'");
    app_->writePackageFile("Hostile", "hostile.py", script);
    app_->writePackageFile("Hostile", "tree/inside.txt", "inside");
    fs::create_symlink(secret, folder / "linked.txt");
    ASSERT_EQ(mkfifo((folder / "pipe.txt").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", folder / "zero.desktop");
    fs::create_directory_symlink(".", folder / "tree" / "loop");
    start();
    ASSERT_TRUE(loggedStartingWith(L"hostile done "));
    wstr done;
    for (const auto& item : records_.all())
        if (item->message.starts_with(L"hostile done "))
            done = item->message;
    EXPECT_EQ(done, L"hostile done dotdot=FileNotFoundError(Resource not found: "
                    L"Hostile/../secret.txt) link=FileNotFoundError(Resource not found: "
                    L"Hostile/linked.txt) fifo=FileNotFoundError(Resource not found: "
                    L"Hostile/pipe.txt) zero=None loop=['inside.txt']")
        << wstr::toUtf8(done);
    EXPECT_EQ(done.find(L"SECRET"), wstr::npos);
    const wstr where = wstr::fromUtf8(folder.c_str());
    const std::vector<wstr> expected = {
        L"Refused resource name of package Hostile: \"../secret.txt\" is absolute or climbs out "
        L"with \"..\"",
        L"Refused package file " + where + L"/linked.txt: it leads outside the package (" +
            wstr::fromUtf8(fs::canonical(secret).c_str()) + L")",
        L"Refused package file " + where + L"/pipe.txt: it is not a regular file",
        L"Refused to read shell link " + where + L"/zero.desktop: not a regular file",
        L"Skipped a folder link that loops back: " + where + L"/tree/loop",
    };
    for (const wstr& line : expected) {
        std::size_t seen = 0;
        for (const auto& item : records_.all())
            seen += item->message == line;
        EXPECT_EQ(seen, 1u) << wstr::toUtf8(line);
    }
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

// What a plugin's author sees of his mistakes, in Python's terms and with
// their place: a script that does not compile is one error naming the
// package, the file and the line, at each load until it is mended; a wrong
// argument type names the function, the parameter and the types; an item
// refused for a property names it; an exception reads as Python prints it.
TEST_F(LoadedPackages, PluginMistakesAreToldInPythonTermsWithTheirPlace) {
    const std::filesystem::path syntax =
        app_->writePackageFile("Faulty", "a_syntax.py",
                               "import quorvalent\n\nclass Broken(quorvalent.Plugin)\n    pass\n");
    const std::filesystem::path mistaken =
        app_->writePackageFile("Faulty", "b_mistaken.py", R"(import quorvalent
import quorvalent_api as api
class Mistaken(quorvalent.Plugin):
    def on_catalog(self):
        try:
            api.CatalogItem(self, '30', 'Label', '', 'target', 1, False, 0, 0, '')
        except TypeError as e:
            api.log('', 0, 1, 'wrong type: %s' % e)
        self.set_catalog([api.CatalogItem(self, 30, 'Seven', '', 'seven', 7, False, 0, 0, '')])
        settings = {}
        settings['missing']
)");
    const std::filesystem::path uninitialised =
        app_->writePackageFile("Faulty", "c_uninitialised.py", R"(import quorvalent
class Forgetful(quorvalent.Plugin):
    def __init__(self):
        self.ready = True
)");
    auto syntaxReports = [this] {
        std::vector<std::string> found;
        for (const auto& item : records_.all()) {
            if (item->message.find(L"a_syntax.py") == wstr::npos)
                continue;
            EXPECT_EQ(item->level, Logger::Error);
            found.push_back(wstr::toUtf8(item->message));
        }
        return found;
    };
    const std::string report = "Error while loading Python script Faulty/a_syntax.py: File \"" +
                               syntax.string() + "\", line ";
    start();
    ASSERT_TRUE(loggedStartingWith(L"Error from Faulty.Mistaken.on_catalog: KeyError: "
                                   L"'missing'\nTraceback (most recent call last):\n  File \"" +
                                   wide(mistaken.string()) + L"\", line 11, in on_catalog"));
    EXPECT_TRUE(logged(L"wrong type: CatalogItem() argument 'category' must be int, not str"));
    const wstr forgotten = L"Error while creating plugin Faulty.Forgetful: File \"" +
                           wide(uninitialised.string()) +
                           L"\", line 3, in __init__: Forgetful.__init__ does not call "
                           L"super().__init__(): add it as the first line of __init__";
    EXPECT_EQ(records_.matching(Logger::Error, forgotten).size(), 1u);
    for (const auto& item : records_.all())
        EXPECT_EQ(item->message.find(L"converter"), wstr::npos) << wstr::toUtf8(item->message);
    EXPECT_EQ(records_
                  .matching(Logger::Warning,
                            L"Ignoring item with invalid property(ies) from plugin Faulty.Mistaken "
                            L"(category: cmdline; label: \"Seven\"; target: \"seven\"): "
                            L"args_hint 7 is not one of 0 forbidden, 1 accepted, 2 required")
                  .size(),
              1u);
    std::vector<std::string> reports = syntaxReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_THAT(reports[0], ::testing::StartsWith(report + "3\n"));
    EXPECT_THAT(reports[0], ::testing::HasSubstr("\nSyntaxError: expected ':'"));
    for (const char* machinery : {"importlib", "quorvalent_private", "Traceback"})
        EXPECT_THAT(reports[0], ::testing::Not(::testing::HasSubstr(machinery)));

    // Saved still broken, elsewhere: told again with the new line; then mended.
    app_->writePackageFile(
        "Faulty", "a_syntax.py",
        "import quorvalent\nclass Broken(quorvalent.Plugin):\n    pass\nx = (\n");
    manager_->onPackagesChanged({{L"Faulty", false}});
    ASSERT_TRUE(logged(L"Plugin loaded: Faulty.Mistaken (instance #2)"));
    reports = syntaxReports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_THAT(reports[1], ::testing::StartsWith(report + "4\n"));
    app_->writePackageFile("Faulty", "a_syntax.py",
                           "import quorvalent\nclass Broken(quorvalent.Plugin):\n    pass\n");
    manager_->onPackagesChanged({{L"Faulty", false}});
    EXPECT_TRUE(logged(L"Plugin loaded: Faulty.Broken (instance #3)"));
    EXPECT_EQ(syntaxReports().size(), 2u);
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
    def __del__(self):
        api.log('', 0, 1, 'released nameless')
Nameless.__name__ = 'no..name'
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
    EXPECT_TRUE(loggedStartingWith(L"Error from Stuck.Looper.on_start: SystemExit"));
}

// A plugin registers icons with its package, makes one its default and
// removes it again (0), and frees them; elsewhere no package takes them.
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
        self.set_default_icon(0)
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

// --- The example packages of docs/examples ---------------------------------------

// The files of an example package.
std::vector<std::pair<std::string, std::string>> exampleFiles(const std::string& package) {
    const auto folder =
        (std::filesystem::path(QV_TEST_DATA_DIR) / "../../../docs/examples" / package)
            .lexically_normal();
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files.emplace_back(entry.path().filename().string(),
                           std::string(std::istreambuf_iterator<char>(in), {}));
    }
    return files;
}

// The items the catalog finds for the text, after the chosen item when given.
std::vector<CatalogItemPtr> search(Catalog& catalog, const wstr& text,
                                   const CatalogItemPtr& chain = nullptr) {
    auto results = std::make_shared<CatalogResults>();
    catalog.search(results, text, chain);
    std::vector<CatalogItemPtr> items;
    for (const auto& result : results->list())
        items.push_back(result->item());
    return items;
}

// Waits until the search finds an item of that label, and returns it.
CatalogItemPtr waitForItem(Catalog& catalog, const wstr& text, const wstr& label,
                           const CatalogItemPtr& chain = nullptr) {
    CatalogItemPtr found;
    qvtest::waitFor([&] {
        for (const CatalogItemPtr& item : search(catalog, text, chain)) {
            if (item->label() == label)
                found = item;
        }
        return found != nullptr;
    });
    return found;
}

// As a folder package: the calculator hands in its keyword item, answers
// arithmetic typed alone, any expression after its item (an error item when
// it has no value), and copies the executed answer to the clipboard.
TEST_F(LoadedPackages, TheCalculatorExampleAnswersTypedText) {
    for (const auto& [file, text] : exampleFiles("Calculator"))
        app_->writePackageFile("Calculator", file, text);
    start();
    Catalog& catalog = *app_->catalog();
    const CatalogItemPtr keyword = waitForItem(catalog, L"calcul", L"Calculator");
    ASSERT_TRUE(keyword);
    const uint64_t plugin = keyword->pluginId();
    EXPECT_EQ(plugin, idOf(L"Calculator.Calculator"));

    ASSERT_TRUE(manager_->sendMessage(plugin, PluginMsg::kindSuggest,
                                      PluginMsg::Data::suggestion(L"2*(3+4)", {})));
    const CatalogItemPtr answer = waitForItem(catalog, L"2*(3+4)", L"14");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->category(), CatalogItem::expression);
    ASSERT_TRUE(manager_->sendMessage(plugin, PluginMsg::kindExecute,
                                      PluginMsg::Data::execution(answer, nullptr)));
    EXPECT_TRUE(qvtest::waitFor([] { return Sys::getClipboardText() == L"14"; }));

    ASSERT_TRUE(manager_->sendMessage(plugin, PluginMsg::kindSuggest,
                                      PluginMsg::Data::suggestion(L"sqrt(16)", {keyword})));
    EXPECT_TRUE(waitForItem(catalog, L"sqrt(16)", L"4", keyword));
    ASSERT_TRUE(manager_->sendMessage(plugin, PluginMsg::kindSuggest,
                                      PluginMsg::Data::suggestion(L"9**9**9", {keyword})));
    const CatalogItemPtr refused =
        waitForItem(catalog, L"9**9**9", L"Cannot calculate this", keyword);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->category(), CatalogItem::error);
    for (const auto& item : records_.all()) {
        if (item->message.find(L"/broken.py: ") != wstr::npos) // the fixture's own
            continue;
        EXPECT_LT(item->level, Logger::Warning) << wstr::toUtf8(item->message);
    }
}

// The interpreter read the environment when it started: the desktop's data
// folders are pointed at a fixture through os.environ while the test runs,
// and through the program's own table, which tells the shell where the
// trusted applications folders are.
class DataFolders {
public:
    explicit DataFolders(const std::filesystem::path& root) : saved_(Platform::env::all()) {
        Platform::env::Variables changed = saved_;
        changed["XDG_DATA_HOME"] = (root / "home").string();
        changed["XDG_DATA_DIRS"] = (root / "system").string();
        Platform::env::replace(std::move(changed));
        qvtest::requirePython();
        GilLock gil;
        names_ = std::make_unique<bp::dict>();
        (*names_)["home"] = (root / "home").string();
        (*names_)["system"] = (root / "system").string();
        bp::exec("import os\n"
                 "saved = {k: os.environ.get(k) for k in ('XDG_DATA_HOME', 'XDG_DATA_DIRS')}\n"
                 "os.environ['XDG_DATA_HOME'] = home\n"
                 "os.environ['XDG_DATA_DIRS'] = system\n",
                 *names_);
    }
    ~DataFolders() {
        GilLock gil;
        bp::exec("for k, v in saved.items():\n"
                 "    os.environ.pop(k, None) if v is None else os.environ.update({k: v})\n",
                 *names_);
        names_.reset();
        Platform::env::replace(saved_);
    }
    DataFolders(const DataFolders&) = delete;
    DataFolders& operator=(const DataFolders&) = delete;

private:
    Platform::env::Variables saved_;
    std::unique_ptr<bp::dict> names_; // made and dropped with the GIL held
};

// As an archive: the applications example indexes the desktop entries of
// the user's and the system's data folders (the user's entry of an id hides
// the system's, entries not to display are left out), with their icons, and
// executing an item runs the entry's command.
TEST_F(LoadedPackages, TheDesktopApplicationsExampleIndexesAndStartsEntries) {
    qvtest::TempDir data;
    const std::string marker = (data.path() / "started").string();
    data.write("home/applications/editor.desktop",
               "[Desktop Entry]\nType=Application\nName=Sample Editor\nExec=touch " + marker +
                   " %F\nIcon=sample-editor\n");
    data.write("system/applications/editor.desktop",
               "[Desktop Entry]\nType=Application\nName=Shadowed Editor\nExec=false\n");
    data.write("system/applications/tools/viewer.desktop",
               "[Desktop Entry]\nType=Application\nName=Sample Viewer\nExec=viewer %U\n");
    data.write("system/applications/secret.desktop",
               "[Desktop Entry]\nType=Application\nName=Sample Secret\nNoDisplay=true\nExec=x\n");
    data.write("system/icons/hicolor/48x48/apps/sample-editor.png", "");
    DataFolders folders(data.path());
    writeArchive(app_->root().path() / "default" / "DesktopApps.quorvalent-package",
                 exampleFiles("DesktopApps"));
    start();
    Catalog& catalog = *app_->catalog();
    const CatalogItemPtr editor = waitForItem(catalog, L"sample editor", L"Sample Editor");
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->shortDesc(), wstr::fromUtf8(("touch " + marker).c_str()));
    EXPECT_NE(editor->iconHandle(), 0u);
    const CatalogItemPtr viewer = waitForItem(catalog, L"sample viewer", L"Sample Viewer");
    ASSERT_TRUE(viewer);
    EXPECT_EQ(viewer->iconHandle(), 0u);
    EXPECT_EQ(viewer->dataBag(), L"tools-viewer.desktop");
    for (const wchar_t* absent : {L"shadowed editor", L"sample secret"})
        EXPECT_TRUE(search(catalog, absent).empty()) << wstr::toUtf8(absent);

    ASSERT_TRUE(manager_->sendMessage(editor->pluginId(), PluginMsg::kindExecute,
                                      PluginMsg::Data::execution(editor, nullptr)));
    EXPECT_TRUE(qvtest::waitFor([&] { return std::filesystem::exists(marker); }));
}

} // namespace
