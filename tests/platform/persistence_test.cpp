// The registry persistence points on the prefix's real registry: each value
// written as its technique's Atomic Red Team test writes it, listed in the
// window and the console edition, removed by one walk that leaves Windows'
// own elements and keys, and put back from the walk's backup.
#include <windows.h>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <map>

#include "console/listing.h"
#include "console/profiles.h"
#include "e2e/harness.h"
#include "platform/real_platform.h"
#include "platform/text.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/restore_backup.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr wchar_t kLsa[] = L"SYSTEM\\CurrentControlSet\\Control\\Lsa";
constexpr wchar_t kCompat[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags";
// A class Wine registers machine-wide (the shell's links), given a server of the user's own.
constexpr wchar_t kHijacked[] = L"{00021401-0000-0000-C000-000000000046}";

std::string Sz(const std::wstring& text) { return e2e::Utf16Bytes(text); }
std::string Multi(std::initializer_list<std::wstring> elements) {
  std::string data;
  for (const std::wstring& element : elements) data += Sz(element);
  return data + std::string(2, '\0');
}
std::string Dword(DWORD number) { return std::string(reinterpret_cast<const char*>(&number), 4); }

class PersistenceOnWine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!e2e::OnWine()) GTEST_SKIP() << "writes the machine's registry: under Wine only";
    e2e::ClearAutorunKeys();
  }
  // True for a Location of the points this test writes.
  static bool OfThePoints(const std::string& location) {
    for (const char* point : {"\\Lsa", "\\Print\\", "NetSh", "AppCertDlls", "AppCompatFlags", "TimeProviders",
                              "Notify", "Environment", "Office test", "Desktop", "CLSID"}) {
      if (location.find(point) != std::string::npos) return true;
    }
    return false;
  }
  // The rows of those points, sorted: Wine lists values by name.
  Rows PointRows() {
    Rows rows;
    for (auto& row : real.Rows()) {
      if (OfThePoints(row[1])) rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
  }
  std::pair<DWORD, std::string> ValueOf(HKEY root, const std::wstring& key, const std::wstring& name) {
    const auto values = e2e::RegistryValues(root, key);
    const auto found = values.find(name);
    return found == values.end() ? std::pair<DWORD, std::string>{0, "<absent>"} : found->second;
  }
  bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS) return false;
    ::RegCloseKey(opened);
    return true;
  }

  e2e::RegistryChanges changes;
  win32::ComApartment com;
  test::RealPlatform real;
  test::CollectorForm1 form{real.Get()};
};

