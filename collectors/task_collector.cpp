#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "collectors/gathering.h"
#include "collectors/image_path.h"
#include "collectors/mod_registry.h"
#include "collectors/mod_special_folder.h"
#include "entries/task_xml.h"
#include "entries/error_trap.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/shell.h"
#include "platform/task_scheduler.h"
#include "platform/text.h"

namespace vq {

namespace {

// Windows' own tasks live below this folder.
constexpr std::u16string_view kWindowsTasks = u"\\Microsoft\\Windows\\";

// One task of a folder: its name, and where its XML comes from.
struct FoundTask {
  std::u16string name;
  std::optional<std::string> xml;  // as the scheduler listed it
  std::u16string storeFile;        // else the task store's file, in the exact form
};

std::u16string Folded(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& c : folded) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
  return folded;
}

std::u16string ChildFolder(const std::u16string& folder, const std::u16string& name) {
  return (folder == u"\\" ? folder : folder + u"\\") + name;
}

// What the collector walks: the scheduler where it answers, and the task
// store's files where they can be read. A task the scheduler does not name
// but whose file is in the store still runs (its registration was hidden
// from the scheduler's listing): it is listed too.
class TaskWalk {
 public:
  TaskWalk(FileSystem& files, TaskService* service, std::u16string store, EventPump& events)
      : files_(files), service_(service), store_(std::move(store)), events_(events) {}

  // The folder's tasks: the scheduler's, in its order, then those only the store holds.
  std::vector<FoundTask> TasksOf(const std::u16string& folder) {
    std::vector<FoundTask> found;
    std::set<std::u16string> named;
    if (service_ && enumerates_) {
      if (std::optional<std::vector<ListedTask>> listed = service_->Tasks(folder, events_)) {
        for (ListedTask& task : *listed) {
          named.insert(Folded(task.name));
          found.push_back({std::move(task.name), std::move(task.xml), {}});
        }
      } else {
        enumerates_ = false;  // a scheduler that cannot list one folder's tasks lists no folder's
      }
    }
    const std::u16string storeFolder = StoreFolder(folder);
    if (storeFolder.empty()) return found;
    try {
      files_.ListFiles(storeFolder, "*", [&](const std::u16string& name) {
        events_.KeepAnswering();
        if (!named.count(Folded(name))) found.push_back({name, std::nullopt, ExactChild(storeFolder, name)});
      });
    } catch (const Failure&) {
      // A standard user may not list the store: the scheduler's listing is all there is.
    }
    return found;
  }

  // The folder's sub-folders in the same way, as full folder paths.
  std::vector<std::u16string> FoldersOf(const std::u16string& folder) {
    std::vector<std::u16string> found;
    std::set<std::u16string> named;
    if (service_) {
      for (const std::u16string& name : service_->SubFolders(folder, events_)) {
        if (named.insert(Folded(name)).second) found.push_back(ChildFolder(folder, name));
      }
    }
    const std::u16string storeFolder = StoreFolder(folder);
    if (storeFolder.empty()) return found;
    try {
      files_.ListFolders(storeFolder, [&](const std::u16string& name) {
        events_.KeepAnswering();
        if (named.insert(Folded(name)).second) found.push_back(ChildFolder(folder, name));
      });
    } catch (const Failure&) {
    }
    return found;
  }

  // The task's XML as its bytes: what the scheduler listed (UTF-8), else the
  // store file's bytes, else what the scheduler hands over for its path.
  std::string XmlOf(const std::u16string& folder, const FoundTask& task) {
    if (task.xml) return *task.xml;
    try {
      return files_.ReadBytes(Utf16ToUtf8(task.storeFile));
    } catch (const Failure&) {
    }
    if (service_) {
      if (std::optional<std::string> xml = service_->TaskXml({folder, task.name})) return *xml;
    }
    return {};
  }

 private:
  std::u16string StoreFolder(const std::u16string& folder) const {
    if (store_.empty()) return {};
    return folder == u"\\" ? store_ : store_ + folder;
  }

