#include "platform/win32/win32_shell.h"

#include <knownfolders.h>
#include <shlobj.h>

#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"

namespace vq::win32 {

std::string Win32Shell::SpecialFolderPath(int csidl) {
  UniqueIdList folder;
  if (FAILED(::SHGetSpecialFolderLocation(owner_, csidl, folder.put())) || !folder) return "";
  wchar_t path[MAX_PATH] = {};
  if (!::SHGetPathFromIDListW(folder.get(), path)) return "";
  return Narrow(path);
}

std::optional<std::string> Win32Shell::UserName() {
  // A buffer of 512 characters, offered as 511, as the program has always asked.
  wchar_t name[512] = {};
  DWORD size = 511;
  if (!::GetUserNameW(name, &size)) return std::nullopt;
  return Narrow(name);
}

std::string Win32Shell::LocalAppDataFolder() {
  wchar_t* path = nullptr;
  const HRESULT result = ::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &path);
  std::string folder = SUCCEEDED(result) && path ? Narrow(path) : "";
  ::CoTaskMemFree(path);
  return folder;
}

std::string Win32Shell::ExpandEnvironment(const std::string& text) {
  const std::wstring wide = Widen(text);
  std::wstring expanded(wide.size() + 64, L'\0');
  for (;;) {
    const DWORD size = ::ExpandEnvironmentStringsW(wide.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (size == 0) return text;  // nothing it could do: the text as it is
    if (size <= expanded.size()) {
      expanded.resize(size - 1);
      return Narrow(expanded);
    }
    expanded.resize(size);
  }
}

}  // namespace vq::win32
