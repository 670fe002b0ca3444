#pragma once

#include <map>
#include <string>

#include "platform/registry.h"
#include "platform/win32/unique_handle.h"

namespace vq::win32 {

// The registry through the wide API, in the program's own (64-bit) view.
class Win32Registry final : public Registry {
 public:
  std::unique_ptr<RegistryKey> OpenKey(Hive hive, std::u16string_view path, std::uint32_t access) override;
  std::unique_ptr<RegistryKey> CreateKey(Hive hive, std::u16string_view path, std::uint32_t access) override;

  // Makes a hive the program loaded for itself alone (an application hive)
  // reachable as HKEY_USERS\<name>, until it is unmounted, which closes it.
  void MountBelowUsers(const std::u16string& name, UniqueHkey hive);
  void Unmount(const std::u16string& name);

 private:
  static std::u16string Folded(std::u16string_view name);
  // The root a path below the hive starts from: the hive, or a hive of the
  // program's own mounted below HKEY_USERS (then `path` loses its name).
  HKEY RootOf(Hive hive, std::u16string_view& path) const;
  std::map<std::u16string, UniqueHkey> mounted_;  // by the name in lower case
};

}  // namespace vq::win32
