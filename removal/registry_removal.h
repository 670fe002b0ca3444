#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "entries/hives.h"
#include "entries/startup_items.h"
#include "platform/registry.h"

namespace vq {

// The first hive whose prefix occurs anywhere in the Location, letter case
// counting, in the order HKLM:, HKCU:, HKCR:, HKU:, HKCC:; null when none does.
const HiveInfo* MatchHivePrefix(std::string_view location);

// The key a registry row's Location names, for a row that carries no item of
// its own: the first hive prefix that matches, and the Location without any
// occurrence of that prefix. nullopt when no prefix matches.
struct RegistryTarget {
  const HiveInfo* hive;
  std::string keyPath;
};
std::optional<RegistryTarget> TargetOf(std::string_view location);

// Opens the key of the value with exactly the rights its removal uses:
// reading the value for the backup, then deleting it or writing Windows' own
// value back. Null when the key is not there or the registry refuses that
// open (a standard user on a machine-wide key): the value is then neither
// saved nor removed, and nothing is said.
std::shared_ptr<RegistryKey> OpenForRemoval(Registry& registry, const RegistryValueItem& value);

// Deletes exactly the named value (the empty name is the key's default
// value) through its key as opened for its removal, the key it was saved
// from; a value Windows itself needs is written back to Windows' own instead
// (resetTo), and never deleted. A value that is missing or protected simply
// stays as it is; the answer (true when the value went) tells the backup,
// never the user.
bool DeleteRegistryValue(Registry& registry, const RegistryValueItem& value, RegistryKey& key);

}  // namespace vq
