#include "collectors/image_path.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/text.h"

namespace vq {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

// A system with a few files, whose names match without letter case as on Windows.
PathLookup FakeSystem() {
  static const std::set<std::string> files = {
      "c:\\windows\\system32\\notepad.exe",    "c:\\windows\\notepad.exe",
      "c:\\windows\\system32\\rundll32.exe",   "c:\\windows\\system32\\regsvr32.exe",
      "c:\\windows\\system32\\shell32.dll",    "c:\\windows\\system32\\scrrun.dll",
      "c:\\windows\\system32\\mydll.dll",      "c:\\windows\\system32\\svchost.exe",
      "c:\\windows\\system32\\drivers\\x.sys", "c:\\program files\\a b\\x.exe",
      "c:\\program files\\a b\\y.dll",         "c:\\tools\\runme.exe",
      "c:\\tools\\tool.cmd",                   "c:\\tools\\drv.sys",
      "d:\\program files\\p.exe",              "d:\\program.exe",
      "c:\\tools\\bare",  // a file with no extension, which process creation never runs by that name
  };
  PathLookup lookup;
  lookup.isFile = [](const std::string& path) { return files.count(Lower(path)) > 0; };
  lookup.expand = [](const std::string& text) {
    std::string expanded = ReplaceAll(text, "%SystemRoot%", "C:\\Windows");
    return ReplaceAll(expanded, "%ProgramFiles%", "C:\\Program Files");
  };
  lookup.searchFolders = {"C:\\Windows\\System32", "C:\\Windows\\System", "C:\\Windows\\", "C:\\Tools"};
  return lookup;
}

TEST(ImagePath, LaunchStringsFindTheirFilesAsWindowsDoes) {
  struct Case {
    std::string launchString, imagePath;
  };
  const Case cases[] = {
      {"", ""},
      // Quoted: the quoted text, with ".exe" only when it has no extension.
      {"\"C:\\Program Files\\A B\\x.exe\" /s", "C:\\Program Files\\A B\\x.exe"},
      {"\"C:\\Tools\\runme\" -x", "C:\\Tools\\runme.exe"},
      // Unquoted: tried at each space from the left, the first file wins.
      {"C:\\Program Files\\A B\\x.exe /s", "C:\\Program Files\\A B\\x.exe"},
      {"C:\\Program Files\\A B\\x /s", "C:\\Program Files\\A B\\x.exe"},
      {"C:\\Tools\\bare /s", "File not found: C:\\Tools\\bare"},
      {"D:\\Program Files\\p.exe", "D:\\Program.exe"},
      // Variables first.
      {"%ProgramFiles%\\A B\\x.exe -q", "C:\\Program Files\\A B\\x.exe"},
      {"%SystemRoot%\\system32\\svchost.exe -k netsvcs", "C:\\Windows\\system32\\svchost.exe"},
      // Bare names: System32 before the Windows folder, then PATH.
      {"notepad", "C:\\Windows\\System32\\notepad.exe"},
      {"NOTEPAD.EXE file.txt", "C:\\Windows\\System32\\NOTEPAD.EXE"},
      {"tool.cmd arg", "C:\\Tools\\tool.cmd"},
      // Services' NT-style starts.
      {"\\SystemRoot\\System32\\drivers\\x.sys", "C:\\Windows\\System32\\drivers\\x.sys"},
      {"\\??\\C:\\Tools\\drv.sys", "C:\\Tools\\drv.sys"},
      // rundll32: the DLL up to the comma, found the same way, ".dll" added to a name without an extension.
      {"rundll32.exe shell32.dll,Control_RunDLL desk.cpl", "C:\\Windows\\System32\\shell32.dll"},
      {"RunDll32 \"C:\\Program Files\\A B\\y.dll\",Start now", "C:\\Program Files\\A B\\y.dll"},
      {"C:\\Windows\\System32\\RUNDLL32.EXE C:\\Program Files\\A B\\y.dll,Start", "C:\\Program Files\\A B\\y.dll"},
      {"\"%SystemRoot%\\System32\\rundll32.exe\" shell32.dll,Options_RunDLL 0", "C:\\Windows\\System32\\shell32.dll"},
      {"rundll32 mydll,Entry", "C:\\Windows\\System32\\mydll.dll"},  // LoadLibrary adds ".dll"
      {"rundll32 nodll,Entry", "File not found: nodll"},
      {"rundll32.exe", "C:\\Windows\\System32\\rundll32.exe"},
      // regsvr32: the first argument that is no switch.
      {"regsvr32.exe /s scrrun.dll", "C:\\Windows\\System32\\scrrun.dll"},
      {"Regsvr32 /s /u /i:\"a b c\" -n C:\\Program Files\\A B\\y.dll", "C:\\Program Files\\A B\\y.dll"},
      {"regsvr32 /s", "C:\\Windows\\System32\\regsvr32.exe"},
      // Missing: the best candidate.
      {"C:\\Gone\\app.exe /background -x", "File not found: C:\\Gone\\app.exe"},
      {"C:\\Gone Away\\app.exe -x", "File not found: C:\\Gone Away\\app.exe"},
      {"C:\\Gone\\app.exe arg", "File not found: C:\\Gone\\app.exe arg"},
      {"\"C:\\Gone Away\\app.exe\" arg", "File not found: C:\\Gone Away\\app.exe"},
      {"gone.exe", "File not found: gone.exe"},
      {"rundll32 C:\\Gone\\x.dll,Entry", "File not found: C:\\Gone\\x.dll"},
      {"regsvr32 /s \"C:\\Gone\\x.dll\"", "File not found: C:\\Gone\\x.dll"},
  };
  const PathLookup lookup = FakeSystem();
  for (const Case& c : cases) {
    EXPECT_EQ(ImagePathOf(c.launchString, lookup), c.imagePath) << c.launchString;
  }
}

}  // namespace
}  // namespace vq
