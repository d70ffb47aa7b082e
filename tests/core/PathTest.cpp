#include "core/Path.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
    const wchar_t* input;
    const wchar_t* expected;
};

// Prints rows by their input so a failing row names itself.
std::string rowName(const wchar_t* input) {
    return wstr::toUtf8(input, -1);
}

TEST(PathTest, RootIsTheSlashOfAnAbsolutePath) {
    struct Row {
        const wchar_t* input;
        const wchar_t* root;
        int64_t rest;
    };
    const Row rows[] = {
        {L"", L"", -1},   {L"a", L"", 0},    {L"/", L"/", -1}, {L"///", L"/", -1},
        {L"/a", L"/", 1}, {L"//x", L"/", 2}, {L"c:x", L"", 0}, {L"\\\\srv\\x", L"", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(rowName(row.input));
        int64_t rest = -7;
        EXPECT_EQ(Path::root(row.input, &rest), row.root);
        EXPECT_EQ(rest, row.rest);
    }
    EXPECT_EQ(Path::root(L"/a"), L"/");
}

TEST(PathTest, OnlyASlashRootsAPath) {
    EXPECT_TRUE(Path::isRooted(L"/a"));
    EXPECT_TRUE(Path::isRooted(L"//"));
    EXPECT_FALSE(Path::isRooted(L""));
    EXPECT_FALSE(Path::isRooted(L"a/b"));
    EXPECT_FALSE(Path::isRooted(L"\\a"));
    EXPECT_FALSE(Path::isRooted(L"c:/a"));
    EXPECT_EQ(Path::driveLetter(L"c:/a"), 0);
}

TEST(PathTest, CanonicalizeFoldsDotsWithoutClimbingAboveTheRoot) {
    const PathCase rows[] = {
        {L"", L""},
        {L"/", L"/"},
        {L"///", L"/"},
        {L"/a/./b/../c", L"/a/c"},
        {L"a/../../b", L"b"},
        {L"/../a", L"/a"},
        {L"/a/b/../../..", L"/"},
        {L"//x", L"/x"},
        {L"///a//b/", L"/a/b"},
        {L".", L""},
        {L"./a/", L"a"},
        {L"a/.../b", L"a/.../b"},
        {L"a\\b/../c", L"c"},
        {L"C:/a/./b", L"C:/a/b"},
    };
    for (const PathCase& row : rows) {
        SCOPED_TRACE(rowName(row.input));
        EXPECT_EQ(Path::canonicalize(row.input), row.expected);
    }
}

TEST(PathTest, JoinPutsOneSlashAtTheSeamUnlessOneIsThere) {
    struct Row {
        const wchar_t* first;
        const wchar_t* second;
        const wchar_t* expected;
    };
    const Row rows[] = {
        {L"/a", L"b", L"/a/b"},   {L"/a/", L"b", L"/a/b"}, {L"", L"b", L"b"},
        {L"a", L"", L"a"},        {L"a", L"/b", L"a/b"},   {L"a/", L"/b", L"a//b"},
        {L"a\\", L"b", L"a\\/b"}, {L"/", L"etc", L"/etc"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(rowName(row.first) + " + " + rowName(row.second));
        wstr first(row.first);
        EXPECT_EQ(&Path::join(first, row.second), &first);
        EXPECT_EQ(first, row.expected);
        EXPECT_EQ(Path::combine(row.first, row.second), row.expected);
        EXPECT_EQ(joinPath(wstr(row.first), row.second), row.expected);
    }
}

TEST(PathTest, ParentIgnoresTrailingSlashesAndStopsAtTheRoot) {
    const PathCase rows[] = {
        {L"", L"."},      {L"file", L"."},         {L"/", L"/"},
        {L"///", L"/"},   {L"/dir/file", L"/dir"}, {L"/dir", L"/"},
        {L"/dir/", L"/"}, {L"a/b/", L"a"},         {L"a//b", L"a"},
        {L"a//b/", L"a"}, {L"//x", L"/"},          {L"a/", L"."},
        {L"a\\b", L"."},  {L"/a/./b", L"/a/."},
    };
    for (const PathCase& row : rows) {
        SCOPED_TRACE(rowName(row.input));
        EXPECT_EQ(Path::parent(row.input), row.expected);
    }
}

TEST(PathTest, FileNameIsTheLastComponent) {
    const PathCase rows[] = {
        {L"", L""},          {L"b", L"b"}, {L"a/b", L"b"}, {L"/dir/", L"dir"},
        {L"/dir//", L"dir"}, {L"/", L"/"}, {L"//", L"//"}, {L"a\\b", L"a\\b"},
    };
    for (const PathCase& row : rows) {
        SCOPED_TRACE(rowName(row.input));
        EXPECT_EQ(Path::fileName(row.input), row.expected);
    }
}

TEST(PathTest, StemEndsAtTheFirstDotAfterLeadingDots) {
    const PathCase rows[] = {
        {L"a.b.c", L"a"},        {L".profile", L".profile"}, {L"/x/..a.b", L"..a"},
        {L"/x.y/file", L"file"}, {L"noext", L"noext"},       {L"/d/a.b/", L"a"},
    };
    for (const PathCase& row : rows) {
        SCOPED_TRACE(rowName(row.input));
        EXPECT_EQ(Path::stem(row.input), row.expected);
    }
}

TEST(PathTest, ExtensionAfterTheLastOrTheFirstDot) {
    struct Row {
        const wchar_t* input;
        const wchar_t* last;
        const wchar_t* multiPart;
    };
    const Row rows[] = {
        {L"archive.tar.gz", L"gz", L"tar.gz"},
        {L"/d/archive.tar.gz", L"gz", L"tar.gz"},
        {L".hidden", L"", L""},
        {L"..a.b", L"b", L"b"},
        {L"a.b.", L"", L"b."},
        {L"a.", L"", L""},
        {L".", L"", L""},
        {L"..", L"", L""},
        {L"", L"", L""},
        {L"dir.d/", L"", L""},
        {L"/x.d/file", L"", L""},
        {L"x\\y.z", L"z", L"z"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(rowName(row.input));
        EXPECT_EQ(Path::extension(row.input), row.last);
        EXPECT_EQ(Path::extension(row.input, true), row.multiPart);
    }
}

TEST(PathTest, ReplaceExtensionFromTheFirstDot) {
    struct Row {
        const wchar_t* input;
        const wchar_t* extension;
        const wchar_t* expected;
    };
    const Row rows[] = {
        {L"a.txt", L"md", L"a.md"},
        {L"/d/a.tar.gz", L"zip", L"/d/a.zip"},
        {L"a.txt", L"", L"a"},
        {L"a", L"md", L"a.md"},
        {L"a", L"", L"a"},
        {L"a.", L"md", L"a.md"},
        {L".profile.bak", L"txt", L".profile.bak.txt"},
        {L"/d.x/f", L"y", L"/d.x/f.y"},
        {L"dir/", L"txt", L"dir/"},
        {L"", L"txt", L""},
        {L".", L"txt", L"."},
        {L"..", L"txt", L".."},
        {L"/d/..", L"txt", L"/d/.."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(rowName(row.input) + " -> " + rowName(row.extension));
        wstr path(row.input);
        EXPECT_EQ(&Path::replaceExtension(path, row.extension), &path);
        EXPECT_EQ(path, row.expected);
    }
}

TEST(PathTest, HasExtensionComparesWithoutCase) {
    EXPECT_TRUE(Path::hasExtension(L"NAME.INI", L"ini"));
    EXPECT_TRUE(Path::hasExtension(L"/d/a.tar.gz", L"tar.gz"));
    EXPECT_TRUE(Path::hasExtension(L"datei.\u00c4B", L"\u00e4b"));
    EXPECT_FALSE(Path::hasExtension(L".ini", L"ini"));
    EXPECT_FALSE(Path::hasExtension(L"aini", L"ini"));
    EXPECT_FALSE(Path::hasExtension(L"a.ini", L"txt"));
    EXPECT_FALSE(Path::hasExtension(L"a.inix", L"ini"));
}

} // namespace
