#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <set>

#include "e2e/harness.h"
#include "e2e/program_test.h"
#include "e2e/test_service_control.h"

namespace vq::e2e {
namespace {

TEST_F(ProgramTest, OpensCentredWithTheDesignedLayoutAndDefaultFilters) {
  AppProcess app(ProgramPath());
  const auto started = std::chrono::steady_clock::now();
  HWND form = app.WaitForMainWindow();
  ASSERT_NE(form, nullptr) << "no visible main window";
  std::cout << "main window visible after "
            << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count()
            << " ms\n";
  EXPECT_EQ(::FindWindowW(nullptr, L"Application Error"), nullptr);

  const int dpi = static_cast<int>(::GetDpiForWindow(form));
  auto px = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };

  EXPECT_EQ(WindowText(form), L"Vellorin Quade");
  const LONG style = ::GetWindowLongW(form, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME) << "fixed single border";
  EXPECT_TRUE(style & WS_CAPTION);

  RECT client{};
  ::GetClientRect(form, &client);
  EXPECT_EQ(client.right, px(8040));
  EXPECT_EQ(client.bottom, px(8445));
  if (dpi == 96) {
    EXPECT_EQ(client.right, 536);
    EXPECT_EQ(client.bottom, 563);
  }

  RECT window{};
  ::GetWindowRect(form, &window);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(form, MONITOR_DEFAULTTOPRIMARY), &monitor);
  EXPECT_NEAR(window.left - monitor.rcMonitor.left, monitor.rcMonitor.right - window.right, 1);
  EXPECT_NEAR(window.top - monitor.rcMonitor.top, monitor.rcMonitor.bottom - window.bottom, 1);

  struct Expected {
    int id;
    const wchar_t* className;
    const wchar_t* caption;
    int left, top, width, height;  // twips, in the window's client area
  };
  const Expected controls[] = {
      {kListView1, L"SysListView32", L"", 120, 120, 7800, 6375},
      {kPushButton1, L"Button", L"Refresh List", 120, 6585, 3840, 405},
      {kPushButton4, L"Button", L"Delete Items With Checkmark", 4080, 6585, 3840, 405},
      {kFrame2, L"Button", L"Type", 120, 7050, 7800, 735},
      {kCheck1, L"Button", L"Registry", 120 + 240, 7050 + 300, 1335, 255},
      {kCheck3, L"Button", L"Startup", 120 + 1800, 7050 + 300, 1335, 255},
      {kCheck2, L"Button", L"System", 120 + 3360, 7050 + 300, 1335, 255},
      {kCheck4, L"Button", L"Services", 120 + 4920, 7050 + 300, 1335, 255},
      {kCheck5, L"Button", L"Tasks", 120 + 6480, 7050 + 300, 1200, 255},
      {kProgressBar1, L"msctls_progress32", L"", 120, 7920, 7800, 405},
  };
  for (const Expected& c : controls) {
    HWND control = ::GetDlgItem(form, c.id);
    ASSERT_NE(control, nullptr) << c.id;
    wchar_t className[64] = {};
    ::GetClassNameW(control, className, 64);
    EXPECT_STREQ(className, c.className);
    EXPECT_EQ(WindowText(control), c.caption);
    const RECT rect = ChildRect(form, control);
    EXPECT_EQ(rect.left, px(c.left)) << c.id;
    EXPECT_EQ(rect.top, px(c.top)) << c.id;
    EXPECT_EQ(rect.right - rect.left, px(c.width)) << c.id;
    EXPECT_EQ(rect.bottom - rect.top, px(c.height)) << c.id;
  }

