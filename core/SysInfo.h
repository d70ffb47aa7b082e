#pragma once

#include <cstdint>
#include <string>

#include "core/Wstr.h"

// What the program knows of its machine: its executable, the computer and
// user names (which name the per-computer and per-user files), a one-line
// system description for the log banner and texts of error numbers. Every
// function may be called from any thread.
namespace Sys {

// The full path of the module that holds `address` (a function or object of
// a loaded library), or of the executable for null. Throws
// std::runtime_error "GetModuleFileName() failed (error {})".
wstr moduleFilePath(const void* address = nullptr);

// The host name. Throws std::runtime_error "Failed to get computer NetBIOS
// name (error {})".
wstr computerName();

// The login name of the process's user. Throws std::runtime_error "Failed
// to get user name (error {})".
wstr userName();

// "Linux-<architecture> <kernel release>" ("Linux-x64 6.1.0-18-amd64");
// "Linux?" when the kernel cannot be asked.
wstr windowsVersionString();

// The text of an error number (platform/Error.h), with " (error {})" when
// appendCode is set; "Windows Error #{}" for a number without a text.
wstr windowsErrorText(uint32_t code, bool appendCode);

// Never returns: throws std::runtime_error "{} (HRESULT {:#08X})" of the
// message ("Runtime error" when empty) and the code.
[[noreturn]] void throwHresultError(int32_t hresult, const std::string& message);

// The HRESULT that carries an error number (0 stays 0).
constexpr int32_t hresultFromError(uint32_t error) {
    return error == 0 ? 0 : static_cast<int32_t>(0x80070000u | (error & 0xFFFFu));
}

} // namespace Sys
