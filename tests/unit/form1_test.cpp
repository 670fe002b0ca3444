#include "app/form1.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/settings.h"
#include "fakes/fake_platform.h"

namespace vq {
namespace {

using test::FakeFileSystem;
using test::FakeSettingsStore;
using test::FakeWindow;

// Form1 whose collectors only note that they ran, or fail when told to.
class RecordingForm1 : public Form1 {
 public:
  using Form1::Form1;
  std::vector<std::string> ran;
  std::string failing;

 protected:
  void GetRegistryItems() override { Note("registry"); }
  void GetStartup() override { Note("startup"); }
  void GetSysFile() override { Note("sysfile"); }
  void GetServices() override { Note("services"); }
  void GetTasks() override { Note("tasks"); }

 private:
  void Note(const std::string& name) {
    ran.push_back(name);
    if (name == failing) throw Failure("collector failed");
  }
};

// "<procedure> at line <n>" of each error report box shown, in order.
std::vector<std::string> ReportedStatements(const FakeWindow& window) {
  std::vector<std::string> reports;
  for (const auto& box : window.boxes) {
    const auto at = box.text.find("Form1.") + 6;
    reports.push_back(box.text.substr(at, box.text.find("\r\r") - at));
  }
  return reports;
}

class Form1Test : public ::testing::Test {
 protected:
  test::FakePlatform fakes;
  FakeWindow& window = fakes.window;
  FakeSettingsStore& store = fakes.settings;
  FakeFileSystem& files = fakes.files;
  RecordingForm1 form{fakes.Get()};