  HWND list = ::GetDlgItem(form, kListView1);
  EXPECT_TRUE(::SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_CHECKBOXES);
  EXPECT_EQ(::GetWindowLongW(list, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
  const std::vector<ListColumn> columns = ReadListColumns(list);
  ASSERT_EQ(columns.size(), 4u);
  const std::pair<const wchar_t*, int> expectedColumns[] = {
      {L"Type", 1500}, {L"Location", 2800}, {L"Item", 2800}, {L"Extra Details", 1}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(columns[i].header, expectedColumns[i].first);
    EXPECT_EQ(columns[i].width, px(expectedColumns[i].second)) << columns[i].header.size();
  }

  HWND progress = ::GetDlgItem(form, kProgressBar1);
  EXPECT_EQ(::SendMessageW(progress, PBM_GETPOS, 0, 0), 0);

  EXPECT_EQ(CheckStates(form), (std::vector<int>{1, 1, 1, 0, 1}));
  // Restoring a box from its default counts as a click: the four ticked ones are written back.
  EXPECT_EQ(StoredSetting(L"Check1"), L"1");
  EXPECT_EQ(StoredSetting(L"Check2"), L"1");
  EXPECT_EQ(StoredSetting(L"Check3"), L"1");
  EXPECT_EQ(StoredSetting(L"Check4"), L"<absent>");
  EXPECT_EQ(StoredSetting(L"Check5"), L"1");

  // White design: window background, frame and check boxes.
  HDC screen = ::GetDC(nullptr);
  auto colourAt = [&](HWND control, int x, int y) {
    POINT point{x, y};
    ::ClientToScreen(control, &point);
    return ::GetPixel(screen, point.x, point.y);
  };
  const RECT frame = ChildRect(form, ::GetDlgItem(form, kFrame2));
  EXPECT_EQ(colourAt(form, 2, 2), RGB(255, 255, 255));
  EXPECT_EQ(colourAt(form, frame.right - 10, frame.bottom - 8), RGB(255, 255, 255)) << "inside the frame";
  EXPECT_EQ(colourAt(::GetDlgItem(form, kCheck4), px(1335) - 2, 2), RGB(255, 255, 255)) << "check box";
  EXPECT_EQ(colourAt(::GetDlgItem(form, kCheck5), px(1200) - 2, 2), RGB(255, 255, 255)) << "the Tasks box";
  ::ReleaseDC(nullptr, screen);

  ::CreateDirectoryW((BuildFolder() + L"\\artifacts").c_str(), nullptr);
  EXPECT_TRUE(SaveWindowImage(form, BuildFolder() + L"\\artifacts\\form1.bmp"));

  CloseAndExpectExit(app, form);
}

TEST_F(ProgramTest, FilterClicksAreStoredAtOnceAndRestoredAtTheNextStart) {
  {
    AppProcess app(ProgramPath());
    HWND form = app.WaitForMainWindow();
    ASSERT_NE(form, nullptr);
    ::SendMessageW(::GetDlgItem(form, kCheck4), BM_CLICK, 0, 0);
    EXPECT_EQ(CheckState(form, kCheck4), 1);
    EXPECT_EQ(StoredSetting(L"Check4"), L"1");
    ::SendMessageW(::GetDlgItem(form, kCheck1), BM_CLICK, 0, 0);
    EXPECT_EQ(CheckState(form, kCheck1), 0);
    EXPECT_EQ(StoredSetting(L"Check1"), L"0");
    CloseAndExpectExit(app, form);
  }
  AppProcess app(ProgramPath());
  HWND form = app.WaitForMainWindow();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(CheckStates(form), (std::vector<int>{0, 1, 1, 1, 1}));
  CloseAndExpectExit(app, form);
}

// The cursor the desktop shows with the mouse at a point of the window's
// client area: after 300 ms, or, when told what to wait for, once it shows
// that (a loaded machine may take its time), or after 5 s.
HCURSOR CursorAt(HWND form, POINT point, const std::function<bool(HCURSOR)>& until = nullptr) {
  ::ClientToScreen(form, &point);
  ::SetCursorPos(point.x, point.y);
  CURSORINFO info{};
  info.cbSize = sizeof info;
  for (int waited = 0; waited < 5000; waited += 50) {
    ::Sleep(50);
    ::GetCursorInfo(&info);
    if (until ? until(info.hCursor) : waited >= 250) break;
  }
  return info.hCursor;
}

POINT CentreOf(HWND form, int id) {
  const RECT rect = ChildRect(form, ::GetDlgItem(form, id));
  return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

TEST_F(ProgramTest, HandPointerOverTheButtonsOnly) {
  AppProcess app(ProgramPath());
  HWND form = app.WaitForMainWindow();
  ASSERT_NE(form, nullptr);
  const RECT frame = ChildRect(form, ::GetDlgItem(form, kFrame2));
  const POINT inFrame{frame.right - 5, (frame.top + frame.bottom) / 2};  // right of the last box
  const POINT background{3, 3};
  // The program's cursor handles are its own, so they are compared with each
  // other: the hand over the buttons, something else over the list, the frame
  // and the background, and the check boxes keep whatever the pointer was.
  const HCURSOR arrow = CursorAt(form, background);
  const HCURSOR hand = CursorAt(form, CentreOf(form, kPushButton1), [&](HCURSOR cursor) { return cursor != arrow; });
  ASSERT_NE(hand, nullptr);
  ASSERT_NE(hand, arrow);
  const auto isHand = [&](HCURSOR cursor) { return cursor == hand; };
  const auto isNoHand = [&](HCURSOR cursor) { return cursor != hand; };
  EXPECT_NE(CursorAt(form, CentreOf(form, kListView1), isNoHand), hand);
  EXPECT_EQ(CursorAt(form, CentreOf(form, kPushButton4), isHand), hand);
  EXPECT_EQ(CursorAt(form, CentreOf(form, kCheck4)), hand) << "from a button straight onto a check box";
  EXPECT_NE(CursorAt(form, inFrame, isNoHand), hand);
  EXPECT_NE(CursorAt(form, CentreOf(form, kCheck4)), hand);
  EXPECT_EQ(CursorAt(form, CentreOf(form, kPushButton1), isHand), hand);
  EXPECT_NE(CursorAt(form, background, isNoHand), hand);
  CloseAndExpectExit(app, form);
}

TEST_F(ProgramTest, StoredWordThatIsNoNumberShowsTheErrorBoxForItsStatement) {
  StoreSetting(L"Check2", L"abc");
  AppProcess app(ProgramPath());
  HWND box = app.WaitForMessageBox(L"Application Error");
  ASSERT_NE(box, nullptr) << "no error report box";
  EXPECT_EQ(MessageBoxText(box), ErrorReport(L"Type mismatch", L"Form_Load", 146));
  EXPECT_EQ(app.WaitForMainWindow(0ms), nullptr) << "the window shows only after the start-up sequence";
  PressMessageBoxButton(box, IDOK);

  HWND form = app.WaitForMainWindow();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(CheckStates(form), (std::vector<int>{1, 0, 1, 0, 1}));
  EXPECT_EQ(StoredSetting(L"Check2"), L"abc");
  CloseAndExpectExit(app, form);
}

TEST_F(ProgramTest, StoredTwoShowsGreyedAndAClickTicksAndStoresIt) {
  StoreSetting(L"Check2", L"2");
  StoreSetting(L"Check4", L"1");
  AppProcess app(ProgramPath());
  HWND form = app.WaitForMainWindow();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(CheckStates(form), (std::vector<int>{1, BST_INDETERMINATE, 1, 1, 1}));
  ::SendMessageW(::GetDlgItem(form, kCheck2), BM_CLICK, 0, 0);
  EXPECT_EQ(CheckState(form, kCheck2), 1);
  EXPECT_EQ(StoredSetting(L"Check2"), L"1");
  CloseAndExpectExit(app, form);
}

TEST_F(ProgramTest, RefreshWithEveryFilterOffEmptiesTheList) {
  for (const wchar_t* key : {L"Check1", L"Check2", L"Check3", L"Check4"}) StoreSetting(key, L"0");
  AppProcess app(ProgramPath());
  HWND form = app.WaitForMainWindow();
  ASSERT_NE(form, nullptr);
  HWND list = ::GetDlgItem(form, kListView1);
  InsertListRow(list, L"stale row");
  const std::vector<ListRow> before = ReadListRows(list);
  ASSERT_EQ(before.size(), 1u);
  EXPECT_EQ(before[0].texts[0], L"stale row");
  EXPECT_FALSE(before[0].checked);

  ::SendMessageW(::GetDlgItem(form, kPushButton1), BM_CLICK, 0, 0);
  EXPECT_TRUE(ReadListRows(list).empty()) << "no source chosen, so the refresh leaves no row";
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(form, kPushButton1)));
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(form, kPushButton4)));
  EXPECT_EQ(::FindWindowW(nullptr, L"Application Error"), nullptr);
  CloseAndExpectExit(app, form);
}

