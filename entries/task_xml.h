#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vq {

// What a scheduled task's XML says of how it starts and what it runs, as far
// as it could be read. Texts are UTF-8, entities resolved, surrounding white
// space kept as written (a command's own quotes too).

// One trigger: its element's name ("LogonTrigger", "BootTrigger",
// "TimeTrigger", "CalendarTrigger", "EventTrigger", "IdleTrigger",
// "RegistrationTrigger", "SessionStateChangeTrigger", or whatever other
// element stands in Triggers) and its own Enabled.
struct TaskTrigger {
  std::string kind;
  bool enabled = true;
};

// One action: a program started (Exec) or a COM class handed the task (ComHandler).
struct TaskAction {
  enum class Kind { Exec, ComHandler, Other };
  Kind kind = Kind::Other;
  std::string command, arguments, workingDirectory;  // Exec
  std::string classId, data;                         // ComHandler
};

struct TaskDefinition {
  std::string description;                     // RegistrationInfo/Description
  bool enabled = true;                         // Settings/Enabled
  bool hidden = false;                         // Settings/Hidden
  std::string userId, groupId;                 // Principals/Principal
  std::string runLevel, logonType;             // LeastPrivilege, HighestAvailable; Password, InteractiveToken, S4U …
  std::vector<TaskTrigger> triggers;           // in the order written
  std::vector<TaskAction> actions;             // in the order written
  // False when the text was not a whole task's XML (cut short, malformed,
  // not a Task element at the top): the fields hold what came before the fault,
  // as far as it was complete. A value counts once its element is closed, a
  // trigger or an action once its own element is: a file cut inside a command
  // keeps no part of that command, nor the action it belongs to.
  bool whole = true;
};

// Reads the bytes of a task's XML as Windows and Wine keep it: UTF-16LE (or
// BE) with a byte-order mark, UTF-8 with or without one, or UTF-16 without a
// mark (told by its zero bytes). The XML declaration's encoding is not
// trusted over the bytes. Never throws; any input gives a definition.
TaskDefinition ReadTaskXml(std::string_view bytes);

// The first action's command line as the task starts it: the command, and
// its arguments after one blank when it has any; empty text for a task whose
// first action runs no program.
std::string CommandLineOf(const TaskDefinition& task);

}  // namespace vq
