#pragma once

#include <windows.h>

#include <string>

#include "platform/failure.h"

namespace vq::win32 {

// The system's own text for a Win32 error code, without its line break.
std::string SystemMessage(DWORD code);

// A failed Win32 call, described as "<system text> (<call>)".
Failure Win32Failure(const char* call, DWORD code);
[[noreturn]] void ThrowLastError(const char* call);
// Throws when a registry-style call returned anything but ERROR_SUCCESS.
void ThrowIfFailed(const char* call, LSTATUS status);
// Throws when a COM call failed.
void ThrowIfFailedHr(const char* call, HRESULT result);

}  // namespace vq::win32
