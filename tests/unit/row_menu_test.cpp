#include <gtest/gtest.h>

#include "entries/startup_approved.h"
#include "support/reg_reader.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kMachineRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kSwitches = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
const std::string kUser = "C:\\Users\\Ann\\Start Menu\\Programs\\Startup";

// A switch as Windows writes it: the flags byte, three zeros, then the FILETIME.
std::string Switch(unsigned char flags, std::int64_t time = 0) {
  std::string bytes(kSwitchSize, '\0');
  bytes[0] = static_cast<char>(flags);
  for (int i = 0; i < 8; ++i) bytes[4 + i] = static_cast<char>(static_cast<std::uint64_t>(time) >> (8 * i) & 0xFF);
  return bytes;
}

class RowMenuTest : public test::CollectorTest {
 protected:
  void Gather() {
    form.GetRegistryItems();
    form.GetStartup();
  }
  int RowOf(const std::string& item) {
    for (std::size_t i = 0; i < window.rows.size(); ++i) {
      if (window.rows[i].texts[2] == item) return static_cast<int>(i) + 1;
    }
    ADD_FAILURE() << item << " is not listed";
    return 0;
  }
  std::string Menu(const std::string& item, RowMenuChoice choice = RowMenuChoice::None) {
    window.menuChoice = choice;
    window.menus.clear();
    form.ListView1_RowMenu(RowOf(item));
    return window.menus.empty() ? "no menu" : window.menus.back().substr(window.menus.back().find(' ') + 1);
  }
  std::optional<std::string> Stored(Hive hive, const std::string& list, const std::string& name) {
    for (const auto& value : registry.Key(hive, kSwitches + list)) {
      if (value.name == Utf8ToUtf16(name)) return value.data;
    }
    return std::nullopt;
  }
  // Every key and value the registry holds, as text.
  std::vector<std::string> Everything() {
    std::vector<std::string> all;
    for (const auto& [id, values] : registry.keys) {
      all.push_back(id);
      for (const auto& value : values) all.push_back(Utf16ToUtf8(value.name) + "=" + HexBytes(value.data));
    }
    return all;
  }
  test::FakeRegistry& registry = fakes.registry;
};

std::string Text(const test::ImportedValue& value) {
  return Utf16ToUtf8(value.key) + "|" + Utf16ToUtf8(value.name) + "|" + std::to_string(value.type) + "|" +
         HexBytes(value.data);
}

