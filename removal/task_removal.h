#pragma once

#include "entries/startup_items.h"

namespace vq {

class EventPump;
class FileSystem;
class RemovalBackup;
class TaskScheduler;

// Deletes one scheduled task: lets the window handle its pending events once,
// saves the task's XML in the backup (the task store file's bytes for a task
// listed from the store, else as the Task Scheduler hands it over), then
// deletes exactly that task through the scheduler by its path. A task whose
// XML is not whole, or that could not be saved, stays; one the user may not
// delete stays too, and leaves the backup again, unless it cannot be told
// whether it went (then the copy stays). Says nothing of the outcome.
void RemoveTask(EventPump& events, TaskScheduler& scheduler, FileSystem& files, const ScheduledTaskItem& task,
                RemovalBackup& backup);

// The task's XML as `schtasks /create /xml` takes it back: the text, its
// declaration naming UTF-16, which the backup writes it in.
std::string XmlForRestore(std::string_view xmlText);

}  // namespace vq
