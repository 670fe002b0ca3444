// Switching entries off and on from the list's shortcut menu, in the real
// program on the Wine desktop, driven by real mouse and keyboard input.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <thread>

#include "e2e/harness.h"
#include "e2e/program_test.h"

namespace vq::e2e {
namespace {

const std::wstring kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kSwitches = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved";

void Key(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  ::SendInput(1, &input, sizeof input);
}
void Press(WORD key) {
  Key(key, false);
  Key(key, true);
}
void RightClick(POINT at) {
  ::SetCursorPos(at.x, at.y);
  INPUT input[2]{};
  input[0].type = input[1].type = INPUT_MOUSE;
  input[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
  input[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
  ::SendInput(2, input, sizeof input[0]);
}

// The process's shortcut menu on the screen now, or null.
HWND ShownMenu(DWORD processId) {
  for (HWND menu = nullptr; (menu = ::FindWindowExW(nullptr, menu, L"#32768", nullptr)) != nullptr;) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(menu, &owner);
    if (owner == processId && ::IsWindowVisible(menu)) return menu;
  }
  return nullptr;
}

// True once the menu shows (or has gone), within 5 s.
bool WaitForMenu(DWORD processId, bool shown) {
  for (int waited = 0; waited < 5000; waited += 20) {
    if ((ShownMenu(processId) != nullptr) == shown) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

// The switch as the registry holds it now: its type and bytes, or none.
std::optional<std::pair<DWORD, std::string>> SwitchOf(HKEY root, const std::wstring& list, const std::wstring& name) {
  const auto values = RegistryValues(root, kSwitches + L"\\" + list);
  const auto found = values.find(name);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

// How many of the cell's pixels are in each colour: the text's colour shows the row's state.
struct CellColours {
  int grey = 0, text = 0;
};
CellColours ColoursOf(const RECT& cell) {
  const COLORREF grey = ::GetSysColor(COLOR_GRAYTEXT), text = ::GetSysColor(COLOR_WINDOWTEXT);
  CellColours counted;
  HDC screen = ::GetDC(nullptr);
  for (LONG y = cell.top + 1; y < cell.bottom - 1; ++y) {
    for (LONG x = cell.left + 1; x < cell.right - 1; ++x) {
      const COLORREF pixel = ::GetPixel(screen, x, y);
      counted.grey += pixel == grey;
      counted.text += pixel == text;
    }
  }
  ::ReleaseDC(nullptr, screen);
  return counted;
}

// Waits until the cell is drawn in the grey-text colour (or not), 5 s at most.
CellColours WaitForColours(const RECT& cell, bool greyed) {
  CellColours colours;
  for (int waited = 0; waited < 5000; waited += 50) {
    colours = ColoursOf(cell);
    if (greyed ? colours.grey > 0 && colours.text == 0 : colours.text > 0 && colours.grey == 0) break;
    std::this_thread::sleep_for(50ms);
  }
  return colours;
}

// The console edition's Enabled for the entry of that name (the only row
// naming it), as its CSV has it, quoted or not.
std::wstring ConsoleEnabled(const std::wstring& name) {
  const std::optional<std::wstring> out = FromMarkedUtf16(RunConsole(L"-nobanner -a l -c").out);
  if (!out) return L"<no output>";
  const std::size_t at = out->find(name);
  if (at == std::wstring::npos) return L"<not listed>";
  const std::size_t start = out->rfind(L'\n', at) + 1;
  const std::wstring line = out->substr(start, out->find(L'\n', at) - start);
  for (const wchar_t* state : {L"disabled", L"enabled"}) {
    if (line.find(std::wstring(L",") + state + L",") != std::wstring::npos ||
        line.find(std::wstring(L",\"") + state + L"\",") != std::wstring::npos) {
      return state;
    }
  }
  return L"<neither>";
}

class RowMenu : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ClearAutorunKeys();
    EmptyFolder(user);
    DeleteRegistryKey(HKEY_CURRENT_USER, kSwitches);
  }
  void TearDown() override {
    ClearAutorunKeys();
    EmptyFolder(user);
    DeleteRegistryKey(HKEY_CURRENT_USER, kSwitches);
    ProgramTest::TearDown();
  }
  // The program's window in front, once it shows, with its list.
  HWND Start(const AppProcess& app) {
    HWND form = app.WaitForMainWindow();
    list = form ? ::GetDlgItem(form, kListView1) : nullptr;
    if (form) ::SetForegroundWindow(form);
    return form;
  }
  int Row(const std::vector<std::wstring>& texts) { return FindListRow(ReadListRows(list), texts); }
  // Chooses on the menu that shows by the item's mnemonic, and waits for the menu to go.
  void Choose(const AppProcess& app, WORD mnemonic) {
    ASSERT_TRUE(WaitForMenu(app.id(), true)) << "the shortcut menu shows";
    Press(mnemonic);
    ASSERT_TRUE(WaitForMenu(app.id(), false));
  }

  const std::wstring user = ShellFolder(CSIDL_STARTUP);
  HWND list = nullptr;
};

TEST_F(RowMenu, DisableAndEnableByMouseAndKeyboardAsWindowsKeepsThem) {
  WriteRegistryText(HKEY_CURRENT_USER, kRun, L"Switch Me", L"C:\\s\\switch.exe");
  WriteRegistryText(HKEY_CURRENT_USER, kRun, L"Other", L"C:\\o\\other.exe");
  WriteFileBytes(user + L"\\Switch.lnk", "lnk");
  EXPECT_EQ(ConsoleEnabled(L"Switch Me"), L"enabled");

  AppProcess app(ProgramPath());
  HWND form = Start(app);
  ASSERT_NE(form, nullptr);
  const int value = Row({L"REGISTRY", L"HKCU:" + kRun, L"Switch Me"});
  const int other = Row({L"REGISTRY", L"HKCU:" + kRun, L"Other"});
  const int file = Row({L"STARTUP", user, L"Switch.lnk"});
  ASSERT_GE(value, 0);
  ASSERT_GE(file, 0);
  const RECT valueCell = ListCellRect(list, value, 2);
  const CellColours before = WaitForColours(valueCell, false);
  EXPECT_GT(before.text, 0);
  EXPECT_EQ(before.grey, 0);

  // A right click on the row: Disable.
  RightClick({valueCell.left + 8, (valueCell.top + valueCell.bottom) / 2});
  Choose(app, 'D');
  const auto off = SwitchOf(HKEY_CURRENT_USER, L"Run", L"Switch Me");
  ASSERT_TRUE(off);
  EXPECT_EQ(off->first, static_cast<DWORD>(REG_BINARY));
  ASSERT_EQ(off->second.size(), 12u);
  EXPECT_EQ(off->second.substr(0, 4), std::string("\x03\0\0\0", 4));
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  std::uint64_t written = 0;
  for (int i = 7; i >= 0; --i) written = written << 8 | static_cast<unsigned char>(off->second[4 + i]);
  const std::uint64_t nowTime = static_cast<std::uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
  EXPECT_LE(written, nowTime);
  EXPECT_GT(written, nowTime - 600'000'000ull) << "when it was switched off: within the last minute";
  EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, kRun, L"Switch Me"), L"C:\\s\\switch.exe") << "the entry stays";

  // The greyed row: moved off the selection, its text in the grey-text colour.
  FocusListRow(list, other);
  const CellColours greyed = WaitForColours(valueCell, true);
  EXPECT_GT(greyed.grey, 0);
  EXPECT_EQ(greyed.text, 0);
  EXPECT_EQ(ConsoleEnabled(L"Switch Me"), L"disabled");

  // Shift+F10 on the focused file's row: Disable; the menu key on the value's row: Enable.
  FocusListRow(list, file);
  Key(VK_SHIFT, false);
  Press(VK_F10);
  Key(VK_SHIFT, true);
  Choose(app, 'D');
  const auto fileOff = SwitchOf(HKEY_CURRENT_USER, L"StartupFolder", L"Switch.lnk");
  ASSERT_TRUE(fileOff);
  EXPECT_EQ(fileOff->second[0], '\x03');
  EXPECT_EQ(ReadFileBytes(user + L"\\Switch.lnk"), "lnk");

  FocusListRow(list, value);
  Press(VK_APPS);
  Choose(app, 'E');
  EXPECT_EQ(SwitchOf(HKEY_CURRENT_USER, L"Run", L"Switch Me"),
            std::make_pair(static_cast<DWORD>(REG_BINARY), std::string("\x02", 1) + std::string(11, '\0')))
      << "written as on, not deleted";
  FocusListRow(list, other);
  EXPECT_GT(WaitForColours(valueCell, false).text, 0);
  EXPECT_EQ(ConsoleEnabled(L"Switch Me"), L"enabled");
  EXPECT_EQ(Row({L"REGISTRY", L"HKCU:" + kRun, L"Switch Me"}), value) << "the list was not gathered again";
  EXPECT_EQ(::FindWindowW(nullptr, L"Application Error"), nullptr);
  CloseAndExpectExit(app, form);
}

// A switch the user may not write (the machine's, for a standard user) is
// not written: a box names the entry with the system's text. Deleting a
// switched-off entry takes its switch too, after saving both.
TEST_F(RowMenu, RefusedSwitchIsSaidAndADeletedEntryTakesItsSwitch) {
  const std::wstring machineRun = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  WriteRegistryText(HKEY_LOCAL_MACHINE, machineRun, L"Machine Tool", L"C:\\m\\tool.exe");
  WriteRegistryText(HKEY_CURRENT_USER, kRun, L"Gone", L"C:\\g\\gone.exe");
  const std::string goneSwitch("\x03\0\0\0\x10\x20\x30\x40\x50\x60\x70\x01", 12);
  WriteRegistryBytes(HKEY_CURRENT_USER, kSwitches + L"\\Run", L"Gone", REG_BINARY, goneSwitch);
  struct MachineSwitchesGone {
    ~MachineSwitchesGone() { DeleteRegistryKey(HKEY_LOCAL_MACHINE, kSwitches + L"\\Run"); }
  } gone;
  WriteRegistryBytes(HKEY_LOCAL_MACHINE, kSwitches + L"\\Run", L"Unrelated", REG_BINARY, std::string(12, '\x02'));
  {
    ReadOnlyKey readOnly(HKEY_LOCAL_MACHINE, kSwitches + L"\\Run");
    ASSERT_TRUE(readOnly.Refuses());
    AppProcess app(ProgramPath());
    HWND form = Start(app);
    ASSERT_NE(form, nullptr);
    const int machine = Row({L"REGISTRY", L"HKLM:" + machineRun, L"Machine Tool"});
    ASSERT_GE(machine, 0);
    const RECT cell = ListCellRect(list, machine, 2);
    RightClick({cell.left + 8, (cell.top + cell.bottom) / 2});
    Choose(app, 'D');
    HWND box = app.WaitForMessageBox(L"Vellorin");
    ASSERT_NE(box, nullptr) << "under the application title";
    const std::wstring text = MessageBoxText(box);
    // The system's own text (Windows' and Wine's differ), with the call that failed.
    EXPECT_EQ(text.substr(0, 35), L"Could not disable \"Machine Tool\":\r\n");
    EXPECT_TRUE(text.ends_with(L". (RegCreateKeyExW)")) << std::string(text.begin(), text.end());
    PressMessageBoxButton(box, IDOK);
    EXPECT_FALSE(SwitchOf(HKEY_LOCAL_MACHINE, L"Run", L"Machine Tool"));

    // The switched-off entry of the user's own, ticked and deleted.
    SetListRowChecked(list, Row({L"REGISTRY", L"HKCU:" + kRun, L"Gone"}), true);
    ::PostMessageW(::GetDlgItem(form, kPushButton4), BM_CLICK, 0, 0);
    HWND question = app.WaitForMessageBox(L"Delete/Stop Selected Items");
    ASSERT_NE(question, nullptr);
    PressMessageBoxButton(question, IDYES);
    for (int i = 0; i < 250 && (!::IsWindowEnabled(list) || Row({L"REGISTRY", L"HKCU:" + kRun, L"Gone"}) >= 0); ++i) {
      std::this_thread::sleep_for(20ms);
    }
    CloseAndExpectExit(app, form);
  }
  EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, kRun, L"Gone"), L"<absent>");
  EXPECT_FALSE(SwitchOf(HKEY_CURRENT_USER, L"Run", L"Gone"));
  const std::optional<std::string> saved = ReadFileBytes(NewestBackupFolder() + L"\\registry.reg");
  ASSERT_TRUE(saved);
  const std::wstring reg(reinterpret_cast<const wchar_t*>(saved->data()), saved->size() / 2);
  const std::wstring switchLines =
      L"[HKEY_CURRENT_USER\\" + kSwitches + L"\\Run]\r\n\"Gone\"=hex:03,00,00,00,10,20,30,40,50,60,70,01";
  EXPECT_NE(reg.find(switchLines), std::wstring::npos);
  EXPECT_NE(reg.find(L"\"Gone\"=\"C:\\\\g\\\\gone.exe\""), std::wstring::npos);
  // Importing the backup brings back both.
  const std::wstring file = NewestBackupFolder() + L"\\registry.reg";
  EXPECT_EQ(RegImport(file), 0u);
  EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, kRun, L"Gone"), L"C:\\g\\gone.exe");
  EXPECT_EQ(SwitchOf(HKEY_CURRENT_USER, L"Run", L"Gone"),
            std::make_pair(static_cast<DWORD>(REG_BINARY), goneSwitch));
}

}  // namespace
}  // namespace vq::e2e
