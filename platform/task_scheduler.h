#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/event_pump.h"

namespace vq {

// A scheduled task by the path the Task Scheduler gives it: its folder ("\"
// for the root, "\Vendor\Sub" below it) and its name in that folder.
struct TaskPath {
  std::u16string folder;
  std::u16string name;
  // "\Name", "\Vendor\Sub\Name".
  std::u16string Full() const { return (folder.ends_with(u'\\') ? folder : folder + u'\\') + name; }
  bool operator==(const TaskPath&) const = default;
};

// One task of a folder as the scheduler lists it: its name and its XML (UTF-8).
struct ListedTask {
  std::u16string name;
  std::string xml;
};

// A connection to the Task Scheduler, as the running user: it shows only the
// tasks the user may read. Destroying it lets the connection go.
class TaskService {
 public:
  virtual ~TaskService() = default;
  // The names of the folder's sub-folders, in the scheduler's order; none for
  // a folder that is not there. Throws Failure when the scheduler refuses.
  // Each folder is a call of its own to the scheduler: the waiting events are
  // handled between them when due, as they are in the next listing.
  virtual std::vector<std::u16string> SubFolders(std::u16string_view folder, EventPump& waiting) = 0;
  // The folder's tasks, hidden ones too, in the scheduler's order; nullopt
  // when the scheduler cannot enumerate them (Wine's answers that it is not
  // implemented). Throws Failure when the scheduler refuses.
  virtual std::optional<std::vector<ListedTask>> Tasks(std::u16string_view folder, EventPump& waiting) = 0;
  // The XML of exactly this task as the scheduler hands it over; nullopt when
  // there is no such task or the user may not read it.
  virtual std::optional<std::string> TaskXml(const TaskPath& task) = 0;
  // Deletes exactly this task (never a folder, never a task of the same name
  // elsewhere); false when it is not there or the user may not delete it.
  virtual bool DeleteTask(const TaskPath& task) = 0;
};

class TaskScheduler {
 public:
  virtual ~TaskScheduler() = default;
  // Connects to the local Task Scheduler; null when it does not answer (its
  // service is not running, or the system has none).
  virtual std::unique_ptr<TaskService> Connect() = 0;
};

}  // namespace vq
