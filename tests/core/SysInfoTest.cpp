#include "core/SysInfo.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/utsname.h>
#include <unistd.h>

#include "platform/Error.h"

namespace {

TEST(SysInfo, NamesOfTheMachine) {
    EXPECT_EQ(Sys::moduleFilePath(),
              wstr::fromUtf8(std::filesystem::read_symlink("/proc/self/exe").c_str()));
    wstr libc = Sys::moduleFilePath(reinterpret_cast<const void*>(&getpid));
    EXPECT_NE(libc.find(L"libc"), wstr::npos) << wstr::toUtf8(libc);
    int onTheStack = 0;
    try {
        Sys::moduleFilePath(&onTheStack);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "GetModuleFileName() failed (error 87)");
    }

    char host[256] = {};
    gethostname(host, sizeof host - 1);
    EXPECT_EQ(Sys::computerName(), wstr::fromUtf8(host));
    EXPECT_FALSE(Sys::userName().empty());
}

TEST(SysInfo, VersionStringKeepsItsShape) {
    utsname info;
    ASSERT_EQ(uname(&info), 0);
    wstr version = Sys::windowsVersionString();
    EXPECT_TRUE(version.starts_with(L"Linux-")) << wstr::toUtf8(version);
    EXPECT_TRUE(version.ends_with(L" " + wstr::fromUtf8(info.release))) << wstr::toUtf8(version);
    if (std::string(info.machine) == "x86_64") {
        EXPECT_TRUE(version.starts_with(L"Linux-x64 "));
    }
}

TEST(SysInfo, ErrorTexts) {
    EXPECT_EQ(Sys::windowsErrorText(Platform::ERROR_FILE_NOT_FOUND, false),
              L"The system cannot find the file specified.");
    EXPECT_EQ(Sys::windowsErrorText(Platform::ERROR_ACCESS_DENIED, true),
              L"Access is denied. (error 5)");
    EXPECT_EQ(Sys::windowsErrorText(Platform::errorFromErrno(EHOSTUNREACH), false),
              L"No route to host.");
    EXPECT_EQ(Sys::windowsErrorText(12345, true), L"Windows Error #12345");
}

TEST(SysInfo, ThrowHresultError) {
    struct Case {
        std::string message;
        const char* what;
    };
    for (const auto& c :
         {Case{"Failed to get the folder", "Failed to get the folder (HRESULT 0X80070032)"},
          Case{"", "Runtime error (HRESULT 0X80070032)"}}) {
        try {
            Sys::throwHresultError(Sys::hresultFromError(Platform::ERROR_NOT_SUPPORTED), c.message);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), c.what);
        }
    }
    EXPECT_EQ(Sys::hresultFromError(0), 0);
}

} // namespace
