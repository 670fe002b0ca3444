#include "removal/registry_removal.h"

#include "entries/autostart_points.h"
#include "platform/failure.h"
#include "platform/text.h"

namespace vq {

const HiveInfo* MatchHivePrefix(std::string_view location) {
  for (const HiveInfo& hive : Hives()) {
    if (location.find(hive.prefix) != std::string_view::npos) return &hive;
  }
  return nullptr;
}

std::optional<RegistryTarget> TargetOf(std::string_view location) {
  const HiveInfo* hive = MatchHivePrefix(location);
  if (!hive) return std::nullopt;
  return RegistryTarget{hive, ReplaceAll(location, hive->prefix, "")};
}

std::shared_ptr<RegistryKey> OpenForRemoval(Registry& registry, const RegistryValueItem& value) {
  try {
    return registry.OpenKey(value.hive, value.keyPath, kKeyRemoval);
  } catch (const Failure&) {
    return nullptr;  // the user may not change this key: the value stays, and nothing is said
  }
}

bool DeleteRegistryValue(Registry& registry, const RegistryValueItem& value, RegistryKey& key) {
  try {
    // A value Windows itself needs is written back to Windows' own, never deleted.
    if (!value.resetTo && IsWindowsOwnValue(registry, value.hive, key, value.name)) return false;
  } catch (const Failure&) {
    return false;  // a key the registry will not name: the value stays
  }
  if (!value.resetTo) return key.DeleteValue(value.name);
  try {
    const StoredValue reset = ResetValue(*value.resetTo, value.keepDiskChecks, key.QueryValue(value.name));
    return key.SetValue(value.name, reset.type, reset.data);
  } catch (const Failure&) {
    return false;  // the value as it is now cannot be read: it stays
  }
}

}  // namespace vq
