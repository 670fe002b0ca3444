// The randomized delete campaign on Wine's real registry, Startup folders and
// a real service: seeded items with look-alikes, a random subset of the listed
// rows ticked, the walk, then exactly the ticked items gone and everything
// else byte-identical; then the round's backup put back brings every seeded
// item back, byte for byte (through Wine's own "reg import" every 25th round).
//   VQ_CAMPAIGN_ROUNDS=n   rounds to run (1,000 by default)
//   VQ_CAMPAIGN_SEED=s     replay the one round a failure named
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <map>
#include <random>
#include <set>

#include "e2e/harness.h"
#include "e2e/test_service_control.h"
#include "platform/real_platform.h"
#include "platform/win32/text.h"
#include "support/campaign.h"
#include "support/reg_reader.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using win32::Narrow;

struct Key {
  HKEY root;
  const wchar_t* path;
};
const Key kKeys[] = {
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_USERS, L".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
};
const char* const kPrefixes[] = {"HKCU:", "HKCU:", "HKLM:", "HKLM:", "HKU:"};
const wchar_t* const kValueNames[] = {L"Tool", L"Tool ", L"HKCU:Tool", L"HKLM:Tool", L"", L"\u00DCber-\u4E2D",
                                      L"My Tool v1.2"};
const wchar_t* const kFileNames[] = {L"a.lnk", L"A tool.lnk", L"My Tool v1.2.lnk", L"\u65E5.lnk", L"~temp.lnk"};
const wchar_t kServiceName[] = L"VQ Test Campaign";

using e2e::ShellFolder;

// Everything the campaign may touch, byte for byte.
struct Snapshot {
  std::map<std::wstring, std::pair<DWORD, std::string>> values;  // "<key>|<name>" -> type, data
  std::map<std::wstring, std::tuple<std::string, DWORD, ULONGLONG>> files;  // path -> bytes, attributes, written
  DWORD service = 0;
};

