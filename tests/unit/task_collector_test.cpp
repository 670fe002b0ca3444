#include <gtest/gtest.h>

#include "console/listing.h"
#include "platform/text.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using test::Row;

// A task's XML as the scheduler hands it over: its actions, and whether it is switched on.
std::string TaskXml(const std::string& actions, bool enabled = true) {
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
         "  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>\r\n"
         "  <Settings><Enabled>" + std::string(enabled ? "true" : "false") + "</Enabled></Settings>\r\n"
         "  <Actions Context=\"Author\">" + actions + "</Actions>\r\n</Task>\r\n";
}
std::string Exec(const std::string& command, const std::string& arguments = "") {
  return "<Exec><Command>" + command + "</Command>" +
         (arguments.empty() ? "" : "<Arguments>" + arguments + "</Arguments>") + "</Exec>";
}
std::string ComHandler(const std::string& classId) { return "<ComHandler><ClassId>" + classId + "</ClassId></ComHandler>"; }

// The task store, as Windows writes its files: UTF-16LE after a byte-order mark.
constexpr char kStore[] = "C:\\WINDOWS\\system32\\Tasks";
std::string StoreFile(const std::string& xml) { return "\xFF\xFE" + Utf16LeBytes(Utf8ToUtf16(xml)); }

class TaskCollectorTest : public test::CollectorTest {
 protected:
  test::FakeTaskScheduler& tasks = fakes.tasks;
  test::FakeFileSystem& files = fakes.files;
  std::vector<Row> Gathered() {
    form.GetTasks();
    return Rows();
  }
};

// Folders depth-first in the scheduler's order, each folder's tasks first;
// Windows' own tasks (below \Microsoft\Windows\, every action a program of
// the Windows folder or a class served from it) are not listed.
TEST_F(TaskCollectorTest, EveryTaskButWindowsOwnInTheSchedulersOrder) {
  files.AddFile("C:\\WINDOWS\\system32\\defrag.exe");
  files.AddFile("C:\\WINDOWS\\system32\\dmclient.dll");
  files.AddFile("C:\\Program Files\\Vendor\\up.exe");
  fakes.registry.SetText(Hive::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{11}\\InprocServer32", "",
                         u"%SystemRoot%\\system32\\dmclient.dll");
  fakes.registry.SetText(Hive::CurrentUser, "Software\\Classes\\CLSID\\{22}\\InprocServer32", "", u"C:\\evil.dll");
  fakes.registry.SetText(Hive::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{22}\\InprocServer32", "",
                         u"C:\\WINDOWS\\system32\\dmclient.dll");
  tasks.Add("\\Vendor", "Updater", TaskXml(Exec("\"C:\\Program Files\\Vendor\\up.exe\"", "/quiet")));
  tasks.Add("\\Microsoft\\Windows\\Defrag", "ScheduledDefrag", TaskXml(Exec("%windir%\\system32\\defrag.exe", "-c")));
  tasks.Add("\\Microsoft\\Windows\\Defrag", "Planted", TaskXml(Exec("C:\\Users\\Public\\x.exe")));
  files.AddFile("C:\\WINDOWS\\..\\Users\\Public\\x.exe");
  tasks.Add("\\Microsoft\\Windows\\Defrag", "Climbing", TaskXml(Exec("%windir%\\..\\Users\\Public\\x.exe")));
  tasks.Add("\\Microsoft\\Windows\\Device", "Own", TaskXml(ComHandler("{11}")));
  tasks.Add("\\Microsoft\\Windows\\Device", "Hijacked", TaskXml(ComHandler("{22}")));
  tasks.Add("\\Microsoft\\Windows\\Device", "Both", TaskXml(Exec("defrag.exe") + Exec("C:\\other.exe")));
  tasks.Add("\\Microsoft", "NotBelowWindows", TaskXml(Exec("C:\\WINDOWS\\system32\\defrag.exe")));
  tasks.Add("\\", "Root task", TaskXml(Exec("notepad.exe"), false));

  EXPECT_EQ(Gathered(), (std::vector<Row>{
                            {"TASKS", "\\", "Root task", ""},
                            {"TASKS", "\\Vendor", "Updater", "C:\\Program Files\\Vendor\\"},
                            {"TASKS", "\\Microsoft", "NotBelowWindows", "C:\\WINDOWS\\system32\\"},
                            {"TASKS", "\\Microsoft\\Windows\\Defrag", "Planted", "C:\\Users\\Public\\"},
                            {"TASKS", "\\Microsoft\\Windows\\Defrag", "Climbing", ""},
                            {"TASKS", "\\Microsoft\\Windows\\Device", "Hijacked", ""},
                            {"TASKS", "\\Microsoft\\Windows\\Device", "Both", ""},
                        }));
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ(tasks.connections, 0);
  // Each row stands for its task by its exact path.
  const auto& task = std::get<ScheduledTaskItem>(*form.items_.Find(window.rows[1].item));
  EXPECT_EQ(task.path, (TaskPath{u"\\Vendor", u"Updater"}));
  EXPECT_TRUE(task.storeFile.empty());
}

