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
  ProfilingOff,    // a .NET profiler's value, unless its key's "<prefix>_ENABLE_PROFILING" is 1
};

// What one entry of a point is.
enum class PointEntry {
  Value,          // a value (the one named, or each)
  ListElement,    // an element of the named list value (a multi-string): only it goes, the rest stays
  SubKey,         // a key right below the point's key, with all its values: it goes whole; `value`
                  // names the one that says what it loads (null: the names of its values do)
  ClassOverride,  // below a user's CLSID key, a class's InprocServer32, LocalServer32 or TreatAs key
                  // where the machine registers that class otherwise: it goes whole
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
  const char* category;  // as the fleet tools name the kind: "Logon", "Boot Execute", "AppInit", "Hijacks" …
  PointEntry entry = PointEntry::Value;
  // What Windows itself puts here, "|"-separated, letter case aside, which is
  // not listed: for a list, its elements ("msv1_0"); else the files it loads,
  // each "name=file" where the value or sub-key of that name is Windows' own
  // (it is then reset to that file, never deleted) or "=file" under any name.
  // A file is Windows' own where it is named bare or lies in System32 (SysWOW64).
  const char* windowsShips = nullptr;
  const char* shipsOn = nullptr;  // the Windows versions that holds for
};

// Windows' own of a point's windowsShips, one each.
struct ShippedEntry {
  std::string name;  // the value's or sub-key's name; empty: any name, and for a list
  std::string file;  // the element, or the file it loads
};
std::vector<ShippedEntry> ShippedEntries(const AutostartPoint& point);

// True when the element of a list is one Windows ships there: letter case,
// a trailing ".dll" aside.
bool IsShippedElement(const AutostartPoint& point, std::u16string_view element);

// The point a value of an open key belongs to as a list (ListElement), or
// null; keys told apart as IsWindowsOwnValue tells them. Throws Failure when
// the registry does not say.
const AutostartPoint* ListPointOf(Registry& registry, Hive hive, RegistryKey& key, std::u16string_view name);

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
