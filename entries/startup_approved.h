#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "entries/startup_items.h"
#include "platform/registry.h"

namespace vq {

// Where Explorer's Startup apps page keeps its switches, in the same hive as
// the entries: a binary value named as the entry (the Run value's name, the
// Startup file's name).
enum class ApprovedList {
  Run,            // the Run key's values
  Run32,          // the Run key's values of the 32-bit view
  StartupFolder,  // the files of the Startup folder
};

// The key, below the hive (and below a user's prefix), that holds the switches of that list.
std::string_view StartupApprovedKey(ApprovedList list);

// The one switch of an entry: its key below the hive and the value's name,
// which is the entry's exact name.
struct StartupSwitch {
  Hive hive;
  std::u16string keyPath;
  std::u16string name;
  bool operator==(const StartupSwitch&) const = default;
};

// The switch of a value of a Run key: HKCU's and HKLM's own Run keys, HKLM's
// 32-bit view's Run key, and a user's Run key below HKEY_USERS (by the prefix
// "<name>\" it was reached by). nullopt for every other key: Windows has no
// switch for RunOnce, the policies' Run keys or any other autostart point.
std::optional<StartupSwitch> SwitchOfRunValue(Hive hive, std::u16string_view keyPath, std::u16string_view name);
// Where the switches of those Run keys' values are (the name left empty).
std::optional<StartupSwitch> SwitchesOfRunKey(Hive hive, std::u16string_view keyPath);

// The switch of a file of a Startup folder: the all-users folder's in HKLM,
// the user's in the user's hive (HKCU, or HKEY_USERS below `userPrefix`).
std::optional<StartupSwitch> SwitchOfStartupFile(const StartupFileItem& file, Hive userHive = Hive::CurrentUser,
                                                 std::u16string_view userPrefix = {});

// The switch of what a row stands for, as the window lists it; nullopt for a
// list's element, a key going whole, a task, or a value Windows has no switch for.
std::optional<StartupSwitch> SwitchOf(const StartupItem& item);

// A registry name as the registry compares it: the letters A to Z in lower case.
std::u16string FoldedRegistryName(std::u16string_view name);

// The switch's size as Windows writes it: a flags byte, three zero bytes and
// the FILETIME of when it was switched off.
inline constexpr std::size_t kSwitchSize = 12;

// True when the entry is switched off: a 12-byte REG_BINARY whose first byte
// has its lowest bit set (03 and 07 off; 02, 06 and 00 on). No value, or one
// of another type or size, leaves the entry on, as Windows reads it.
bool IsSwitchedOff(const std::optional<StoredValue>& value);

// The bytes that switch the entry off or on from the value stored now: the
// flags byte keeps its other bits (0x03 or 0x02 where there was no sound
// switch), the time is `fileTime` when switched off (never zero) and zero
// when switched on.
std::string SwitchBytes(const std::optional<StoredValue>& now, bool off, std::int64_t fileTime);

}  // namespace vq
