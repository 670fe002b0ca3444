#include "removal/task_removal.h"

#include <memory>
#include <optional>

#include "entries/task_xml.h"
#include "platform/event_pump.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/task_scheduler.h"
#include "platform/text.h"
#include "removal/backup.h"

namespace vq {

std::string XmlForRestore(std::string_view xmlText) {
  std::string text(xmlText);
  if (!text.starts_with("<?xml")) return text;
  const std::size_t end = text.find("?>");
  const std::size_t encoding = text.find("encoding", 0);
  if (end == std::string::npos || encoding == std::string::npos || encoding > end) return text;
  const std::size_t open = text.find_first_of("\"'", encoding);
  if (open == std::string::npos || open > end) return text;
  const std::size_t close = text.find(text[open], open + 1);
  if (close == std::string::npos || close > end) return text;
  return text.replace(open + 1, close - open - 1, "UTF-16");
}

void RemoveTask(EventPump& events, TaskScheduler& scheduler, FileSystem& files, const ScheduledTaskItem& task,
                RemovalBackup& backup) {
  events.DoEvents();
  try {
    const std::unique_ptr<TaskService> service = scheduler.Connect();
    if (!service) return;  // without the scheduler nothing can delete it
    // What the row was read from is saved: a task listed from the store by
    // its file's bytes (a scheduler that could not list it may hand over less
    // than the file holds: Wine's keeps no actions), any other as the
    // scheduler hands it over. Only a whole task's XML is a copy that
    // `schtasks` takes back: an empty or cut-short file is not.
    const auto whole = [](const std::optional<std::string>& xml) { return xml && ReadTaskXml(*xml).whole; };
    std::optional<std::string> xml;
    if (!task.storeFile.empty()) {
      try {
        xml = TextFileToUtf8(files.ReadBytes(Utf16ToUtf8(task.storeFile)));
      } catch (const Failure&) {
      }
    }
    if (!whole(xml)) xml = service->TaskXml(task.path);
    if (!whole(xml)) return;  // nothing to save it from: it stays
    const std::optional<std::size_t> entry = backup.SaveTask(task, XmlForRestore(*xml));
    if (!entry) return;
    bool removed = false;
    try {
      removed = service->DeleteTask(task.path);
    } catch (...) {
    }
    if (!removed) {
      // A delete that failed, or failed half way, may have taken the task all
      // the same: its copy goes only when the task is seen to be still there.
      bool stillThere = true;
      try {
        stillThere = service->TaskXml(task.path).has_value() ||
                     (!task.storeFile.empty() && files.IsFile(Utf16ToUtf8(task.storeFile)));
      } catch (...) {
        stillThere = false;  // unknown: the copy stays
      }
      removed = !stillThere;
    }
    backup.TaskRemoved(*entry, removed);
  } catch (const Failure&) {
    // The refreshed list shows the task again: that is all the user is told.
  }
}

}  // namespace vq
