// The collectors on the real registry, files, shell folders and services of
// the Wine prefix, compared row by row with what the test seeded.
#include <windows.h>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "collectors/add_folder.h"
#include "e2e/harness.h"
#include "e2e/test_service_control.h"
#include "platform/real_platform.h"
#include "platform/text.h"
#include "platform/win32/text.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using Rows = std::vector<std::vector<std::string>>;
using win32::Narrow;
using win32::Widen;

std::string Utf16(const std::wstring& text, bool terminated = true) { return e2e::Utf16Bytes(text, terminated); }
std::string ShellFolder(int csidl) { return Narrow(e2e::ShellFolder(csidl)); }

class CollectorsOnWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
  }
  win32::ComApartment com;
  test::RealPlatform real;
  test::CollectorForm1 form{real.Get()};
};

TEST_F(CollectorsOnWine, RegistryRowsAsSeeded) {
  e2e::ClearAutorunKeys();
  const std::wstring run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  // Wine lists values sorted by name, Windows in the order written: the names keep both the same.
  auto seed = [&](const std::wstring& name, DWORD type, const std::string& bytes) {
    e2e::WriteRegistryBytes(HKEY_CURRENT_USER, run, name, type, bytes);
  };
  seed(L"a" + std::wstring(254, L'n'), REG_SZ, Utf16(L"tool.exe"));  // 255 characters
  seed(L"b" + std::wstring(255, L'n'), REG_SZ, Utf16(L"tool.exe"));  // 256: does not fit
  seed(L"c" + std::wstring(256, L'n'), REG_SZ, Utf16(L"tool.exe"));
  seed(L"d1022", REG_SZ, Utf16(L"C:\\" + std::wstring(1019, L'x')));
  seed(L"d1023", REG_SZ, Utf16(L"C:\\" + std::wstring(1020, L'x')));
  seed(L"d1024", REG_SZ, Utf16(L"C:\\" + std::wstring(1021, L'x')));  // does not fit
  seed(L"e-noterm", REG_SZ, Utf16(L"C:\\d\\e.exe", false));
  seed(L"e-nuls", REG_SZ, Utf16(std::wstring(L"C:\\a\\b.exe\0C:\\z\\y.exe", 21)));
  seed(L"e-odd", REG_SZ, Utf16(L"C:\\o\\", false) + "x");
  for (int bytes = 0; bytes <= 3; ++bytes) seed(L"f-dword" + std::to_wstring(bytes), REG_DWORD, std::string(bytes, '\1'));
  seed(L"g-binary", REG_BINARY, "C:\\b\\");
  seed(L"g-expand", REG_EXPAND_SZ, Utf16(L"%SystemRoot%\\x.exe"));
  seed(L"g-expand-drive", REG_EXPAND_SZ, Utf16(L"\"C:\\e\\%USERNAME%\\e.exe\" /x"));
  seed(L"g-multi", REG_MULTI_SZ, Utf16(L"C:\\m\\a.exe") + Utf16(L""));
  seed(L"h-\u00DCberwachung-\u4E2D", REG_SZ, Utf16(L"\"C:\\Program Files\\\u00DC\\tool.exe\" /min"));
  e2e::WriteRegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", L"Agent",
                         L"C:\\Program Files\\Vendor\\agent.exe");
  e2e::WriteRegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                         L"Old Agent", L"\"C:\\Program Files (x86)\\Old\\old.exe\"");
  e2e::WriteRegistryText(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"load",
                         L"C:\\x\\a.exe");
  e2e::WriteRegistryText(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"run",
                         L"C:\\x\\b.exe");
  e2e::WriteRegistryText(HKEY_USERS, L".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServices",
                         L"Default Tool", L"tool.exe");

  form.GetRegistryItems();
  const std::string user = "HKCU:Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const Rows expected = {
      {"REGISTRY", "HKLM:SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Agent", "C:\\Program Files\\Vendor\\"},
      {"REGISTRY", "HKLM:SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "Old Agent",
       "C:\\Program Files (x86)\\Old\\"},
      {"REGISTRY", user, "a" + std::string(254, 'n'), ""},
      {"REGISTRY", user, "d1022", "C:\\"},
      {"REGISTRY", user, "d1023", "C:\\"},
      {"REGISTRY", user, "e-noterm", "C:\\d\\"},
      {"REGISTRY", user, "e-nuls", "C:\\a\\b.exe"},  // the list shows a text up to its first NUL
      {"REGISTRY", user, "e-odd", "C:\\o\\"},
      {"REGISTRY", user, "f-dword0", ""},
      {"REGISTRY", user, "f-dword1", ""},
      {"REGISTRY", user, "f-dword2", ""},
      {"REGISTRY", user, "f-dword3", ""},
      {"REGISTRY", user, "g-expand", ""},  // started like a text, shown unexpanded
      {"REGISTRY", user, "g-expand-drive", "C:\\e\\%USERNAME%\\"},
      {"REGISTRY", user, "h-\xC3\x9C" "berwachung-\xE4\xB8\xAD", "C:\\Program Files\\\xC3\x9C\\"},
      {"REGISTRY", "HKCU:Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\", "load", "C:\\x\\"},
      {"REGISTRY", "HKU:.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServices", "Default Tool", ""},
  };
  EXPECT_EQ(real.Rows(), expected);
  EXPECT_TRUE(real.window.messages.empty());
  e2e::ClearAutorunKeys();
}

