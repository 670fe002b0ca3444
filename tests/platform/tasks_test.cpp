// Scheduled tasks on Wine's real Task Scheduler and its task store: task files
// as Windows writes them, a task registered with schtasks, the window's rows,
// and a walk that deletes one of two twins and whose backup schtasks takes back.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>

#include "e2e/harness.h"
#include "platform/real_platform.h"
#include "platform/text.h"
#include "platform/win32/text.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using win32::Narrow;

// A task's XML as Windows writes it: UTF-16LE after a byte-order mark.
std::string WindowsTaskFile(const std::wstring& command, const std::wstring& arguments, bool enabled = true) {
  const std::wstring xml =
      L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
      L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
      L"  <RegistrationInfo><Description>Vellorin test task</Description></RegistrationInfo>\r\n"
      L"  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>\r\n"
      L"  <Principals><Principal id=\"Author\"><GroupId>S-1-5-32-545</GroupId></Principal></Principals>\r\n"
      L"  <Settings><Enabled>" + std::wstring(enabled ? L"true" : L"false") + L"</Enabled><Hidden>true</Hidden></Settings>\r\n"
      L"  <Actions Context=\"Author\"><Exec><Command>" + command + L"</Command><Arguments>" + arguments +
      L"</Arguments></Exec></Actions>\r\n</Task>\r\n";
  return "\xFF\xFE" + e2e::Utf16Bytes(xml, false);
}

class TasksOnWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
  }
  void SetUp() override {
    if (!e2e::OnWine()) GTEST_SKIP() << "writes the machine's task store: under Wine only";
    Clean();
  }
  void TearDown() override {
    if (e2e::OnWine()) Clean();
  }
  void Clean() {
    for (const wchar_t* folder : {L"\\VqTestA", L"\\VqTestB", L"\\VqTestReg"}) {
      e2e::EmptyFolder(store + folder);
      ::RemoveDirectoryW((store + folder).c_str());
    }
  }
  // The rows the test's own tasks gave, sorted: Wine lists folders in the order its disk gives them.
  std::vector<std::vector<std::string>> TestRows() {
    std::vector<std::vector<std::string>> rows;
    for (auto& row : real.Rows()) {
      if (row[1].starts_with("\\VqTest")) rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  win32::ComApartment com;
  test::RealPlatform real;
  test::CollectorForm1 form{real.Get()};
  const std::wstring store = e2e::ShellFolder(CSIDL_SYSTEM) + L"\\Tasks";
};

TEST_F(TasksOnWine, ListedFromTheStoreAndTheSchedulerAndOneTwinDeletedAndPutBack) {
  ::SHCreateDirectoryExW(nullptr, (store + L"\\VqTestA").c_str(), nullptr);
  ::SHCreateDirectoryExW(nullptr, (store + L"\\VqTestB\\Deeper").c_str(), nullptr);
  e2e::WriteFileBytes(store + L"\\VqTestA\\Twin", WindowsTaskFile(L"\"C:\\Program Files\\A\\a.exe\"", L"/a"));
  e2e::WriteFileBytes(store + L"\\VqTestB\\Twin", WindowsTaskFile(L"C:\\B\\b.exe", L"-b &amp; c", false));
  e2e::WriteFileBytes(store + L"\\VqTestB\\Deeper\\Inner", WindowsTaskFile(L"%windir%\\notepad.exe", L""));
  const std::wstring registered = e2e::BuildFolder() + L"\\registered.xml";
  e2e::WriteFileBytes(registered, WindowsTaskFile(L"C:\\R\\r.exe", L"/r"));
  ASSERT_EQ(e2e::RunProgram(L"schtasks.exe /create /tn \\VqTestReg\\Registered /xml \"" + registered + L"\""), 0u);

  form.GetTasks();
  // Wine's scheduler keeps no actions of what it registers: that task runs nothing.
  EXPECT_EQ(TestRows(), (std::vector<std::vector<std::string>>{
                            {"TASKS", "\\VqTestA", "Twin", "C:\\Program Files\\A\\"},
                            {"TASKS", "\\VqTestB", "Twin", "C:\\B\\"},
                            {"TASKS", "\\VqTestB\\Deeper", "Inner", ""},
                            {"TASKS", "\\VqTestReg", "Registered", ""},
                        }));
  EXPECT_TRUE(real.window.messages.empty());

  // A delete by the path of a folder takes nothing: only a task goes.
  {
    const std::unique_ptr<TaskService> service = real.tasks.Connect();
    ASSERT_TRUE(service);
    EXPECT_FALSE(service->DeleteTask({u"\\VqTestB", u"Deeper"}));
    EXPECT_NE(::GetFileAttributesW((store + L"\\VqTestB\\Deeper\\Inner").c_str()), INVALID_FILE_ATTRIBUTES);
  }

  HWND list = ::GetDlgItem(real.window.hwnd(), win32::ControlId(Control::ListView1));
  for (int row = 1; row <= real.window.RowCount(); ++row) {
    if (real.window.RowText(row, 1) == "\\VqTestB" && real.window.RowText(row, 2) == "Twin") {
      ListView_SetCheckState(list, row - 1, TRUE);
    }
  }
  real.window.SetCheckValue(CheckBox::Check5, 1);
  form.DeleteItem();
  EXPECT_EQ(::GetFileAttributesW((store + L"\\VqTestB\\Twin").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(::GetFileAttributesW((store + L"\\VqTestA\\Twin").c_str()), INVALID_FILE_ATTRIBUTES) << "its twin stays";
  EXPECT_NE(::GetFileAttributesW((store + L"\\VqTestB\\Deeper\\Inner").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(TestRows().size(), 3u);

  const std::wstring backup = e2e::NewestBackupFolder();
  const std::wstring saved = backup + L"\\Tasks\\VqTestB\\Twin.xml";
  const std::optional<std::string> bytes = e2e::ReadFileBytes(saved);
  ASSERT_TRUE(bytes);
  const std::optional<std::wstring> xml = e2e::FromMarkedUtf16(*bytes);
  ASSERT_TRUE(xml) << "UTF-16LE after its mark";
  EXPECT_NE(xml->find(L"<Command>C:\\B\\b.exe</Command>"), std::wstring::npos);
  const std::string note = Utf16ToUtf8(FromUtf16Le(e2e::ReadFileBytes(backup + L"\\How to restore.txt")->substr(2)));
  const std::string line = "schtasks /create /tn \"\\VqTestB\\Twin\" /xml \"" + Narrow(saved) + "\"";
  EXPECT_NE(note.find("    " + line + "\r\n"), std::string::npos) << note;

  // The note's own line puts it back.
  ASSERT_EQ(e2e::RunProgram(L"schtasks.exe /create /tn \"\\VqTestB\\Twin\" /xml \"" + saved + L"\""), 0u);
  real.window.ClearRows();
  form.GetTasks();
  EXPECT_EQ(TestRows()[1], (std::vector<std::string>{"TASKS", "\\VqTestB", "Twin", ""})) << "back, as Wine registers it";
}

}  // namespace
}  // namespace vq
