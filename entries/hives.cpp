#include "entries/hives.h"

namespace vq {

namespace {
constexpr HiveInfo kHives[] = {
    {Hive::LocalMachine, "HKLM:", "HKEY_LOCAL_MACHINE", "LocalMachine", 114, 116},
    {Hive::CurrentUser, "HKCU:", "HKEY_CURRENT_USER", "CurrentUser", 118, 120},
    {Hive::ClassesRoot, "HKCR:", "HKEY_CLASSES_ROOT", "ClassesRoot", 122, 124},
    {Hive::Users, "HKU:", "HKEY_USERS", "Users", 126, 128},
    {Hive::CurrentConfig, "HKCC:", "HKEY_CURRENT_CONFIG", "CurrentConfig", 130, 132},
};
}  // namespace

std::span<const HiveInfo> Hives() { return kHives; }

const HiveInfo* FindHive(Hive hive) {
  for (const HiveInfo& info : kHives) {
    if (info.hive == hive) return &info;
  }
  return nullptr;
}

}  // namespace vq
