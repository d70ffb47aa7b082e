#include "platform/Error.h"

#include <cstring>
#include <unordered_map>

namespace Platform {
namespace {

thread_local uint32_t threadLastError = ERROR_SUCCESS;

const std::unordered_map<int, uint32_t>& errnoTable() {
    static const std::unordered_map<int, uint32_t> table = {
        {0, ERROR_SUCCESS},
        {EPERM, ERROR_ACCESS_DENIED},
        {ENOENT, ERROR_FILE_NOT_FOUND},
        {EINTR, ERROR_OPERATION_ABORTED},
        {EIO, ERROR_IO_DEVICE},
        {ENXIO, ERROR_DEV_NOT_EXIST},
        {ENOEXEC, ERROR_BAD_EXE_FORMAT},
        {EBADF, ERROR_INVALID_HANDLE},
        {EAGAIN, ERROR_NO_SYSTEM_RESOURCES},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
        {EACCES, ERROR_ACCESS_DENIED},
        {EFAULT, ERROR_NOACCESS},
        {EBUSY, ERROR_BUSY},
        {EEXIST, ERROR_ALREADY_EXISTS},
        {EXDEV, ERROR_NOT_SAME_DEVICE},
        {ENODEV, ERROR_DEV_NOT_EXIST},
        {ENOTDIR, ERROR_PATH_NOT_FOUND},
        {EISDIR, ERROR_ACCESS_DENIED},
        {EINVAL, ERROR_INVALID_PARAMETER},
        {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
        {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
        {ETXTBSY, ERROR_SHARING_VIOLATION},
        {EFBIG, ERROR_FILE_TOO_LARGE},
        {ENOSPC, ERROR_DISK_FULL},
        {EDQUOT, ERROR_DISK_FULL},
        {ESPIPE, ERROR_SEEK},
        {EROFS, ERROR_WRITE_PROTECT},
        {EPIPE, ERROR_BROKEN_PIPE},
        {EDEADLK, ERROR_POSSIBLE_DEADLOCK},
        {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
        {ENOSYS, ERROR_NOT_SUPPORTED},
        {ENOTSUP, ERROR_NOT_SUPPORTED},
        {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
        {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
        {EOVERFLOW, ERROR_ARITHMETIC_OVERFLOW},
        {EILSEQ, ERROR_NO_UNICODE_TRANSLATION},
        {ETIMEDOUT, ERROR_TIMEOUT},
        {ECANCELED, ERROR_OPERATION_ABORTED},
    };
    return table;
}

const std::unordered_map<uint32_t, const char*>& messageTable() {
    static const std::unordered_map<uint32_t, const char*> table = {
        {ERROR_SUCCESS, "The operation completed successfully."},
        {ERROR_INVALID_FUNCTION, "Incorrect function."},
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
        {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
        {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
        {ERROR_ACCESS_DENIED, "Access is denied."},
        {ERROR_INVALID_HANDLE, "The handle is invalid."},
        {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this "
                                  "command."},
        {ERROR_INVALID_DATA, "The data is invalid."},
        {ERROR_NOT_SAME_DEVICE, "The system cannot move the file to a different disk drive."},
        {ERROR_NO_MORE_FILES, "There are no more files."},
        {ERROR_WRITE_PROTECT, "The media is write protected."},
        {ERROR_SEEK, "The drive cannot locate a specific area or track on the disk."},
        {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used "
                                  "by another process."},
        {ERROR_HANDLE_EOF, "Reached the end of the file."},
        {ERROR_NOT_SUPPORTED, "The request is not supported."},
        {ERROR_DEV_NOT_EXIST, "The specified network resource or device is no longer "
                              "available."},
        {ERROR_FILE_EXISTS, "The file exists."},
        {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
        {ERROR_BROKEN_PIPE, "The pipe has been ended."},
        {ERROR_BUFFER_OVERFLOW, "The file name is too long."},
        {ERROR_DISK_FULL, "There is not enough space on the disk."},
        {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
        {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is "
                             "incorrect."},
        {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
        {ERROR_BUSY, "The requested resource is in use."},
        {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
        {ERROR_BAD_EXE_FORMAT, "The file is not a valid application."},
        {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
        {ERROR_FILE_TOO_LARGE, "The file size exceeds the limit allowed and cannot be saved."},
        {ERROR_DIRECTORY, "The directory name is invalid."},
        {ERROR_NOT_OWNER, "Attempt to release mutex not owned by caller."},
        {ERROR_TOO_MANY_POSTS, "Too many posts were made to a semaphore."},
        {ERROR_ARITHMETIC_OVERFLOW, "Arithmetic result exceeded 32 bits."},
        {ERROR_OPERATION_ABORTED, "The I/O operation has been aborted because of either a "
                                  "thread exit or an application request."},
        {ERROR_NOACCESS, "Invalid access to memory location."},
        {ERROR_NO_UNICODE_TRANSLATION, "No mapping for the Unicode character exists in the "
                                       "target multi-byte code page."},
        {ERROR_NO_ASSOCIATION, "No program to open it was found: install xdg-utils, which "
                               "provides the desktop's opener xdg-open."},
        {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error."},
        {ERROR_POSSIBLE_DEADLOCK, "A potential deadlock condition has been detected."},
        {ERROR_NOT_FOUND, "Element not found."},
        {ERROR_NO_SYSTEM_RESOURCES, "Insufficient system resources exist to complete the "
                                    "requested service."},
        {ERROR_TIMEOUT, "This operation returned because the timeout period expired."},
        {ERROR_CANT_RESOLVE_FILENAME, "The name of the file cannot be resolved by the system."},
    };
    return table;
}

class Category : public std::error_category {
public:
    const char* name() const noexcept override { return "quorvalent"; }
    std::string message(int code) const override {
        return errorMessage(static_cast<uint32_t>(code));
    }
};

} // namespace

uint32_t errorFromErrno(int err) {
    const auto& table = errnoTable();
    auto it = table.find(err);
    if (it != table.end())
        return it->second;
    return ERRNO_CODE_BIT | static_cast<uint32_t>(err);
}

uint32_t lastError() {
    return threadLastError;
}

void setLastError(uint32_t code) {
    threadLastError = code;
}

uint32_t setLastErrorFromErrno(int err) {
    threadLastError = errorFromErrno(err);
    return threadLastError;
}

const std::error_category& errorCategory() {
    static const Category category;
    return category;
}

std::string errorMessage(uint32_t code) {
    const auto& table = messageTable();
    auto it = table.find(code);
    if (it != table.end())
        return it->second;
    const char* errnoText = nullptr;
    if (code & ERRNO_CODE_BIT)
        errnoText = strerrordesc_np(static_cast<int>(code & ~ERRNO_CODE_BIT));
    if (errnoText)
        return std::string(errnoText) + ".";
    return "Unknown error " + std::to_string(code);
}

} // namespace Platform
