#include "removal/registry_removal.h"

#include "app/text.h"

namespace vq {

namespace {
constexpr HivePrefixRule kRules[] = {
    {"HKLM:", Hive::LocalMachine, 114, 116}, {"HKCU:", Hive::CurrentUser, 118, 120},
    {"HKCR:", Hive::ClassesRoot, 122, 124},  {"HKU:", Hive::Users, 126, 128},
    {"HKCC:", Hive::CurrentConfig, 130, 132},
};
}  // namespace

std::span<const HivePrefixRule> HivePrefixRules() { return kRules; }

const HivePrefixRule* MatchHivePrefix(std::string_view location) {
  for (const HivePrefixRule& rule : kRules) {
    if (location.find(rule.prefix) != std::string_view::npos) return &rule;
  }
  return nullptr;
}

bool DeleteRegistryValue(Registry& registry, Hive hive, const std::string& keyPath, const std::string& name) {
  const std::unique_ptr<RegistryKey> key = registry.OpenKey(hive, keyPath, kKeyAccess0x3F);
  return key && key->DeleteValue(name);
}

std::optional<RegistryTarget> TargetOf(std::string_view location) {
  const HivePrefixRule* rule = MatchHivePrefix(location);
  if (!rule) return std::nullopt;
  return RegistryTarget{rule, ReplaceAll(location, rule->prefix, "")};
}

}  // namespace vq