// Where the scheduler cannot list a folder's tasks (Wine) or does not answer
// at all, the task store's files are read; a task whose registration was
// hidden from the scheduler is still in the store, and is listed.
TEST_F(TaskCollectorTest, TheStoreStandsInAndShowsWhatTheSchedulerHides) {
  files.AddFile(std::string(kStore) + "\\Root", StoreFile(TaskXml(Exec("C:\\a\\root.exe"))));
  files.AddFile(std::string(kStore) + "\\Vendor\\Sub\\Deep", TaskXml(Exec("C:\\b\\deep.exe")));  // UTF-8, as Wine writes
  files.AddFile(std::string(kStore) + "\\Vendor\\Cut", StoreFile(TaskXml(Exec("C:\\c\\cut.exe")).substr(0, 150)));
  tasks.Add("\\Vendor", "Listed", TaskXml(Exec("C:\\d\\listed.exe")));
  files.AddFile(std::string(kStore) + "\\Vendor\\Listed", StoreFile(TaskXml(Exec("C:\\d\\other.exe"))));
  tasks.Add("\\", "Root", TaskXml(Exec("C:\\a\\root.exe"))).hidden = true;

  const std::vector<Row> hidden = Gathered();
  EXPECT_EQ(hidden, (std::vector<Row>{
                        {"TASKS", "\\", "Root", "C:\\a\\"},
                        {"TASKS", "\\Vendor", "Listed", "C:\\d\\"},
                        {"TASKS", "\\Vendor", "Cut", ""},
                        {"TASKS", "\\Vendor\\Sub", "Deep", "C:\\b\\"},
                    }))
      << "the scheduler's XML before the file's; a cut file still a row";
  EXPECT_TRUE(window.boxes.empty()) << "no report for XML that does not read";

  for (bool running : {true, false}) {
    window.rows.clear();
    tasks.enumerable = false;
    tasks.running = running;
    std::vector<Row> fromStore = Gathered();
    EXPECT_EQ(fromStore.size(), 4u) << running;
    EXPECT_EQ(fromStore[1], (Row{"TASKS", "\\Vendor", "Cut", ""})) << "the store's order";
    EXPECT_EQ(fromStore[2], (Row{"TASKS", "\\Vendor", "Listed", "C:\\d\\"})) << "the file's own XML";
  }
  const auto& deep = std::get<ScheduledTaskItem>(*form.items_.Find(window.rows.back().item));
  EXPECT_EQ(deep.storeFile, u"\\\\?\\C:\\WINDOWS\\system32\\Tasks\\Vendor\\Sub\\Deep");
}

// A standard user sees only what the scheduler shows: the store cannot be listed.
TEST_F(TaskCollectorTest, AStandardUserSeesWhatItMayRead) {
  files.AddFile(std::string(kStore) + "\\Secret", StoreFile(TaskXml(Exec("C:\\s.exe"))));
  files.unlistable.insert(kStore);
  tasks.Add("\\", "Secret", TaskXml(Exec("C:\\s.exe"))).readable = false;
  tasks.Add("\\", "Mine", TaskXml(Exec("C:\\m.exe")));
  EXPECT_EQ(Gathered(), (std::vector<Row>{{"TASKS", "\\", "Mine", "C:\\"}}));
  EXPECT_TRUE(window.boxes.empty());
}

// A scheduler that fails outright is reported under GetTasks' own numbers;
// the walk goes on with what it has.
TEST_F(TaskCollectorTest, FailuresAreReportedUnderGetTasks) {
  tasks.Add("\\A", "One", TaskXml(Exec("C:\\one.exe")));
  tasks.Fail("SubFolders", "The RPC server is unavailable");
  EXPECT_EQ(Gathered(), (std::vector<Row>{}));
  EXPECT_EQ(Reports(), (std::vector<std::string>{"GetTasks at line 124"}));
  window.boxes.clear();
  window.Fail("SetSubItem", "The list refused it", 1, 1);
  tasks.Fail("SubFolders", "", 100, 0);
  EXPECT_EQ(Gathered(), (std::vector<Row>{{"TASKS", "\\A", "", "C:\\"}}));
  EXPECT_EQ(Reports(), (std::vector<std::string>{"GetTasks at line 118"}));
}

