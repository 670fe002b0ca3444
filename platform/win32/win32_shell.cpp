#include "platform/win32/win32_shell.h"

#define SECURITY_WIN32
#include <knownfolders.h>
#include <secext.h>
#include <shlobj.h>

#include <iterator>

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

std::string Win32Shell::AccountName() {
  wchar_t name[512] = {};
  ULONG size = 512;
  if (!::GetUserNameExW(NameSamCompatible, name, &size)) return "";
  return Narrow(name);
}

// Read with GetPath from the file as stored: Resolve may search the disk for
// a moved target, or write the shortcut back.
std::string Win32Shell::ShortcutTarget(const std::string& path) {
  ComPtr<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.put())))) {
    return "";
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put()))) ||
      FAILED(file.get()->Load(Widen(path).c_str(), STGM_READ))) {
    return "";
  }
  wchar_t target[MAX_PATH * 4] = {};
  if (link.get()->GetPath(target, static_cast<int>(std::size(target)), nullptr, 0) != S_OK) return "";
  return Narrow(target);
}

}  // namespace vq::win32