Snapshot Take(const std::vector<std::wstring>& folders, const e2e::TestService& service) {
  Snapshot snapshot;
  for (std::size_t k = 0; k < std::size(kKeys); ++k) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(kKeys[k].root, kKeys[k].path, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    for (DWORD index = 0;; ++index) {
      wchar_t name[512];
      BYTE data[4096];
      DWORD nameLength = 512, dataLength = sizeof data, type = 0;
      if (::RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) break;
      snapshot.values[std::to_wstring(k) + L"|" + std::wstring(name, nameLength)] = {
          type, std::string(reinterpret_cast<char*>(data), dataLength)};
    }
    ::RegCloseKey(key);
  }
  for (const std::wstring& folder : folders) {
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::wstring path = folder + L"\\" + found.cFileName;
      snapshot.files[path] = {e2e::ReadFileBytes(path).value_or("<unreadable>"), found.dwFileAttributes,
                              static_cast<ULONGLONG>(found.ftLastWriteTime.dwHighDateTime) << 32 |
                                  found.ftLastWriteTime.dwLowDateTime};
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
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
    for (const std::wstring& folder : folders) e2e::EmptyFolder(folder);
  }

  // One round; returns what went wrong, or empty text.
  std::string Round(unsigned seed) {
    std::mt19937 random(seed);
    e2e::ClearAutorunKeys();
    for (const std::wstring& folder : folders) e2e::EmptyFolder(folder);
    // Type, Location and Item of a row -> what deleting it must remove.
    std::map<std::vector<std::string>, std::wstring> meaning;
    for (std::size_t k = 0; k < std::size(kKeys); ++k) {
      for (const wchar_t* name : kValueNames) {
        if (random() % 3 != 0) continue;
        const std::wstring text = random() % 2 ? L"C:\\Tools\\t.exe /min" : L"\"C:\\\u00DC\\\u4E2D.exe\"";
        std::string bytes(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
        const DWORD types[] = {REG_SZ, REG_SZ, REG_DWORD, REG_EXPAND_SZ, REG_BINARY};
        const DWORD type = types[random() % std::size(types)];
        if (type == REG_DWORD) bytes.resize(random() % 5);
        e2e::WriteRegistryBytes(kKeys[k].root, kKeys[k].path, name, type, bytes);
        meaning[{"REGISTRY", kPrefixes[k] + Narrow(kKeys[k].path), Narrow(name)}] = std::to_wstring(k) + L"|" + name;
      }
    }
    for (const std::wstring& folder : folders) {
      for (const wchar_t* name : kFileNames) {
        if (random() % 2 != 0) continue;
        const std::wstring path = folder + L"\\" + name;
        e2e::WriteFileBytes(path, std::string(1 + random() % 16, static_cast<char>('a' + random() % 26)));
        if (random() % 3 == 0) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
        meaning[{"STARTUP", Narrow(folder), Narrow(name)}] = path;
      }
    }
    // One file under two names, one in each folder.
    if (random() % 3 == 0) {
      e2e::WriteFileBytes(folders[0] + L"\\shared.lnk", "shared");
      if (random() % 2) ::SetFileAttributesW((folders[0] + L"\\shared.lnk").c_str(), FILE_ATTRIBUTE_READONLY);
      ::CreateHardLinkW((folders[1] + L"\\shared.lnk").c_str(), (folders[0] + L"\\shared.lnk").c_str(), nullptr);
      for (const std::wstring& folder : folders) {
        meaning[{"STARTUP", Narrow(folder), "shared.lnk"}] = folder + L"\\shared.lnk";
      }
    }
    const bool withService = seed % 25 == 0;
    if (withService && !service.Start()) return "the test service did not start";
    meaning[{"SERVICES", Narrow(kServiceName), "Vellorin Campaign"}] = L"service";

    test::RealPlatform real;
    test::CollectorForm1 form(real.Get());
    real.window.SetCheckValue(CheckBox::Check1, 1);
    real.window.SetCheckValue(CheckBox::Check3, 1);
    real.window.SetCheckValue(CheckBox::Check4, withService ? 1 : 0);
    form.LoadItems();

    const Snapshot before = Take(folders, service);
    const std::set<std::wstring> foldersBefore = BackupFolders();
    std::set<std::wstring> ticked;
    HWND list = ::GetDlgItem(real.window.hwnd(), win32::ControlId(Control::ListView1));
    for (int row = 1; row <= real.window.RowCount(); ++row) {
      const std::vector<std::string> texts = {real.window.RowText(row, 0), real.window.RowText(row, 1),
                                              real.window.RowText(row, 2)};
      auto it = meaning.find(texts);
      if (it == meaning.end()) {
        if (texts[0] != "SERVICES") return "a listed row matches nothing seeded: " + texts[1] + " " + texts[2];
        continue;  // Wine's own services are never ticked
      }
      if (random() % 5 >= 2) continue;
      ListView_SetCheckState(list, row - 1, TRUE);
      ticked.insert(it->second);
    }
    form.DeleteItem();
    const Snapshot after = Take(folders, service);

    for (const auto& [value, data] : before.values) {
      const bool gone = !after.values.count(value);
      if (gone != static_cast<bool>(ticked.count(value))) return "value " + Narrow(value) + (gone ? " gone" : " kept");
      if (!gone && after.values.at(value) != data) return "value " + Narrow(value) + " changed";
    }
    if (after.values.size() + ticked.size() < before.values.size()) return "values appeared or vanished";
    for (const auto& [path, state] : before.files) {
      const bool gone = !after.files.count(path);
      if (gone != static_cast<bool>(ticked.count(path))) return "file " + Narrow(path) + (gone ? " gone" : " kept");
      if (!gone && after.files.at(path) != state) return "file " + Narrow(path) + " changed";
    }
    if (ticked.count(L"service") ? after.service == SERVICE_RUNNING : after.service != before.service) {
      return "the service is in the wrong state";
    }
    if (withService) service.Stop();
    for (const auto& message : real.window.messages) {
      if (!(ticked.empty() && message.text == "You forgot to check item(s).")) return "unexpected box: " + message.text;
    }
    return Restore(before, foldersBefore, seed % 25 == 1);
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

  // Puts the round's backup back as its user would (registry.reg imported,
  // the files moved back where they were): then every seeded item must be
  // there again, byte for byte. The backup is removed afterwards.
  std::string Restore(const Snapshot& before, const std::set<std::wstring>& foldersBefore, bool withRegImport) {
    std::set<std::wstring> made = BackupFolders();
    for (const std::wstring& folder : foldersBefore) made.erase(folder);
    if (made.size() > 1) return "more than one backup folder for one walk";
    if (made.empty()) return Take(folders, service).values == before.values ? "" : "no backup, yet values changed";
    const std::wstring backup = *made.begin();
    const std::wstring reg = backup + L"\\registry.reg";
    if (const auto bytes = e2e::ReadFileBytes(reg)) {
      if (withRegImport) {
        if (e2e::RegImport(reg) != 0) return "reg import failed";
      } else {
        const auto values = test::ReadRegFile(*bytes);
        if (!values) return "registry.reg does not read";
        for (const test::ImportedValue& value : *values) {
          const std::size_t slash = value.key.find(u'\\');
          const std::u16string hive = value.key.substr(0, slash);
          const HKEY root = hive == u"HKEY_CURRENT_USER"    ? HKEY_CURRENT_USER
                            : hive == u"HKEY_LOCAL_MACHINE" ? HKEY_LOCAL_MACHINE
                                                            : HKEY_USERS;
          e2e::WriteRegistryBytes(root, std::wstring(value.key.begin() + slash + 1, value.key.end()),
                                  std::wstring(value.name.begin(), value.name.end()), value.type, value.data);
        }
      }
    }
    const std::wstring kinds[] = {L"User", L"All Users"};
    for (std::size_t k = 0; k < 2; ++k) {
      const std::wstring saved = backup + L"\\Startup files\\" + kinds[k];
      WIN32_FIND_DATAW found{};
      HANDLE find = ::FindFirstFileW((saved + L"\\*").c_str(), &found);
      if (find == INVALID_HANDLE_VALUE) continue;
      std::vector<std::wstring> names;
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
      } while (::FindNextFileW(find, &found));
      ::FindClose(find);
      for (const std::wstring& name : names) {
        if (!::MoveFileW((saved + L"\\" + name).c_str(), (folders[k] + L"\\" + name).c_str())) {
          return "could not put " + Narrow(name) + " back";
        }
      }
    }
    const Snapshot after = Take(folders, service);
    e2e::EmptyFolder(backup);
    ::RemoveDirectoryW(backup.c_str());
    if (after.values != before.values) return "after the restore the values are not as they were";
    if (after.files != before.files) return "after the restore the files are not as they were";
    return "";
  }

  win32::ComApartment com;
  const std::vector<std::wstring> folders = {ShellFolder(CSIDL_STARTUP), ShellFolder(CSIDL_COMMON_STARTUP)};
  const std::wstring backups = ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Marrowfen\\Vellorin Quade\\Backups";
  e2e::TestService service{kServiceName, L"Vellorin Campaign"};
};

TEST_F(DeleteCampaignOnWine, ExactlyTheTickedItemsGoAndNothingElseChanges) {
  test::RunCampaign(1208, 1000, [&](unsigned seed) { return Round(seed); });
}

}  // namespace
}  // namespace vq
