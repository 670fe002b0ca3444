#include "removal/startup_switch.h"

#include "platform/failure.h"
#include "removal/backup.h"

namespace vq {

std::optional<StoredValue> ReadStartupSwitch(Registry& registry, const StartupSwitch& at) {
  const std::unique_ptr<RegistryKey> key = registry.OpenKey(at.hive, at.keyPath, kKeyQueryValue);
  return key ? key->QueryValue(at.name) : std::nullopt;
}

void SetStartupSwitch(Registry& registry, const StartupSwitch& at, bool off, std::int64_t fileTime) {
  const std::unique_ptr<RegistryKey> key = registry.CreateKey(at.hive, at.keyPath, kKeyQueryValue | kKeySetValue);
  const std::string bytes = SwitchBytes(key->QueryValue(at.name), off, fileTime);
  if (!key->SetValue(at.name, regtype::kBinary, bytes)) throw Failure("The registry refused to write the switch.");
}

std::shared_ptr<RegistryKey> OpenSwitchesForRemoval(Registry& registry, const StartupSwitch& at) {
  try {
    return registry.OpenKey(at.hive, at.keyPath, kKeyRemoval);
  } catch (const Failure&) {
    return nullptr;
  }
}

std::optional<SavedSwitch> SaveSwitch(RemovalBackup& backup, const StartupSwitch& at,
                                      const std::shared_ptr<RegistryKey>& key) {
  if (!key) return std::nullopt;
  const std::optional<std::size_t> entry = backup.SaveValue({at.hive, at.keyPath, at.name, std::nullopt}, *key);
  if (!entry) return std::nullopt;
  return SavedSwitch{key, at.name, *entry};
}

void SwitchEntryRemoved(RemovalBackup& backup, const SavedSwitch& saved, bool entryRemoved) {
  bool removed = false;
  try {
    removed = entryRemoved && saved.key->DeleteValue(saved.name);
  } catch (...) {
    // It stays; the backup drops it.
  }
  backup.ValueRemoved(saved.entry, removed);
}

}  // namespace vq
