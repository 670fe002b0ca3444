#pragma once

#include <optional>
#include <string_view>

namespace vq {

// Where Explorer's Startup apps page keeps its switches, in the same hive as
// the entries: a binary value named as the entry (the Run value's name, the
// Startup file's name).
enum class ApprovedList {
  Run,            // the Run key's values
  Run32,          // the Run key's values of the 32-bit view
  StartupFolder,  // the files of the Startup folder
};

// The key, below the hive, that holds the switches of that list.
std::string_view StartupApprovedKey(ApprovedList list);

// True when the entry is switched off there: the value exists and its first
// byte has its lowest bit set (02 and 06 on, 03 and 07 off). No value, or an
// empty one, leaves the entry on.
bool IsSwitchedOff(std::optional<std::string_view> approvedBytes);

}  // namespace vq
