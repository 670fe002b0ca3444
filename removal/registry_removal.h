#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace vq {

// A hive prefix of a registry row's Location, with the statements of
// DeleteItem under which its test and its delete run.
struct HivePrefixRule {
  const char* prefix;
  Hive hive;
  int testStatement;
  int deleteStatement;
};

// The prefixes in the order they are tested: HKLM:, HKCU:, HKCR:, HKU:, HKCC:.
std::span<const HivePrefixRule> HivePrefixRules();

// The first rule whose prefix occurs anywhere in the Location, letter case
// counting; null when none does.
const HivePrefixRule* MatchHivePrefix(std::string_view location);

// Deletes the one value of the key below the hive (the empty name is the
// key's default value), through the key opened with access 0x3F in the view
// the collector read it from. A value that is missing or protected simply
// stays as it is; the answer (true when a value was deleted) tells the
// backup, never the user.
bool DeleteRegistryValue(Registry& registry, Hive hive, const std::string& keyPath, const std::string& name);

// The key a registry row's Location names: the first prefix rule that
// matches, and the Location without any occurrence of that prefix. nullopt
// when no prefix matches.
struct RegistryTarget {
  const HivePrefixRule* rule;
  std::string keyPath;
};
std::optional<RegistryTarget> TargetOf(std::string_view location);

}  // namespace vq
