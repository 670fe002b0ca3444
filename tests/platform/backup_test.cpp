// Backups on Wine's real registry and files: deleted values come back through
// the system's own "reg import", deleted files from the backup folder.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <set>
#include <type_traits>

#include "e2e/harness.h"
#include "platform/real_platform.h"
#include "platform/restore_backup.h"
#include "platform/text.h"
#include "platform/win32/text.h"
#include "removal/backup.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using win32::Narrow;
using win32::Widen;

const std::wstring kKey = L"Software\\Vellorin Backup Test";

using e2e::ShellFolder;

std::string Utf16(const std::wstring& text, bool terminated = true) { return e2e::Utf16Bytes(text, terminated); }

struct Value {
  std::wstring name;
  DWORD type;
  std::string data;
};

std::optional<Value> ReadValue(const std::wstring& key, const std::wstring& name) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return {};
  DWORD type = 0, size = 0;
  std::optional<Value> value;
  if (::RegQueryValueExW(opened, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::string data(size, '\0');
    ::RegQueryValueExW(opened, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    value = Value{name, type, data};
  }
  ::RegCloseKey(opened);
  return value;
}

class BackupOnWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
  }
  void SetUp() override {
    e2e::DeleteRegistryKey(HKEY_CURRENT_USER, kKey);
    for (const std::wstring& folder : {user, common}) e2e::EmptyFolder(folder);
  }
  void TearDown() override {
    e2e::DeleteRegistryKey(HKEY_CURRENT_USER, kKey);
    for (const std::wstring& folder : {user, common}) e2e::EmptyFolder(folder);
  }
  void Tick(const std::vector<std::string>& texts) {
    const int row = real.window.AddRow(texts[0], 0);
    for (int sub = 1; sub < 4; ++sub) real.window.SetSubItem(row, sub, texts[sub]);
    ListView_SetCheckState(::GetDlgItem(real.window.hwnd(), win32::ControlId(Control::ListView1)), row - 1, TRUE);
  }
  std::wstring NewestBackup() const { return e2e::NewestBackupFolder(); }


  win32::ComApartment com;
  test::RealPlatform real;
  test::CollectorForm1 form{real.Get()};
  const std::wstring user = ShellFolder(CSIDL_STARTUP), common = ShellFolder(CSIDL_COMMON_STARTUP);
  const std::wstring backups = ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Marrowfen\\Vellorin Quade\\Backups";
};

