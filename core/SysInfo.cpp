#include "core/SysInfo.h"

#include <climits>
#include <dlfcn.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

#include "platform/Error.h"

namespace Sys {
namespace {

[[noreturn]] void throwWithError(const char* message, uint32_t error) {
    throw std::runtime_error(formatNarrow("{} (error {})", message, error));
}

std::string executablePath() {
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            throwWithError("GetModuleFileName() failed", Platform::setLastErrorFromErrno());
        if (size_t(n) < buffer.size())
            return std::string(buffer.data(), size_t(n));
        buffer.resize(buffer.size() + 128);
    }
}

const char* architecture(const std::string& machine) {
    if (machine == "x86_64")
        return "x64";
    if (machine.size() == 4 && machine[0] == 'i' && machine.substr(2) == "86")
        return "x86";
    return nullptr;
}

} // namespace

wstr moduleFilePath(const void* address) {
    if (!address)
        return wstr::fromUtf8(executablePath().c_str());
    Dl_info info;
    if (!dladdr(address, &info) || !info.dli_fname) {
        Platform::setLastError(Platform::ERROR_INVALID_PARAMETER);
        throwWithError("GetModuleFileName() failed", Platform::ERROR_INVALID_PARAMETER);
    }
    return wstr::fromUtf8(info.dli_fname);
}

wstr computerName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        throwWithError("Failed to get computer NetBIOS name", Platform::setLastErrorFromErrno());
    return wstr::fromUtf8(name);
}

wstr userName() {
    struct passwd pw;
    struct passwd* found = nullptr;
    std::vector<char> buffer(1024);
    int rc;
    while ((rc = getpwuid_r(geteuid(), &pw, buffer.data(), buffer.size(), &found)) == ERANGE)
        buffer.resize(buffer.size() * 2);
    if (rc != 0 || !found) {
        uint32_t error = Platform::setLastErrorFromErrno(rc != 0 ? rc : ENOENT);
        throwWithError("Failed to get user name", error);
    }
    return wstr::fromUtf8(found->pw_name);
}

wstr windowsVersionString() {
    struct utsname info;
    if (uname(&info) != 0)
        return L"Linux?";
    const char* arch = architecture(info.machine);
    wstr out;
    if (arch)
        return wstr::format(out, L"Linux-{} {}", arch, info.release);
    return wstr::format(out, L"Linux-{} {}", info.machine, info.release);
}

wstr windowsErrorText(uint32_t code, bool appendCode) {
    std::string text = Platform::errorMessage(code);
    wstr out;
    if (text.rfind("Unknown error", 0) == 0)
        return wstr::format(out, L"Windows Error #{}", code);
    out = wstr::fromUtf8(text.c_str());
    wstr::trimRight(out);
    if (appendCode)
        wstr::format(out, L" (error {})", code);
    return out;
}

void throwHresultError(int32_t hresult, const std::string& message) {
    throw std::runtime_error(formatNarrow("{} (HRESULT {:#08X})",
                                          message.empty() ? "Runtime error" : message.c_str(),
                                          static_cast<uint32_t>(hresult)));
}

} // namespace Sys
