#include "platform/win32/win32_file_system.h"

#include <windows.h>

#include "platform/win32/text.h"
#include "platform/win32/win32_failure.h"

namespace vq::win32 {

std::wstring ProgramFilePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) ThrowLastError("GetModuleFileNameW");
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // truncated: ask again with room to spare
  }
}

std::string Win32FileSystem::ProgramFolder() {
  const std::wstring path = ProgramFilePath();
  return Narrow(path.substr(0, path.find_last_of(L"\\/")));
}

std::int64_t Win32FileSystem::LastModified(const std::string& path) {
  if (path.empty()) throw Failure("Bad file name or number");
  // A path ending in a separator names a folder's contents, not a file.
  if (path.back() == '\\' || path.back() == '/') throw Failure("Bad file name or number");
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) {
    ThrowLastError("GetFileAttributesExW");
  }
  return static_cast<std::int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
}

}  // namespace vq::win32
