#include "platform/win32/win32_file_system.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "e2e/harness.h"
#include "entries/main_module.h"
#include "platform/failure.h"
#include "platform/win32/text.h"

namespace vq::win32 {
namespace {

// A temporary folder with UTF-8 paths, as the program uses them.
class TempFolder {
 public:
  std::string Path(const std::string& name = "") const {
    return Narrow(folder_.path()) + (name.empty() ? "" : "\\" + name);
  }
  void WriteFile(const std::string& name, const std::string& bytes) const {
    e2e::WriteFileBytes(Widen(Path(name)), bytes);
  }

 private:
  e2e::TempFolder folder_;
};

TEST(Win32FileSystem, FileExistsOnFilesFoldersAndBadPaths) {
  TempFolder folder;
  folder.WriteFile("present.txt", "x");
  folder.WriteFile("\xC5\x81\xC3\xB3" "d\xC5\xBA.txt", "");  // a name outside the ANSI code page
  ::CreateDirectoryW(Widen(folder.Path("sub")).c_str(), nullptr);
  Win32FileSystem files;

  EXPECT_TRUE(FileExists(files, folder.Path("present.txt")));
  EXPECT_TRUE(FileExists(files, folder.Path("\xC5\x81\xC3\xB3" "d\xC5\xBA.txt")));
  EXPECT_TRUE(FileExists(files, folder.Path("sub")));  // a folder has a last-modified time too
  EXPECT_FALSE(FileExists(files, folder.Path("missing.txt")));
  EXPECT_FALSE(FileExists(files, folder.Path("missing\\present.txt")));
  EXPECT_FALSE(FileExists(files, folder.Path("sub") + "\\"));  // ends in a separator: names no file
  EXPECT_FALSE(FileExists(files, folder.Path("sub") + "/"));
  EXPECT_FALSE(FileExists(files, folder.Path("bad<name>|.txt")));
  EXPECT_FALSE(FileExists(files, folder.Path("*.txt")));  // a pattern is not a file
  EXPECT_FALSE(FileExists(files, ""));
  EXPECT_FALSE(FileExists(files, std::string("C:\\x\0y", 6)));
  EXPECT_FALSE(FileExists(files, "\xFF\xFE not UTF-8"));
}

TEST(Win32FileSystem, MissingFileFailsWithTheSystemsText) {
  TempFolder folder;
  try {
    Win32FileSystem().LastModified(folder.Path("gone.txt"));
    ADD_FAILURE() << "no failure for a missing file";
  } catch (const Failure& failure) {
    const std::string text = failure.what();
    EXPECT_NE(text.find("(GetFileAttributesExW)"), std::string::npos) << text;
    EXPECT_GT(text.size(), std::string(" (GetFileAttributesExW)").size()) << text;
  }
}

TEST(Win32FileSystem, ProgramFolderHoldsTheRunningProgram) {
  Win32FileSystem files;
  const std::string folder = files.ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '\\');
  EXPECT_TRUE(FileExists(files, folder + "\\platform_tests.exe"));
}

// A copy that stands in for a file about to go is flushed to the disk; a
// read-only copy refuses to be opened for that, so the flush must make room
// for it and leave the copy exactly as the file was.
TEST(Win32FileSystem, CopyExactly_ReadOnlyFileIsCopiedFlushedAndLeftReadOnlyWithItsTimes) {
  TempFolder folder;
  folder.WriteFile("ro.lnk", "read only");
  const std::wstring from = e2e::ExactForm(Widen(folder.Path("ro.lnk")));
  const std::wstring to = e2e::ExactForm(Widen(folder.Path("copy.lnk")));
  FILETIME old{0x12345678, 0x01D00000};
  {
    HANDLE file = ::CreateFileW(from.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::SetFileTime(file, &old, &old, &old);
    ::CloseHandle(file);
  }
  ASSERT_TRUE(::SetFileAttributesW(from.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  Win32FileSystem files;
  ASSERT_TRUE(files.CopyExactly(std::u16string(from.begin(), from.end()), std::u16string(to.begin(), to.end())));
  EXPECT_FALSE(files.CopyExactly(std::u16string(from.begin(), from.end()), std::u16string(to.begin(), to.end())))
      << "the name is taken now";
  EXPECT_EQ(e2e::ReadFileBytes(to), "read only");
  WIN32_FILE_ATTRIBUTE_DATA copy{};
  ASSERT_TRUE(::GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &copy));
  EXPECT_EQ(copy.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(copy.ftLastWriteTime.dwLowDateTime, old.dwLowDateTime);
  EXPECT_EQ(copy.ftLastWriteTime.dwHighDateTime, old.dwHighDateTime);
  for (const std::wstring& path : {from, to}) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace vq::win32
