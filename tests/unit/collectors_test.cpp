#include <gtest/gtest.h>

#include "collectors/mod_system_file.h"
#include "fakes/fake_platform.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using test::Row;

TEST(SplitWindowsPath, DriveRootAndWindowsFolderOrOverflow) {
  std::string root;
  EXPECT_EQ(SplitWindowsPath("C:\\WINDOWS\\system32", root), "C:\\WINDOWS\\");
  EXPECT_EQ(root, "C:\\");

  struct Case {
    std::string path, rootAfter;
  };
  for (const Case& c : {Case{"C:\\", "C:\\"}, Case{"", "unchanged"}, Case{"C:", "unchanged"}}) {
    root = "unchanged";
    try {
      SplitWindowsPath(c.path, root);
      ADD_FAILURE() << c.path << ": no failure";
    } catch (const Failure& failure) {
      EXPECT_STREQ(failure.what(), "Overflow");
    }
    EXPECT_EQ(root, c.rootAfter) << c.path;
  }
  // The old counter could not reach a backslash beyond its 32767th character.
  EXPECT_THROW(SplitWindowsPath(std::string(32767, 'a') + "\\b\\", root), Failure);
  EXPECT_EQ(SplitWindowsPath(std::string(32765, 'a') + "\\\\", root).size(), 32767u);
}

TEST(ReadWholeFile, EmptyMissingUtf16AndAnsi) {
  test::FakeFileSystem files;
  files.AddFile("C:\\empty.ini");
  files.AddFile("C:\\utf16.ini", "\xFF\xFE" + test::Utf16Le(u"load=\u4E2D.exe"));
  files.AddFile("C:\\odd.ini", std::string("\xFF\xFE" "a\0b", 5));
  files.AddFile("C:\\ansi.ini", "load=\xE9.exe");
  files.AddFile("C:\\nomark.ini", test::Utf16Le(u"run=x.exe"));
  EXPECT_EQ(ReadWholeFile(files, "C:\\missing.ini"), "");
  EXPECT_EQ(ReadWholeFile(files, "C:\\empty.ini"), "empty file");
  EXPECT_EQ(ReadWholeFile(files, "C:\\utf16.ini"), "\xEF\xBB\xBF" "load=\xE4\xB8\xAD.exe") << "the mark stays";
  EXPECT_EQ(ReadWholeFile(files, "C:\\odd.ini"), "\xEF\xBB\xBF" "a\xEF\xBF\xBD");
  EXPECT_EQ(ReadWholeFile(files, "C:\\ansi.ini"), "load=\xC3\xA9.exe");
  EXPECT_EQ(ReadWholeFile(files, "C:\\nomark.ini"), std::string("r\0u\0n\0=\0x\0.\0e\0x\0e\0", 18));
  EXPECT_FALSE(NamesSomethingThatRuns(ReadWholeFile(files, "C:\\nomark.ini"))) << "read byte by byte, no keyword";
}

TEST(SystemFileLines, SplitAndKeywordTest) {
  auto lines = [](std::string text) {
    std::vector<std::string> out;
    for (std::string_view line : SplitLines(text)) out.emplace_back(line);
    return out;
  };
  EXPECT_EQ(lines("a\r\nb\r\n"), lines("a\nb\n"));
  EXPECT_EQ(lines("a\nb\n"), (std::vector<std::string>{"a", "b", ""}));
  EXPECT_EQ(lines("a\rb\r"), (std::vector<std::string>{"ab"})) << "CR alone ends no line";
  EXPECT_TRUE(lines("").empty());

  for (const char* line : {"load=C:\\Tools\\agent.exe", "shell=Explorer.exe", "RUN=", "Setup.EXE", "download",
                           "rundll32", "x.BAT", "a.lnk", "b.vbs", "c.htm", "d.msi", "e.msc"}) {
    EXPECT_TRUE(NamesSomethingThatRuns(line)) << line;
  }
  for (const char* line : {"[boot]", "[windows]", "   ", "mapi=1", "exe", "ru n"}) {
    EXPECT_FALSE(NamesSomethingThatRuns(line)) << line;
  }
}

class SystemFileCollectorTest : public test::CollectorTest {
 protected:
  test::FakeFileSystem& files = fakes.files;
};

