#pragma once

#include <span>

#include "platform/registry.h"

namespace vq {

// One hive as the program names it: the prefix of a registry row's Location
// ("HKLM:"), its name in a registry editor file ("HKEY_LOCAL_MACHINE") and
// in PowerShell ([Microsoft.Win32.Registry]::LocalMachine), and the
// statements of DeleteItem under which a row of it is tested and deleted.
struct HiveInfo {
  Hive hive;
  const char* prefix;
  const char* name;
  const char* powerShellName;
  int testStatement;
  int deleteStatement;
};

// HKLM, HKCU, HKCR, HKU, HKCC: the order in which a Location's prefix is tested.
std::span<const HiveInfo> Hives();

// The hive's entry; null for a handle that is none of the five.
const HiveInfo* FindHive(Hive hive);

}  // namespace vq
