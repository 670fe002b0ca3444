#pragma once

#include "platform/task_scheduler.h"

namespace vq::win32 {

// The Task Scheduler through its COM interfaces (Task Scheduler 2.0), as the
// running user. The calling thread must have entered a COM apartment.
class Win32TaskScheduler final : public TaskScheduler {
 public:
  std::unique_ptr<TaskService> Connect() override;
};

}  // namespace vq::win32
