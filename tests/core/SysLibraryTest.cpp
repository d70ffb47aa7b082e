#include "core/SysLibrary.h"

#include <cstring>
#include <gtest/gtest.h>

#include "platform/Error.h"

namespace {

TEST(SysLibrary, CachedLibrariesAndFunctions) {
    void* first = Sys::loadCachedLibrary(L" libm.so.6 ");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Sys::loadCachedLibrary(L"libm.so.6", Sys::LibraryPlain), first);
    auto cosine = reinterpret_cast<double (*)(double)>(Sys::getProcAddress(L"libm.so.6", "cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_EQ(cosine(0.0), 1.0);

    EXPECT_EQ(Sys::getProcAddress(L"libm.so.6", "no_such_function"), nullptr);
    EXPECT_EQ(Platform::lastError(), Sys::ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(Sys::getProcAddress(L"libqv-missing.so", "f"), nullptr);
    EXPECT_EQ(Platform::lastError(), Sys::ERROR_MOD_NOT_FOUND);
    // A failure is not cached: the next attempt asks the loader again.
    EXPECT_EQ(Sys::loadCachedLibrary(L"libqv-missing.so"), nullptr);
}

TEST(SysLibrary, LoadingForDataIsNotSupported) {
    Platform::DynLib data = Sys::loadLibrary(L"libm.so.6", 0x32);
    EXPECT_FALSE(data);
    EXPECT_EQ(Platform::lastError(), Platform::ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Sys::loadCachedLibrary(L"libz.so.1", Sys::LibraryAsData), nullptr);

    Platform::DynLib code = Sys::loadLibrary(L"libm.so.6");
    ASSERT_TRUE(code);
    EXPECT_NE(code.symbol("sin"), nullptr);
}

} // namespace
