#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_image_files.h"
#include "platform/win32/win32_main_window.h"
#include "platform/win32/win32_profiles.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_services.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_skin.h"
#include "platform/win32/win32_task_scheduler.h"

namespace vq::test {

// The real main window, hidden, whose message boxes are noted and answered
// instead of shown.
class QuietWindow : public win32::Win32MainWindow {
 public:
  QuietWindow() : Win32MainWindow(::GetModuleHandleW(nullptr)) {}
  struct Message {
    std::string text;
    int style;
    std::string title;
  };
  std::vector<Message> messages;
  int answer = 1;  // OK
  int ShowMessage(const std::string& text, int style, const std::string& title) override {
    messages.push_back({text, style, title});
    return answer;
  }
};

// The Windows layer as the program puts it together, on a hidden main window
// with the list's four columns.
struct RealPlatform {
  RealPlatform() {
    for (const char* header : {"Type", "Location", "Item", "Extra Details"}) window.AddColumn(header);
  }
  Platform Get() { return {window, settings, files, registry, shell, services, skin, clock, images, profiles, tasks}; }

  // Every row's four texts, as the list holds them.
  std::vector<std::vector<std::string>> Rows() {
    std::vector<std::vector<std::string>> rows;
    for (int row = 1; row <= window.RowCount(); ++row) {
      rows.push_back({window.RowText(row, 0), window.RowText(row, 1), window.RowText(row, 2), window.RowText(row, 3)});
    }
    return rows;
  }

  QuietWindow window;
  win32::RegistrySettingsStore settings;
  win32::Win32FileSystem files;
  win32::Win32Registry registry;
  win32::Win32Shell shell{window.hwnd()};
  win32::Win32Services services;
  win32::Win32Skin skin;
  win32::Win32Clock clock;
  win32::Win32ImageFiles images;
  win32::Win32Profiles profiles{registry};
  win32::Win32TaskScheduler tasks;
};

}  // namespace vq::test
