// The delete command and the skin, in the real program on the Wine desktop.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <thread>

#include "e2e/harness.h"
#include "e2e/program_test.h"
#include "e2e/test_service_control.h"

namespace vq::e2e {
namespace {

// Waits until the list shows rows that satisfy the probe.
template <class Probe>
std::vector<ListRow> WaitForRows(HWND list, Probe&& probe) {
  std::vector<ListRow> rows;
  for (int i = 0; i < 500; ++i) {
    rows = ReadListRows(list);
    if (probe(rows)) break;
    std::this_thread::sleep_for(20ms);
  }
  return rows;
}

class DeleteCommand : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ClearAutorunKeys();
    EmptyFolder(user);
    EmptyFolder(common);
  }
  void TearDown() override {
    ClearAutorunKeys();
    EmptyFolder(user);
    ProgramTest::TearDown();
  }
  // Starts the program and waits for its first list.
  HWND Start(AppProcess& app) {
    HWND form = app.WaitForMainWindow();
    list = form ? ::GetDlgItem(form, kListView1) : nullptr;
    return form;
  }
  void Tick(const std::vector<std::wstring>& texts) {
    const int row = FindListRow(ReadListRows(list), texts);
    ASSERT_GE(row, 0) << "no row " << texts[0].size();
    SetListRowChecked(list, row, true);
  }
  void PressDelete(HWND form) { ::PostMessageW(::GetDlgItem(form, kPushButton4), BM_CLICK, 0, 0); }
  // Waits for the question, checks it and answers it.
  void Answer(const AppProcess& app, int button) {
    HWND box = app.WaitForMessageBox(L"Delete/Stop Selected Items");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), L"Are you sure you want to delete/stop the checked item(s)?");
    EXPECT_NE(::GetDlgItem(box, IDYES), nullptr);
    EXPECT_NE(::GetDlgItem(box, IDNO), nullptr);
    PressMessageBoxButton(box, button);
  }

  const std::wstring run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::wstring user = ShellFolder(CSIDL_STARTUP), common = ShellFolder(CSIDL_COMMON_STARTUP);
  HWND list = nullptr;
};

TEST_F(DeleteCommand, EveryKindOfTickedRowThenTheRefreshedList) {
  WriteRegistryText(HKEY_CURRENT_USER, run, L"\u00DCberwachung-\u4E2D", L"C:\\Tools\\\u00FC.exe");
  WriteRegistryText(HKEY_CURRENT_USER, run, L"Keep Me", L"keep.exe");
  WriteFileBytes(user + L"\\Read Only Tool.v2.lnk", "ro");
  ::SetFileAttributesW((user + L"\\Read Only Tool.v2.lnk").c_str(), FILE_ATTRIBUTE_READONLY);
  WriteFileBytes(user + L"\\Keep.lnk", "keep");
  SavedFiles systemFiles(kSystemFiles);
  const std::string winIni = "[windows]\r\nload=C:\\Tools\\agent.exe\r\n";
  WriteFileBytes(L"C:\\windows\\win.ini", winIni);
  TestService service(L"VQ Test Delete", L"Vellorin Delete Test");
  ASSERT_TRUE(service.Start());
  StoreSetting(L"Check4", L"1");

  AppProcess app(ProgramPath());
  HWND form = Start(app);
  ASSERT_NE(form, nullptr);
  Tick({L"REGISTRY", L"HKCU:" + run, L"\u00DCberwachung-\u4E2D"});
  Tick({L"STARTUP", user, L"Read Only Tool.v2.lnk"});
  Tick({L"SYSFILE", L"C:\\windows\\win.ini", L"load=C:\\Tools\\agent.exe"});
  Tick({L"SERVICES", L"VQ Test Delete", L"Vellorin Delete Test"});
  PressDelete(form);
  Answer(app, IDYES);
  HWND message = app.WaitForMessageBox(L"Vellorin");
  ASSERT_NE(message, nullptr) << "the system-file message, under the application title";
  EXPECT_EQ(MessageBoxText(message), L"Could not delete system file.");
  PressMessageBoxButton(message, IDOK);

  const std::vector<ListRow> rows = WaitForRows(list, [&](const std::vector<ListRow>& now) {
    return FindListRow(now, {L"REGISTRY", L"HKCU:" + run, L"Keep Me"}) >= 0 &&
           FindListRow(now, {L"REGISTRY", L"HKCU:" + run, L"\u00DCberwachung-\u4E2D"}) < 0;
  });
  EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, run, L"\u00DCberwachung-\u4E2D"), L"<absent>");
  EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, run, L"Keep Me"), L"keep.exe");
  EXPECT_EQ(::GetFileAttributesW((user + L"\\Read Only Tool.v2.lnk").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ReadFileBytes(user + L"\\Keep.lnk"), "keep");
  EXPECT_EQ(ReadFileBytes(L"C:\\windows\\win.ini"), winIni);
  EXPECT_TRUE(service.Stop());

  EXPECT_GE(FindListRow(rows, {L"STARTUP", user, L"Keep.lnk"}), 0);
  EXPECT_LT(FindListRow(rows, {L"STARTUP", user, L"Read Only Tool.v2.lnk"}), 0);
  EXPECT_GE(FindListRow(rows, {L"SYSFILE", L"C:\\windows\\win.ini", L"load=C:\\Tools\\agent.exe"}), 0);
  EXPECT_LT(FindListRow(rows, {L"SERVICES", L"VQ Test Delete"}), 0);
  for (const ListRow& row : rows) EXPECT_FALSE(row.checked);
  EXPECT_EQ(::FindWindowW(nullptr, L"Application Error"), nullptr);
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(form, kPushButton4)));
  CloseAndExpectExit(app, form);
}