TEST_F(ProgramTest, CursorFileThatIsNoPictureIsReportedAtStatement106) {
  TempFolder folder;
  const std::wstring copy = folder.path() + L"\\VellorinQuade.exe";
  ASSERT_TRUE(::CopyFileW(ProgramPath().c_str(), copy.c_str(), FALSE));
  WriteFileBytes(folder.path() + L"\\HAND-M.CUR", "this is no cursor");
  AppProcess app(copy);
  HWND box = app.WaitForMessageBox(L"Application Error");
  ASSERT_NE(box, nullptr);
  const std::wstring text = MessageBoxText(box);
  EXPECT_NE(text.find(L"\r\nin Kestrelbay2021/08/31.Form1.Form_Load at line 106\r\r"), std::wstring::npos)
      << std::string(text.begin(), text.end());
  PressMessageBoxButton(box, IDOK);
  HWND form = app.WaitForMainWindow();
  ASSERT_NE(form, nullptr);
  CloseAndExpectExit(app, form);
}

// Key name and display name of every running service, in the manager's order
// (Wine's management service lists drivers among the services).
std::vector<std::pair<std::wstring, std::wstring>> RunningServices() {
  std::vector<std::pair<std::wstring, std::wstring>> running;
  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
  DWORD bytes = 0, count = 0;
  ::EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_TYPE_ALL, SERVICE_STATE_ALL, nullptr, 0, &bytes, &count,
                          nullptr, nullptr);
  std::vector<BYTE> buffer(bytes);
  if (::EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_TYPE_ALL, SERVICE_STATE_ALL, buffer.data(), bytes,
                              &bytes, &count, nullptr, nullptr)) {
    const auto* services = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      if (services[i].ServiceStatusProcess.dwCurrentState == SERVICE_RUNNING) {
        running.emplace_back(services[i].lpServiceName, services[i].lpDisplayName);
      }
    }
  }
  ::CloseServiceHandle(manager);
  return running;
}