  FileSystem& files_;
  TaskService* service_;
  std::u16string store_;
  EventPump& events_;
  bool enumerates_ = true;
};

// True for a task Windows itself ships: below \Microsoft\Windows\, every
// action running a program of the Windows folder (a COM handler: its class's
// server).
bool IsWindowsOwnTask(const Gathering& gathering, const std::u16string& folder, const TaskDefinition& task,
                      const PathLookup& lookup, const std::string& windowsFolder) {
  if (!lookup.isFile || !Folded(folder + u"\\").starts_with(Folded(kWindowsTasks)) || task.actions.empty() || windowsFolder.empty()) {
    return false;
  }
  for (const TaskAction& action : task.actions) {
    std::string image;
    if (action.kind == TaskAction::Kind::Exec) {
      image = ImagePathOf(action.arguments.empty() ? action.command : action.command + " " + action.arguments, lookup);
    } else if (action.kind == TaskAction::Kind::ComHandler) {
      const Hive hive = gathering.user ? gathering.user->hive : Hive::CurrentUser;
      const std::string prefix = gathering.user ? gathering.user->prefix : "";
      const std::optional<std::string> server = ComServerOf(gathering.registry, hive, prefix, action.classId);
      if (server) image = ImagePathOf("\"" + *server + "\"", lookup);
    }
    if (!IsInsideFolder(image, windowsFolder)) return false;
  }
  return true;
}

}  // namespace

// Appends a "TASKS" row for each scheduled task that is not Windows' own:
// folders depth-first in the order the Task Scheduler gives them, each
// folder's tasks before its sub-folders, the root's tasks first.
void GetTasks(const Gathering& gathering) {
  ErrorTrap trap(gathering.sink, LocationText("Form1", "GetTasks"));
  RowSink& sink = gathering.sink;
  std::string windowsFolder;
  std::u16string store;
  PathLookup lookup;
  std::unique_ptr<TaskService> service;
  trap.Run(100, [&] {
    const std::string system = GetSpecialFolder(gathering.shell, csidl::kSystem);
    if (system.empty()) return;
    windowsFolder = system.substr(0, system.rfind('\\'));
    store = gathering.files.ExactFolder(system + "\\Tasks");
  });
  trap.Run(102, [&] { lookup = SystemPathLookup(gathering.shell, gathering.files); });
  // A scheduler that does not answer leaves the task store's files.
  trap.Run(104, [&] { service = gathering.tasks.Connect(); });
  TaskWalk walk(gathering.files, service.get(), store, sink);

  std::vector<std::u16string> pending{u"\\"};
  std::u16string folder;
  auto nextFolder = [&] {
    if (pending.empty()) return false;
    folder = std::move(pending.back());
    pending.pop_back();
    return true;
  };
  trap.Loop(106, 126, nextFolder, nextFolder, [&] {
    std::vector<FoundTask> tasks;
    trap.Run(108, [&] { tasks = walk.TasksOf(folder); });
    std::size_t index = 0;
    trap.Loop(
        110, 122, [&] { return index < tasks.size(); }, [&] { return ++index < tasks.size(); },
        [&] {
          const FoundTask& found = tasks[index];
          sink.DoEvents();
          TaskDefinition task;
          bool listed = true;
          trap.Run(112, [&] {
            // XML that cannot be read, or reads as no task, still gives a row: the task is there.
            task = ReadTaskXml(walk.XmlOf(folder, found));
            listed = gathering.windowsOwnTasks || !IsWindowsOwnTask(gathering, folder, task, lookup, windowsFolder);
          });
          sink.DoEvents();
          if (!listed) return;
          int row = 0;
          const std::string commandLine = CommandLineOf(task);
          trap.Run(114, [&] {
            RowFacts facts{ScheduledTaskItem{{folder, found.name}, found.storeFile}, category::kTasks, commandLine};
            facts.disabled = !task.enabled;
            if (!task.actions.empty() && task.actions.front().kind == TaskAction::Kind::ComHandler) {
              facts.comClass = task.actions.front().classId;
            }
            row = sink.AddRow("TASKS", std::move(facts));
          });
          trap.Run(116, [&] { sink.SetSubItem(row, 1, Utf16ToUtf8(folder)); });
          trap.Run(118, [&] { sink.SetSubItem(row, 2, Utf16ToUtf8(found.name)); });
          trap.Run(120, [&] {
            const std::string extraDetails = ProgramFolderOf(commandLine);
            if (!extraDetails.empty()) sink.SetSubItem(row, 3, extraDetails);
          });
        });
    // Deeper folders first, in the scheduler's order: pushed in reverse.
    trap.Run(124, [&] {
      const std::vector<std::u16string> below = walk.FoldersOf(folder);
      pending.insert(pending.end(), below.rbegin(), below.rend());
    });
  });
  trap.Run(128, [&] { service.reset(); });
}

}  // namespace vq