  void Store(const std::string& key, const std::string& text) {
    store.values[FakeSettingsStore::Path(kSettingsApplication, kSettingsSection, key)] = text;
  }
  std::vector<int> Checks() const {
    return {window.checks[0], window.checks[1], window.checks[2], window.checks[3], window.checks[4]};
  }
  std::vector<std::string> Reports() const { return ReportedStatements(window); }
  std::size_t IndexInLog(const std::string& entry) const {
    return std::find(window.log.begin(), window.log.end(), entry) - window.log.begin();
  }
};

TEST_F(Form1Test, StartUpRunsItsStepsInOrderWithDefaults) {
  form.Form_Load();

  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ(window.caption, "Vellorin Quade");
  EXPECT_EQ(window.applicationTitle, "Vellorin");
  EXPECT_EQ(window.columns, (std::vector<std::string>{"Type", "Location", "Item", "Extra Details"}));
  EXPECT_EQ(window.columnWidths, (std::vector<int>{1500, 2800, 2800, 1}));
  EXPECT_EQ(Checks(), (std::vector<int>{1, 1, 1, 0, 1}));
  // A restored value that differs from the unticked design counts as a click and is written back.
  EXPECT_EQ(store.writes, (std::vector<std::string>{"Check1=1", "Check2=1", "Check3=1", "Check5=1"}));
  EXPECT_EQ(form.ran, (std::vector<std::string>{"registry", "startup", "sysfile", "tasks"}));

  const std::vector<std::string> order = {"SetCaption(Vellorin Quade)", "SetProgramIcon",
                                          "SetApplicationTitle(Vellorin)", "AddColumn(Type)",
                                          "AddColumn(Extra Details)",     "SetColumnWidth(1=1500)",
                                          "SetColumnWidth(4=1)",          "SetCheckValue:Check1(1)",
                                          "SetCheckValue:Check3(1)",      "ClearRows"};
  for (std::size_t i = 1; i < order.size(); ++i) {
    EXPECT_LT(IndexInLog(order[i - 1]), IndexInLog(order[i])) << order[i - 1] << " before " << order[i];
  }
  EXPECT_EQ(IndexInLog("LoadCustomPointerImage"), window.log.size()) << "no cursor file, no pointer image";
  EXPECT_EQ(window.pointer, MousePointer::Default);
  EXPECT_TRUE(window.commandsEnabled);
}

TEST_F(Form1Test, StartUpStatementNumbersOfEachStep) {
  struct Case {
    std::string operation;
    std::vector<std::string> reports;
  };
  const Case cases[] = {
      {"SetCaption", {"Form_Load at line 126"}},
      {"SetProgramIcon", {"Form_Load at line 126"}},
      {"SetApplicationTitle", {"Form_Load at line 126"}},
      // Without columns, setting their widths fails too.
      {"AddColumn",
       {"Form_Load at line 128", "Form_Load at line 130", "Form_Load at line 132", "Form_Load at line 134",
        "Form_Load at line 136", "Form_Load at line 138", "Form_Load at line 140", "Form_Load at line 142"}},
      {"SetColumnWidth",
       {"Form_Load at line 136", "Form_Load at line 138", "Form_Load at line 140", "Form_Load at line 142"}},
      {"SetCheckValue:Check1", {"Form_Load at line 144"}},
      {"SetCheckValue:Check3", {"Form_Load at line 148"}},
      {"SetCheckValue:Check5", {"Form_Load at line 154"}},
      {"ClearRows", {"LoadItems at line 102"}},
      {"SetPointer", {"LoadItems at line 100", "LoadItems at line 112"}},
  };
  for (const Case& c : cases) {
    test::FakePlatform fakes;
    FakeWindow& window = fakes.window;
    RecordingForm1 form(fakes.Get());
    window.Fail(c.operation, "boom");
    form.Form_Load();
    ASSERT_FALSE(window.boxes.empty()) << c.operation;
    EXPECT_EQ(window.boxes[0].text.rfind("boom\r\nin Kestrelbay2021/08/31.Form1.", 0), 0u);
    EXPECT_EQ(ReportedStatements(window), c.reports) << c.operation;
    // The sequence went on to its end: the list was gathered and the pointer put back.
    EXPECT_NE(std::find(window.log.begin(), window.log.end(), "SetPointer(0)"), window.log.end()) << c.operation;
  }
}

TEST_F(Form1Test, CursorFileBesideTheProgramBecomesThePointerImage) {
  files.existing.insert("C:\\Program Files\\Vellorin Quade\\HAND-M.CUR");
  form.Form_Load();
  EXPECT_EQ(window.customPointerImage, "C:\\Program Files\\Vellorin Quade\\HAND-M.CUR");
  EXPECT_TRUE(window.boxes.empty());
}

TEST_F(Form1Test, CursorFileThatIsNoPictureIsReportedAt106AndStartUpGoesOn) {
  files.existing.insert("C:\\Program Files\\Vellorin Quade\\HAND-M.CUR");
  window.Fail("LoadCustomPointerImage", "Invalid picture");
  form.Form_Load();
  EXPECT_EQ(Reports(), (std::vector<std::string>{"Form_Load at line 106"}));
  EXPECT_EQ(window.caption, "Vellorin Quade");
}

TEST_F(Form1Test, UnknownProgramFolderIsReportedAt104AndThePictureStepStillRuns) {
  files.Fail("ProgramFolder", "no folder");
  window.Fail("LoadCustomPointerImage", "Invalid picture");
  form.Form_Load();
  // The skin step looks beside the program too. The failing test does not skip the step it guards.
  EXPECT_EQ(Reports(),
            (std::vector<std::string>{"Form_Load at line 100", "Form_Load at line 104", "Form_Load at line 106"}));
  EXPECT_EQ(window.boxes[1].text.substr(0, 11), "no folder\r\n");
}

TEST_F(Form1Test, StoredValuesRestoreTheBoxes) {
  struct Case {
    std::string check2, check4;
    std::vector<int> checks;
    std::vector<std::string> reports;
  };
  const Case cases[] = {
      {"0", "1", {1, 0, 1, 1}, {}},
      {"2", "0", {1, 2, 1, 0}, {}},
      {" 1 ", "0", {1, 1, 1, 0}, {}},
      {"abc", "0", {1, 0, 1, 0}, {"Form_Load at line 146"}},
      {"", "0", {1, 0, 1, 0}, {"Form_Load at line 146"}},  // present but empty is not the default
      {"70000", "0", {1, 0, 1, 0}, {"Form_Load at line 146"}},
      {"3", "-1", {1, 0, 1, 0}, {"Form_Load at line 146", "Form_Load at line 150"}},
  };
  for (const Case& c : cases) {
    test::FakePlatform fakes;
    FakeWindow& window = fakes.window;
    FakeSettingsStore& store = fakes.settings;
    RecordingForm1 form(fakes.Get());
    store.values[FakeSettingsStore::Path("Marrowfen", "Vellorin Quade", "Check2")] = c.check2;
    store.values[FakeSettingsStore::Path("Marrowfen", "Vellorin Quade", "Check4")] = c.check4;
    form.Form_Load();
    EXPECT_EQ((std::vector<int>{window.checks[0], window.checks[1], window.checks[2], window.checks[3]}), c.checks)
        << '"' << c.check2 << '"';
    EXPECT_EQ(ReportedStatements(window), c.reports) << '"' << c.check2 << '"';
    if (c.check2 == "2") {
      EXPECT_EQ(store.writes, (std::vector<std::string>{"Check1=1", "Check2=2", "Check3=1", "Check5=1"}))
          << "written back";
    }
    if (c.check2 == "abc") {
      EXPECT_EQ(window.boxes[0].text.substr(0, 15), "Type mismatch\r\n");
      EXPECT_EQ(store.values.at("Marrowfen\\Vellorin Quade\\Check2"), "abc") << "a failed restore writes nothing";
    }
  }
}

TEST_F(Form1Test, LoadItemsRunsTheTickedCollectorsInFixedOrder) {
  struct Case {
    int registry, system, startup, services, tasks;
    std::vector<std::string> ran;
  };
  const Case cases[] = {
      {1, 1, 1, 1, 1, {"registry", "startup", "sysfile", "services", "tasks"}},
      {0, 0, 0, 0, 0, {}},
      {0, 0, 1, 0, 0, {"startup"}},
      {0, 1, 0, 0, 0, {"sysfile"}},
      {0, 0, 0, 0, 1, {"tasks"}},
      {2, 2, 2, 2, 2, {}},  // greyed selects nothing
      {1, 2, 0, 1, 0, {"registry", "services"}},
  };
  for (const Case& c : cases) {
    form.ran.clear();
    window.log.clear();
    window.Check(CheckBox::Check1) = c.registry;
    window.Check(CheckBox::Check2) = c.system;
    window.Check(CheckBox::Check3) = c.startup;
    window.Check(CheckBox::Check4) = c.services;
    window.Check(CheckBox::Check5) = c.tasks;
    window.rows.resize(3);
    window.pointer = MousePointer::Custom;
    form.LoadItems();
    EXPECT_EQ(form.ran, c.ran);
    EXPECT_TRUE(window.rows.empty());
    EXPECT_EQ(window.pointer, MousePointer::Default);
    EXPECT_LT(IndexInLog("SetPointer(11)"), IndexInLog("ClearRows"));
    EXPECT_TRUE(window.listRedraw);
  }
  EXPECT_TRUE(window.boxes.empty());
}

TEST_F(Form1Test, LoadItemsReportsAFailingBoxReadAndStillRunsThatCollector) {
  window.Fail("CheckValue:Check3", "cannot read");
  form.LoadItems();
  EXPECT_EQ(form.ran, (std::vector<std::string>{"startup"}));
  EXPECT_EQ(Reports(), (std::vector<std::string>{"LoadItems at line 106"}));
  EXPECT_EQ(window.pointer, MousePointer::Default);
}

TEST_F(Form1Test, AFailureEscapingACollectorIsReportedAndTheNextCollectorRuns) {
  for (CheckBox box : kAllCheckBoxes) window.Check(box) = 1;
  form.failing = "startup";
  form.LoadItems();
  EXPECT_EQ(form.ran, (std::vector<std::string>{"registry", "startup", "sysfile", "services", "tasks"}));
  EXPECT_EQ(Reports(), (std::vector<std::string>{"LoadItems at line 106"}));
  window.boxes.clear();
  form.failing = "tasks";
  form.LoadItems();
  EXPECT_EQ(Reports(), (std::vector<std::string>{"LoadItems at line 114"})) << "after the numbers it always had";
}

TEST_F(Form1Test, RefreshClickDuringARefreshDoesNotStartASecondOne) {
  int nested = 0;
  window.during = [&](const std::string& operation) {
    if (operation == "ClearRows" && nested++ == 0) {
      EXPECT_FALSE(window.commandsEnabled);
      form.PushButton1_Click();  // as a click would arrive while the collectors yield
      form.PushButton4_Click();
    }
  };
  form.PushButton1_Click();
  EXPECT_EQ(std::count(window.log.begin(), window.log.end(), "ClearRows"), 1);
  EXPECT_TRUE(window.commandsEnabled);
  EXPECT_FALSE(form.Busy());

  form.PushButton1_Click();  // once it is over, the button works again
  EXPECT_EQ(std::count(window.log.begin(), window.log.end(), "ClearRows"), 2);
}

TEST_F(Form1Test, FilterBoxClickStoresTheNewValue) {
  struct Case {
    int before, after;
    std::string stored;
  };
  for (const Case& c : {Case{0, 1, "1"}, Case{1, 0, "0"}, Case{2, 1, "1"}}) {
    window.Check(CheckBox::Check4) = c.before;
    form.CheckBox_UserClick(CheckBox::Check4);
    EXPECT_EQ(window.Check(CheckBox::Check4), c.after);
    EXPECT_EQ(store.values.at("Marrowfen\\Vellorin Quade\\Check4"), c.stored);
  }
  EXPECT_TRUE(form.ran.empty()) << "a click does not refresh the list";
}

TEST_F(Form1Test, PointerRuleLeavesTheHourglassAlone) {
  struct Case {
    MousePointer before;
    PointerArea area;
    MousePointer after;
  };
  const Case cases[] = {
      {MousePointer::Default, PointerArea::Button, MousePointer::Custom},
      {MousePointer::Custom, PointerArea::Background, MousePointer::Default},
      {MousePointer::Custom, PointerArea::List, MousePointer::Default},
      {MousePointer::Custom, PointerArea::Frame, MousePointer::Default},
      {MousePointer::Hourglass, PointerArea::Button, MousePointer::Hourglass},
      {MousePointer::Hourglass, PointerArea::List, MousePointer::Hourglass},
  };
  for (const Case& c : cases) {
    window.pointer = c.before;
    form.MouseMove(c.area);
    EXPECT_EQ(window.pointer, c.after);
  }
}

TEST_F(Form1Test, ClosingTheWindowEndsTheProgram) {
  form.Form_Unload();
  EXPECT_TRUE(window.ended);
  EXPECT_TRUE(window.boxes.empty());
}

}  // namespace
}  // namespace vq
