#include "platform/win32/win32_failure.h"

#include <cstdio>

#include "platform/win32/text.h"

namespace vq::win32 {

namespace {
// The system's text for the code, or empty text when it has none.
std::string FormatSystemMessage(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) return "";
  std::wstring text(buffer, length);
  ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
  return Narrow(text);
}
}  // namespace

std::string SystemMessage(DWORD code) {
  std::string text = FormatSystemMessage(code);
  return text.empty() ? "Error " + std::to_string(code) : text;
}

Failure Win32Failure(const char* call, DWORD code) {
  return Failure(SystemMessage(code) + " (" + call + ")");
}

void ThrowLastError(const char* call) { throw Win32Failure(call, ::GetLastError()); }

void ThrowIfFailed(const char* call, LSTATUS status) {
  if (status != ERROR_SUCCESS) throw Win32Failure(call, static_cast<DWORD>(status));
}

void ThrowIfFailedHr(const char* call, HRESULT result) {
  if (SUCCEEDED(result)) return;
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
  // Management errors have no system text: their code is their description.
  std::string text = FormatSystemMessage(static_cast<DWORD>(result));
  text = text.empty() ? std::string("Error ") + code : text + " (" + code + ")";
  throw Failure(text + " (" + call + ")");
}

}  // namespace vq::win32
