#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/task_scheduler.h"

namespace vq {

// What a listed row stands for, exactly as the system named it when the list
// was gathered. The removals act on this, never on the row's texts: a text
// may show two different names alike (a name cut at U+0000, a name the
// Win32 path rules would trim).

// A registry value: its key as it was opened and its name as the registry
// counts it. A value Windows itself needs goes by writing back Windows' own
// value (resetTo), any other by deleting it; where the value holds disk
// checks, those it holds when it is reset are kept (keepDiskChecks).
struct RegistryValueItem {
  Hive hive;
  std::u16string keyPath;
  std::u16string name;
  std::optional<StoredValue> resetTo;
  bool keepDiskChecks = false;
  // One element of the list the value holds (the LSA's packages): only it
  // goes, the others stay in their order.
  std::optional<std::u16string> element{};
  // The key at keyPath is the entry, with all its values (name unused): it
  // goes whole, its values saved first.
  bool wholeKey = false;
};

// A file of a Startup folder: the folder in the exact form and the name as the
// folder listing returned it.
struct StartupFileItem {
  std::u16string exactFolder;
  std::u16string name;
  bool allUsers;  // the all-users Startup folder, not the user's own
  ExactPath Path() const { return ExactChild(exactFolder, name); }
};

// A scheduled task: its path as the Task Scheduler gave it, and the file of the
// task store it was read from, in the exact form (empty where the scheduler
// listed it itself).
struct ScheduledTaskItem {
  TaskPath path;
  std::u16string storeFile;
};

// The rows of services and of system-file lines need nothing beyond their
// texts: a service's key name is shown whole, and a system file is never changed.
using StartupItem = std::variant<RegistryValueItem, StartupFileItem, ScheduledTaskItem>;

// The fleet tools' names for the kinds of startup entry.
namespace category {
inline constexpr char kLogon[] = "Logon";
inline constexpr char kBootExecute[] = "Boot Execute";
inline constexpr char kAppInit[] = "AppInit";
inline constexpr char kHijacks[] = "Hijacks";
inline constexpr char kLsaProviders[] = "LSA Providers";
inline constexpr char kPrintMonitors[] = "Print Monitors";
inline constexpr char kWinlogon[] = "Winlogon";
inline constexpr char kOffice[] = "Office";
inline constexpr char kServices[] = "Services";
inline constexpr char kDrivers[] = "Drivers";
inline constexpr char kTasks[] = "Tasks";
}  // namespace category

// What a row stands for beyond its four texts, for whoever lists it.
struct RowFacts {
  RowFacts(std::optional<StartupItem> item = std::nullopt, const char* category = category::kLogon,
           std::string launchString = {})
      : item(std::move(item)), category(category), launchString(std::move(launchString)) {}

  std::optional<StartupItem> item;  // what a removal acts on; none for a service or a system-file line
  const char* category = category::kLogon;
  std::string launchString;  // the command as stored; empty where the row's texts name it (a service)
  bool disabled = false;     // Windows will not start it (a task switched off)
  std::string comClass;      // for what a COM class runs (a task's handler): the class, whose server is the program
  std::string description;   // what the entry says of itself (a service's), in place of its program's
};

// The items of the rows of one gathering of the list, numbered as the rows
// carry them. Numbers are never given twice, so a row left from an earlier
// gathering finds nothing rather than another item.
class ItemTable {
 public:
  // Forgets every item.
  void Clear() {
    first_ += static_cast<std::uint32_t>(items_.size());
    items_.clear();
  }
  // The new item's number, never 0.
  std::uint32_t Add(StartupItem item) {
    items_.push_back(std::move(item));
    return first_ + static_cast<std::uint32_t>(items_.size()) - 1;
  }
  // Null when the number is not (or no longer) one of this table's.
  const StartupItem* Find(std::uint32_t number) const {
    if (number < first_ || number - first_ >= items_.size()) return nullptr;
    return &items_[number - first_];
  }

 private:
  std::uint32_t first_ = 1;
  std::vector<StartupItem> items_;
};

}  // namespace vq