// Each row's menu offers what applies to it; a choice writes Windows' switch
// at once (its key made where missing), greys or clears the row, and leaves
// the entry, its texts and the rest of the list as they are.
TEST_F(RowMenuTest, MenuPerRowKindWritesTheSwitchAndDrawsTheRow) {
  registry.SetText(Hive::CurrentUser, kRun, "App", u"C:\\a\\a.exe");
  registry.SetText(Hive::LocalMachine, kMachineRun, "Off", u"C:\\o\\o.exe");
  registry.Key(Hive::LocalMachine, kSwitches + "Run").push_back({"Off", regtype::kBinary, Switch(0x07, 5)});
  registry.SetText(Hive::CurrentUser, kRun + "Once", "Once", u"C:\\r\\r.exe");
  fakes.files.AddFile(kUser + "\\s.lnk", "s");
  Gather();
  const auto entriesBefore = registry.Key(Hive::CurrentUser, kRun).size();
  const auto rowsBefore = Rows();
  EXPECT_FALSE(window.rows[RowOf("App") - 1].greyed);
  EXPECT_TRUE(window.rows[RowOf("Off") - 1].greyed) << "switched off when gathered";

  EXPECT_EQ(Menu("App"), "disable=1 enable=0");
  EXPECT_EQ(Menu("Off"), "disable=0 enable=1");
  EXPECT_EQ(Menu("Once"), "disable=0 enable=0") << "RunOnce has no switch";
  EXPECT_EQ(Menu("s.lnk"), "disable=1 enable=0");
  EXPECT_TRUE(registry.created.empty()) << "a dismissed menu writes nothing";

  Menu("App", RowMenuChoice::Disable);
  EXPECT_EQ(Stored(Hive::CurrentUser, "Run", "App"), Switch(0x03, fakes.clock.fileTime));
  EXPECT_EQ(registry.created, std::vector<std::string>{kSwitches + "Run"});
  EXPECT_TRUE(window.rows[RowOf("App") - 1].greyed);
  EXPECT_EQ(Menu("App"), "disable=0 enable=1");

  Menu("Off", RowMenuChoice::Enable);
  EXPECT_EQ(Stored(Hive::LocalMachine, "Run", "Off"), Switch(0x06)) << "written, not deleted; other bits kept";
  EXPECT_FALSE(window.rows[RowOf("Off") - 1].greyed);

  Menu("s.lnk", RowMenuChoice::Disable);
  EXPECT_EQ(Stored(Hive::CurrentUser, "StartupFolder", "s.lnk"), Switch(0x03, fakes.clock.fileTime));
  EXPECT_TRUE(window.rows[RowOf("s.lnk") - 1].greyed);

  EXPECT_EQ(Rows(), rowsBefore);
  EXPECT_EQ(registry.Key(Hive::CurrentUser, kRun).size(), entriesBefore);
  EXPECT_EQ(fakes.files.files.count(kUser + "\\s.lnk"), 1u);
  EXPECT_EQ(std::count(window.log.begin(), window.log.end(), "ClearRows"), 0) << "not gathered again";
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ(registry.openKeys, 0);
}

// A switch the user may not write (the machine's, for a standard user) is
// not written; the box names the entry and gives the system's text.
TEST_F(RowMenuTest, RefusedWriteIsSaidAndChangesNothing) {
  registry.SetText(Hive::LocalMachine, kMachineRun, "Made", u"C:\\m\\m.exe");
  registry.SetText(Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", "Old",
                   u"C:\\o\\o.exe");
  // What a standard user may do below HKLM: read.
  registry.Key(Hive::LocalMachine, kSwitches + "Run32").push_back({"Old", regtype::kBinary, Switch(0x03, 9)});
  registry.Grant(Hive::LocalMachine, kSwitches + "Run32", kKeyListing);
  registry.Grant(Hive::LocalMachine, kSwitches, kKeyListing);
  Gather();
  const auto before = Everything();

  Menu("Made", RowMenuChoice::Disable);
  Menu("Old", RowMenuChoice::Enable);
  ASSERT_EQ(window.boxes.size(), 2u);
  EXPECT_EQ(window.boxes[0].text, "Could not disable \"Made\":\r\nAccess is denied. (RegCreateKeyExW)");
  EXPECT_EQ(window.boxes[1].text, "Could not enable \"Old\":\r\nRegOpenKeyExW failed: Access is denied.");
  EXPECT_EQ(window.boxes[0].style, msgbox::kOkOnly | msgbox::kExclamation);
  EXPECT_EQ(window.boxes[0].title, "") << "the application title";
  EXPECT_EQ(Everything(), before);
  EXPECT_FALSE(window.rows[RowOf("Made") - 1].greyed);
  EXPECT_TRUE(window.rows[RowOf("Old") - 1].greyed);
}

// No menu while a refresh runs: the rows it would act on are being replaced.
TEST_F(RowMenuTest, NoMenuWhileTheListIsGathered) {
  registry.SetText(Hive::CurrentUser, kRun, "App", u"C:\\a\\a.exe");
  Gather();
  window.Check(CheckBox::Check1) = 1;
  window.during = [&](const std::string& operation) {
    if (operation == "DoEvents" && !window.rows.empty()) form.ListView1_RowMenu(1);
  };
  form.LoadItems();
  window.during = nullptr;
  EXPECT_TRUE(window.menus.empty());
  EXPECT_EQ(Menu("App"), "disable=1 enable=0") << "and after it, again";

  // A refresh that ran inside the menu's own loop: the row stands for another item now.
  window.during = [&](const std::string& operation) {
    if (operation == "ShowRowMenu") form.LoadItems();
  };
  Menu("App", RowMenuChoice::Disable);
  window.during = nullptr;
  EXPECT_TRUE(registry.created.empty());
  EXPECT_FALSE(window.rows[0].greyed);
}

