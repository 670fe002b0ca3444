#pragma once

#include "platform/profiles.h"
#include "platform/win32/win32_registry.h"

namespace vq::win32 {

// Accounts by their SIDs, and profile hives loaded from copies of their files:
// as an application hive where the system offers one (private to this
// process, and gone with it whatever happens), otherwise below HKEY_USERS
// with the backup and restore privileges.
class Win32Profiles final : public Profiles {
 public:
  explicit Win32Profiles(Win32Registry& registry) : registry_(registry) {}
  std::string CurrentSid() override;
  std::string AccountOf(const std::string& sid) override;
  std::unique_ptr<LoadedHive> LoadHive(const std::string& file, const std::u16string& name) override;

 private:
  Win32Registry& registry_;
};

}  // namespace vq::win32
