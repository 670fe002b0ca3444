// The randomized delete campaign on Wine's real registry, Startup folders and
// a real service: seeded items beside look-alike twins (names ending in a dot
// or a space, a device name, names that differ only in case, value and key
// names holding U+0000, CR, LF or an unpaired surrogate), the other autostart
// points with the values Windows needs at its own or not, a random subset of the
// listed rows ticked by what they stand for, the walk, then exactly the ticked
// items gone and everything else byte-identical; then the round's backup put
// back brings every seeded item back, byte for byte (its importable part
// through Wine's own "reg import" every 10th round, its comment part always
// through the native call).
//   VQ_CAMPAIGN_ROUNDS=n   rounds to run (700 by default)
//   VQ_CAMPAIGN_SEED=s     replay the one round a failure named
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <map>
#include <random>
#include <set>
#include <stdexcept>

#include "collectors/mod_registry.h"
#include "e2e/harness.h"
#include "e2e/test_service_control.h"
#include "entries/hives.h"
#include "platform/real_platform.h"
#include "platform/restore_backup.h"
#include "platform/text.h"
#include "platform/win32/text.h"
#include "support/campaign.h"
#include "support/windows_defaults.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using win32::Narrow;

struct Key {
  HKEY root;
  Hive hive;
  std::wstring path;
};
const std::wstring kRunOnceEx = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx\\";
const std::wstring kIfeo = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\";
// The Run keys first (kRunKeys of them), then keys of the other autostart
// points: keys below them named with U+0000 beside their twins, and keys of
// the machine's that hold values Windows itself needs.
constexpr std::size_t kRunKeys = 5;
const Key kKeys[] = {
    {HKEY_CURRENT_USER, Hive::CurrentUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_CURRENT_USER, Hive::CurrentUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_LOCAL_MACHINE, Hive::LocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_LOCAL_MACHINE, Hive::LocalMachine, L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_USERS, Hive::Users, L".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_CURRENT_USER, Hive::CurrentUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"},
    {HKEY_LOCAL_MACHINE, Hive::LocalMachine, kRunOnceEx + L"1"},
    {HKEY_LOCAL_MACHINE, Hive::LocalMachine, kRunOnceEx + L"1\\Depend"},
    {HKEY_LOCAL_MACHINE, Hive::LocalMachine, kRunOnceEx + std::wstring(L"1\0x", 3)},
    {HKEY_LOCAL_MACHINE, Hive::LocalMachine, kRunOnceEx + std::wstring(L"1\0x\\Depend", 10)},
    {HKEY_LOCAL_MACHINE, Hive::LocalMachine, kIfeo + L"vq.exe"},
    {HKEY_LOCAL_MACHINE, Hive::LocalMachine, kIfeo + std::wstring(L"vq\0x.exe", 8)},
    {HKEY_LOCAL_MACHINE, Hive::LocalMachine, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"},
    {HKEY_LOCAL_MACHINE, Hive::LocalMachine, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager"},
    {HKEY_LOCAL_MACHINE, Hive::LocalMachine, L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Windows"},
};
// Look-alikes: other keys, prefix texts, spaces, letters outside the ANSI
// code page, the default value; in every other key another letter case;
// U+0000 inside and in front (shown as U+2400, beside a name holding U+2400),
// CR/LF, an unpaired surrogate (shown as U+FFFD, beside a name holding U+FFFD).
std::vector<std::wstring> ValueNames(std::size_t key) {
  std::vector<std::wstring> names = {key % 2 ? L"TOOL" : L"Tool", L"Tool ", L"HKCU:Tool", L"", L"\u00DCber-\u4E2D",
                                     L"Upd", std::wstring(L"Upd\0x", 5), std::wstring(L"\0hidden", 7), L"Upd\u2400x",
                                     L"Tool\r\nx", L"a\uFFFDb"};
  names.push_back({L'a', static_cast<wchar_t>(0xD800), L'b'});
  return names;
}
const wchar_t* const kFileNames[] = {L"a.lnk",    L"A.lnk",     L"A tool.lnk", L"\u65E5.lnk", L"~temp.lnk",
                                     L"evil.lnk", L"evil.lnk.", L"tool.lnk",   L"tool.lnk ",  L"nul.lnk"};
const wchar_t kServiceName[] = L"VQ Test Campaign";
// Scheduled tasks in folders of the task store, twins of one name in two of them.
const wchar_t* const kTaskFolders[] = {L"\\VqCampA", L"\\VqCampB", L"\\VqCampB\\Deep"};
const wchar_t* const kTaskNames[] = {L"Twin", L"Twin.exe", L"Upd"};

using e2e::ShellFolder;

// Everything the campaign may touch, byte for byte.
struct Snapshot {
  std::map<std::wstring, std::pair<DWORD, std::string>> values;  // "<key>|<name>" -> type, data
  std::map<std::wstring, std::tuple<std::string, DWORD, ULONGLONG>> files;  // path -> bytes, attributes, written
  std::map<std::wstring, std::string> tasks;  // the task's path -> its store file's bytes
  DWORD service = 0;
};

std::wstring TaskStore() { return e2e::ShellFolder(CSIDL_SYSTEM) + L"\\Tasks"; }

// Every value of the keys and every file of the folders; throws when any of
// them cannot be read whole.
Snapshot Take(const std::vector<std::wstring>& folders, const e2e::TestService& service) {
  Snapshot snapshot;
  for (std::size_t k = 0; k < std::size(kKeys); ++k) {
    for (auto& [name, value] : e2e::RegistryValues(kKeys[k].root, kKeys[k].path)) {
      snapshot.values[std::to_wstring(k) + L"|" + name] = std::move(value);
    }
  }
  for (const std::wstring& folder : folders) {
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW((e2e::ExactForm(folder) + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::wstring path = folder + L"\\" + found.cFileName;
      const std::optional<std::string> bytes = e2e::ReadFileBytes(path);
      if (!bytes) throw std::runtime_error("file " + Narrow(path) + " does not read");
      snapshot.files[path] = {*bytes, found.dwFileAttributes,
                              static_cast<ULONGLONG>(found.ftLastWriteTime.dwHighDateTime) << 32 |
                                  found.ftLastWriteTime.dwLowDateTime};
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
  }
  for (const wchar_t* folder : kTaskFolders) {
    for (const std::wstring& name : e2e::ListedFiles(TaskStore() + folder)) {
      snapshot.tasks[folder + (L"\\" + name)] = e2e::ReadFileBytes(TaskStore() + folder + L"\\" + name).value_or("");
    }
  }
  snapshot.service = service.State();
  return snapshot;
}

class DeleteCampaignOnWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
  }
  void TearDown() override {
    e2e::ClearAutorunKeys();
    ClearPointKeys();
    for (const std::wstring& folder : folders) e2e::EmptyFolder(folder);
    ClearTasks();
  }
  void ClearTasks() {
    for (const wchar_t* folder : {L"\\VqCampB", L"\\VqCampA"}) {
      e2e::EmptyFolder(TaskStore() + folder);
      ::RemoveDirectoryW((TaskStore() + folder).c_str());
    }
  }
  // The campaign's own keys of the other autostart points.
  void ClearPointKeys() {
    e2e::DeleteRegistryKey(HKEY_CURRENT_USER, kKeys[kRunKeys].path);
    for (std::size_t k = kRunKeys + 1; k < kRunKeys + 7; ++k) e2e::DeleteRegistryKey(kKeys[k].root, kKeys[k].path);
  }
  std::string Sz(const std::wstring& text) { return e2e::Utf16Bytes(text); }
  // Values of the other autostart points, with look-alikes; the values
  // Windows itself needs at Windows' own, written otherwise, at another, or
  // not there.
  void SeedPoints(std::mt19937& random) {
    auto maybe = [&](std::size_t k, const std::wstring& name, DWORD type, const std::string& data) {
      if (random() % 2) e2e::WriteRegistryBytes(kKeys[k].root, kKeys[k].path, name, type, data);
    };
    for (const std::wstring& name : {std::wstring(L"Upd"), std::wstring(L"Upd\0x", 5), std::wstring()}) {
      maybe(kRunKeys, name, REG_SZ, Sz(L"C:\\p\\p.exe"));
    }
    for (std::size_t k : {kRunKeys + 1, kRunKeys + 3}) {
      maybe(k, L"", REG_SZ, Sz(L"Title"));
      maybe(k, L"a", REG_SZ, Sz(L"C:\\o\\once.exe"));
      maybe(k + 1, L"d", REG_EXPAND_SZ, Sz(L"%SystemRoot%\\d.dll"));
    }
    for (std::size_t k : {kRunKeys + 5, kRunKeys + 6}) maybe(k, L"Debugger", REG_SZ, Sz(L"C:\\d\\dbg.exe"));
    if (!e2e::OnWine()) return;  // the machine's own values are written under Wine only
    auto machine = [&](std::size_t k, const wchar_t* name, DWORD type, const std::vector<std::string>& choices) {
      const std::size_t choice = random() % (choices.size() + 1);
      if (choice == choices.size()) {
        changes.Remove(kKeys[k].root, kKeys[k].path, name);
      } else {
        changes.Set(kKeys[k].root, kKeys[k].path, name, type, choices[choice]);
      }
    };
    machine(kRunKeys + 7, L"Shell", REG_SZ, {Sz(L"explorer.exe"), Sz(L" Explorer.EXE "), Sz(L"C:\\e\\evil.exe")});
    machine(kRunKeys + 7, L"Userinit", REG_SZ,
            {Sz(L"C:\\windows\\system32\\userinit.exe,"), Sz(L"C:\\windows\\system32\\userinit.exe,C:\\u.exe")});
    const std::string end(2, '\0');
    machine(kRunKeys + 8, L"BootExecute", REG_MULTI_SZ,
            {Sz(L"autocheck autochk *") + end, Sz(L"autocheck autochk /k:C *") + end,
             Sz(L"autocheck autochk *") + Sz(L"C:\\b.exe") + end,
             Sz(L"C:\\b.exe") + Sz(L"autocheck autochk /k:D *") + end});
    machine(kRunKeys + 9, L"AppInit_DLLs", REG_SZ, {"", Sz(L"C:\\h\\hook.dll")});
  }

  // What a reset must write for a value Windows itself needs, from the
  // test's own table of Windows' defaults (Wine's system folder is
  // C:\windows\system32); nullopt for a command, which goes.
  std::optional<StoredValue> WindowsDefault(const std::wstring& meaning, const Snapshot& before) {
    const std::size_t k = std::stoul(meaning.substr(0, meaning.find(L'|')));
    const std::wstring name = meaning.substr(meaning.find(L'|') + 1);
    auto text = [&](const std::wstring& value) { return StoredValue{REG_SZ, Sz(value)}; };
    if (k == kRunKeys + 7 && name == L"Shell") return text(L"explorer.exe");
    if (k == kRunKeys + 7 && name == L"Userinit") return text(L"C:\\windows\\system32\\userinit.exe,");
    if (k == kRunKeys + 8 && name == L"BootExecute") {
      return StoredValue{REG_MULTI_SZ, test::BootExecuteAfterReset(before.values.at(meaning).second)};
    }
    if (k == kRunKeys + 9 && name == L"AppInit_DLLs") return text(L"");
    return std::nullopt;
  }

  // What a listed row stands for, as the snapshot names it: "<key>|<name>",
  // a file's path, or "service"; empty for rows the campaign does not tick.
  // Throws when the row's texts do not show its item, or the item was not seeded.
  std::wstring Meaning(test::RealPlatform& real, test::CollectorForm1& form, int row, const Snapshot& seeded) {
    const std::string type = real.window.RowText(row, 0), location = real.window.RowText(row, 1),
                      item = real.window.RowText(row, 2);
    if (type == "SERVICES") return Narrow(kServiceName) == location ? L"service" : L"";  // Wine's own stay
    const StartupItem* listed = form.items_.Find(real.window.RowItem(row));
    if (!listed) throw std::runtime_error("a listed row carries no item: " + item);
    if (const auto* task = std::get_if<ScheduledTaskItem>(listed)) {
      const std::u16string full = task->path.Full();
      const std::wstring path(full.begin(), full.end());
      if (location != Utf16ToUtf8(task->path.folder) || item != Utf16ToUtf8(task->path.name)) {
        throw std::runtime_error("a Tasks row does not show its task: " + item);
      }
      return seeded.tasks.count(path) ? path : L"";  // tasks of the prefix's own stay
    }
    if (const auto* value = std::get_if<RegistryValueItem>(listed)) {
      const std::wstring keyPath(value->keyPath.begin(), value->keyPath.end());
      if (location != FindHive(value->hive)->prefix + ValueNameText(value->keyPath) ||
          item != ValueNameText(value->name)) {
        throw std::runtime_error("a registry row does not show its value: " + item);
      }
      for (std::size_t k = 0; k < std::size(kKeys); ++k) {
        const std::wstring id = std::to_wstring(k) + L"|" + std::wstring(value->name.begin(), value->name.end());
        if (kKeys[k].hive == value->hive && kKeys[k].path == keyPath && seeded.values.count(id)) return id;
      }
      throw std::runtime_error("a registry row stands for nothing seeded: " + item);
    }
    const auto& file = std::get<StartupFileItem>(*listed);
    const std::wstring path = std::wstring(file.exactFolder.begin() + 4, file.exactFolder.end()) + L"\\" +
                              std::wstring(file.name.begin(), file.name.end());
    if (item != Utf16ToUtf8(file.name) || Narrow(path) != location + "\\" + item || !seeded.files.count(path)) {
      throw std::runtime_error("a Startup row does not stand for the file it shows: " + item);
    }
    return path;
  }

  // One round; returns what went wrong, or empty text.
  std::string Round(unsigned seed) {
    std::mt19937 random(seed);
    e2e::ClearAutorunKeys();
    ClearPointKeys();
    for (const std::wstring& folder : folders) e2e::EmptyFolder(folder);
    SeedPoints(random);
    for (std::size_t k = 0; k < kRunKeys; ++k) {
      for (const std::wstring& name : ValueNames(k)) {
        if (random() % 3 != 0) continue;
        const std::wstring text = random() % 2 ? L"C:\\Tools\\t.exe /min" : L"\"C:\\\u00DC\\\u4E2D.exe\"";
        std::string bytes(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
        const DWORD types[] = {REG_SZ, REG_SZ, REG_DWORD, REG_EXPAND_SZ, REG_BINARY};
        const DWORD type = types[random() % std::size(types)];
        if (type == REG_DWORD) bytes.resize(random() % 5);
        e2e::WriteRegistryBytes(kKeys[k].root, kKeys[k].path, name, type, bytes);
      }
    }
    for (const std::wstring& folder : folders) {
      for (const wchar_t* name : kFileNames) {
        if (random() % 2 != 0) continue;
        const std::wstring path = folder + L"\\" + name;
        e2e::WriteFileBytes(path, std::string(1 + random() % 16, static_cast<char>('a' + random() % 26)));
        if (random() % 3 == 0) ::SetFileAttributesW(e2e::ExactForm(path).c_str(), FILE_ATTRIBUTE_READONLY);
      }
    }
    // One file under two names, one in each folder.
    if (random() % 3 == 0) {
      const std::wstring shared = e2e::ExactForm(folders[0] + L"\\shared.lnk");
      e2e::WriteFileBytes(folders[0] + L"\\shared.lnk", "shared");
      if (random() % 2) ::SetFileAttributesW(shared.c_str(), FILE_ATTRIBUTE_READONLY);
      ::CreateHardLinkW(e2e::ExactForm(folders[1] + L"\\shared.lnk").c_str(), shared.c_str(), nullptr);
    }
    // Every tenth round, scheduled tasks as Windows writes their files.
    ClearTasks();
    const bool withTasks = seed % 10 == 3;
    for (const wchar_t* folder : kTaskFolders) {
      if (!withTasks) break;
      ::SHCreateDirectoryExW(nullptr, (TaskStore() + folder).c_str(), nullptr);
      for (const wchar_t* name : kTaskNames) {
        if (random() % 2) continue;
        const std::wstring xml = L"<?xml version=\"1.0\" encoding=\"UTF-16\"?><Task xmlns=\"http://schemas.microsoft.com/"
                                 L"windows/2004/02/mit/task\"><Actions><Exec><Command>C:\\t" + std::wstring(folder) +
                                 L"\\" + name + L".exe</Command></Exec></Actions></Task>";
        e2e::WriteFileBytes(TaskStore() + folder + L"\\" + name, "\xFF\xFE" + e2e::Utf16Bytes(xml, false));
      }
    }
    const bool withService = seed % 25 == 0;
    if (withService && !service.Start()) return "the test service did not start";

    test::RealPlatform real;
    test::CollectorForm1 form(real.Get());
    real.window.SetCheckValue(CheckBox::Check1, 1);
    real.window.SetCheckValue(CheckBox::Check3, 1);
    real.window.SetCheckValue(CheckBox::Check4, withService ? 1 : 0);
    real.window.SetCheckValue(CheckBox::Check5, withTasks ? 1 : 0);
    form.LoadItems();

    const Snapshot before = Take(folders, service);
    const std::set<std::wstring> foldersBefore = BackupFolders();
    std::set<std::wstring> listed;
    std::map<std::wstring, std::optional<StoredValue>> ticked;  // what each goes by: deleted, or written back
    HWND list = ::GetDlgItem(real.window.hwnd(), win32::ControlId(Control::ListView1));
    for (int row = 1; row <= real.window.RowCount(); ++row) {
      const std::wstring meaning = Meaning(real, form, row, before);
      if (meaning.empty()) continue;
      if (!listed.insert(meaning).second) return "two rows stand for " + Narrow(meaning);
      if (random() % 5 >= 2) continue;
      ListView_SetCheckState(list, row - 1, TRUE);
      const bool value = meaning.find(L'|') != std::wstring::npos;
      ticked[meaning] = value ? WindowsDefault(meaning, before) : std::nullopt;
    }
    // Every seeded item the sources list is listed once: a Run value of text
    // (expandable too) or number type (the default value only when empty), a file not
    // starting with "~". (What the other points list is the points' own test.)
    for (const auto& [value, data] : before.values) {
      if (std::stoul(value.substr(0, value.find(L'|'))) >= kRunKeys) continue;
      const bool isDefault = value.find(L'|') + 1 == value.size();
      const bool listable = (data.first == REG_SZ || data.first == REG_EXPAND_SZ || data.first == REG_DWORD) && (!isDefault || data.second.empty());
      if (listable != static_cast<bool>(listed.count(value))) return "value " + Narrow(value) + " listed wrongly";
    }
    for (const auto& [path, state] : before.files) {
      if ((path[path.rfind(L'\\') + 1] != L'~') != static_cast<bool>(listed.count(path))) {
        return "file " + Narrow(path) + " listed wrongly";
      }
    }
    for (const auto& [path, bytes] : before.tasks) {
      if (!listed.count(path)) return "task " + Narrow(path) + " not listed";
    }
    form.DeleteItem();
    const Snapshot after = Take(folders, service);

    for (const auto& [value, data] : before.values) {
      const auto tick = ticked.find(value);
      const bool reset = tick != ticked.end() && tick->second;
      const bool gone = !after.values.count(value);
      if (gone != (tick != ticked.end() && !reset)) return "value " + Narrow(value) + (gone ? " gone" : " kept");
      const auto expected = reset ? std::pair<DWORD, std::string>{tick->second->type, tick->second->data} : data;
      if (!gone && after.values.at(value) != expected) return "value " + Narrow(value) + " not as expected";
    }
    for (const auto& [path, state] : before.files) {
      const bool gone = !after.files.count(path);
      if (gone != static_cast<bool>(ticked.count(path))) return "file " + Narrow(path) + (gone ? " gone" : " kept");
      if (!gone && after.files.at(path) != state) return "file " + Narrow(path) + " changed";
    }
    for (const auto& [path, bytes] : before.tasks) {
      const bool gone = !after.tasks.count(path);
      if (gone != static_cast<bool>(ticked.count(path))) return "task " + Narrow(path) + (gone ? " gone" : " kept");
      if (!gone && after.tasks.at(path) != bytes) return "task " + Narrow(path) + " changed";
    }
    if (after.tasks.size() > before.tasks.size()) return "a task appeared";
    for (const auto& [value, data] : after.values) {
      if (!before.values.count(value)) return "value " + Narrow(value) + " appeared";
    }
    for (const auto& [path, state] : after.files) {
      if (!before.files.count(path)) return "file " + Narrow(path) + " appeared";
    }
    if (ticked.count(L"service") ? after.service == SERVICE_RUNNING : after.service != before.service) {
      return "the service is in the wrong state";
    }
    if (withService) service.Stop();
    for (const auto& message : real.window.messages) {
      if (!(ticked.empty() && message.text == "You forgot to check item(s).")) return "unexpected box: " + message.text;
    }
    return Restore(before, foldersBefore, seed % 10 == 1, seed % 30 == 3);
  }

  // The backup folders there are now.
  std::set<std::wstring> BackupFolders() const {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW((backups + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
      if (found.cFileName[0] != L'.') names.insert(backups + L"\\" + found.cFileName);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return names;
  }

  // Puts the round's backup back as its user would: then every seeded item
  // must be there again, byte for byte. The backup is removed afterwards.
  std::string Restore(const Snapshot& before, const std::set<std::wstring>& foldersBefore, bool withRegImport,
                      bool withSchtasks) {
    std::set<std::wstring> made = BackupFolders();
    for (const std::wstring& folder : foldersBefore) made.erase(folder);
    if (made.size() > 1) return "more than one backup folder for one walk";
    if (made.empty()) return Take(folders, service).values == before.values ? "" : "no backup, yet values changed";
    const std::wstring backup = *made.begin();
    if (const std::string fault = test::RestoreBackup(backup, withRegImport, withSchtasks); !fault.empty()) {
      return fault;
    }
    const Snapshot after = Take(folders, service);
    e2e::EmptyFolder(backup);
    ::RemoveDirectoryW(backup.c_str());
    if (after.values != before.values) return "after the restore the values are not as they were";
    if (after.files != before.files) return "after the restore the files are not as they were";
    // Wine's scheduler rewrites what it registers: the task is back, under its path.
    for (const auto& [path, bytes] : before.tasks) {
      if (!after.tasks.count(path) || (!withSchtasks && after.tasks.at(path) != bytes)) {
        return "after the restore task " + Narrow(path) + " is not as it was";
      }
    }
    return "";
  }

  e2e::RegistryChanges changes;  // the machine's values, put back at the end
  win32::ComApartment com;
  const std::vector<std::wstring> folders = {ShellFolder(CSIDL_STARTUP), ShellFolder(CSIDL_COMMON_STARTUP)};
  const std::wstring backups = ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Marrowfen\\Vellorin Quade\\Backups";
  e2e::TestService service{kServiceName, L"Vellorin Campaign"};
};

TEST_F(DeleteCampaignOnWine, ExactlyTheTickedItemsGoAndNothingElseChanges) {
  test::RunCampaign(1208, 700, [&](unsigned seed) {
    try {
      return Round(seed);
    } catch (const std::exception& fault) {
      return std::string(fault.what());
    }
  });
}

}  // namespace
}  // namespace vq
