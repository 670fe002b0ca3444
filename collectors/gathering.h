#pragma once

#include <optional>
#include <string>

#include "entries/error_trap.h"
#include "entries/startup_items.h"
#include "platform/event_pump.h"
#include "platform/registry.h"

namespace vq {

class FileSystem;
class Registry;
class Services;
class Shell;
class TaskScheduler;

// Where the collectors hand the rows they find: the main window's list, or
// the console edition's writer. Each text is set by a statement of its own,
// so a failure leaves the row with the texts set before it.
class RowSink : public FailureReporter, public EventPump {
 public:
  // Appends a row of this type; returns its position, counted from 1.
  virtual int AddRow(const std::string& type, RowFacts facts) = 0;
  // Sets text 1 (Location), 2 (Item) or 3 (Extra Details) of the row.
  virtual void SetSubItem(int row, int subItem, const std::string& text) = 0;
};

// Where a user's own entries are: the hive, the path below it where the
// user's keys begin, and the user's Startup folder.
struct UserRoot {
  Hive hive = Hive::CurrentUser;
  std::string prefix;  // "" below HKEY_CURRENT_USER; "<name>\\" below HKEY_USERS
  std::optional<std::string> startupFolder;  // nullopt: the shell's, of the user the program runs as
};

// What the collectors read, and where they hand their rows.
struct Gathering {
  RowSink& sink;
  Registry& registry;
  Shell& shell;
  FileSystem& files;
  Services& services;
  TaskScheduler& tasks;
  // Whose keys and Startup folder are read; none: no user's.
  std::optional<UserRoot> user = UserRoot{};
  // The machine's own keys and the all-users Startup folder are read too.
  bool machine = true;
  // HKEY_USERS\.DEFAULT is read with the machine's keys, but not where it is
  // the user's own hive (the program runs as SYSTEM): it is listed once.
  bool defaultUser = true;
  // Windows' own scheduled tasks are listed too (the console edition lists
  // every task; the window only those Windows does not ship).
  bool windowsOwnTasks = false;
};

// The collectors, each with its own error trap (reporting to the sink)
// under the location text and statement numbers it has always had.
void GetRegistryItems(const Gathering& gathering);
void GetStartup(const Gathering& gathering);
void GetSysFile(const Gathering& gathering);
void GetServices(const Gathering& gathering);
// The scheduled tasks, after the services.
void GetTasks(const Gathering& gathering);

// The name of the user the program runs as, or empty text.
std::string CurrentUser(Shell& shell);

}  // namespace vq
