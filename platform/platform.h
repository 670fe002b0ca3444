#pragma once

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/image_files.h"
#include "platform/main_window.h"
#include "platform/profiles.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/settings_store.h"
#include "platform/shell.h"
#include "platform/skin.h"
#include "platform/task_scheduler.h"

namespace vq {

// Everything through which the program's logic reaches the system. The
// Windows layer supplies the real ones, the tests their fakes.
struct Platform {
  MainWindow& window;
  SettingsStore& settings;
  FileSystem& files;
  Registry& registry;
  Shell& shell;
  Services& services;
  SkinFramework& skin;
  Clock& clock;
  ImageFiles& images;
  Profiles& profiles;
  TaskScheduler& tasks;
};

}  // namespace vq