TEST_F(DeleteCommand, NoChangesNothingAndNothingTickedIsSaidSo) {
  WriteRegistryText(HKEY_CURRENT_USER, run, L"Tool", L"tool.exe");
  AppProcess app(ProgramPath());
  HWND form = Start(app);
  ASSERT_NE(form, nullptr);

  PressDelete(form);
  Answer(app, IDYES);
  HWND message = app.WaitForMessageBox(L"Vellorin");
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(MessageBoxText(message), L"You forgot to check item(s).");
  PressMessageBoxButton(message, IDOK);

  Tick({L"REGISTRY", L"HKCU:" + run, L"Tool"});
  PressDelete(form);
  Answer(app, IDNO);
  const std::vector<ListRow> rows = WaitForRows(list, [](const std::vector<ListRow>&) { return true; });
  EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, run, L"Tool"), L"tool.exe");
  const int row = FindListRow(rows, {L"REGISTRY", L"HKCU:" + run, L"Tool"});
  ASSERT_GE(row, 0);
  EXPECT_TRUE(rows[row].checked) << "the tick stays";
  EXPECT_EQ(app.WaitForMessageBox(L"Vellorin", 300ms), nullptr);
  CloseAndExpectExit(app, form);
}

// A copy of the program in a folder of its own, with a skin file beside it.
class SkinnedProgram : public ProgramTest {
 protected:
  std::wstring CopyWithSkin(const std::string& skin) {
    const std::wstring copy = folder.path() + L"\\VellorinQuade.exe";
    EXPECT_TRUE(::CopyFileW(ProgramPath().c_str(), copy.c_str(), FALSE));
    ::CreateDirectoryW((folder.path() + L"\\x").c_str(), nullptr);
    WriteFileBytes(folder.path() + L"\\x\\o.cjs", skin);
    return copy;
  }
  static COLORREF PixelAt(HWND window, POINT point) {
    ::ClientToScreen(window, &point);
    HDC screen = ::GetDC(nullptr);
    const COLORREF colour = ::GetPixel(screen, point.x, point.y);
    ::ReleaseDC(nullptr, screen);
    return colour;
  }
  TempFolder folder;
};

TEST_F(SkinnedProgram, TheWindowWearsTheSkinsColours) {
  AppProcess app(CopyWithSkin("; a dark skin\r\nwindow = #203040\r\ntext = #F0F0F0\r\nlist = #304050\r\n"));
  HWND form = app.WaitForMainWindow();
  ASSERT_NE(form, nullptr);
  ::RedrawWindow(form, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(PixelAt(form, {3, 3}), RGB(0x20, 0x30, 0x40));
  const RECT frame = ChildRect(form, ::GetDlgItem(form, kFrame2));
  EXPECT_EQ(PixelAt(form, {frame.right - 10, frame.bottom - 8}), RGB(0x20, 0x30, 0x40)) << "inside the frame";
  HWND listView = ::GetDlgItem(form, kListView1);
  RECT inside{};
  ::GetClientRect(listView, &inside);
  EXPECT_EQ(PixelAt(listView, {inside.right - 5, inside.bottom - 5}), RGB(0x30, 0x40, 0x50));
  ::CreateDirectoryW((BuildFolder() + L"\\artifacts").c_str(), nullptr);
  EXPECT_TRUE(SaveWindowImage(form, BuildFolder() + L"\\artifacts\\form1-skinned.bmp"));
  EXPECT_EQ(::FindWindowW(nullptr, L"Application Error"), nullptr);
  CloseAndExpectExit(app, form);
}

TEST_F(SkinnedProgram, ARejectedSkinIsReportedAtStatement100AndOnlyTheColoursSwitch) {
  AppProcess app(CopyWithSkin("colour = #203040\r\n"));
  HWND box = app.WaitForMessageBox(L"Application Error");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MessageBoxText(box), ErrorReport(L"Invalid skin file, line 1: unknown key \"colour\"", L"Form_Load", 100));
  PressMessageBoxButton(box, IDOK);
  HWND form = app.WaitForMainWindow();
  ASSERT_NE(form, nullptr);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(PixelAt(form, {3, 3}), ::GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(WindowText(form), L"Vellorin Quade") << "the start-up went on";
  CloseAndExpectExit(app, form);
}

}  // namespace
}  // namespace vq::e2e
