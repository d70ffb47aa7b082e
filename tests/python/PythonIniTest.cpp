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

// A file's [env] names stand in for the environment's in references, a later
// file's over an earlier one's; the environment itself stays as it was.
TEST_F(PythonIniTest, AnEnvSectionOfAFileSetsNamesForReferencesOnly) {
    qvtest::ScopedEnv env;
    env.set("QV_TEST_SHADOW", "process");
    env.set("QV_TEST_KEPT", "kept");
    auto ini =
        load({file("a.ini", "[env]\nQV_TEST_SHADOW = first\n"),
              file("b.ini", "[env]\nqv_test_shadow = mine\n[s]\n"
                            "shadow = ${env:QV_TEST_SHADOW}\nkept = ${env:QV_TEST_KEPT}\n")});
    EXPECT_EQ(get(*ini, "s", "shadow"), "mine");
    EXPECT_EQ(get(*ini, "s", "kept"), "kept");
    EXPECT_STREQ(std::getenv("QV_TEST_SHADOW"), "process");
    EXPECT_THAT(warnings(), IsEmpty());
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
    const std::string two = dir_.str() + "/two.ini";
    EXPECT_EQ(found[0], "Error while parsing config file " + two +
                            ": DuplicateOptionError: While reading from '" + two +
                            "' [line  4]: option 'b' in section 's' already exists");
    EXPECT_THAT(qvtest::messages(log_, Logger::Debug),
                ElementsAre(testing::HasSubstr("Traceback")));
}

// Each file's own sections and keys, and which file gave a value: the last
// one that names it. A file that fails to parse names nothing.
TEST_F(PythonIniTest, SourcesOfSectionsAndOptions) {
    const wstr one = file("one.ini", "[s]\nA = 1\nb = 1\n[t]\n");
    const wstr two = file("two.ini", "[s]\nb = 2\n[s]\n");
    const wstr three = file("three.ini", "[DEFAULT]\nd = 0\n[s]\nb = 3\nc = 3\n");
    auto ini = load({one, two, three}, {{L"v", L"1"}});
    using Sections = std::vector<std::pair<wstr, std::vector<wstr>>>;
    ASSERT_EQ(ini->outlines().size(), 2u);
    EXPECT_EQ(ini->outlines()[0].source, one);
    EXPECT_EQ(ini->outlines()[0].sections, (Sections{{L"s", {L"a", L"b"}}, {L"t", {}}}));
    EXPECT_EQ(ini->outlines()[1].source, three);
    EXPECT_EQ(ini->outlines()[1].sections, (Sections{{L"s", {L"b", L"c"}}}));
    EXPECT_EQ(ini->sourceOf(L"s", L"a"), one);
    EXPECT_EQ(ini->sourceOf(L"s", L"B"), three);
    EXPECT_EQ(ini->sourceOf(L"t", L""), one);
    EXPECT_EQ(ini->sourceOf(L"s", L""), three);
    EXPECT_EQ(ini->sourceOf(L"var", L"v"), L"") << "the variables come from no file";
    EXPECT_EQ(ini->sourceOf(L"S", L"a"), L"") << "sections keep their case";
}

// A reference that cannot be resolved is told in words, the option read and
// the one that holds the bad reference both named; other errors stay pending.
TEST_F(PythonIniTest, ReferenceErrorsInWords) {
    auto ini = load({file("refs.ini", "[s]\nmissing = ${nope}\nother = ${t:nope}\n"
                                      "nested = ${missing}\nbare = a$b\nloop = ${loop}x\n[t]\n")});
    struct Row {
        const wchar_t* option;
        std::string problem;
    };
    const Row rows[] = {
        {L"missing", "refers to ${nope}, which does not exist"},
        {L"other", "refers to ${t:nope}, which does not exist"},
        {L"nested", "refers to ${nope} (through \"missing\" in section [s]), which does not exist"},
        {L"bare", "has a reference that cannot be read: '$' must be followed by '$' or '{', found: "
                  "'$b' (write $$ for a literal $)"},
        {L"loop", "has references nested more than 10 deep: does one lead back to itself?"},
    };
    GilLock gil;
    for (const Row& row : rows) {
        SCOPED_TRACE(utf8(row.option));
        qvtest::LogRecords log;
        EXPECT_THROW(ini->get(L"s", row.option), boost::python::error_already_set);
        EXPECT_EQ(utf8(PythonIni::takeReferenceError(L"s", row.option)), row.problem);
        EXPECT_FALSE(PyErr_Occurred());
        EXPECT_THAT(qvtest::messages(log, Logger::Debug),
                    ElementsAre(testing::HasSubstr("configparser.Interpolation")));
    }
    EXPECT_THROW(ini->get(L"s", L"absent"), boost::python::error_already_set);
    EXPECT_EQ(PythonIni::takeReferenceError(L"s", L"absent"), L"");
    EXPECT_TRUE(PyErr_Occurred()) << "not a reference error: left to the caller";
    PyErr_Clear();
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
