// Starts the built program as a user would.

#include <boost/python.hpp>

#include "catalog/Catalog.h"
#include "catalog/CatalogResults.h"
#include "python/GilLock.h"
#include "tests/app/EndToEnd.h"
#include "tests/app/PythonForTests.h"

#include <gtest/gtest.h>

namespace bp = boost::python;

using namespace qvtest::e2e;

namespace {

// An archived package of one plugin in the build tree's default Packages
// folder, removed again when the test ends. Its plugin hands in one item.
class SamplePackage {
public:
    explicit SamplePackage(const std::string& name)
        : path_(fs::path(QV_BUILD_DIR) / "default" / "Packages" / (name + ".quorvalent-package")) {
        qvtest::ensurePython();
        GilLock gil;
        bp::dict names;
        names["path"] = path_.string();
        bp::exec(R"(import zipfile
with zipfile.ZipFile(path, 'w') as archive:
    archive.writestr('sample.py', """import quorvalent
import quorvalent_api as api
class Sample(quorvalent.Plugin):
    def on_catalog(self):
        self.set_catalog([api.CatalogItem(self, 30, 'Sample item', '', 'sample', 0, False, 0,
                                          0, '')])
""")
)",
                 names);
    }
    ~SamplePackage() {
        std::error_code error;
        fs::remove(path_, error);
    }
    SamplePackage(const SamplePackage&) = delete;
    SamplePackage& operator=(const SamplePackage&) = delete;

private:
    fs::path path_;
};

} // namespace

TEST(EndToEnd, OneInstanceStartsRefusesASecondAndEndsOnRequest) {
    UserTree user;

    Program first({}, user.env, user.output);
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(waitForText(user.log, "Init done in "))
        << readText(user.output) << readText(user.log);
    const std::string text = readText(user.log);
    for (const std::string& line :
         {std::string("] Quorvalent 2.24 ("), std::string(") for x64\r\n"),
          std::string("] System: Linux"), std::string("] Installed mode\r\n"),
          std::string("] Monitor #1: Name["),
          std::string("] Official packages: " QV_BUILD_DIR "/default/Packages\r\n"),
          "] Profile dir: " + (user.config / "Quorvalent").string() + "\r\n",
          "] Local dir: " + (user.state / "Quorvalent").string() + "\r\n",
          std::string("%) for the Python interpreter.\r\n")})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;

    // A changed configuration file is noticed and applied while it runs.
    fs::create_directories(user.config / "Quorvalent/User");
    std::ofstream(user.config / "Quorvalent/User/Quorvalent.ini") << "[gui]\nmax_results = 20\n";
    EXPECT_TRUE(waitForText(user.log, "] Application configuration has changed\r\n"))
        << readText(user.log);

    Program second({}, user.env, user.output);
    EXPECT_EQ(second.exitCode(), std::optional<int>(2)) << readText(user.output);

    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(first.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_NE(readText(user.log).find("] Shutting down with code 0.\r\n"), std::string::npos)
        << readText(user.log);
}

// The program loads a package of its default Packages folder, and the item
// its plugin hands in reaches the catalog cache, written 5 s after the change.
TEST(EndToEnd, APackageOfTheDefaultFolderLoadsAndItsItemIsCached) {
    UserTree user;
    const std::string name = "Sample" + std::to_string(getpid());
    SamplePackage sample(name);
    const fs::path cache = user.localFile(".catalog");

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForText(user.log, "] Plugin loaded: " + name + ".Sample (instance #1)\r\n"))
        << readText(user.output) << readText(user.log);
    const auto loaded = steady_clock::now();
    ASSERT_TRUE(waitFor([&] { return fs::exists(cache); })) << readText(user.log);
    EXPECT_GE(steady_clock::now() - loaded, milliseconds(4500));

    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);
    Catalog catalog;
    ASSERT_TRUE(catalog.loadCatalogFile(wstr::fromUtf8(cache.c_str())));
    auto results = std::make_shared<CatalogResults>();
    catalog.search(results, L"sample item", nullptr);
    ASSERT_FALSE(results->list().empty());
    EXPECT_EQ(results->list().front()->item()->label(), L"Sample item");
}