// The four system files, put back as they were afterwards.
class SystemFilesOnWine : public CollectorsOnWine {
 protected:
  void Write(int file, const std::string& bytes) { e2e::WriteFileBytes(e2e::kSystemFiles[file], bytes); }
  enum { kAutoexec, kConfig, kSystem, kWin };
  e2e::SavedFiles saved{e2e::kSystemFiles};
};

TEST_F(SystemFilesOnWine, LinesAsWrittenFromEachFile) {
  Write(kAutoexec, "@echo off\r\nC:\\Tools\\start.bat\r\n");
  ::DeleteFileW(L"C:\\config.sys");
  Write(kSystem, "[boot]\rshell=Explorer.exe\r");  // CR alone ends no line
  Write(kWin, "\xFF\xFE" + Utf16(L"[windows]\r\nload=C:\\Tools\\\u4E2D.exe\r\nrun=\r\n", false));
  form.GetSysFile();
  EXPECT_EQ(real.Rows(), (Rows{
                             {"SYSFILE", "C:\\autoexec.bat", "C:\\Tools\\start.bat", "C:\\"},
                             {"SYSFILE", "C:\\windows\\system.ini", "[boot]shell=Explorer.exe", "C:\\windows\\"},
                             {"SYSFILE", "C:\\windows\\win.ini", "load=C:\\Tools\\\xE4\xB8\xAD.exe", "C:\\windows\\"},
                             {"SYSFILE", "C:\\windows\\win.ini", "run=", "C:\\windows\\"},
                         }));
  EXPECT_EQ(real.window.RowCount(), 4);
}

TEST_F(SystemFilesOnWine, HugeAndGarbageFilesGiveExactlyTheirKeywordLines) {
  ::DeleteFileW(L"C:\\autoexec.bat");
  ::DeleteFileW(L"C:\\config.sys");
  // Binary garbage without letters, dots or line ends, around two lines that name programs.
  std::mt19937 random(7);
  std::string garbage;
  while (garbage.size() < 200000) {
    const char byte = static_cast<char>(random() & 0xFF);
    if (!std::isalpha(static_cast<unsigned char>(byte)) && byte != '.' && byte != '\n' && byte != '\r' && byte != '=') {
      garbage += byte;
    }
  }
  garbage[0] = '\0';  // not a byte-order mark
  Write(kSystem, garbage + "\nrun=a.exe\n" + garbage + "\nload=b\n" + garbage);
  // 50 MB of lines, a keyword line at its start, middle and end.
  std::string big = "run=first.exe\r\n";
  big.reserve(52'000'000);
  const std::string filler = "key=0000000000000000000000000000000000000000000000\r\n";
  while (big.size() < 25'000'000) big += filler;
  big += "load=middle.exe\r\n";
  while (big.size() < 50'000'000) big += filler;
  big += "RUN=last";
  Write(kWin, big);

  const auto start = std::chrono::steady_clock::now();
  form.GetSysFile();
  std::cout << "system files of 50 MB and 0.6 MB listed in "
            << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count()
            << " ms\n";
  Rows items;
  for (const auto& row : real.Rows()) items.push_back({row[1], row[2]});
  EXPECT_EQ(items, (Rows{{"C:\\windows\\system.ini", "run=a.exe"},
                         {"C:\\windows\\system.ini", "load=b"},
                         {"C:\\windows\\win.ini", "run=first.exe"},
                         {"C:\\windows\\win.ini", "load=middle.exe"},
                         {"C:\\windows\\win.ini", "RUN=last"}}));
}

