#include <boost/python.hpp>

#include "python/GilLock.h"
#include "python/PythonIni.h"
#include "tests/core/ScopedEnv.h"
#include "tests/python/PythonTestSupport.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

namespace {

std::string utf8(const wstr& text) {
    return wstr::toUtf8(text);
}
wstr wide(const std::string& text) {
    return wstr::fromUtf8(text.c_str());
}

std::vector<std::string> utf8(const std::vector<wstr>& texts) {
    std::vector<std::string> result;
    for (const wstr& text : texts)
        result.push_back(utf8(text));
    return result;
}

class PythonIniTest : public ::testing::Test {
protected:
    wstr file(const std::string& name, const std::string& content) {
        return wide(dir_.write(name, content).string());
    }

    std::shared_ptr<PythonIni> load(const std::vector<wstr>& files,
                                    const std::map<wstr, wstr>& variables = {}) {
        return PythonIni::loadFile(files, variables);
    }

    std::string get(const PythonIni& ini, const char* section, const char* option) {
        GilLock gil;
        return utf8(ini.get(wide(section), wide(option)));
    }

    std::vector<std::string> warnings() const { return qvtest::messages(log_, Logger::Warning); }

    qvtest::TempDir dir_;
    qvtest::LogRecords log_;
};

TEST_F(PythonIniTest, NoFilesGiveTheEnvironmentAndTheVariables) {
    auto ini = load({});
    GilLock gil;
    EXPECT_THAT(utf8(ini->sections()), ElementsAre("env", "var"));
}

TEST_F(PythonIniTest, DollarsOfVariablesAndEnvironmentReadBackLiterally) {
    auto env = std::make_unique<qvtest::ScopedEnv>();
    env->set("QV_TEST_DOLLAR", "cost $5 ${x} $");
    auto ini = load({file("a.ini", "[s]\nprice = ${var:price}\nenv = ${env:qv_test_dollar}\n")},
                    {{L"price", L"$ 3"}});
    env.reset();
    EXPECT_EQ(get(*ini, "var", "price"), "$ 3");
    EXPECT_EQ(get(*ini, "env", "qv_test_dollar"), "cost $5 ${x} $");
    EXPECT_EQ(get(*ini, "s", "price"), "$ 3");
    EXPECT_EQ(get(*ini, "s", "env"), "cost $5 ${x} $");
    EXPECT_THAT(warnings(), IsEmpty());
}

TEST_F(PythonIniTest, EnvironmentReferenceInterpolates) {
    auto ini = load({file("a.ini", "[s]\npath = ${env:PATH}\n")});
    EXPECT_EQ(get(*ini, "s", "path"), std::getenv("PATH"));
}

TEST_F(PythonIniTest, NamesDifferingOnlyInCaseAreOneOption) {
    auto ini = load({});
    GilLock gil;
    ini->readDict(L"env", {{L"Qv_Case", L"first"}, {L"qv_case", L"second"}});
    EXPECT_EQ(utf8(ini->get(L"env", L"QV_CASE")), "second");
}

TEST_F(PythonIniTest, Syntax) {
    auto ini = load({file("a.ini", "[s]\n"
                                   "value = a # stays\n"
                                   "; semicolon = option\n"
                                   "# comment = no\n"
                                   "colon: key = b\n"
                                   "multi = one\n"
                                   "  two\n")});
    GilLock gil;
    EXPECT_THAT(utf8(ini->options(L"s")),
                ElementsAre("value", "; semicolon", "colon: key", "multi"));
    EXPECT_EQ(utf8(ini->get(L"s", L"value")), "a # stays");
    EXPECT_EQ(utf8(ini->get(L"s", L"; semicolon")), "option");
    EXPECT_EQ(utf8(ini->get(L"s", L"multi")), "one\ntwo");
    EXPECT_TRUE(ini->hasOption(L"s", L"colon: key"));
    EXPECT_FALSE(ini->hasOption(L"s", L"# comment"));
    EXPECT_TRUE(ini->hasSection(L"s"));
    EXPECT_FALSE(ini->hasSection(L""));
}

TEST_F(PythonIniTest, LaterFilesWinAndAFailingFileChangesNothing) {
    auto ini = load({file("one.ini", "[s]\na = 1\nb = 1\n"),
                     file("two.ini", "[s]\nb = 2\nc = 2\nb = 3\n[t]\nx = 1\n"),
                     file("three.ini", "[s]\na = 3\n")});
    EXPECT_EQ(get(*ini, "s", "a"), "3");
    EXPECT_EQ(get(*ini, "s", "b"), "1");
    GilLock gil;
    EXPECT_FALSE(ini->hasOption(L"s", L"c"));
    EXPECT_FALSE(ini->hasSection(L"t"));
    std::vector<std::string> found = warnings();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_THAT(found[0], StartsWith("Error while parsing config file " + dir_.str() +
                                     "/two.ini: configparser.DuplicateOptionError: "));
}

TEST_F(PythonIniTest, UnusableFilesAreSkipped) {
    const std::string folder = dir_.str() + "/folder.ini";
    std::filesystem::create_directory(folder);
    auto ini = load({wide(dir_.str() + "/missing.ini"), wide(folder),
                     file("bad.ini", std::string("\xEF\xBB\xBF[s]\nv = \xFF\n")),
                     file("good.ini", "[s]\nv = fine\n")});
    EXPECT_EQ(get(*ini, "s", "v"), "fine");
    std::vector<std::string> found = warnings();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0], "Specified config file is not a file: " + folder);
    EXPECT_THAT(found[1],
                StartsWith("Error while reading config file " + dir_.str() + "/bad.ini: "));
}

} // namespace