TEST_F(SystemFileCollectorTest, FourFilesInOrderWithTheirFolders) {
  files.AddFile("C:\\WINDOWS\\win.ini", "[windows]\r\nload=C:\\Tools\\agent.exe\r\n\r\nrun=\r\nrun=\r\n");
  files.AddFile("C:\\WINDOWS\\system.ini", "[boot]\nshell=Explorer.exe\n");
  files.AddFile("C:\\config.sys", "DEVICE=C:\\DOS\\himem.sys\nINSTALL=C:\\DOS\\share.exe");
  files.AddFile("C:\\autoexec.bat", "");
  form.GetSysFile();
  EXPECT_EQ(Rows(), (std::vector<Row>{
                        {"SYSFILE", "C:\\config.sys", "INSTALL=C:\\DOS\\share.exe", "C:\\"},
                        {"SYSFILE", "C:\\WINDOWS\\system.ini", "shell=Explorer.exe", "C:\\WINDOWS\\"},
                        {"SYSFILE", "C:\\WINDOWS\\win.ini", "load=C:\\Tools\\agent.exe", "C:\\WINDOWS\\"},
                        {"SYSFILE", "C:\\WINDOWS\\win.ini", "run=", "C:\\WINDOWS\\"},
                        {"SYSFILE", "C:\\WINDOWS\\win.ini", "run=", "C:\\WINDOWS\\"},
                    }));
  EXPECT_TRUE(Reports().empty());
}

TEST_F(SystemFileCollectorTest, AFileThatCannotBeReadIsReportedAndListsNothing) {
  files.AddFile("C:\\autoexec.bat", "run=a.exe");
  files.AddFile("C:\\config.sys", "run=b.exe");
  files.AddFile("C:\\WINDOWS\\system.ini", "run=c.exe");
  files.AddFile("C:\\WINDOWS\\win.ini", "run=d.exe");
  files.unreadable = {"C:\\autoexec.bat", "C:\\config.sys", "C:\\WINDOWS\\system.ini", "C:\\WINDOWS\\win.ini"};
  form.GetSysFile();
  EXPECT_EQ(Reports(), (std::vector<std::string>{"GetSysFile at line 104", "GetSysFile at line 128",
                                                 "GetSysFile at line 152", "GetSysFile at line 176"}));
  EXPECT_TRUE(Rows().empty());

  window.boxes.clear();
  files.unreadable = {"C:\\config.sys"};
  form.GetSysFile();
  EXPECT_EQ(Reports(), std::vector<std::string>{"GetSysFile at line 128"});
  std::vector<std::string> items;
  for (const Row& row : Rows()) items.push_back(row.texts[1] + " " + row.texts[2]);
  EXPECT_EQ(items, (std::vector<std::string>{"C:\\autoexec.bat run=a.exe", "C:\\WINDOWS\\system.ini run=c.exe",
                                             "C:\\WINDOWS\\win.ini run=d.exe"}))
      << "the unread file does not list the previous file's lines";
}

TEST_F(SystemFileCollectorTest, SystemFolderUnknownOrWithOneBackslash) {
  files.AddFile("win.ini", "load=x.exe");
  files.AddFile("C:\\autoexec.bat", "run=a.exe");
  fakes.shell.folders.erase(csidl::kSystem);
  form.GetSysFile();
  EXPECT_EQ(Reports(), std::vector<std::string>{"GetSysFile at line 100"});
  EXPECT_EQ(Rows(), (std::vector<Row>{{"SYSFILE", "win.ini", "load=x.exe", ""}})) << "looked for by bare name";

  window.rows.clear(), window.boxes.clear();
  fakes.shell.folders[csidl::kSystem] = "C:\\";
  form.GetSysFile();
  EXPECT_EQ(Reports(), std::vector<std::string>{"GetSysFile at line 100"});
  EXPECT_EQ(Rows(), (std::vector<Row>{{"SYSFILE", "C:\\autoexec.bat", "run=a.exe", "C:\\"},
                                      {"SYSFILE", "win.ini", "load=x.exe", ""}}));
}

class StartupCollectorTest : public test::CollectorTest {
 protected:
  test::FakeFileSystem& files = fakes.files;
  test::FakeShell& shell = fakes.shell;
  const std::string user = "C:\\Users\\Ann\\Start Menu\\Programs\\Startup";
  const std::string common = "C:\\ProgramData\\Start Menu\\Programs\\Startup";
};