// Every source seeded: the list after start-up is exactly what was put there.
TEST_F(ProgramTest, ListAfterStartUpIsEverySeededItemInOrder) {
  ClearAutorunKeys();
  const std::wstring run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  WriteRegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", L"Agent",
                    L"\"C:\\Program Files\\Vendor\\agent.exe\" /tray");
  WriteRegistryText(HKEY_CURRENT_USER, run, L"\u00DCberwachung-\u4E2D", L"C:\\Tools\\\u00FC.exe");
  WriteRegistryText(HKEY_CURRENT_USER, run, L"Notes", L"notes.exe --min");
  WriteRegistryText(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"load",
                    L"C:\\Old\\loader.exe");
  WriteRegistryText(HKEY_USERS, L".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", L"Setup",
                    L"C:\\Setup\\setup.exe");

  const std::wstring user = ShellFolder(CSIDL_STARTUP), common = ShellFolder(CSIDL_COMMON_STARTUP);
  EmptyFolder(user);
  EmptyFolder(common);
  WriteFileBytes(user + L"\\Sync Tool.lnk", "x");
  WriteFileBytes(user + L"\\\u65E5\u672C.url", "x");
  WriteFileBytes(common + L"\\Sync Tool.lnk", "x");

  SavedFiles systemFiles(kSystemFiles);
  ::DeleteFileW(L"C:\\autoexec.bat");
  WriteFileBytes(L"C:\\config.sys", "DEVICE=C:\\DOS\\himem.sys\r\nINSTALL=C:\\DOS\\share.exe\r\n");
  WriteFileBytes(L"C:\\windows\\system.ini", "[boot]\r\nshell=Explorer.exe\r\n");
  WriteFileBytes(L"C:\\windows\\win.ini", "[windows]\r\nload=C:\\Tools\\agent.exe\r\nrun=\r\n");

  TestService service(L"VQ Test Listed", L"Vellorin Listed \u00DC");
  ASSERT_TRUE(service.Start());
  StoreSetting(L"Check4", L"1");

  std::vector<std::vector<std::wstring>> expected = {
      {L"REGISTRY", L"HKLM:SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", L"Agent",
       L"C:\\Program Files\\Vendor\\"},
      {L"REGISTRY", L"HKCU:" + run, L"Notes", L""},
      {L"REGISTRY", L"HKCU:" + run, L"\u00DCberwachung-\u4E2D", L"C:\\Tools\\"},
      {L"REGISTRY", L"HKCU:Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\", L"load",
       L"C:\\Old\\"},
      {L"REGISTRY", L"HKU:.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", L"Setup",
       L"C:\\Setup\\"},
  };
  for (const std::wstring& name : ListedFiles(user)) expected.push_back({L"STARTUP", user, name, user + L"\\"});
  for (const std::wstring& name : ListedFiles(common)) expected.push_back({L"STARTUP", common, name, common});
  expected.push_back({L"SYSFILE", L"C:\\config.sys", L"INSTALL=C:\\DOS\\share.exe", L"C:\\"});
  expected.push_back({L"SYSFILE", L"C:\\windows\\system.ini", L"shell=Explorer.exe", L"C:\\windows\\"});
  expected.push_back({L"SYSFILE", L"C:\\windows\\win.ini", L"load=C:\\Tools\\agent.exe", L"C:\\windows\\"});
  expected.push_back({L"SYSFILE", L"C:\\windows\\win.ini", L"run=", L"C:\\windows\\"});

  AppProcess app(ProgramPath());
  HWND form = app.WaitForMainWindow();
  ASSERT_NE(form, nullptr);
  std::vector<std::vector<std::wstring>> rows;
  for (const ListRow& row : ReadListRows(::GetDlgItem(form, kListView1))) {
    EXPECT_FALSE(row.checked);
    rows.push_back(row.texts);
  }
  // Asked afterwards: the program's own query may have started services on demand (RpcSs).
  for (const auto& [name, display] : RunningServices()) expected.push_back({L"SERVICES", name, display, L""});
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(std::count(rows.begin(), rows.end(),
                       std::vector<std::wstring>{L"SERVICES", L"VQ Test Listed", L"Vellorin Listed \u00DC", L""}),
            1);
  EXPECT_EQ(::FindWindowW(nullptr, L"Application Error"), nullptr);
  CloseAndExpectExit(app, form);

  // The console edition lists the same entries, in the same order, as the
  // fleet tools name them, and opens no window (a box would never return);
  // of the services, those Windows will start as well as those running.
  const ConsoleRun console = RunConsole(L"-nobanner -a * -ct");
  EXPECT_EQ(console.exitCode, 0u) << console.err;
  std::vector<std::pair<std::wstring, std::wstring>> listed, shown;
  std::set<std::wstring> services;
  const std::wstring text = FromMarkedUtf16(console.out).value_or(L"");
  for (std::size_t at = text.find(L"\r\n") + 2; at < text.size(); at = text.find(L"\r\n", at) + 2) {
    std::vector<std::wstring> fields(1);
    for (std::size_t i = at; i < text.find(L"\r\n", at); ++i) {
      if (text[i] == L'\t') {
        fields.emplace_back();
      } else if (text[i] != L'"') {
        fields.back() += text[i];  // none of the seeded texts holds a quote, a tab or a line break
      }
    }
    if (fields.size() <= 4 || fields[2].empty()) continue;
    if (fields[4] == L"Services" || fields[4] == L"Drivers") {
      services.insert(fields[2]);
    } else {
      listed.emplace_back(fields[1], fields[2]);
    }
  }
  for (const auto& row : expected) {
    if (row[0] == L"SERVICES") continue;  // asked anew below
    std::wstring location = row[1];
    if (row[0] == L"REGISTRY") {
      location = location.substr(0, location.find(L':')) + L"\\" + location.substr(location.find(L':') + 1);
      if (location.ends_with(L"\\")) location.pop_back();
    }
    shown.emplace_back(location, row[2]);
  }
  EXPECT_EQ(listed, shown);
  for (const auto& [name, display] : RunningServices()) EXPECT_TRUE(services.count(name)) << "a running service is listed";

  ClearAutorunKeys();
  EmptyFolder(user);
  EmptyFolder(common);
}