// The names a folder lists, as the system lists them: the order rows must keep.
std::vector<std::string> ListedFiles(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::wstring& name : e2e::ListedFiles(Widen(folder))) names.push_back(Narrow(name));
  return names;
}

TEST_F(CollectorsOnWine, StartupRowsFromBothFolders) {
  const std::string user = ShellFolder(CSIDL_STARTUP), common = ShellFolder(CSIDL_COMMON_STARTUP);
  ASSERT_FALSE(user.empty());
  ASSERT_FALSE(common.empty());
  e2e::EmptyFolder(Widen(user));
  e2e::EmptyFolder(Widen(common));
  for (const char* name : {"a tool.lnk", "b.v1.2.lnk", "~temp.lnk", "go~.lnk", "\xC3\x9C" "berwachung \xE4\xB8\xAD.lnk",
                           "desktop.ini"}) {
    e2e::WriteFileBytes(Widen(user + "\\" + name), "x");
  }
  ::SetFileAttributesW(Widen(user + "\\desktop.ini").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  ::CreateDirectoryW(Widen(user + "\\sub").c_str(), nullptr);
  e2e::WriteFileBytes(Widen(user + "\\sub\\inner.lnk"), "x");
  e2e::WriteFileBytes(Widen(common + "\\a tool.lnk"), "x");
  e2e::WriteFileBytes(Widen(common + "\\shared.url"), "x");

  form.GetStartup();
  Rows expected;
  for (const std::string& name : ListedFiles(user)) {
    if (name[0] != '~') expected.push_back({"STARTUP", user, name, user + "\\"});
  }
  for (const std::string& name : ListedFiles(common)) expected.push_back({"STARTUP", common, name, common});
  EXPECT_EQ(expected.size(), 7u);
  EXPECT_EQ(real.Rows(), expected);
  e2e::EmptyFolder(Widen(user));
  e2e::EmptyFolder(Widen(common));
}

TEST_F(CollectorsOnWine, FolderOfFiveThousandFiles) {
  e2e::TempFolder folder;
  const std::string path = Narrow(folder.path());
  for (int i = 0; i < 5000; ++i) e2e::WriteFileBytes(folder.path() + L"\\file " + std::to_wstring(i) + L".lnk", "");
  const FolderFiles listed = GetFolderFiles(real.files, real.window, path, "*.*");
  std::vector<std::string> names;
  for (const std::u16string& name : listed.names) names.push_back(Utf16ToUtf8(name));
  EXPECT_EQ(names, ListedFiles(path));
  EXPECT_EQ(names.size(), 5000u);
  EXPECT_FALSE(IsFilePresent(real.files, listed.exactFolder)) << "a folder is never present";
  EXPECT_FALSE(IsFilePresent(real.files, ExactChild(listed.exactFolder, u"missing.lnk")));
  EXPECT_TRUE(GetFolderFiles(real.files, real.window, path + "\\missing", "*.*").names.empty());
}

// What a Startup shortcut runs, as stored in it: read, never resolved; a
// file that is no shortcut names nothing; the account in DOMAIN\name form.
TEST_F(CollectorsOnWine, ShortcutTargetsAndTheAccountName) {
  e2e::TempFolder folder;
  const std::wstring link = folder.path() + L"\\Tool \u00DC.lnk", target = L"C:\\windows\\system32\\winver.exe";
  {
    win32::ComPtr<IShellLinkW> shortcut;
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                             reinterpret_cast<void**>(shortcut.put()))));
    shortcut.get()->SetPath(target.c_str());
    shortcut.get()->SetArguments(L"/x");
    win32::ComPtr<IPersistFile> file;
    ASSERT_TRUE(SUCCEEDED(shortcut.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put()))));
    ASSERT_TRUE(SUCCEEDED(file.get()->Save(link.c_str(), TRUE)));
  }
  e2e::WriteFileBytes(folder.path() + L"\\plain.lnk", "no shortcut");
  EXPECT_EQ(real.shell.ShortcutTarget(Narrow(link)), Narrow(target));
  EXPECT_EQ(real.shell.ShortcutTarget(Narrow(folder.path() + L"\\plain.lnk")), "");
  EXPECT_EQ(real.shell.ShortcutTarget(Narrow(folder.path() + L"\\missing.lnk")), "");
  const std::string account = real.shell.AccountName();
  EXPECT_EQ(account.substr(account.find('\\') + 1), real.shell.UserName().value_or("?")) << account;
}

