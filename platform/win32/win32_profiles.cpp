#include "platform/win32/win32_profiles.h"

#include <windows.h>
#include <objbase.h>
#include <sddl.h>

#include <vector>

#include "platform/failure.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_failure.h"

namespace vq::win32 {

namespace {

void FreeLocal(void* memory) { ::LocalFree(memory); }
using UniqueLocal = UniqueHandle<void*, &FreeLocal>;

// The privileges loading a hive below HKEY_USERS takes; an agent running as
// SYSTEM or an administrator holds them, and they are turned on here.
void EnableHivePrivileges() {
  UniqueFileHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return;
  for (const wchar_t* name : {SE_BACKUP_NAME, SE_RESTORE_NAME}) {
    TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    if (::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
      ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
  }
}

// A folder of the program's own for the copy of a hive file and its logs:
// under a name no one can guess, and open to no one but SYSTEM and the
// administrators, so that no user can put logs of their own beside the copy
// of another user's hive (running as SYSTEM, the temporary folder is the
// machine's, where users may make files). Its owner keeps full access.
std::wstring NewCopyFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  if (!::GetTempPathW(MAX_PATH + 1, temp)) ThrowLastError("GetTempPathW");
  GUID unique{};
  if (FAILED(::CoCreateGuid(&unique))) throw Failure("No unique name for the copy of a hive");
  wchar_t name[40] = {};
  ::StringFromGUID2(unique, name, 40);
  const std::wstring folder = std::wstring(temp) + L"VellorinQuade-hive-" + name;
  constexpr wchar_t kSystemAdministratorsOwner[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)";
  void* descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kSystemAdministratorsOwner, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
    ThrowLastError("ConvertStringSecurityDescriptorToSecurityDescriptorW");
  }
  const UniqueLocal owned(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  if (!::CreateDirectoryW(folder.c_str(), &attributes)) ThrowLastError("CreateDirectoryW");
  return folder;
}

class Win32LoadedHive final : public LoadedHive {
 public:
  Win32LoadedHive(Win32Registry& registry, std::u16string name, std::wstring folder)
      : registry_(registry), name_(std::move(name)), folder_(std::move(folder)) {}
  ~Win32LoadedHive() override {
    if (mounted_) {
      registry_.Unmount(name_);  // closing the application hive's key unloads it
    } else if (loaded_) {
      ::RegUnLoadKeyW(HKEY_USERS, Wide().c_str());
    }
    // The copy, its logs, and whatever loading it made beside them.
    // The system may let go of an unloaded hive's file a moment later: tried
    // again for up to two seconds.
    for (int attempt = 0; attempt < 20 && !RemoveCopies(); ++attempt) ::Sleep(100);
  }
  Win32LoadedHive(const Win32LoadedHive&) = delete;
  Win32LoadedHive& operator=(const Win32LoadedHive&) = delete;

  const std::u16string& Name() const override { return name_; }
  // Deletes the copy, its logs and whatever loading made beside them, then the folder.
  bool RemoveCopies() const {
    {
      WIN32_FIND_DATAW found{};
      const UniqueFindHandle find(::FindFirstFileW((folder_ + L"\\*").c_str(), &found));
      for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.get(), &found)) {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        ::DeleteFileW((folder_ + L"\\" + found.cFileName).c_str());
      }
    }  // the folder is no longer being listed
    return ::RemoveDirectoryW(folder_.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND ||
           ::GetLastError() == ERROR_PATH_NOT_FOUND;
  }
  std::wstring Wide() const { return std::wstring(name_.begin(), name_.end()); }
  std::wstring Copy() const { return folder_ + L"\\NTUSER.DAT"; }

  // An application hive, where the system gives a usable one (Wine hands out
  // a key that names nothing: it is tried before it is trusted).
  bool LoadAsApplicationHive() {
    UniqueHkey key;
    if (::RegLoadAppKeyW(Copy().c_str(), key.put(), KEY_READ, REG_PROCESS_APPKEY, 0) != ERROR_SUCCESS) {
      return false;
    }
    DWORD subKeys = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    registry_.MountBelowUsers(name_, std::move(key));
    mounted_ = true;
    return true;
  }
  void LoadBelowUsers() {
    EnableHivePrivileges();
    ThrowIfFailed("RegLoadKeyW", ::RegLoadKeyW(HKEY_USERS, Wide().c_str(), Copy().c_str()));
    loaded_ = true;
  }

 private:
  Win32Registry& registry_;
  std::u16string name_;
  std::wstring folder_;
  bool mounted_ = false, loaded_ = false;
};

}  // namespace

std::string Win32Profiles::CurrentSid() {
  UniqueFileHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return "";
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) return "";
  UniqueLocal text;
  wchar_t* sid = nullptr;
  if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) return "";
  text.reset(sid);
  return Narrow(sid);
}

std::string Win32Profiles::AccountOf(const std::string& sidText) {
  PSID sid = nullptr;
  if (!::ConvertStringSidToSidW(Widen(sidText).c_str(), &sid)) return "";
  const UniqueLocal owned(sid);
  wchar_t name[256], domain[256];
  DWORD nameLength = 256, domainLength = 256;
  SID_NAME_USE use{};
  if (!::LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) return "";
  return Narrow(domain) + "\\" + Narrow(name);
}

std::unique_ptr<LoadedHive> Win32Profiles::LoadHive(const std::string& file, const std::u16string& name) {
  auto hive = std::make_unique<Win32LoadedHive>(registry_, name, NewCopyFolder());
  // A copy: the user's own file is never loaded, so nothing (a log replayed,
  // a flush) can change it, and it stays free for the user to sign in.
  const std::wstring original = Widen(file);
  if (!::CopyFileW(original.c_str(), hive->Copy().c_str(), TRUE)) ThrowLastError("CopyFileW");
  for (const wchar_t* log : {L".LOG1", L".LOG2"}) {
    // The logs go with it, or the hive is not read: a copy without them could be out of date.
    if (!::CopyFileW((original + log).c_str(), (hive->Copy() + log).c_str(), TRUE) &&
        ::GetLastError() != ERROR_FILE_NOT_FOUND) {
      ThrowLastError("CopyFileW");
    }
  }
  if (!hive->LoadAsApplicationHive()) hive->LoadBelowUsers();
  return hive;
}

}  // namespace vq::win32