TEST(ProgramFile, CarriesItsManifestIconAndVersion) {
  HMODULE program = ::LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(program, nullptr);
  HRSRC found = ::FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr) << "no manifest";
  const std::string manifest(static_cast<const char*>(::LockResource(::LoadResource(program, found))),
                             ::SizeofResource(program, found));
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(manifest.find(">PerMonitorV2<"), std::string::npos);
  EXPECT_NE(manifest.find("level=\"highestAvailable\""), std::string::npos) << "an administrator is asked once, a standard user not at all";
  EXPECT_NE(::FindResourceW(program, MAKEINTRESOURCEW(1), RT_GROUP_ICON), nullptr) << "no icon";
  EXPECT_NE(::FindResourceW(program, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION), nullptr) << "no version";
  ::FreeLibrary(program);
}

// The desktop's DPI, as the prefix keeps it, for the programs started after it is set.
class DesktopDpi {
 public:
  explicit DesktopDpi(DWORD dpi) { Set(&dpi); }
  ~DesktopDpi() { Set(nullptr); }

 private:
  static void Set(const DWORD* dpi) {
    HKEY desktop = nullptr;
    ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &desktop);
    if (dpi) {
      ::RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(dpi), sizeof *dpi);
    } else {
      ::RegDeleteValueW(desktop, L"LogPixels");
    }
    ::RegCloseKey(desktop);
  }
};

