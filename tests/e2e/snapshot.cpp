// Starts the program, waits until its first list is complete (the window shows
// only then), saves a picture of it and closes it. Error report boxes that come
// up during the start are pictured too, then answered with OK.
//   vq_snapshot <program.exe> <picture.bmp>
#include <windows.h>

#include <cstdio>
#include <string>

#include "e2e/harness.h"

using namespace vq::e2e;

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fwprintf(stderr, L"usage: vq_snapshot <program.exe> <picture.bmp>\n");
    return 2;
  }
  const std::wstring picture = argv[2];
  AppProcess app(argv[1]);
  int boxes = 0;
  for (int waited = 0; waited < 600; ++waited) {
    if (HWND form = app.WaitForMainWindow(100ms)) {
      ::Sleep(300);  // let the first paint finish
      if (!SaveWindowImage(form, picture)) return 1;
      ::PostMessageW(form, WM_CLOSE, 0, 0);
      app.WaitForExit(10s);
      return 0;
    }
    if (HWND box = app.WaitForMessageBox(L"Application Error", 0ms)) {
      const std::wstring boxPicture = picture.substr(0, picture.rfind(L'.')) + L"-error" + std::to_wstring(++boxes) + L".bmp";
      SaveWindowImage(box, boxPicture);
      std::fwprintf(stderr, L"error report box at start:\n%ls\n", MessageBoxText(box).c_str());
      PressMessageBoxButton(box, IDOK);
      ::Sleep(200);
    }
  }
  std::fwprintf(stderr, L"the main window did not show within a minute\n");
  return 1;
}