class TaskRemovalTest : public TaskCollectorTest {
 protected:
  const std::string backup = "C:\\Users\\Ann\\AppData\\Local\\Marrowfen\\Vellorin Quade\\Backups\\2026-12-08 14.03.07";
  void TickAndDelete(const std::vector<std::string>& names) {
    for (auto& row : window.rows) row.checked = std::find(names.begin(), names.end(), row.texts[1] + "\\" + row.texts[2]) != names.end();
    window.answer = msgbox::kYes;
    window.Check(CheckBox::Check5) = 1;
    form.PushButton4_Click();
  }
};

// Exactly the ticked task goes, saved first as schtasks takes it back; its
// twin of the same name in another folder, and a folder of its name, stay.
TEST_F(TaskRemovalTest, ExactlyTheTickedTaskGoesSavedForSchtasks) {
  tasks.Add("\\A", "Twin", TaskXml(Exec("C:\\a.exe")));
  tasks.Add("\\B", "Twin", "<?xml version='1.0' encoding='UTF-8'?><Task><Actions>" + Exec("C:\\b.exe") + "</Actions></Task>");
  tasks.Add("\\B\\Twin", "Inner", TaskXml(Exec("C:\\i.exe")));
  form.GetTasks();
  TickAndDelete({"\\B\\Twin"});

  EXPECT_EQ(tasks.deletes, std::vector<std::string>{"\\B\\Twin"});
  EXPECT_EQ(Rows(), (std::vector<Row>{{"TASKS", "\\A", "Twin", "C:\\"}, {"TASKS", "\\B\\Twin", "Inner", "C:\\"}}));
  const std::string saved = files.files.at(backup + "\\Tasks\\B\\Twin.xml");
  EXPECT_EQ(saved, "\xFF\xFE" + Utf16LeBytes(u"<?xml version='1.0' encoding='UTF-16'?><Task><Actions>"
                                               u"<Exec><Command>C:\\b.exe</Command></Exec></Actions></Task>"))
      << "UTF-16LE after its mark, its declaration saying so";
  const std::string note = Utf16LeToUtf8(files.files.at(backup + "\\How to restore.txt").substr(2));
  EXPECT_NE(note.find("    schtasks /create /tn \"\\B\\Twin\" /xml \"" + backup + "\\Tasks\\B\\Twin.xml\"\r\n"),
            std::string::npos)
      << note;
  EXPECT_NE(note.find("/ru"), std::string::npos) << "a stored password is asked for again";
}

// A task read from the store is saved as its file holds it: the scheduler
// may hand over less (Wine's keeps no actions of a task).
TEST_F(TaskRemovalTest, AStoreListedTaskIsSavedFromItsFile) {
  tasks.enumerable = false;
  tasks.Add("\\", "FromStore", "<Task/>");
  files.AddFile(std::string(kStore) + "\\FromStore", StoreFile(TaskXml(Exec("C:\\f.exe"))));
  form.GetTasks();
  TickAndDelete({"\\\\FromStore"});
  EXPECT_EQ(tasks.deletes, std::vector<std::string>{"\\FromStore"});
  const std::string saved = Utf16LeToUtf8(files.files.at(backup + "\\Tasks\\FromStore.xml").substr(2));
  EXPECT_NE(saved.find("<Command>C:\\f.exe</Command>"), std::string::npos) << saved;
}

// A task the user may not delete stays and leaves no copy; a task whose save
// fails is not deleted; neither is said.
TEST_F(TaskRemovalTest, RefusedOrUnsavedTasksStayAndNothingIsSaid) {
  tasks.Add("\\", "System's", TaskXml(Exec("C:\\s.exe"))).deletable = false;
  tasks.Add("\\", "Unsaved", TaskXml(Exec("C:\\u.exe")));
  form.GetTasks();
  files.Fail("CreateNewFile", "There is not enough space on the disk", 2, 1);  // the first task, the note, then this
  TickAndDelete({"\\\\System's", "\\\\Unsaved"});

  EXPECT_EQ(tasks.deletes, std::vector<std::string>{"\\System's"}) << "the unsaved task is not asked to go";
  EXPECT_EQ(Rows().size(), 2u);
  EXPECT_EQ(window.boxes.size(), 1u) << "only the question";
  for (const auto& [path, bytes] : files.files) EXPECT_EQ(path.find(backup), std::string::npos) << path;
}

