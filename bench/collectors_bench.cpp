// A full LoadItems of the program on a seeded prefix against its floor, the
// least the same work can cost, measured in the same run:
//   - the same sources enumerated raw (RegEnumValueW over the same keys,
//     FindFirstFileW over the two Startup folders with the one presence open
//     of each listed file that the Startup source has always made, the four
//     system files read);
//   - the same list filled with the same rows, redraw suspended, through raw
//     list messages;
//   - the same number of message-loop yields as the program made.
// Seeds 1/10 of the data, then all of it: 10,000 Run values, 2,000 Startup
// files and a 5,000-line win.ini. Prints medians, the ratio, how the time
// grows with the data, and the longest gap between two yields while the
// registry collector runs.
//   collectors_bench [runs]
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "platform/real_platform.h"
#include "platform/win32/text.h"
#include "app/form1.h"

using Clock = std::chrono::steady_clock;
using namespace vq;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

// The real main window, counting its yields and timing the gaps between them.
class TimedWindow : public test::QuietWindow {
 public:
  bool timing = false;
  int yields = 0;
  Clock::time_point last;
  Clock::duration longestGap{};
  void DoEvents() override {
    const Clock::time_point now = Clock::now();
    if (timing) longestGap = std::max(longestGap, now - last);
    ++yields;
    Win32MainWindow::DoEvents();
    last = Clock::now();
  }
};

class BenchForm : public Form1 {
 public:
  BenchForm(const Platform& platform, TimedWindow& window) : Form1(platform), window_(window) {}

 protected:
  void GetRegistryItems() override {
    window_.timing = true;
    window_.last = Clock::now();
    Form1::GetRegistryItems();
    window_.longestGap = std::max(window_.longestGap, Clock::now() - window_.last);
    window_.timing = false;
  }

 private:
  TimedWindow& window_;
};

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

const std::wstring kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

void Seed(int values, int files, int lines) {
  e2e::ClearAutorunKeys();
  for (int i = 0; i < values; ++i) {
    e2e::WriteRegistryText(HKEY_CURRENT_USER, kRun, L"Bench Value " + std::to_wstring(i),
                           L"\"C:\\Program Files\\Bench " + std::to_wstring(i) + L"\\tool.exe\" /min");
  }
  for (const std::wstring& folder : {ShellFolder(CSIDL_STARTUP), ShellFolder(CSIDL_COMMON_STARTUP)}) {
    e2e::EmptyFolder(folder);
  }
  const std::wstring startup = ShellFolder(CSIDL_STARTUP);
  for (int i = 0; i < files; ++i) e2e::WriteFileBytes(startup + L"\\Bench " + std::to_wstring(i) + L".lnk", "x");
  std::string winIni = "[windows]\r\n";
  for (int i = 0; i < lines; ++i) {
    winIni += i % 2 ? "key" + std::to_string(i) + "=value\r\n" : "load=C:\\Bench\\tool" + std::to_string(i) + ".exe\r\n";
  }
  e2e::WriteFileBytes(L"C:\\windows\\win.ini", winIni);
  for (const wchar_t* path : {L"C:\\autoexec.bat", L"C:\\config.sys"}) ::DeleteFileW(path);
  e2e::WriteFileBytes(L"C:\\windows\\system.ini", "[boot]\r\nshell=Explorer.exe\r\n");
}

