#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "entries/startup_approved.h"
#include "platform/registry.h"

namespace vq {

class RemovalBackup;

// The switch as it is stored now; nullopt where there is none (no key, no
// value). Throws Failure, with the system's text, when the registry refuses to say.
std::optional<StoredValue> ReadStartupSwitch(Registry& registry, const StartupSwitch& at);

// Switches the entry off or on as Explorer's Startup apps page does: writes
// the 12-byte switch (SwitchBytes from what is stored now, `fileTime` the
// time now), creating its key where missing. The entry itself is not
// touched. Throws Failure, with the system's text, when the registry refuses
// the key; a write it refuses after that is said in the program's own words.
void SetStartupSwitch(Registry& registry, const StartupSwitch& at, bool off, std::int64_t fileTime);

// A switch saved in a delete walk's backup, and the key it will be deleted through.
struct SavedSwitch {
  std::shared_ptr<RegistryKey> key;
  std::u16string name;
  std::size_t entry;
};

// Saves the entry's switch in the backup before the entry goes, read through
// `key` (opened with kKeyRemoval; null: no switches there). nullopt when
// there is no switch, or it could not be saved: it then stays where it is.
std::optional<SavedSwitch> SaveSwitch(RemovalBackup& backup, const StartupSwitch& at,
                                      const std::shared_ptr<RegistryKey>& key);

// Opens the key of the switch for its removal; null where there is none or
// the registry refuses it (then the switch stays, saying nothing).
std::shared_ptr<RegistryKey> OpenSwitchesForRemoval(Registry& registry, const StartupSwitch& at);

// The entry went (or stayed): its saved switch goes with it, or stays and
// leaves the backup again. (A switch that could not be saved stays behind
// its deleted entry, as Windows leaves one when a program removes its own.)
void SwitchEntryRemoved(RemovalBackup& backup, const SavedSwitch& saved, bool entryRemoved);

}  // namespace vq
