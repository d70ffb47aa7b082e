#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>

// The program's error vocabulary: the Windows error numbers that its messages
// and its logic compare with. Linux calls report errno, which is mapped onto
// these numbers and kept as the calling thread's last error.
namespace Platform {

constexpr uint32_t ERROR_SUCCESS = 0;
constexpr uint32_t ERROR_INVALID_FUNCTION = 1;
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr uint32_t ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr uint32_t ERROR_ACCESS_DENIED = 5;
constexpr uint32_t ERROR_INVALID_HANDLE = 6;
constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t ERROR_INVALID_DATA = 13;
constexpr uint32_t ERROR_NOT_SAME_DEVICE = 17;
constexpr uint32_t ERROR_NO_MORE_FILES = 18;
constexpr uint32_t ERROR_WRITE_PROTECT = 19;
constexpr uint32_t ERROR_SEEK = 25;
constexpr uint32_t ERROR_SHARING_VIOLATION = 32;
constexpr uint32_t ERROR_HANDLE_EOF = 38;
constexpr uint32_t ERROR_NOT_SUPPORTED = 50;
constexpr uint32_t ERROR_DEV_NOT_EXIST = 55;
constexpr uint32_t ERROR_FILE_EXISTS = 80;
constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr uint32_t ERROR_BROKEN_PIPE = 109;
constexpr uint32_t ERROR_BUFFER_OVERFLOW = 111;
constexpr uint32_t ERROR_DISK_FULL = 112;
constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr uint32_t ERROR_INVALID_NAME = 123;
constexpr uint32_t ERROR_DIR_NOT_EMPTY = 145;
constexpr uint32_t ERROR_BUSY = 170;
constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
constexpr uint32_t ERROR_BAD_EXE_FORMAT = 193;
constexpr uint32_t ERROR_FILENAME_EXCED_RANGE = 206;
constexpr uint32_t ERROR_FILE_TOO_LARGE = 223;
constexpr uint32_t ERROR_DIRECTORY = 267;
constexpr uint32_t ERROR_NOT_OWNER = 288;
constexpr uint32_t ERROR_TOO_MANY_POSTS = 298;
constexpr uint32_t ERROR_ARITHMETIC_OVERFLOW = 534;
constexpr uint32_t ERROR_OPERATION_ABORTED = 995;
constexpr uint32_t ERROR_NOACCESS = 998;
constexpr uint32_t ERROR_NO_UNICODE_TRANSLATION = 1113;
// No program opens the document, folder or address (the desktop's opener,
// xdg-open, is missing).
constexpr uint32_t ERROR_NO_ASSOCIATION = 1155;
constexpr uint32_t ERROR_IO_DEVICE = 1117;
constexpr uint32_t ERROR_POSSIBLE_DEADLOCK = 1131;
constexpr uint32_t ERROR_NOT_FOUND = 1168;
constexpr uint32_t ERROR_NO_SYSTEM_RESOURCES = 1450;
constexpr uint32_t ERROR_TIMEOUT = 1460;
constexpr uint32_t ERROR_CANT_RESOLVE_FILENAME = 1921;

// errno values without a Windows counterpart keep their number behind the
// bit that Windows reserves for application-defined codes.
constexpr uint32_t ERRNO_CODE_BIT = 0x20000000;

// Results of the wait functions (platform/EventFd.h) and the infinite time-out.
constexpr uint32_t WAIT_OBJECT_0 = 0;
constexpr uint32_t WAIT_TIMEOUT = 258;
constexpr uint32_t WAIT_FAILED = 0xFFFFFFFF;
constexpr uint32_t INFINITE = 0xFFFFFFFF;

// The error number that stands for an errno value.
uint32_t errorFromErrno(int err);

// The calling thread's last error. Any thread; each thread has its own.
uint32_t lastError();
void setLastError(uint32_t code);
// Stores errorFromErrno(err) as the last error and returns it. Any thread.
uint32_t setLastErrorFromErrno(int err = errno);

// The category of these numbers: std::error_code values built with it print
// the system's text for the number.
const std::error_category& errorCategory();
// The system's English text for an error number, one sentence without a line
// break ("The system cannot find the file specified."); numbers it does not
// know read "Unknown error {}".
std::string errorMessage(uint32_t code);

} // namespace Platform