TEST_F(CollectorsOnWine, RunningServicesListedStoppedOnesNot) {
  e2e::TestService service(L"VQ Test Collector", L"Vellorin Test \u00DCberwachung-\u4E2D");
  ASSERT_TRUE(service.Start());
  form.GetServices();
  const Rows running = real.Rows();
  const std::vector<std::string> ours = {"SERVICES", "VQ Test Collector",
                                         "Vellorin Test \xC3\x9C" "berwachung-\xE4\xB8\xAD", ""};
  EXPECT_EQ(std::count(running.begin(), running.end(), ours), 1);
  for (const auto& row : running) {
    EXPECT_EQ(row[0], "SERVICES");
    EXPECT_EQ(row[3], "");
  }
  EXPECT_TRUE(real.window.messages.empty());

  ASSERT_TRUE(service.Stop());
  real.window.ClearRows();
  form.GetServices();
  const Rows after = real.Rows();
  EXPECT_EQ(std::count(after.begin(), after.end(), ours), 0);
  EXPECT_EQ(after.size(), running.size() - 1);
}

// The management calls wait on a thread of their own: the caller's events are
// handled while Wine builds the query's whole table inside ExecQuery (some
// 85 ms), and each object comes back whole, read where it lives.
TEST(ManagementOnWine, AnswersWhileTheQueryRunsAndReadsEachObjectWhole) {
  struct CountingPump : EventPump {
    int handled = 0;
    const DWORD caller = ::GetCurrentThreadId();
    bool onCaller = true;
    void DoEvents() override { ++handled, onCaller = onCaller && ::GetCurrentThreadId() == caller; }
    bool EventsDue() override { return true; }
  } pump;
  win32::ComApartment com;
  e2e::TestService service(L"VQ Test Management", L"Vellorin Management \u00DC");
  ASSERT_TRUE(service.Start());
  win32::Win32Services services;
  auto query = services.ConnectManagement("\\\\.\\root\\cimv2", pump)->ExecQuery("Select * From Win32_Service", pump);
  EXPECT_GE(pump.handled, 2);
  int listed = 0, ours = 0;
  while (const auto object = query->Next(pump)) {
    ++listed;
    if (object->Text("name") != "VQ Test Management") continue;
    ++ours;
    EXPECT_EQ(object->Text("DISPLAYNAME"), "Vellorin Management \xC3\x9C");
    EXPECT_EQ(object->Text("State"), "Running");
    const std::string process = object->Text("ProcessId").value_or("");  // a number, turned into text
    EXPECT_TRUE(!process.empty() && process != "0" && process.find_first_not_of("0123456789") == std::string::npos)
        << process;
    try {
      object->Text("NoSuchProperty");
      ADD_FAILURE() << "a property the class lacks is a failure";
    } catch (const Failure& failure) {
      EXPECT_NE(std::string(failure.what()).find("(IWbemClassObject::Get)"), std::string::npos) << failure.what();
    }
  }
  EXPECT_EQ(ours, 1);
  EXPECT_GT(listed, 1);
  EXPECT_TRUE(pump.onCaller) << "events are handled on the caller's thread only";
}

}  // namespace
}  // namespace vq
