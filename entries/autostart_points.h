#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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
  const char* category;  // as the fleet tools name the kind: "Logon", "Boot Execute", "AppInit", "Hijacks"
};

// In the order the collector visits them, after the Run keys.
std::span<const AutostartPoint> AutostartPoints();

// The key path in the 32-bit view of the machine's software
// (SOFTWARE\WOW6432Node\...).
std::string In32BitView(std::string_view key);

// A text value's characters up to its terminator; a multi-string's entries
// up to the empty one that ends the list.
std::vector<std::u16string> Entries(std::uint32_t type, std::string_view data);

// True when the entry of a multi-string is one of Windows' own disk checks:
// "autocheck autochk" with any switches, such as "autocheck autochk /k:D *".
bool IsDiskCheck(std::u16string_view entry);

// What resetting a value Windows needs writes, given the value as it is now:
// Windows' own value; but where the point keeps disk checks, the value's own
// disk checks in their order (their switches, such as a drive the check must
// pass over, count), and Windows' own only when it holds none.
StoredValue ResetValue(const StoredValue& windowsOwn, bool keepDiskChecks, const std::optional<StoredValue>& now);

// True when the open key holds, under this name, a value Windows itself
// needs: it may be written back to Windows' own, never deleted, whatever a
// row says. Keys are told apart by the names the registry itself gives them,
// however they were reached (a doubled separator, CurrentControlSet for
// ControlSet001); names as the registry compares them, letter case aside.
// Throws Failure when the registry does not say.
bool IsWindowsOwnValue(Registry& registry, Hive hive, RegistryKey& key, std::u16string_view name);

}  // namespace vq
