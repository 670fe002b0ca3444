#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace vq {

// The places in the registry beyond the Run keys where programs start
// themselves at boot or logon, one line each: the collector lists their
// values as "REGISTRY" rows, and the removal reads from here how such a
// value goes.

// Which keys of a point hold its values.
enum class PointKeys {
  TheKey,                  // the key itself
  EachSubKey,              // each key right below it
  EachSubKeyAndItsDepend,  // each key right below it, then that key's "Depend" key
};

// When a point's value, though there, starts nothing.
enum class PointUnless {
  Nothing,
  NotInstalled,    // its key's "IsInstalled" is the number 0
  DiskChecksOnly,  // every entry is one of Windows' own disk checks, "autocheck autochk …"
};

struct AutostartPoint {
  int statement;  // of GetRegistryItems, under which a failure is reported
  Hive hive;
  const char* key;
  PointKeys keys;
  const char* value;  // the one value; null: every value (every named one in keys below)
  // Zero for a command, which goes by deleting it. Otherwise Windows itself
  // needs the value: it is listed only when it differs from Windows' own,
  // and goes by writing that back: this type, and this text (the entries of
  // a multi-string end with "|"; "%SystemFolder%" stands for the system folder).
  std::uint32_t defaultType;
  const char* defaultText;
  bool also32;  // visited in the 32-bit view too, right after
  PointUnless unless;
};

// In the order the collector visits them, after the Run keys.
std::span<const AutostartPoint> AutostartPoints();

// The key path in the 32-bit view of the machine's software
// (SOFTWARE\WOW6432Node\...).
std::string In32BitView(std::string_view key);

// True when the open key holds, under this name, a value Windows itself
// needs: it may be written back to Windows' own, never deleted, whatever a
// row says. Keys are told apart by the names the registry itself gives them,
// however they were reached (a doubled separator, CurrentControlSet for
// ControlSet001); names as the registry compares them, letter case aside.
// Throws Failure when the registry does not say.
bool IsWindowsOwnValue(Registry& registry, Hive hive, RegistryKey& key, std::u16string_view name);

}  // namespace vq