// The least the same work can cost: raw enumeration, raw list fill, the same yields.
double Floor(HWND list, const std::vector<std::vector<std::wstring>>& rows, int yields) {
  const auto start = Clock::now();
  for (const e2e::AutorunKey& key : e2e::kAutorunKeys) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(key.root, key.path, 0, KEY_READ, &opened) != ERROR_SUCCESS) continue;
    wchar_t name[256];
    BYTE data[2048];
    for (DWORD index = 0;; ++index) {
      DWORD nameLength = 256, dataLength = sizeof data, type = 0;
      if (::RegEnumValueW(opened, index, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) break;
    }
    ::RegCloseKey(opened);
  }
  for (const std::wstring& folder : {ShellFolder(CSIDL_STARTUP), ShellFolder(CSIDL_COMMON_STARTUP)}) {
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileExW((folder + L"\\*.*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      HANDLE file = ::CreateFileW((folder + L"\\" + found.cFileName).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
      if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
  }
  for (const std::wstring& path : e2e::kSystemFiles) e2e::ReadFileBytes(path);

  ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  for (const auto& row : rows) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(row[0].c_str());
    const auto index = ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    for (int sub = 1; sub <= 3; ++sub) {
      if (row[sub].empty()) continue;
      item.iSubItem = sub;
      item.pszText = const_cast<wchar_t*>(row[sub].c_str());
      ::SendMessageW(list, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
    }
  }
  ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  ::RedrawWindow(list, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
  for (int i = 0; i < yields; ++i) {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return Ms(Clock::now() - start);
}

struct Figures {
  double program, floor, longestGap;
  int rows, yields;
};

Figures Measure(int runs) {
  TimedWindow window;
  for (const char* header : {"Type", "Location", "Item", "Extra Details"}) window.AddColumn(header);
  window.SetCheckValue(CheckBox::Check1, 1);
  window.SetCheckValue(CheckBox::Check2, 1);
  window.SetCheckValue(CheckBox::Check3, 1);
  window.Show();
  win32::RegistrySettingsStore settings;
  win32::Win32FileSystem files;
  win32::Win32Registry registry;
  win32::Win32Shell shell(window.hwnd());
  win32::Win32Services services;
  win32::Win32Skin skin;
  BenchForm form({window, settings, files, registry, shell, services, skin}, window);
  HWND list = ::GetDlgItem(window.hwnd(), win32::ControlId(Control::ListView1));

  std::vector<double> program, floor;
  Figures figures{};
  for (int run = 0; run <= runs; ++run) {
    window.yields = 0;
    window.longestGap = {};
    const auto start = Clock::now();
    form.LoadItems();
    const double took = Ms(Clock::now() - start);
    std::vector<std::vector<std::wstring>> rows;
    for (int row = 1; row <= window.RowCount(); ++row) {
      rows.push_back({});
      for (int sub = 0; sub < 4; ++sub) rows.back().push_back(win32::Widen(window.RowText(row, sub)));
    }
    const double least = Floor(list, rows, window.yields);
    if (run == 0) continue;  // warm-up
    program.push_back(took);
    floor.push_back(least);
    figures.longestGap = std::max(figures.longestGap, Ms(window.longestGap));
    figures.rows = static_cast<int>(rows.size());
    figures.yields = window.yields;
  }
  if (!window.messages.empty()) std::printf("error report: %s\n", window.messages[0].text.c_str());
  figures.program = Median(program);
  figures.floor = Median(floor);
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  win32::ComApartment com;
  e2e::SavedFiles systemFiles(e2e::kSystemFiles);

  std::printf("LoadItems (registry, Startup, system files) against its floor, median of %d runs\n", runs);
  std::printf("%-34s %7s %7s %10s %10s %7s %12s\n", "data", "rows", "yields", "program", "floor", "ratio",
              "longest gap");
  double tenth = 0;
  for (int scale : {1, 10}) {
    Seed(1000 * scale, 200 * scale, 500 * scale);
    const Figures f = Measure(runs);
    std::printf("%5d values %5d files %5d lines %7d %7d %8.1f ms %7.1f ms %7.3f %9.2f ms\n", 1000 * scale, 200 * scale,
                500 * scale, f.rows, f.yields, f.program, f.floor, f.program / f.floor, f.longestGap);
    if (scale == 1) tenth = f.program;
    if (scale == 10) std::printf("10x the data costs %.2fx the time\n", f.program / tenth);
  }
  e2e::ClearAutorunKeys();
  for (const std::wstring& folder : {ShellFolder(CSIDL_STARTUP), ShellFolder(CSIDL_COMMON_STARTUP)}) {
    e2e::EmptyFolder(folder);
  }
  return 0;
}
