// The delete command and the skin, in the real program on the Wine desktop.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <thread>

#include "e2e/harness.h"
#include "e2e/program_test.h"
#include "e2e/test_service_control.h"

namespace vq::e2e {
namespace {

// Waits until the list is complete and shows rows that satisfy the probe.
// The program disables the list while it gathers or walks it, so an enabled
// list holds every source's rows; the probe tells a list gathered anew from
// the one before the walk.
template <class Probe>
std::vector<ListRow> WaitForRows(HWND list, Probe&& probe) {
  std::vector<ListRow> rows;
  for (int i = 0; i < 500; ++i) {
    const bool complete = ::IsWindowEnabled(list);
    rows = ReadListRows(list);
    if (complete && probe(rows)) break;
    std::this_thread::sleep_for(20ms);
  }
  return rows;
}

// True when the condition holds, checked every 20 ms, for the whole time:
// long enough to see a change the program should not make.
template <class Condition>
bool HoldsFor(std::chrono::milliseconds time, Condition&& condition) {
  for (auto waited = 0ms; waited < time; waited += 20ms) {
    if (!condition()) return false;
    std::this_thread::sleep_for(20ms);
  }
  return condition();
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
  // A walk would take the value and gather the list anew in well under this.
  EXPECT_TRUE(HoldsFor(2s, [&] {
    const std::vector<ListRow> rows = ReadListRows(list);
    const int row = FindListRow(rows, {L"REGISTRY", L"HKCU:" + run, L"Tool"});
    return ReadRegistryText(HKEY_CURRENT_USER, run, L"Tool") == L"tool.exe" && row >= 0 && rows[row].checked;
  })) << "nothing is deleted after No, and the tick stays";
  EXPECT_EQ(app.WaitForMessageBox(L"Vellorin", 300ms), nullptr);
  CloseAndExpectExit(app, form);
}

// A program started the usual way may only read the machine-wide keys, even
// for an administrator; Wine's own token may change them all, so the keys are
// made readable only. Every entry is listed; the walk removes and saves the
// user's own, and leaves the others, unsaved and unreported, to be listed again.
TEST_F(DeleteCommand, StandardUser_MachineWideEntriesListedAndLeftAsTheyAre) {
  const std::wstring policies = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
  const std::pair<HKEY, std::wstring> machine[] = {
      {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {HKEY_USERS, L".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {HKEY_LOCAL_MACHINE, policies},
  };
  const wchar_t* const prefixes[] = {L"HKLM:", L"HKLM:", L"HKU:", L"HKLM:"};
  struct KeyGone {  // the point's key goes at the end, whatever happens, after its DACL is back
    std::wstring key;
    ~KeyGone() { DeleteRegistryKey(HKEY_LOCAL_MACHINE, key); }
  } policiesGone{policies};
  for (const auto& [root, key] : machine) {
    WriteRegistryText(root, key, L"Machine Tool", L"C:\\m\\tool.exe");
    WriteRegistryText(root, key, L"Machine Expanded", L"%ProgramFiles%\\m\\e.exe", REG_EXPAND_SZ);
  }
  WriteRegistryText(HKEY_CURRENT_USER, run, L"Mine", L"C:\\u\\mine.exe");
  WriteRegistryText(HKEY_CURRENT_USER, run, L"Mine Expanded", L"%APPDATA%\\u.exe", REG_EXPAND_SZ);
  std::vector<std::map<std::wstring, std::pair<DWORD, std::string>>> before;
  for (const auto& [root, key] : machine) before.push_back(RegistryValues(root, key));
  const std::wstring newestBefore = NewestBackupFolder();
  {
    std::vector<std::unique_ptr<ReadOnlyKey>> readOnly;
    for (const auto& [root, key] : machine) {
      readOnly.push_back(std::make_unique<ReadOnlyKey>(root, key));
      ASSERT_TRUE(readOnly.back()->Refuses()) << "the key takes the read-only DACL";
    }
    AppProcess app(ProgramPath());
    HWND form = Start(app);
    ASSERT_NE(form, nullptr);
    const std::vector<ListRow> listed = ReadListRows(list);
    for (std::size_t i = 0; i < std::size(machine); ++i) {
      for (const wchar_t* name : {L"Machine Tool", L"Machine Expanded"}) {
        EXPECT_GE(FindListRow(listed, {L"REGISTRY", prefixes[i] + machine[i].second, name}), 0) << machine[i].second;
      }
    }
    EXPECT_GE(FindListRow(listed, {L"REGISTRY", L"HKCU:" + run, L"Mine Expanded", L""}), 0);
    for (const ListRow& row : listed) {
      if (row.texts[0] == L"REGISTRY") SetListRowChecked(list, static_cast<int>(&row - listed.data()), true);
    }
    PressDelete(form);
    Answer(app, IDYES);
    const std::vector<ListRow> rows = WaitForRows(list, [&](const std::vector<ListRow>& now) {
      // The point's rows are the last registry rows of a gathering.
      return FindListRow(now, {L"REGISTRY", L"HKCU:" + run, L"Mine"}) < 0 &&
             FindListRow(now, {L"REGISTRY", L"HKLM:" + policies, L"Machine Expanded"}) >= 0;
    });
    for (std::size_t i = 0; i < std::size(machine); ++i) {
      EXPECT_EQ(RegistryValues(machine[i].first, machine[i].second), before[i]) << machine[i].second;
      EXPECT_GE(FindListRow(rows, {L"REGISTRY", prefixes[i] + machine[i].second, L"Machine Tool"}), 0)
          << "listed again";
    }
    EXPECT_TRUE(RegistryValues(HKEY_CURRENT_USER, run).empty()) << "the user's own went";
    EXPECT_EQ(::FindWindowW(nullptr, L"Application Error"), nullptr) << "a refusal is not reported";
    CloseAndExpectExit(app, form);
  }
  const std::wstring backup = NewestBackupFolder();
  ASSERT_NE(backup, newestBefore);
  const std::optional<std::string> saved = ReadFileBytes(backup + L"\\registry.reg");
  ASSERT_TRUE(saved);
  const std::wstring text(reinterpret_cast<const wchar_t*>(saved->data()), saved->size() / 2);
  EXPECT_NE(text.find(L"\"Mine\"="), std::wstring::npos);
  EXPECT_NE(text.find(L"\"Mine Expanded\"=hex(2):"), std::wstring::npos);
  EXPECT_EQ(text.find(L"Machine"), std::wstring::npos) << "nothing it could not remove is in the backup";
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
  // The colour the screen shows at a point of the window once it shows the
  // expected one, or after 5 s (a loaded machine may paint late).
  static COLORREF PixelAt(HWND window, POINT point, COLORREF expected) {
    ::ClientToScreen(window, &point);
    COLORREF colour = CLR_INVALID;
    for (int waited = 0; waited < 5000 && colour != expected; waited += 20) {
      if (waited > 0) std::this_thread::sleep_for(20ms);
      HDC screen = ::GetDC(nullptr);
      colour = ::GetPixel(screen, point.x, point.y);
      ::ReleaseDC(nullptr, screen);
    }
    return colour;
  }
  TempFolder folder;
};

TEST_F(SkinnedProgram, TheWindowWearsTheSkinsColours) {
  AppProcess app(CopyWithSkin("; a dark skin\r\nwindow = #203040\r\ntext = #F0F0F0\r\nlist = #304050\r\n"));
  HWND form = app.WaitForMainWindow();
  ASSERT_NE(form, nullptr);
  ::RedrawWindow(form, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  const COLORREF window = RGB(0x20, 0x30, 0x40), list = RGB(0x30, 0x40, 0x50);
  EXPECT_EQ(PixelAt(form, {3, 3}, window), window);
  const RECT frame = ChildRect(form, ::GetDlgItem(form, kFrame2));
  EXPECT_EQ(PixelAt(form, {frame.right - 10, frame.bottom - 8}, window), window) << "inside the frame";
  HWND listView = ::GetDlgItem(form, kListView1);
  RECT inside{};
  ::GetClientRect(listView, &inside);
  EXPECT_EQ(PixelAt(listView, {inside.right - 5, inside.bottom - 5}, list), list);
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
  EXPECT_EQ(PixelAt(form, {3, 3}, ::GetSysColor(COLOR_BTNFACE)), ::GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(WindowText(form), L"Vellorin Quade") << "the start-up went on";
  CloseAndExpectExit(app, form);
}

}  // namespace
}  // namespace vq::e2e
