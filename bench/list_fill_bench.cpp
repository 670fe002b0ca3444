// Cost of filling the item list: rows of four texts appended to the real
// list view, with repainting left on and with it suspended during the fill.
//   list_fill_bench [rows]
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/win32/win32_main_window.h"

using Clock = std::chrono::steady_clock;

namespace {
double Fill(vq::win32::Win32MainWindow& window, int rows, bool suspendRedraw) {
  window.ClearRows();
  const auto start = Clock::now();
  if (suspendRedraw) window.SetListRedraw(false);
  for (int i = 1; i <= rows; ++i) {
    const int row = window.AddRow("REGISTRY", 0);
    window.SetSubItem(row, 1, "HKCU:Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    window.SetSubItem(row, 2, "Value " + std::to_string(i));
    window.SetSubItem(row, 3, "C:\\Program Files\\Tool\\");
    window.DoEvents();
  }
  if (suspendRedraw) window.SetListRedraw(true);
  window.DoEvents();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}
}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  vq::win32::Win32MainWindow window(::GetModuleHandleW(nullptr));
  for (const char* header : {"Type", "Location", "Item", "Extra Details"}) window.AddColumn(header);
  window.Show();
  Fill(window, 20, true);  // warm-up
  for (bool suspend : {false, true}) {
    const double ms = Fill(window, rows, suspend);
    std::printf("%-22s %5d rows  %8.1f ms  %6.3f ms/row\n", suspend ? "redraw suspended" : "redraw on", rows, ms,
                ms / rows);
  }
  return 0;
}