TEST_F(PersistenceOnWine, AtomicWritesListedRemovedAndPutBack) {
  const std::wstring lsa = kLsa;
  const std::wstring notify = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\AtomicRedTeam";
  const std::wstring windows = e2e::ShellFolder(CSIDL_WINDOWS);
  const std::wstring temp = e2e::ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Temp";
  const std::wstring sdb = L"{dd6b9cd4-0d0d-4d9c-9f45-c3a2d6e1a7f0}";
  // Whatever Wine itself keeps there is listed before and after, untouched.
  form.GetRegistryItems();
  const Rows wines = PointRows();
  real.window.ClearRows();
  // Wine keeps "kerberos" and "schannel" in Security Packages; every value is put back when the test ends.
  changes.Set(HKEY_LOCAL_MACHINE, lsa, L"Authentication Packages", REG_MULTI_SZ, Multi({L"msv1_0", L"package.dll"}));
  changes.Set(HKEY_LOCAL_MACHINE, lsa, L"Security Packages", REG_MULTI_SZ, Multi({L"kerberos", L"schannel", L"not-a-ssp"}));
  changes.Set(HKEY_LOCAL_MACHINE, lsa + L"\\OSConfig", L"Security Packages", REG_SZ, Sz(L"AtomicTest.dll"));
  changes.Set(HKEY_LOCAL_MACHINE, lsa, L"Notification Packages", REG_MULTI_SZ, Multi({L"scecli", L"AtomicRedTeamPWFilter"}));
  changes.Set(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\AtomicRedTeam", L"Driver", REG_SZ,
              Sz(L"C:\\AtomicRedTeam\\atomics\\T1547.010\\bin\\PortMonitor.dll"));
  changes.Set(HKEY_LOCAL_MACHINE,
              L"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Print Processors\\AtomicRedTeam",
              L"Driver", REG_SZ, Sz(L"AtomicTest.dll"));
  changes.Set(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\NetSh", L"NetshHelper", REG_SZ,
              Sz(L"C:\\AtomicRedTeam\\atomics\\T1546.007\\bin\\NetshHelper.dll"));
  changes.Set(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\AppCertDlls", L"AtomicTest",
              REG_EXPAND_SZ, Sz(L"C:\\Users\\Public\\AtomicTest.dll"));
  changes.Set(HKEY_LOCAL_MACHINE, std::wstring(kCompat) + L"\\InstalledSDB\\" + sdb, L"DatabasePath", REG_SZ,
              Sz(windows + L"\\AppPatch\\Custom\\Custom64\\" + sdb + L".sdb"));
  changes.Set(HKEY_LOCAL_MACHINE, std::wstring(kCompat) + L"\\Custom\\AtomicTest.exe", sdb + L".sdb", REG_QWORD,
              std::string(8, '\x01'));
  const std::wstring provider = L"SYSTEM\\CurrentControlSet\\Services\\W32Time\\TimeProviders\\AtomicTest";
  changes.Set(HKEY_LOCAL_MACHINE, provider, L"DllName", REG_SZ, Sz(L"C:\\Users\\Public\\AtomicTest.dll"));
  changes.Set(HKEY_LOCAL_MACHINE, provider, L"Enabled", REG_DWORD, Dword(1));
  changes.Set(HKEY_CURRENT_USER, notify, L"DllName", REG_EXPAND_SZ, Sz(L"C:\\Windows\\Temp\\atomicNotificationPackage.dll"));
  changes.Set(HKEY_CURRENT_USER, notify, L"Logon", REG_SZ, Sz(L"AtomicTestFunction"));
  changes.Set(HKEY_CURRENT_USER, notify, L"Impersonate", REG_DWORD, Dword(1));
  changes.Set(HKEY_CURRENT_USER, L"Environment", L"UserInitMprLogonScript", REG_SZ, Sz(temp + L"\\art.bat"));
  changes.Set(HKEY_CURRENT_USER, L"Environment", L"COR_ENABLE_PROFILING", REG_SZ, Sz(L"1"));
  changes.Set(HKEY_CURRENT_USER, L"Environment", L"COR_PROFILER", REG_SZ, Sz(L"{09108e71-974c-4010-89cb-acf471ae9e2c}"));
  changes.Set(HKEY_CURRENT_USER, L"Environment", L"COR_PROFILER_PATH", REG_SZ,
              Sz(L"C:\\AtomicRedTeam\\atomics\\T1574.012\\bin\\T1574.012x64.dll"));
  changes.Set(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office test\\Special\\Perf", L"", REG_SZ,
              Sz(L"C:\\AtomicRedTeam\\atomics\\T1137.002\\bin\\officetest_x64.dll"));
  changes.Set(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"SCRNSAVE.EXE", REG_SZ,
              Sz(windows + L"\\System32\\evilscreensaver.scr"));
  ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(L"SOFTWARE\\Classes\\CLSID\\") + kHijacked));
  changes.Set(HKEY_CURRENT_USER, std::wstring(L"Software\\Classes\\CLSID\\") + kHijacked + L"\\InprocServer32", L"",
              REG_SZ, Sz(L"C:\\Users\\Public\\AtomicTest.dll"));

  form.GetRegistryItems();
  const std::string lsaRow = "HKLM:" + win32::Narrow(lsa);
  const std::string windowsText = win32::Narrow(windows);
  Rows listed = PointRows();
  std::erase_if(listed, [&](const auto& row) { return std::find(wines.begin(), wines.end(), row) != wines.end(); });
  EXPECT_EQ(listed, (Rows{
                        {"REGISTRY", "HKCU:Control Panel\\Desktop", "SCRNSAVE.EXE", windowsText + "\\System32\\"},
                        {"REGISTRY", "HKCU:Environment", "COR_PROFILER", ""},
                        {"REGISTRY", "HKCU:Environment", "COR_PROFILER_PATH", "C:\\AtomicRedTeam\\atomics\\T1574.012\\bin\\"},
                        {"REGISTRY", "HKCU:Environment", "UserInitMprLogonScript", win32::Narrow(temp) + "\\"},
                        {"REGISTRY", "HKCU:Software\\Classes\\CLSID\\" + win32::Narrow(kHijacked), "InprocServer32",
                         "C:\\Users\\Public\\"},
                        {"REGISTRY", "HKCU:Software\\Microsoft\\Office test\\Special\\Perf", "",
                         "C:\\AtomicRedTeam\\atomics\\T1137.002\\bin\\"},
                        {"REGISTRY", "HKCU:Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify", "AtomicRedTeam",
                         "C:\\Windows\\Temp\\"},
                        {"REGISTRY", "HKLM:SOFTWARE\\Microsoft\\NetSh", "NetshHelper", "C:\\AtomicRedTeam\\atomics\\T1546.007\\bin\\"},
                        {"REGISTRY", "HKLM:" + win32::Narrow(kCompat) + "\\Custom", "AtomicTest.exe", ""},
                        {"REGISTRY", "HKLM:" + win32::Narrow(kCompat) + "\\InstalledSDB", win32::Narrow(sdb),
                         windowsText + "\\AppPatch\\Custom\\Custom64\\"},
                        {"REGISTRY", lsaRow, "Authentication Packages: package.dll", ""},
                        {"REGISTRY", lsaRow, "Notification Packages: AtomicRedTeamPWFilter", ""},
                        {"REGISTRY", lsaRow, "Security Packages: not-a-ssp", ""},
                        {"REGISTRY", lsaRow + "\\OSConfig", "Security Packages: AtomicTest.dll", ""},
                        {"REGISTRY", "HKLM:SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Print Processors",
                         "AtomicRedTeam", ""},
                        {"REGISTRY", "HKLM:SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors", "AtomicRedTeam",
                         "C:\\AtomicRedTeam\\atomics\\T1547.010\\bin\\"},
                        {"REGISTRY", "HKLM:SYSTEM\\CurrentControlSet\\Control\\Session Manager\\AppCertDlls", "AtomicTest",
                         "C:\\Users\\Public\\"},
                        {"REGISTRY", "HKLM:SYSTEM\\CurrentControlSet\\Services\\W32Time\\TimeProviders", "AtomicTest",
                         "C:\\Users\\Public\\"},
                    }));
  EXPECT_TRUE(real.window.messages.empty());

  // The console edition files each under the fleet tools' letters.
  {
    ConsoleListing listing(real.registry, real.shell, real.files, real.images, [](const std::string&) {});
    std::vector<std::unique_ptr<LoadedHive>> loaded;
    GatherEntries(listing, {listing, real.registry, real.shell, real.files, real.services, real.tasks}, real.profiles,
                  std::nullopt, loaded, "rpwold");
    ConsoleOptions options;
    options.categories = "rpwold";
    std::map<std::string, int> categories;
    std::vector<std::string> lsaEntries;
    for (const ConsoleEntry& entry : listing.Entries(options)) {
      if (entry.locationRow || !OfThePoints(entry.location)) continue;
      ++categories[entry.category];
      if (entry.category == "LSA Providers") lsaEntries.push_back(entry.location + " | " + entry.entry);
    }
    EXPECT_EQ(categories, (std::map<std::string, int>{
                              {"AppInit", 7}, {"LSA Providers", 4}, {"Logon", 2}, {"Office", 1}, {"Print Monitors", 2},
                              {"Winlogon", 1}}));
    std::sort(lsaEntries.begin(), lsaEntries.end());
    EXPECT_EQ(lsaEntries.front(), "HKLM\\" + win32::Narrow(lsa) + "\\Authentication Packages | package.dll");
  }

  // One walk takes every one; Windows' own elements and keys stay.
  HWND list = ::GetDlgItem(real.window.hwnd(), win32::ControlId(Control::ListView1));
  for (int row = 1; row <= real.window.RowCount(); ++row) {
    const std::vector<std::string> texts{"REGISTRY", real.window.RowText(row, 1), real.window.RowText(row, 2),
                                         real.window.RowText(row, 3)};
    if (std::find(listed.begin(), listed.end(), texts) != listed.end()) ListView_SetCheckState(list, row - 1, TRUE);
  }
  real.window.SetCheckValue(CheckBox::Check1, 1);
  form.DeleteItem();
  real.window.ClearRows();
  form.GetRegistryItems();
  EXPECT_EQ(PointRows(), wines);
  EXPECT_EQ(ValueOf(HKEY_LOCAL_MACHINE, lsa, L"Authentication Packages"), std::pair(DWORD{REG_MULTI_SZ}, Multi({L"msv1_0"})));
  EXPECT_EQ(ValueOf(HKEY_LOCAL_MACHINE, lsa, L"Security Packages"),
            std::pair(DWORD{REG_MULTI_SZ}, Multi({L"kerberos", L"schannel"})));
  EXPECT_EQ(ValueOf(HKEY_LOCAL_MACHINE, lsa, L"Notification Packages"), std::pair(DWORD{REG_MULTI_SZ}, Multi({L"scecli"})));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, notify));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, provider));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Local Port"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(L"SOFTWARE\\Classes\\CLSID\\") + kHijacked + L"\\InprocServer32"));
  EXPECT_EQ(ValueOf(HKEY_CURRENT_USER, L"Environment", L"COR_ENABLE_PROFILING").first, DWORD{REG_SZ}) << "only the entry goes";

  // The backup brings every one back.
  const std::wstring backup = e2e::NewestBackupFolder();
  ASSERT_EQ(test::RestoreBackup(backup, true), "");
  real.window.ClearRows();
  form.GetRegistryItems();
  Rows restored = PointRows();
  std::erase_if(restored, [&](const auto& row) { return std::find(wines.begin(), wines.end(), row) != wines.end(); });
  EXPECT_EQ(restored, listed);
  EXPECT_EQ(ValueOf(HKEY_CURRENT_USER, notify, L"Impersonate"), std::pair(DWORD{REG_DWORD}, Dword(1)));
}

}  // namespace
}  // namespace vq