TEST_F(StartupCollectorTest, UserRowsBeforeAllUsersRows) {
  files.AddFile(common + "\\shared.lnk");
  files.AddFile(user + "\\~start.lnk");
  files.AddFile(user + "\\go~.lnk");
  files.AddFile(user + "\\My Tool v1.2.lnk");
  files.AddFile(user + "\\gone.lnk");
  files.unopenable.insert(user + "\\gone.lnk");  // removed between the listing and the test
  files.AddFile(user + "\\sub\\inner.lnk");
  files.AddFile(common + "\\~skip.lnk");
  form.GetStartup();
  EXPECT_EQ(Rows(), (std::vector<Row>{
                        {"STARTUP", user, "go~.lnk", user + "\\"},
                        {"STARTUP", user, "My Tool v1.2.lnk", user + "\\"},
                        {"STARTUP", common, "shared.lnk", common},
                    }));
  EXPECT_EQ(files.listed, (std::vector<std::string>{user + "\\*.*", common + "\\*.*"}));
  EXPECT_TRUE(Reports().empty());
}

TEST_F(StartupCollectorTest, AllUsersFolderFromTheOldRuleOnlyWhereTheShellGivesNone) {
  shell.folders.erase(csidl::kCommonStartup);
  shell.folders[csidl::kStartup] = "C:\\Documents and Settings\\Ann\\Annex\\ann\\Startup";
  const std::string derived = "C:\\Documents and Settings\\All Users\\All Usersex\\ann\\Startup";
  files.AddFile(derived + "\\all.lnk");
  form.GetStartup();
  EXPECT_EQ(Rows(), (std::vector<Row>{{"STARTUP", derived, "all.lnk", derived}}));

  // Without a user name the rule would give the user's own folder again: no second pass.
  window.rows.clear();
  files.listed.clear();
  shell.user = std::nullopt;
  form.GetStartup();
  EXPECT_EQ(files.listed, std::vector<std::string>{shell.folders[csidl::kStartup] + "\\*.*"});
}

TEST_F(StartupCollectorTest, NoFolderKnownListsNothingInItsPlace) {
  shell.folders.clear();
  files.AddFile("C:\\root.lnk");
  form.GetStartup();
  EXPECT_TRUE(files.listed.empty());
  EXPECT_TRUE(Rows().empty());
  EXPECT_TRUE(Reports().empty());

  files.Fail("ListFiles", "Access is denied");
  shell.folders = test::FakeShell().folders;
  form.GetStartup();
  EXPECT_EQ(Reports(), (std::vector<std::string>{"GetStartup at line 104", "GetStartup at line 122"}));
}

class ServiceCollectorTest : public test::CollectorTest {
 protected:
  test::FakeServices& services = fakes.services;
};

TEST_F(ServiceCollectorTest, RunningServicesOnlyInQueryOrder) {
  services.services = {{"Spooler", "Print Spooler", "Running"},
                       {"Stopped", "A stopped one", "Stopped"},
                       {"Paused", "A paused one", "Paused"},
                       {"Lower", "running in lower case", "running"},
                       {"NoName", std::nullopt, "Running"},
                       {"W\xC3\xBC", "Dienst \xE4\xB8\xAD", "Running"}};
  form.GetServices();
  EXPECT_EQ(services.connectedTo, "\\\\.\\root\\cimv2");
  EXPECT_EQ(services.query, "Select * From Win32_Service");
  EXPECT_EQ(Rows(), (std::vector<Row>{{"SERVICES", "Spooler", "Print Spooler", ""},
                                      {"SERVICES", "NoName", "", ""},
                                      {"SERVICES", "W\xC3\xBC", "Dienst \xE4\xB8\xAD", ""}}));
  EXPECT_EQ(Reports(), std::vector<std::string>{"GetServices at line 114"}) << "a null display name";
  EXPECT_EQ(services.liveObjects, 0);
}

TEST_F(ServiceCollectorTest, ConnectionOrQueryFailureIsReportedOnce) {
  services.services = {{"Spooler", "Print Spooler", "Running"}};
  for (const auto& [operation, report] : {std::pair{"ConnectManagement", "GetServices at line 102"},
                                          std::pair{"ExecQuery", "GetServices at line 104"},
                                          std::pair{"Next", "GetServices at line 106"}}) {
    test::FakePlatform fakes;
    fakes.services.services = services.services;
    test::CollectorForm1 form(fakes.Get());
    fakes.services.Fail(operation, "RPC server unavailable");
    form.GetServices();
    ASSERT_EQ(fakes.window.boxes.size(), 1u) << operation;
    EXPECT_NE(fakes.window.boxes[0].text.find(report), std::string::npos) << operation;
    EXPECT_TRUE(fakes.window.rows.empty());
    EXPECT_EQ(fakes.services.liveObjects, 0);
  }
  services.services.clear();
  form.GetServices();
  EXPECT_TRUE(Rows().empty());
  EXPECT_TRUE(Reports().empty());
}

}  // namespace
}  // namespace vq