// Deleting a switched-off entry takes its switch too, each saved in
// registry.reg first; an entry that stays keeps its switch, which then
// leaves the backup again.
TEST_F(RowMenuTest, DeletingADisabledEntrySavesAndRemovesItsSwitch) {
  registry.SetText(Hive::CurrentUser, kRun, "App", u"C:\\a\\a.exe");
  registry.SetText(Hive::CurrentUser, kRun, "Kept", u"C:\\k\\k.exe");
  registry.protectedNames.insert(u"Kept");
  for (const char* name : {"App", "Kept", "Other"}) {
    registry.Key(Hive::CurrentUser, kSwitches + "Run").push_back({name, regtype::kBinary, Switch(0x03, 7)});
  }
  fakes.files.AddFile(kUser + "\\s.lnk", "s");
  registry.Key(Hive::CurrentUser, kSwitches + "StartupFolder").push_back({"s.lnk", regtype::kBinary, Switch(0x03, 8)});
  // A row the program did not list: which folder's switch it would be is not known.
  fakes.files.AddFile("C:\\Elsewhere\\s.lnk", "e");
  registry.Key(Hive::LocalMachine, kSwitches + "StartupFolder").push_back({"s.lnk", regtype::kBinary, Switch(0x03, 9)});
  Gather();
  window.rows.push_back({true, {"STARTUP", "C:\\Elsewhere", "s.lnk", ""}});
  for (auto& row : window.rows) row.checked = true;
  window.answer = msgbox::kYes;
  form.DeleteItem();

  EXPECT_FALSE(Stored(Hive::CurrentUser, "Run", "App"));
  EXPECT_EQ(Stored(Hive::CurrentUser, "Run", "Kept"), Switch(0x03, 7)) << "its entry stayed";
  EXPECT_EQ(Stored(Hive::CurrentUser, "Run", "Other"), Switch(0x03, 7)) << "no row of it was deleted";
  EXPECT_FALSE(Stored(Hive::CurrentUser, "StartupFolder", "s.lnk"));
  EXPECT_EQ(fakes.files.files.count(kUser + "\\s.lnk"), 0u);
  EXPECT_EQ(fakes.files.files.count("C:\\Elsewhere\\s.lnk"), 0u);
  EXPECT_EQ(Stored(Hive::LocalMachine, "StartupFolder", "s.lnk"), Switch(0x03, 9));

  const std::string folder = "C:\\Users\\Ann\\AppData\\Local\\Marrowfen\\Vellorin Quade\\Backups\\2026-12-08 14.03.07";
  const auto saved = test::ReadRegFile(fakes.files.files.at(folder + "\\registry.reg"));
  ASSERT_TRUE(saved);
  std::vector<std::string> values;
  for (const auto& value : *saved) values.push_back(Text(value));
  const std::u16string user = u"HKEY_CURRENT_USER\\";
  EXPECT_EQ(values, (std::vector<std::string>{
                        Text({user + Utf8ToUtf16(kRun), u"App", regtype::kSz,
                              test::Utf16Le(u"C:\\a\\a.exe") + std::string(2, '\0')}),
                        Text({user + Utf8ToUtf16(kSwitches) + u"Run", u"App", regtype::kBinary, Switch(0x03, 7)}),
                        Text({user + Utf8ToUtf16(kSwitches) + u"StartupFolder", u"s.lnk", regtype::kBinary,
                              Switch(0x03, 8)}),
                    }));
  EXPECT_EQ(registry.openKeys, 0);
}

}  // namespace
}  // namespace vq
