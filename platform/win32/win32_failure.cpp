#include "platform/win32/win32_failure.h"

#include "platform/win32/text.h"

namespace vq::win32 {

std::string SystemMessage(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) return "Error " + std::to_string(code);
  std::wstring text(buffer, length);
  ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
  return Narrow(text);
}

Failure Win32Failure(const char* call, DWORD code) {
  return Failure(SystemMessage(code) + " (" + call + ")");
}

void ThrowLastError(const char* call) { throw Win32Failure(call, ::GetLastError()); }

void ThrowIfFailed(const char* call, LSTATUS status) {
  if (status != ERROR_SUCCESS) throw Win32Failure(call, static_cast<DWORD>(status));
}

}  // namespace vq::win32