TEST_F(ProgramTest, AtHigherDpiTheLayoutScales) {
  DesktopDpi dpi(144);
  AppProcess app(ProgramPath());
  HWND form = app.WaitForMainWindow();
  ASSERT_NE(form, nullptr);
  RECT client{};
  ::GetClientRect(form, &client);
  EXPECT_EQ(client.right, 804);   // 8040 twips at 144 DPI
  EXPECT_EQ(client.bottom, 845);  // 8445 twips, rounded
  const RECT list = ChildRect(form, ::GetDlgItem(form, kListView1));
  EXPECT_EQ(list.left, 12);
  EXPECT_EQ(list.right - list.left, 780);
  EXPECT_EQ(list.bottom - list.top, 638);
  const RECT services = ChildRect(form, ::GetDlgItem(form, kCheck4));
  EXPECT_EQ(services.left, 504);  // (120 + 4920) twips
  EXPECT_EQ(services.top, 735);   // (7050 + 300) twips
  const std::vector<ListColumn> columns = ReadListColumns(::GetDlgItem(form, kListView1));
  ASSERT_EQ(columns.size(), 4u);
  EXPECT_EQ(columns[0].width, 150);
  EXPECT_EQ(columns[1].width, 280);
  CloseAndExpectExit(app, form);
}

}  // namespace
}  // namespace vq::e2e
