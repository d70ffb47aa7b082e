#include "files/DataFs.h"

#include <gtest/gtest.h>

namespace {

TEST(PackageName, Validity) {
    struct Case {
        const wchar_t* name;
        bool valid;
    } cases[] = {
        {L"ab", false},        {L"abc", true},         {L"my-pack", true},
        {L"a+b", true},        {L"x(1)y", true},       {L"c#net", true},
        {L"pythonic", true},   {L"a[b]c", true},       {L"my--pack", false},
        {L"my-_pack", false},  {L"-pack", false},      {L"pack-", false},
        {L"x(1)", false},      {L"my.pack", false},    {L"my pack", false},
        {L"caf\u00e9s", true}, {L"PYTHON", false},     {L"User", false},
        {L"Internal", false},  {L"Quorvalent", false}, {L"myQUORVALENTpack", false},
        {L"var", false},       {L"vars", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DataFs::isValidPackageName(c.name), c.valid) << wstr::toUtf8(c.name);
    EXPECT_TRUE(DataFs::isValidPackageName(wstr(50, L'a')));
    EXPECT_FALSE(DataFs::isValidPackageName(wstr(51, L'a')));
}

TEST(PackageName, FromArchiveFileName) {
    struct Case {
        const wchar_t* path;
        const wchar_t* name;
    } cases[] = {
        {L"/x/Foo.QUORVALENT-PACKAGE", L"Foo"},
        {L"Foo.quorvalent-package", L"Foo"},
        {L"Foo.zip", L""},
        {L".quorvalent-package", L""},
        {L"x.quorvalent-package", L""},
        {L"user.quorvalent-package", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DataFs::packageNameFromFile(c.path), wstr(c.name)) << wstr::toUtf8(c.path);
}

} // namespace