TEST_F(BackupOnWine, DeletedValuesAndFilesComeBackExactly) {
  std::string megabyte(1 << 20, '\0');
  for (std::size_t i = 0; i < megabyte.size(); ++i) megabyte[i] = static_cast<char>(i * 13 % 253);
  const std::vector<Value> values = {
      {L"quote\"and\\slash", REG_SZ, Utf16(L"\"C:\\Program Files\\X\\x.exe\" /min")},
      {L"\u00DCberwachung-\u4E2D", REG_SZ, Utf16(L"C:\\\u00DC\\\u4E2D.exe")},
      {L"", REG_SZ, Utf16(L"default.exe")},
      {L"empty", REG_SZ, Utf16(L"")},
      {L"nothing", REG_SZ, ""},
      {L"unterminated", REG_SZ, Utf16(L"abc", false)},
      {L"dword", REG_DWORD, "\x78\x56\x34\x12"},
      {L"short dword", REG_DWORD, "\x01"},
      {L"expand", REG_EXPAND_SZ, Utf16(L"%SystemRoot%\\x.exe")},
      {L"multi", REG_MULTI_SZ, Utf16(L"a") + Utf16(L"b") + Utf16(L"")},
      {L"binary", REG_BINARY, std::string("\x00\xFF\x10", 3)},
      {L"megabyte", REG_BINARY, megabyte},
  };
  for (const Value& value : values) e2e::WriteRegistryBytes(HKEY_CURRENT_USER, kKey, value.name, value.type, value.data);
  e2e::WriteRegistryText(HKEY_CURRENT_USER, kKey, L"untouched", L"stays.exe");
  for (const Value& value : values) Tick({"REGISTRY", "HKCU:" + Narrow(kKey), Narrow(value.name), ""});
  e2e::WriteFileBytes(user + L"\\same.lnk", "user bytes");
  ::SetFileAttributesW((user + L"\\same.lnk").c_str(), FILE_ATTRIBUTE_READONLY);
  e2e::WriteFileBytes(common + L"\\same.lnk", "all users' bytes");
  Tick({"STARTUP", Narrow(user), "same.lnk", Narrow(user) + "\\"});
  Tick({"STARTUP", Narrow(common), "same.lnk", Narrow(common)});

  form.DeleteItem();
  for (const Value& value : values) EXPECT_FALSE(ReadValue(kKey, value.name)) << Narrow(value.name) << " deleted";
  EXPECT_EQ(::GetFileAttributesW((user + L"\\same.lnk").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(::GetFileAttributesW((common + L"\\same.lnk").c_str()), INVALID_FILE_ATTRIBUTES);

  const std::wstring backup = NewestBackup();
  ASSERT_FALSE(backup.empty());
  EXPECT_EQ(e2e::ReadFileBytes(backup + L"\\Startup files\\User\\same.lnk"), "user bytes");
  EXPECT_TRUE(::GetFileAttributesW((backup + L"\\Startup files\\User\\same.lnk").c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(e2e::ReadFileBytes(backup + L"\\Startup files\\All Users\\same.lnk"), "all users' bytes");
  const auto bytes = e2e::ReadFileBytes(backup + L"\\How to restore.txt");
  ASSERT_TRUE(bytes);
  const std::string restore = Utf16ToUtf8(FromUtf16Le(bytes->substr(2)));
  EXPECT_NE(restore.find("Startup files\\User  ->  " + Narrow(user) + "\r\n"), std::string::npos) << restore;

  ASSERT_EQ(e2e::RegImport(backup + L"\\registry.reg"), 0u);
  for (const Value& value : values) {
    const std::optional<Value> back = ReadValue(kKey, value.name);
    ASSERT_TRUE(back) << Narrow(value.name) << " is back";
    EXPECT_EQ(back->type, value.type) << Narrow(value.name);
    if (value.name == L"unterminated") {
      // Wine's reg import ends a text read from hex(1) with a NUL where it had none.
      EXPECT_EQ(back->data.substr(0, value.data.size()), value.data);
    } else {
      EXPECT_EQ(back->data, value.data) << Narrow(value.name);
    }
  }
  EXPECT_EQ(e2e::ReadRegistryText(HKEY_CURRENT_USER, kKey, L"untouched"), L"stays.exe");
  EXPECT_TRUE(real.window.messages.empty());
}

TEST_F(BackupOnWine, WithNoPlaceForTheBackupNothingIsDeletedAndTheWalkGoesOn) {
  // Something that is no folder stands where the backups must go.
  const std::wstring moved = backups + L" (moved by the test)";
  ::MoveFileW(backups.c_str(), moved.c_str());
  e2e::WriteFileBytes(backups, "not a folder");
  e2e::WriteRegistryText(HKEY_CURRENT_USER, kKey, L"Tool", L"tool.exe");
  e2e::WriteFileBytes(user + L"\\keep.lnk", "keep");
  Tick({"REGISTRY", "HKCU:" + Narrow(kKey), "Tool", ""});
  Tick({"STARTUP", Narrow(user), "keep.lnk", Narrow(user) + "\\"});
  Tick({"SYSFILE", "C:\\windows\\win.ini", "load=x.exe", "C:\\windows\\"});

  form.DeleteItem();
  EXPECT_EQ(e2e::ReadRegistryText(HKEY_CURRENT_USER, kKey, L"Tool"), L"tool.exe");
  EXPECT_EQ(e2e::ReadFileBytes(user + L"\\keep.lnk"), "keep");
  ASSERT_EQ(real.window.messages.size(), 1u) << "the walk went on to the system-file row, and said nothing else";
  EXPECT_EQ(real.window.messages[0].text, "Could not delete system file.");
  EXPECT_EQ(e2e::ReadFileBytes(backups), "not a folder");

  ::DeleteFileW(backups.c_str());
  ::MoveFileW(moved.c_str(), backups.c_str());
}

std::map<std::wstring, std::pair<DWORD, std::string>> ValuesOf(HKEY root, const std::wstring& path) {
  return e2e::RegistryValues(root, path);
}

// Each kind of name Win32 cannot spell beside the twin it would be taken
// for, listed, ticked and removed through the real platform layer: exactly
// the ticked item goes, its twin stays, and the backup brings it back.
TEST_F(BackupOnWine, NamesWin32CannotSpellAreRemovedExactlyAndComeBack) {
  const std::wstring run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::wstring surrogate{L'a', static_cast<wchar_t>(0xD800), L'b'};
  const std::wstring longName = std::wstring(230, L'x') + L".lnk";
  struct Case {
    const char* kind;
    std::vector<std::wstring> values, files, ticked;
  };
  const Case cases[] = {
      {"U+0000 inside a name", {L"Upd", L"", std::wstring(L"Upd\0x", 5)}, {}, {std::wstring(L"Upd\0x", 5)}},
      {"U+0000 in front", {L"hidden", L"", std::wstring(L"\0hidden", 7)}, {}, {std::wstring(L"\0hidden", 7)}},
      {"CR and LF", {L"Tool", L"Tool\r\nx", L"Tool\nx"}, {}, {L"Tool\r\nx", L"Tool\nx"}},
      {"an unpaired surrogate", {L"a\uFFFDb", surrogate}, {}, {surrogate}},
      {"a trailing dot", {}, {L"evil.lnk", L"evil.lnk."}, {L"evil.lnk."}},
      {"a trailing space", {}, {L"tool.lnk", L"tool.lnk "}, {L"tool.lnk "}},
      {"a device name", {}, {L"nul.lnk", L"con"}, {L"nul.lnk"}},
      {"letter case", {}, {L"a.lnk", L"A.lnk", L"b.lnk", L"B.lnk"}, {L"A.lnk", L"b.lnk", L"B.lnk"}},
      {"a path longer than MAX_PATH", {}, {longName, L"x.lnk"}, {longName}},
  };
  real.window.SetCheckValue(CheckBox::Check1, 1);
  real.window.SetCheckValue(CheckBox::Check3, 1);
  HWND list = ::GetDlgItem(real.window.hwnd(), win32::ControlId(Control::ListView1));
  for (const Case& c : cases) {
    e2e::ClearAutorunKeys();
    e2e::EmptyFolder(user);
    for (const std::wstring& name : c.values) {
      e2e::WriteRegistryBytes(HKEY_CURRENT_USER, run, name, REG_SZ, Utf16(L"C:\\" + std::to_wstring(name.size()) + L".exe"));
    }
    for (const std::wstring& name : c.files) e2e::WriteFileBytes(user + L"\\" + name, Narrow(name));
    const auto valuesBefore = ValuesOf(HKEY_CURRENT_USER, run);
    const std::vector<std::wstring> filesBefore = e2e::ListedFiles(user);
    ASSERT_EQ(filesBefore.size(), c.files.size()) << c.kind;

    form.LoadItems();
    int ticked = 0;
    for (int row = 1; row <= real.window.RowCount(); ++row) {
      const StartupItem* item = form.items_.Find(real.window.RowItem(row));
      ASSERT_TRUE(item) << c.kind;
      const std::u16string name = std::visit(
          [](const auto& listed) -> std::u16string {
            if constexpr (std::is_same_v<std::decay_t<decltype(listed)>, ScheduledTaskItem>) {
              return listed.path.name;
            } else {
              return listed.name;
            }
          },
          *item);
      if (std::find(c.ticked.begin(), c.ticked.end(), std::wstring(name.begin(), name.end())) == c.ticked.end()) continue;
      ListView_SetCheckState(list, row - 1, TRUE);
      ++ticked;
    }
    ASSERT_EQ(ticked, static_cast<int>(c.ticked.size())) << c.kind << ": each listed once";
    form.DeleteItem();

    auto values = ValuesOf(HKEY_CURRENT_USER, run);
    std::vector<std::wstring> files = e2e::ListedFiles(user);
    for (const std::wstring& name : c.ticked) {
      EXPECT_FALSE(values.count(name)) << c.kind << ": the ticked value went";
      EXPECT_EQ(std::count(files.begin(), files.end(), name), 0) << c.kind << ": the ticked file went";
    }
    EXPECT_EQ(values.size() + files.size() + c.ticked.size(), valuesBefore.size() + filesBefore.size())
        << c.kind << ": nothing else went";
    for (const auto& [name, value] : values) EXPECT_EQ(value, valuesBefore.at(name)) << c.kind << ": the twin stays as it was";
    for (const std::wstring& name : files) EXPECT_EQ(e2e::ReadFileBytes(user + L"\\" + name), Narrow(name)) << c.kind;

    const std::wstring backup = NewestBackup();
    ASSERT_EQ(test::RestoreBackup(backup, true), "") << c.kind;
    EXPECT_EQ(ValuesOf(HKEY_CURRENT_USER, run), valuesBefore) << c.kind << ": the backup brings the value back";
    files = e2e::ListedFiles(user);
    std::sort(files.begin(), files.end());
    std::vector<std::wstring> expected = filesBefore;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected) << c.kind << ": the backup brings the file back";
    for (const std::wstring& name : files) EXPECT_EQ(e2e::ReadFileBytes(user + L"\\" + name), Narrow(name)) << c.kind;
    e2e::EmptyFolder(backup);
    ::RemoveDirectoryW(backup.c_str());
  }
  e2e::ClearAutorunKeys();
  EXPECT_TRUE(real.window.messages.empty());
}

// Every autostart point beyond the Run keys seeded, some values at Windows'
// own (not listed), listed through the real platform layer and all ticked:
// the commands go, the values Windows needs hold exactly Windows' own, and
// the backup brings the seeded state back.
TEST_F(BackupOnWine, AutostartPointsBeyondTheRunKeys) {
  if (!e2e::OnWine()) GTEST_SKIP() << "writes machine-wide values: under Wine only";
  const std::wstring system = ShellFolder(CSIDL_SYSTEM);
  const std::wstring soft = L"SOFTWARE\\Microsoft\\", soft32 = L"SOFTWARE\\WOW6432Node\\Microsoft\\";
  const std::wstring nt = L"Windows NT\\CurrentVersion\\";
  const std::wstring setup = L"Active Setup\\Installed Components\\", ifeo = nt + L"Image File Execution Options\\";
  struct Seed {
    HKEY root;
    std::wstring key, name;
    DWORD type;
    std::string data;
    bool listed;
  };
  auto multi = [](std::initializer_list<std::wstring> entries) {
    std::string data;
    for (const std::wstring& entry : entries) data += Utf16(entry);
    return data + std::string(2, '\0');
  };
  const std::vector<Seed> seeds = {
      {HKEY_LOCAL_MACHINE, soft + L"Windows\\CurrentVersion\\Policies\\Explorer\\Run", L"VQ", REG_SZ,
       Utf16(L"C:\\p\\p.exe"), true},
      {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", L"", REG_SZ,
       Utf16(L"q.exe"), true},
      {HKEY_LOCAL_MACHINE, soft + L"Windows\\CurrentVersion\\RunOnceEx\\VQ", L"", REG_SZ, Utf16(L"Title"), false},
      {HKEY_LOCAL_MACHINE, soft + L"Windows\\CurrentVersion\\RunOnceEx\\VQ", L"1", REG_SZ, Utf16(L"C:\\o\\1.exe"), true},
      {HKEY_LOCAL_MACHINE, soft + L"Windows\\CurrentVersion\\RunOnceEx\\VQ\\Depend", L"d", REG_SZ, Utf16(L"d.dll"), true},
      {HKEY_LOCAL_MACHINE, soft32 + L"Windows\\CurrentVersion\\RunOnceEx\\VQ", L"2", REG_SZ, Utf16(L"2.exe"), true},
      {HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\BootVerificationProgram", L"ImagePath", REG_EXPAND_SZ,
       Utf16(L"%SystemRoot%\\v.exe"), true},
      {HKEY_LOCAL_MACHINE, soft + setup + L"{VQ-A}", L"StubPath", REG_SZ, Utf16(L"a.exe"), false},
      {HKEY_LOCAL_MACHINE, soft + setup + L"{VQ-A}", L"IsInstalled", REG_DWORD, std::string(4, '\0'), false},
      {HKEY_LOCAL_MACHINE, soft + setup + L"{VQ-B}", L"StubPath", REG_SZ, Utf16(L"C:\\s\\b.exe"), true},
      {HKEY_LOCAL_MACHINE, soft32 + setup + L"{VQ-C}", L"StubPath", REG_SZ, Utf16(L"c.exe"), true},
      {HKEY_LOCAL_MACHINE, soft + ifeo + L"vq.exe", L"Debugger", REG_SZ, Utf16(L"C:\\d\\dbg.exe"), true},
      {HKEY_LOCAL_MACHINE, soft + ifeo + std::wstring(L"vq\0x.exe", 8), L"Debugger", REG_SZ, Utf16(L"x.exe"), true},
      {HKEY_CURRENT_USER, L"Software\\Microsoft\\" + nt + L"Winlogon", L"Shell", REG_SZ, Utf16(L"explorer.exe"), true},
      {HKEY_LOCAL_MACHINE, soft + nt + L"Winlogon", L"Userinit", REG_SZ, Utf16(system + L"\\userinit.exe,"), false},
      {HKEY_LOCAL_MACHINE, soft + nt + L"Winlogon", L"Shell", REG_SZ, Utf16(L"C:\\e\\evil.exe"), true},
      {HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", L"BootExecute", REG_MULTI_SZ,
       multi({L"autocheck autochk *", L"C:\\b\\boot.exe"}), true},
      {HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd", L"StartupPrograms",
       REG_SZ, Utf16(L"rdpclip"), false},
      {HKEY_LOCAL_MACHINE, soft + nt + L"Windows", L"AppInit_DLLs", REG_SZ, "", false},
      {HKEY_LOCAL_MACHINE, soft32 + nt + L"Windows", L"AppInit_DLLs", REG_SZ, Utf16(L"C:\\h\\hook.dll"), true},
  };
  e2e::RegistryChanges changes;
  for (const Seed& seed : seeds) changes.Set(seed.root, seed.key, seed.name, seed.type, seed.data);
  auto state = [&] {
    std::map<std::wstring, std::map<std::wstring, std::pair<DWORD, std::string>>> keys;
    for (const Seed& seed : seeds) keys[seed.key] = e2e::RegistryValues(seed.root, seed.key);
    return keys;
  };
  const auto seeded = state();

  real.window.SetCheckValue(CheckBox::Check1, 1);
  form.LoadItems();
  HWND list = ::GetDlgItem(real.window.hwnd(), win32::ControlId(Control::ListView1));
  std::set<std::pair<std::wstring, std::wstring>> listed;
  for (int row = 1; row <= real.window.RowCount(); ++row) {
    const auto* value = std::get_if<RegistryValueItem>(form.items_.Find(real.window.RowItem(row)));
    ASSERT_TRUE(value);
    const std::wstring key(value->keyPath.begin(), value->keyPath.end()), name(value->name.begin(), value->name.end());
    if (std::none_of(seeds.begin(), seeds.end(), [&](const Seed& seed) { return seed.key == key; })) continue;
    EXPECT_TRUE(listed.emplace(key, name).second) << Narrow(name) << " is listed once";
    ListView_SetCheckState(list, row - 1, TRUE);
  }
  for (const Seed& seed : seeds) {
    EXPECT_EQ(listed.count({seed.key, seed.name}), seed.listed ? 1u : 0u) << Narrow(seed.key) << " " << Narrow(seed.name);
  }
  form.DeleteItem();

  const auto after = state();
  for (const Seed& seed : seeds) {
    const auto& values = after.at(seed.key);
    const auto value = values.find(seed.name);
    if (!seed.listed) {
      EXPECT_EQ(value->second, (std::pair<DWORD, std::string>{seed.type, seed.data})) << Narrow(seed.name) << " untouched";
    } else if (seed.key.ends_with(L"Winlogon") && seed.root == HKEY_LOCAL_MACHINE) {
      EXPECT_EQ(value->second, (std::pair<DWORD, std::string>{REG_SZ, Utf16(L"explorer.exe")})) << "Windows' own shell";
    } else if (seed.name == L"BootExecute") {
      EXPECT_EQ(value->second, (std::pair<DWORD, std::string>{REG_MULTI_SZ, multi({L"autocheck autochk *"})}));
    } else if (seed.name == L"AppInit_DLLs") {
      EXPECT_EQ(value->second, (std::pair<DWORD, std::string>{REG_SZ, Utf16(L"")})) << "Windows' own: nothing";
    } else {
      EXPECT_EQ(value, values.end()) << Narrow(seed.key) << " " << Narrow(seed.name) << " deleted";
    }
  }
  const std::wstring backup = NewestBackup();
  ASSERT_EQ(test::RestoreBackup(backup, true), "");
  EXPECT_EQ(state(), seeded) << "the backup brings every value back";
  e2e::EmptyFolder(backup);
  ::RemoveDirectoryW(backup.c_str());
  EXPECT_TRUE(real.window.messages.empty());
}

}  // namespace
}  // namespace vq
