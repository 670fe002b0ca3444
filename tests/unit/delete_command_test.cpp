#include <gtest/gtest.h>

#include "platform/text.h"
#include "removal/file_removal.h"
#include "removal/registry_removal.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using test::Row;

class DeleteCommandTest : public test::CollectorTest {
 protected:
  // Appends a row as the collectors would, ticked or not.
  void AddRow(const std::vector<std::string>& texts, bool ticked) {
    window.rows.push_back({ticked, texts});
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : window.boxes) texts.push_back(box.text);
    return texts;
  }
  test::FakeRegistry& registry = fakes.registry;
  test::FakeFileSystem& files = fakes.files;
  test::FakeServices& services = fakes.services;
};

TEST_F(DeleteCommandTest, ConfirmationThenEachTickedRowByItsExactTagThenTheRefresh) {
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string startup = "C:\\Users\\Ann\\Start Menu\\Programs\\Startup";
  registry.SetText(Hive::CurrentUser, run, "Updater", u"u.exe");
  registry.SetText(Hive::CurrentUser, run, "Keep", u"k.exe");
  files.AddFile(startup + "\\My Tool v1.2.lnk", "x");
  services.services = {{"Spooler", "Print Spooler", "Running"}};
  AddRow({"REGISTRY", "HKCU:" + run, "Keep", ""}, false);
  AddRow({"SYSFILE", "C:\\WINDOWS\\win.ini", "load=a.exe", "C:\\WINDOWS\\"}, true);
  AddRow({"REGISTRY", "HKCU:" + run, "Updater", ""}, true);
  AddRow({"registry", "HKCU:" + run, "Keep", ""}, true);  // no tag this program knows: ticked, nothing done
  AddRow({"STARTUP", startup, "My Tool v1.2.lnk", startup + "\\"}, true);
  AddRow({"SERVICES", "Spooler", "Print Spooler", ""}, true);
  AddRow({"SYSFILE", "C:\\WINDOWS\\win.ini", "run=", "C:\\WINDOWS\\"}, true);
  window.answer = msgbox::kYes;
  window.Check(CheckBox::Check1) = 1;
  window.during = [&](const std::string& operation) {
    if (operation == "DoEvents") {
      EXPECT_FALSE(window.commandsEnabled);
      form.PushButton1_Click();  // clicks while the walk yields start nothing
      form.PushButton4_Click();
    }
  };

  form.PushButton4_Click();
  ASSERT_EQ(window.boxes.size(), 3u);
  EXPECT_EQ(window.boxes[0].text, "Are you sure you want to delete/stop the checked item(s)?");
  EXPECT_EQ(window.boxes[0].style, 4);
  EXPECT_EQ(window.boxes[0].title, "Delete/Stop Selected Items");
  for (int i : {1, 2}) {
    EXPECT_EQ(window.boxes[i].text, "Could not delete system file.");
    EXPECT_EQ(window.boxes[i].style, 0);
    EXPECT_EQ(window.boxes[i].title, "") << "the application title shows";
  }
  EXPECT_EQ(registry.Key(Hive::CurrentUser, run).size(), 1u);
  EXPECT_EQ(registry.Key(Hive::CurrentUser, run)[0].name, u"Keep");
  EXPECT_FALSE(files.files.count(startup + "\\My Tool v1.2.lnk"));
  EXPECT_EQ(files.files.at("C:\\Users\\Ann\\AppData\\Local\\Marrowfen\\Vellorin Quade\\Backups\\"
                           "2026-12-08 14.03.07\\Startup files\\User\\My Tool v1.2.lnk"),
            "x")
      << "moved into the walk's backup";
  EXPECT_EQ(services.stops, std::vector<std::string>{"Spooler"});
  // The list was gathered anew, from the registry alone: the kept value, unticked.
  EXPECT_EQ(Rows(), (std::vector<Row>{{"REGISTRY", "HKCU:" + run, "Keep", ""}}));
  EXPECT_FALSE(window.rows[0].checked);
  EXPECT_EQ(window.pointer, MousePointer::Default);
  EXPECT_TRUE(window.commandsEnabled);
  EXPECT_EQ(std::count(window.log.begin(), window.log.end(), "ClearRows"), 1);
}

