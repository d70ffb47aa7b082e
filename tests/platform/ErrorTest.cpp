#include "platform/Error.h"

#include <gtest/gtest.h>
#include <thread>

using namespace Platform;

TEST(Error, ErrnoMapsOntoTheProgramsNumbers) {
    struct Row {
        int err;
        uint32_t code;
    } rows[] = {
        {0, ERROR_SUCCESS},
        {ENOENT, ERROR_FILE_NOT_FOUND},
        {ENOTDIR, ERROR_PATH_NOT_FOUND},
        {EACCES, ERROR_ACCESS_DENIED},
        {EPERM, ERROR_ACCESS_DENIED},
        {EINVAL, ERROR_INVALID_PARAMETER},
        {EEXIST, ERROR_ALREADY_EXISTS},
        {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
        {ECANCELED, ERROR_OPERATION_ABORTED},
        {ETIMEDOUT, ERROR_TIMEOUT},
        {ENOSPC, ERROR_DISK_FULL},
    };
    for (const auto& row : rows)
        EXPECT_EQ(errorFromErrno(row.err), row.code) << "errno " << row.err;
}

TEST(Error, UnmappedErrnoKeepsItsNumberAndText) {
    const uint32_t code = errorFromErrno(EHOSTUNREACH);
    EXPECT_EQ(code, ERRNO_CODE_BIT | EHOSTUNREACH);
    EXPECT_EQ(errorMessage(code), "No route to host.");
    EXPECT_EQ(errorMessage(0x7777), "Unknown error 30583");
}

TEST(Error, LastErrorBelongsToTheThread) {
    EXPECT_EQ(setLastErrorFromErrno(ENOENT), ERROR_FILE_NOT_FOUND);
    uint32_t seenByOther = 1;
    std::thread other([&] {
        seenByOther = lastError();
        setLastError(ERROR_ACCESS_DENIED);
    });
    other.join();
    EXPECT_EQ(seenByOther, ERROR_SUCCESS);
    EXPECT_EQ(lastError(), ERROR_FILE_NOT_FOUND);
}

TEST(Error, SystemErrorsPrintTheSystemText) {
    std::system_error error(ERROR_ACCESS_DENIED, errorCategory(), "Failed to lock mutex");
    EXPECT_STREQ(error.what(), "Failed to lock mutex: Access is denied.");
    EXPECT_EQ(error.code().value(), 5);
}
