#include <windows.h>

#include <commctrl.h>

#include "app/form1.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/unique_handle.h"
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

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  vq::win32::ComApartment com;
  try {
    vq::win32::Win32MainWindow window(instance);
    vq::win32::RegistrySettingsStore settings;
    vq::win32::Win32FileSystem files;
    vq::win32::Win32Registry registry;
    vq::win32::Win32Shell shell(window.hwnd());
    vq::win32::Win32Services services;
    vq::win32::Win32Skin skin;
    vq::win32::Win32Clock clock;
    vq::win32::Win32ImageFiles images;
    vq::win32::Win32Profiles profiles(registry);
    vq::win32::Win32TaskScheduler tasks;
    vq::Form1 form({window, settings, files, registry, shell, services, skin, clock, images, profiles, tasks});
    window.SetEvents(&form);
    form.Form_Load();
    window.Show();
    return window.MessageLoop();
  } catch (const std::exception& failure) {
    // Only the window itself failing to come up gets here.
    ::MessageBoxA(nullptr, failure.what(), "Vellorin Quade", MB_ICONERROR | MB_OK);
    return 1;
  }
}
