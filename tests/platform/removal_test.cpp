// The removals on the real files, registry and services of the Wine prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include "e2e/harness.h"
#include "e2e/test_service_control.h"
#include "fakes/fake_platform.h"
#include "platform/failure.h"
#include "platform/real_platform.h"
#include "platform/win32/text.h"
#include "removal/file_removal.h"
#include "removal/registry_removal.h"
#include "removal/service_stop.h"

namespace vq {
namespace {

using win32::Narrow;
using win32::Widen;

// The exact form of a path of the prefix (\\?\C:\...).
ExactPath ExactOf(const std::wstring& path) {
  const std::wstring exact = L"\\\\?\\" + path;
  return ExactPath(exact.begin(), exact.end());
}

struct FileState {
  DWORD attributes;
  FILETIME written;
  std::optional<std::string> bytes;
};

FileState StateOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return {INVALID_FILE_ATTRIBUTES, {}, {}};
  return {data.dwFileAttributes, data.ftLastWriteTime, e2e::ReadFileBytes(path)};
}

TEST(FileRemovalOnWine, ForcedDeleteTakesTheOneNameAndLeavesEverythingElse) {
  win32::Win32FileSystem files;
  e2e::TempFolder folder;
  const std::wstring base = folder.path();
  e2e::WriteFileBytes(base + L"\\read-only.lnk", "ro");
  ::SetFileAttributesW((base + L"\\read-only.lnk").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_THROW(files.PlainDelete(ExactOf(base + L"\\read-only.lnk")), Failure);
  files.ForcedDelete(ExactOf(base + L"\\read-only.lnk"));
  EXPECT_EQ(::GetFileAttributesW((base + L"\\read-only.lnk").c_str()), INVALID_FILE_ATTRIBUTES);

  // Two names of one read-only file: the other keeps its bytes, attribute and time.
  e2e::WriteFileBytes(base + L"\\\u00DCberwachung \u4E2D.lnk", "shared bytes");
  ::SetFileAttributesW((base + L"\\\u00DCberwachung \u4E2D.lnk").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(::CreateHardLinkW((base + L"\\other name.lnk").c_str(), (base + L"\\\u00DCberwachung \u4E2D.lnk").c_str(),
                                nullptr));
  const FileState before = StateOf(base + L"\\other name.lnk");
  files.ForcedDelete(ExactOf(base + L"\\\u00DCberwachung \u4E2D.lnk"));
  EXPECT_EQ(::GetFileAttributesW((base + L"\\\u00DCberwachung \u4E2D.lnk").c_str()), INVALID_FILE_ATTRIBUTES);
  const FileState after = StateOf(base + L"\\other name.lnk");
  EXPECT_TRUE(after.attributes & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(after.bytes, before.bytes);
  EXPECT_EQ(::CompareFileTime(&after.written, &before.written), 0);

  // Never a pattern, never a folder, never what is not there.
  e2e::WriteFileBytes(base + L"\\a.lnk", "a");
  ::CreateDirectoryW((base + L"\\sub.lnk").c_str(), nullptr);
  for (const wchar_t* name : {L"\\*.lnk", L"\\?.lnk", L"\\sub.lnk", L"\\missing.lnk"}) {
    EXPECT_THROW(files.PlainDelete(ExactOf(base + name)), Failure) << Narrow(name);
    EXPECT_THROW(files.ForcedDelete(ExactOf(base + name)), Failure) << Narrow(name);
  }
  EXPECT_TRUE(StateOf(base + L"\\a.lnk").bytes);
  EXPECT_TRUE(StateOf(base + L"\\other name.lnk").bytes);
  EXPECT_NE(::GetFileAttributesW((base + L"\\sub.lnk").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Links made by the test run (tests/platform/make-links.sh): one to a
// read-only file beside it, one to a file of the same name in another folder.
TEST(FileRemovalOnWine, AUnixLinkIsRefusedAndWhatItLeadsToLeftAlone) {
  const std::wstring links = e2e::BuildFolder() + L"\\tests\\links";
  if (::GetFileAttributesW(links.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no Unix links in this run";
  win32::Win32FileSystem files;
  test::QuietWindow window;
  test::NoBackup backup;
  // Once before the folders are listed, once after: the listing tells where names alike need a closer look.
  for (int pass = 0; pass < 2; ++pass) {
    for (const wchar_t* name : {L"\\link.lnk", L"\\same.lnk", L"\\twin.lnk", L"\\dot.lnk.", L"\\undot.lnk",
                                L"\\Folder\\a.lnk"}) {
      const std::wstring path = links + name, folder = path.substr(0, path.rfind(L'\\'));
      EXPECT_THROW(files.PlainDelete(ExactOf(path)), Failure) << Narrow(name);
      EXPECT_THROW(files.ForcedDelete(ExactOf(path)), Failure) << Narrow(name);
      EXPECT_THROW(files.MoveNamedFile(ExactOf(path), ExactOf(links + L"\\moved.lnk")), Failure) << Narrow(name);
      const std::wstring bare = path.substr(folder.size() + 1);
      RemoveFile(window, files, {ExactOf(folder), std::u16string(bare.begin(), bare.end()), false}, backup);
      EXPECT_NE(::GetFileAttributesW(e2e::ExactForm(path).c_str()), INVALID_FILE_ATTRIBUTES) << "the link stays";
    }
    for (const wchar_t* folder : {L"", L"\\Folder"}) files.ListFiles(ExactOf(links + folder), "*.*", [](auto&) {});
  }
  EXPECT_EQ(e2e::ReadFileBytes(links + L"\\target.lnk"), "target\n");
  EXPECT_TRUE(::GetFileAttributesW((links + L"\\target.lnk").c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(e2e::ReadFileBytes(links + L"\\elsewhere\\same.lnk"), "same name\n");
  EXPECT_EQ(e2e::ReadFileBytes(links + L"\\Twin.lnk"), "upper twin\n");
  EXPECT_EQ(e2e::ReadFileBytes(links + L"\\dot.lnk"), "dotless twin\n");
  EXPECT_EQ(e2e::ReadFileBytes(links + L"\\undot.lnk."), "dotted twin\n");
  EXPECT_EQ(e2e::ReadFileBytes(links + L"\\folder\\a.lnk"), "other folder\n");
}

TEST(RegistryRemovalOnWine, DeletesExactlyTheNamedValueOfTheNamedKey) {
  const std::wstring test = L"Software\\Vellorin Removal Test";
  const std::wstring wow = L"SOFTWARE\\WOW6432Node\\Vellorin Removal Test";
  const std::wstring native = L"SOFTWARE\\Vellorin Removal Test";
  e2e::WriteRegistryText(HKEY_CURRENT_USER, test, L"\u00DCberwachung-\u4E2D", L"a");
  e2e::WriteRegistryText(HKEY_CURRENT_USER, test, L"Uberwachung-\u4E2D", L"b");
  e2e::WriteRegistryText(HKEY_CURRENT_USER, test, L"", L"default");
  e2e::WriteRegistryText(HKEY_CURRENT_USER, test + L"\\Other", L"\u00DCberwachung-\u4E2D", L"c");
  e2e::WriteRegistryText(HKEY_LOCAL_MACHINE, wow, L"Old", L"32-bit");
  e2e::WriteRegistryText(HKEY_LOCAL_MACHINE, native, L"Old", L"64-bit");

  win32::Win32Registry registry;
  auto remove = [&](Hive hive, const std::wstring& key, const std::wstring& name) {
    const RegistryValueItem value{hive, std::u16string(key.begin(), key.end()),
                                  std::u16string(name.begin(), name.end()), std::nullopt};
    const std::shared_ptr<RegistryKey> opened = OpenForRemoval(registry, value);
    return opened && DeleteRegistryValue(registry, value, *opened);
  };
  EXPECT_TRUE(remove(Hive::CurrentUser, test, L"\u00DCberwachung-\u4E2D"));
  EXPECT_TRUE(remove(Hive::CurrentUser, test, L""));
  EXPECT_TRUE(remove(Hive::LocalMachine, wow, L"Old"));
  EXPECT_FALSE(remove(Hive::CurrentUser, test, L"missing"));
  EXPECT_FALSE(remove(Hive::CurrentUser, L"Software\\No Such Key", L"x"));
  // A value Windows needs is never deleted, however its key is spelled.
  const std::wstring winlogon = L"SOFTWARE\\Microsoft\\Windows NT\\\\CurrentVersion\\Winlogon";
  const auto shell = e2e::RegistryValues(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");
  ASSERT_TRUE(shell.count(L"Shell")) << "the prefix has Windows' own shell";
  EXPECT_FALSE(remove(Hive::LocalMachine, winlogon, L"SHELL"));
  EXPECT_EQ(e2e::RegistryValues(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"), shell);

  EXPECT_EQ(e2e::ReadRegistryText(HKEY_CURRENT_USER, test, L"\u00DCberwachung-\u4E2D"), L"<absent>");
  EXPECT_EQ(e2e::ReadRegistryText(HKEY_CURRENT_USER, test, L""), L"<absent>");
  EXPECT_EQ(e2e::ReadRegistryText(HKEY_CURRENT_USER, test, L"Uberwachung-\u4E2D"), L"b");
  EXPECT_EQ(e2e::ReadRegistryText(HKEY_CURRENT_USER, test + L"\\Other", L"\u00DCberwachung-\u4E2D"), L"c");
  EXPECT_EQ(e2e::ReadRegistryText(HKEY_LOCAL_MACHINE, wow, L"Old"), L"<absent>");
  EXPECT_EQ(e2e::ReadRegistryText(HKEY_LOCAL_MACHINE, native, L"Old"), L"64-bit");
  e2e::DeleteRegistryKey(HKEY_CURRENT_USER, test);
  e2e::DeleteRegistryKey(HKEY_LOCAL_MACHINE, wow);
  e2e::DeleteRegistryKey(HKEY_LOCAL_MACHINE, native);
}

TEST(ServiceStopOnWine, StopsARunningServiceAndRefusesTheRest) {
  win32::Win32Services services;
  e2e::TestService service(L"VQ Test Stop", L"Vellorin Stop Test");
  ASSERT_TRUE(service.Start());
  const std::uint32_t state = StopService(services, "VQ Test Stop");
  EXPECT_TRUE(state == SERVICE_STOP_PENDING || state == SERVICE_STOPPED) << state;
  EXPECT_TRUE(service.Stop()) << "it stops";
  EXPECT_EQ(StopService(services, "VQ Test Stop"), 0u) << "a stopped service refuses";
  EXPECT_EQ(StopService(services, "No Such Service"), 0u);
}

}  // namespace
}  // namespace vq