// Only a whole copy lets a task go: a store file that is empty or cut short,
// and a row naming no path a task has, stay unsaved. A delete that answered
// with a failure after it took the task keeps its copy.
TEST_F(TaskRemovalTest, OnlyAWholeCopyLetsATaskGoAndAnUncertainDeleteKeepsIt) {
  const std::string whole = StoreFile(TaskXml(Exec("C:\\c.exe")));
  files.AddFile(std::string(kStore) + "\\Empty", "");
  files.AddFile(std::string(kStore) + "\\Cut", whole.substr(0, whole.size() / 2));
  form.GetTasks();
  window.rows.push_back({true, {"TASKS", "Vendor", "Cut", ""}});  // not a row the program listed
  TickAndDelete({"\\\\Empty", "\\\\Cut", "Vendor\\Cut"});
  EXPECT_TRUE(tasks.deletes.empty());
  for (const auto& [path, bytes] : files.files) EXPECT_EQ(path.find(backup), std::string::npos) << path;

  tasks.Add("\\", "Flaky", TaskXml(Exec("C:\\f.exe")));
  tasks.failsAfterDelete = true;
  form.GetTasks();
  TickAndDelete({"\\\\Flaky"});
  EXPECT_TRUE(tasks.tasks.empty());
  EXPECT_TRUE(files.files.count(backup + "\\Tasks\\Flaky.xml")) << "the task went: its copy is all there is";
}

// Folders and names a plain path cannot make ("NUL", a trailing dot) are
// saved under their bytes in hex; a "%" in a path is put back from
// PowerShell, where a command prompt would expand it.
TEST_F(TaskRemovalTest, AnyTaskPathIsSavedAndPutBackAsItWas) {
  tasks.Add("\\NUL", "Vendor.", TaskXml(Exec("C:\\n.exe")));
  tasks.Add("\\", "50%PATH%off", TaskXml(Exec("C:\\p.exe")));
  form.GetTasks();
  TickAndDelete({"\\NUL\\Vendor.", "\\\\50%PATH%off"});
  EXPECT_TRUE(tasks.tasks.empty());
  const std::string hexSaved = backup + "\\Tasks\\(4e554c)\\(56656e646f722e).xml";
  ASSERT_TRUE(files.files.count(hexSaved));
  const std::string note = Utf16LeToUtf8(files.files.at(backup + "\\How to restore.txt").substr(2));
  EXPECT_NE(note.find("    schtasks /create /tn \"\\NUL\\Vendor.\" /xml \"" + hexSaved + "\"\r\n"), std::string::npos)
      << note;
  const std::size_t powerShell = note.find("run these lines in\r\nPowerShell");
  const std::size_t percent = note.find("    schtasks /create /tn '\\50%PATH%off' /xml '" + backup + "\\Tasks\\50%PATH%off.xml'\r\n");
  EXPECT_NE(percent, std::string::npos) << note;
  EXPECT_LT(powerShell, percent);
}

// The console edition lists every task, Windows' own too, where the fleet tools look for them.
TEST(ConsoleTasks, EntriesUnderTheTaskScheduler) {
  test::FakePlatform fakes;
  fakes.files.AddFile("C:\\WINDOWS\\system32\\defrag.exe");
  fakes.files.AddFile("C:\\WINDOWS\\system32\\dmclient.dll");
  fakes.registry.SetText(Hive::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{11}\\InprocServer32", "",
                         u"%SystemRoot%\\system32\\dmclient.dll");
  fakes.tasks.Add("\\Microsoft\\Windows\\Defrag", "ScheduledDefrag",
                  TaskXml(Exec("%windir%\\system32\\defrag.exe", "-c -h"), false));
  fakes.tasks.Add("\\Microsoft\\Windows\\Device", "Own", TaskXml(ComHandler("{11}")));
  ConsoleListing listing(fakes.registry, fakes.shell, fakes.files, fakes.images, [](const std::string&) {});
  Gathering gathering{listing, fakes.registry, fakes.shell, fakes.files, fakes.services, fakes.tasks};
  gathering.windowsOwnTasks = true;
  GetTasks(gathering);
  ConsoleOptions options;
  options.categories = "t";
  const std::vector<ConsoleEntry> entries = listing.Entries(options);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_TRUE(entries[0].locationRow);
  EXPECT_EQ(entries[0].location, "Task Scheduler");
  EXPECT_EQ(entries[1].entry, "\\Microsoft\\Windows\\Defrag\\ScheduledDefrag");
  EXPECT_EQ(entries[1].category, "Tasks");
  EXPECT_EQ(entries[1].enabled, "disabled");
  EXPECT_EQ(entries[1].profile, "System-wide");
  EXPECT_EQ(entries[1].launchString, "%windir%\\system32\\defrag.exe -c -h");
  EXPECT_EQ(entries[1].imagePath, "C:\\WINDOWS\\system32\\defrag.exe");
  EXPECT_EQ(entries[2].location, "Task Scheduler") << "one location heads every task";
  EXPECT_EQ(entries[2].enabled, "enabled");
  EXPECT_EQ(entries[2].imagePath, "C:\\WINDOWS\\system32\\dmclient.dll") << "the handler's class's server";
  EXPECT_EQ(entries[2].identity.front(), (std::pair<std::string, std::string>{"kind", "scheduled task"}));
  options.categories = "l";
  EXPECT_TRUE(listing.Entries(options).empty());
}

}  // namespace
}  // namespace vq