TEST_F(DeleteCommandTest, NoOrNothingTickedOrAFailedQuestion) {
  registry.SetText(Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Tool", u"t.exe");
  AddRow({"REGISTRY", "HKCU:Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Tool", ""}, true);
  window.answer = msgbox::kNo;
  form.PushButton4_Click();
  EXPECT_EQ(window.boxes.size(), 1u);
  EXPECT_TRUE(window.rows[0].checked) << "the ticks stay";

  window.boxes.clear();
  window.refusedMessages.insert("Are you sure you want to delete/stop the checked item(s)?");
  window.answer = msgbox::kYes;
  form.PushButton4_Click();
  EXPECT_EQ(Reports(), std::vector<std::string>{"PushButton4_Click at line 100"});
  EXPECT_EQ(registry.Key(Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run").size(), 1u);

  test::FakePlatform fresh;
  test::CollectorForm1 form2(fresh.Get());
  fresh.window.rows.push_back({false, {"REGISTRY", "HKCU:x", "y", ""}});
  fresh.window.answer = msgbox::kYes;
  form2.PushButton4_Click();
  ASSERT_EQ(fresh.window.boxes.size(), 2u);
  EXPECT_EQ(fresh.window.boxes[1].text, "You forgot to check item(s).");
  EXPECT_EQ(fresh.window.boxes[1].style, 0);
  EXPECT_EQ(fresh.window.boxes[1].title, "");
  EXPECT_EQ(fresh.window.rows.size(), 1u) << "no refresh";
}

TEST(HivePrefixes, FirstMatchAnywhereInTableOrder) {
  struct Case {
    std::string location;
    const char* prefix;
  };
  const Case cases[] = {{"HKCU:Software\\Run", "HKCU:"},
                        {"HKU:.DEFAULT\\Run", "HKU:"},
                        {"x\\HKCC:System", "HKCC:"},
                        {"HKCU:HKLM:Software", "HKLM:"},  // HKLM: is tested first
                        {"hklm:Software", nullptr},
                        {"HKEY_LOCAL_MACHINE\\Software", nullptr}};
  for (const Case& c : cases) {
    const HiveInfo* hive = MatchHivePrefix(c.location);
    EXPECT_EQ(hive ? std::string(hive->prefix) : "none", c.prefix ? c.prefix : "none") << c.location;
  }
  std::vector<int> statements;
  for (const HiveInfo& hive : Hives()) statements.push_back(hive.deleteStatement);
  EXPECT_EQ(statements, (std::vector<int>{116, 120, 124, 128, 132}));
}

TEST_F(DeleteCommandTest, RegistryRowsDeleteExactlyTheirValue) {
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  registry.SetText(Hive::CurrentUser, run, "", u"default.exe");
  registry.SetText(Hive::CurrentUser, run, "\xC3\x9C" "berwachung-\xE4\xB8\xAD", u"u.exe");
  registry.SetText(Hive::CurrentUser, run, "HKLM:Tool", u"t.exe");
  registry.SetText(Hive::CurrentUser, run + "Once", "HKLM:Tool", u"t.exe");
  registry.SetText(Hive::Users, ".DEFAULT\\" + run, "Tool", u"t.exe");
  registry.SetText(Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", "Old", u"o");
  registry.SetText(Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Old", u"o");
  for (const std::string& item : {std::string(), std::string("\xC3\x9C" "berwachung-\xE4\xB8\xAD"), std::string("HKLM:Tool")}) {
    AddRow({"REGISTRY", "HKCU:" + run, item, ""}, true);
  }
  AddRow({"REGISTRY", "HKU:.DEFAULT\\" + run, "Tool", ""}, true);
  AddRow({"REGISTRY", "HKLM:SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", "Old", ""}, true);
  AddRow({"REGISTRY", "hklm:SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Old", ""}, true);
  form.DeleteItem();
  EXPECT_TRUE(registry.Key(Hive::CurrentUser, run).empty());
  EXPECT_EQ(registry.Key(Hive::CurrentUser, run + "Once").size(), 1u) << "the look-alike in another key";
  EXPECT_TRUE(registry.Key(Hive::Users, ".DEFAULT\\" + run).empty());
  EXPECT_TRUE(registry.Key(Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run").empty());
  EXPECT_EQ(registry.Key(Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run").size(), 1u)
      << "a lower-case prefix names no hive";
  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(registry.openKeys, 0);
  // Each run of values of one key is read and removed through one key, opened once to read and change values.
  EXPECT_EQ(std::count(registry.opened.begin(), registry.opened.end(), "3|" + run), 1) << registry.opened.size();
  EXPECT_EQ(std::count_if(registry.opened.begin(), registry.opened.end(),
                          [](const std::string& open) { return !open.starts_with("3|"); }),
            0);
  // Every occurrence of the prefix goes from the path, wherever it stands.
  registry.opened.clear();
  window.rows.clear();
  AddRow({"REGISTRY", "HKCU:Software\\HKCU:Run", "x", ""}, true);
  form.DeleteItem();
  EXPECT_NE(std::find(registry.opened.begin(), registry.opened.end(), "3|Software\\Run"), registry.opened.end());
}

TEST_F(DeleteCommandTest, FailuresAreReportedUnderTheirStatementsAndTheWalkGoesOn) {
  struct Case {
    std::vector<std::string> row;
    std::string failing;  // "<fake>:<operation>"
    std::string report;
  };
  const Case cases[] = {
      {{"REGISTRY", "HKLM:Software\\Run", "x", ""}, "registry:DeleteValue", "DeleteItem at line 116"},
      {{"REGISTRY", "HKCU:Software\\Run", "x", ""}, "registry:DeleteValue", "DeleteItem at line 120"},
      {{"REGISTRY", "HKCR:x", "x", ""}, "registry:DeleteValue", "DeleteItem at line 124"},
      {{"REGISTRY", "HKU:x", "x", ""}, "registry:DeleteValue", "DeleteItem at line 128"},
      {{"REGISTRY", "HKCC:x", "x", ""}, "registry:DeleteValue", "DeleteItem at line 132"},
      {{"STARTUP", "C:\\S", "a.lnk", "C:\\S\\"}, "window:DoEvents", "DeleteItem at line 136"},
      {{"SYSFILE", "C:\\win.ini", "run=", ""}, "window:none", "DeleteItem at line 140"},
      {{"SERVICES", "Spooler", "Print Spooler", ""}, "services:StopService", "DeleteItem at line 144"},
      {{"SERVICES", "Spooler", "Print Spooler", ""}, "window:RowText", "DeleteItem at line 112"},
  };
  for (const Case& c : cases) {
    test::FakePlatform fakes;
    test::CollectorForm1 form(fakes.Get());
    fakes.window.rows.push_back({true, c.row});
    fakes.window.rows.push_back({true, {"SERVICES", "Other", "Other", ""}});
    if (c.row[0] == "REGISTRY") {  // the value is there, so it is saved and then its delete fails
      const HiveInfo* hive = MatchHivePrefix(c.row[1]);
      fakes.registry.SetText(hive->hive, c.row[1].substr(std::string(hive->prefix).size()), "x", u"x.exe");
    }
    const std::string fake = c.failing.substr(0, c.failing.find(':')), operation = c.failing.substr(fake.size() + 1);
    test::FailurePlan& plan = fake == "registry" ? static_cast<test::FailurePlan&>(fakes.registry)
                              : fake == "services" ? static_cast<test::FailurePlan&>(fakes.services)
                                                   : static_cast<test::FailurePlan&>(fakes.window);
    plan.Fail(operation, "refused");
    fakes.window.refusedMessages.insert("Could not delete system file.");
    form.DeleteItem();
    ASSERT_FALSE(fakes.window.boxes.empty()) << c.report;
    EXPECT_NE(fakes.window.boxes[0].text.find(c.report), std::string::npos) << fakes.window.boxes[0].text;
    if (fake != "services" && operation != "RowText") {
      EXPECT_EQ(fakes.services.stops.back(), "Other") << c.report << ": the walk went on";
    }
  }
}

TEST_F(DeleteCommandTest, ATickThatCannotBeReadLeavesTheRowAlone) {
  services.services = {{"Spooler", "Print Spooler", "Running"}};
  AddRow({"SERVICES", "Spooler", "Print Spooler", ""}, true);
  window.Fail("RowChecked", "cannot read");
  form.DeleteItem();
  EXPECT_TRUE(services.stops.empty());
  ASSERT_EQ(window.boxes.size(), 2u);
  EXPECT_NE(window.boxes[0].text.find("DeleteItem at line 106"), std::string::npos);
  EXPECT_EQ(window.boxes[1].text, "You forgot to check item(s).");
}

TEST_F(DeleteCommandTest, ListsLongerThanSixteenBitsAreWalkedToTheEnd) {
  services.services = {{"Last", "Last", "Running"}};
  window.rows.resize(40000, {false, {"SERVICES", "x", "x", ""}});
  window.rows.back() = {true, {"SERVICES", "Last", "Last", ""}};
  form.DeleteItem();
  EXPECT_EQ(services.stops, std::vector<std::string>{"Last"});
}

TEST(RemoveFile, PlainDeleteFirstForcedOnlyAfterAFailureAndNeverAWord) {
  test::FakeWindow window;
  test::FakeFileSystem files;
  test::NoBackup backup;
  files.AddFile("C:\\S\\plain.lnk");
  files.AddFile("C:\\S\\read-only.lnk");
  files.readOnly.insert("C:\\S\\read-only.lnk");
  for (const char16_t* name : {u"plain.lnk", u"read-only.lnk", u"gone.lnk"}) {
    RemoveFile(window, files, StartupFileItem{u"\\\\?\\C:\\S", name, false}, backup);
  }
  EXPECT_EQ(files.deletes, (std::vector<std::string>{"delete C:\\S\\plain.lnk", "delete C:\\S\\read-only.lnk",
                                                     "force C:\\S\\read-only.lnk", "delete C:\\S\\gone.lnk",
                                                     "force C:\\S\\gone.lnk"}));
  EXPECT_TRUE(files.files.empty());
  EXPECT_EQ(std::count(window.log.begin(), window.log.end(), "DoEvents"), 3);
  EXPECT_TRUE(window.boxes.empty());
}

TEST_F(DeleteCommandTest, SkinFileDressesTheWindowInFiveCallsAfterTheColours) {
  const std::string skin = "C:\\Program Files\\Vellorin Quade\\x\\o.cjs";
  files.AddFile(skin, "window = #203040");
  form.Form_Load();
  std::vector<std::string> colours;
  for (const std::string& entry : window.log) {
    if (entry.rfind("SetBackColour", 0) == 0 || entry.rfind("SetControlBackColour", 0) == 0) colours.push_back(entry);
  }
  const std::string face = std::to_string(kButtonFaceColour);
  EXPECT_EQ(colours, (std::vector<std::string>{"SetBackColour(" + face + ")", "SetControlBackColour(3=" + face + ")",
                                               "SetControlBackColour(4=" + face + ")",
                                               "SetControlBackColour(5=" + face + ")",
                                               "SetControlBackColour(6=" + face + ")",
                                               "SetControlBackColour(7=" + face + ")",
                                               "SetControlBackColour(9=" + face + ")"}))
      << "the Tasks box too";
  EXPECT_EQ(fakes.skin.calls, (std::vector<std::string>{"LoadSkin(" + skin + ",)", "ApplyOptions", "SetApplyOptions(17)",
                                                        "SetSkinLists(true)", "SetSkinButtons(true)",
                                                        "ApplyWindow(4660)"}));
  EXPECT_LT(std::find(window.log.begin(), window.log.end(), "SetBackColour(" + face + ")") - window.log.begin(),
            std::find(window.log.begin(), window.log.end(), "SetCaption(Vellorin Quade)") - window.log.begin())
      << "the skin is the first step of the start-up";
  EXPECT_TRUE(window.boxes.empty());
}

TEST_F(DeleteCommandTest, NoSkinFileOrARejectedOne) {
  files.folders.insert("C:\\Program Files\\Vellorin Quade\\x\\o.cjs");  // a folder of that name is no skin
  form.Form_Load();
  EXPECT_TRUE(fakes.skin.calls.empty());
  EXPECT_EQ(std::count_if(window.log.begin(), window.log.end(),
                          [](const std::string& entry) { return entry.find("BackColour") != std::string::npos; }),
            0);

  test::FakePlatform rejected;
  test::CollectorForm1 form2(rejected.Get());
  rejected.files.AddFile("C:\\Program Files\\Vellorin Quade\\x\\o.cjs", "colour = red");
  rejected.skin.Fail("LoadSkin", "Invalid skin file, line 1: unknown key \"colour\"");
  rejected.skin.options = 1;
  form2.Form_Load();
  ASSERT_EQ(rejected.window.boxes.size(), 1u);
  EXPECT_EQ(rejected.window.boxes[0].text.substr(0, rejected.window.boxes[0].text.find("\r\r")),
            "Invalid skin file, line 1: unknown key \"colour\"\r\nin Kestrelbay2021/08/31.Form1.Form_Load at line 100");
  EXPECT_EQ(rejected.skin.calls.size(), 1u) << "nothing after the load";
  EXPECT_EQ(rejected.window.caption, "Vellorin Quade") << "the start-up went on";

  test::FakePlatform bitSet;
  test::CollectorForm1 form3(bitSet.Get());
  bitSet.files.AddFile("C:\\Program Files\\Vellorin Quade\\x\\o.cjs", "window = #000000");
  bitSet.skin.options = 5;
  form3.Form_Load();
  EXPECT_EQ(bitSet.skin.calls[2], "SetApplyOptions(5)") << "flags with bit 0 set are written back unchanged";
}

}  // namespace
}  // namespace vq
