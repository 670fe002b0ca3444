#include "removal/registry_removal.h"

#include "app/autostart_points.h"
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

bool DeleteRegistryValue(Registry& registry, const RegistryValueItem& value) {
  std::unique_ptr<RegistryKey> key;
  try {
    key = registry.OpenKey(value.hive, value.keyPath, kKeyAccess0x3F);
    // A value Windows itself needs is written back to Windows' own, never deleted.
    if (key && !value.resetTo && IsWindowsOwnValue(registry, value.hive, *key, value.name)) return false;
  } catch (const Failure&) {
    return false;  // a key the registry will not open, or will not name: the value stays
  }
  if (!key) return false;
  return value.resetTo ? key->SetValue(value.name, value.resetTo->type, value.resetTo->data)
                       : key->DeleteValue(value.name);
}

}  // namespace vq
