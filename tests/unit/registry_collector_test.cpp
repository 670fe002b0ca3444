#include <gtest/gtest.h>

#include "app/form1.h"
#include "collectors/mod_registry.h"
#include "entries/autostart_points.h"
#include "fakes/fake_platform.h"
#include "platform/text.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using test::Row;
using FakeRegistryValue = StoredValue;

TEST(RegistryRowRules, ExtraDetailsAndWhichValuesGiveRows) {
  const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string windows = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\";
  struct Case {
    std::string key, name, text;
    std::size_t length;  // as counted for the rules: the text's characters and its terminator
    std::optional<std::string> extraDetails;
  };
  auto sz = [](const std::string& name, const std::string& text, const std::string& key) {
    return Case{key, name, text, Utf16Length(text) + 1, std::nullopt};
  };
  std::vector<Case> cases = {
      sz("Tool", "\"C:\\Program Files\\Tool\\tool.exe\" /min", run),
      sz("Bare", "tool.exe /min", run),
      sz("Dll", "C:\\Windows\\system32\\rundll32.exe C:\\Tools\\x.dll,Main", run),
      sz("load", "C:\\x\\a.exe", windows),
      sz("run", "C:\\x\\a.exe", windows),
      sz("Load", "C:\\x\\a.exe", windows),
      sz("load", "", windows),                                // nothing to start
      {run, "", "x", 2, std::nullopt},                          // the default value with data
      {run, "", "", 0, ""},                                     // an empty default value is listed
      {windows, "Device", "", 0, ""},                           // so is an empty value of any name
      {run, "Counter", "&H0000002A", 4, ""},                    // a REG_DWORD
  };
  const std::optional<std::string> expected[] = {"C:\\Program Files\\Tool\\",
                                                 "",
                                                 "C:\\Windows\\system32\\rundll32.exe C:\\Tools\\",
                                                 "C:\\x\\",
                                                 std::nullopt,
                                                 std::nullopt,
                                                 std::nullopt,
                                                 std::nullopt,
                                                 "",
                                                 "",
                                                 ""};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(DecideRegistryRow(c.key, c.name, Utf16Length(c.name), c.length, c.text), expected[i])
        << c.name << " = " << c.text;
  }
}

TEST(RegistryValueText, TextsAndDwordsOnly) {
  using test::Utf16Le;
  EXPECT_EQ(ValueText(regtype::kSz, Utf16Le(u"ab") + std::string(2, '\0')), "ab");
  EXPECT_EQ(ValueText(regtype::kSz, Utf16Le(u"abc")), "ab") << "no terminator: the last character goes";
  EXPECT_EQ(ValueText(regtype::kSz, Utf16Le(u"a") + std::string(3, '\0')), std::string("a\0", 2))
      << "embedded NULs are kept";
  EXPECT_EQ(ValueText(regtype::kSz, Utf16Le(u"ab") + "c"), "ab") << "an odd last byte is the last character";
  EXPECT_EQ(ValueText(regtype::kSz, ""), "");
  EXPECT_EQ(ValueText(regtype::kSz, Utf16Le(u"\u00DCberwachung-\u4E2D") + std::string(2, '\0')),
            "\xC3\x9C" "berwachung-\xE4\xB8\xAD");
  EXPECT_EQ(ValueText(regtype::kDword, std::string("\x2A\x01\x00\xFF", 4)), "&HFF00012A");
  EXPECT_EQ(ValueText(regtype::kDword, "\x2A"), "&H0000002A") << "missing bytes read as zeros";
  EXPECT_EQ(ValueText(regtype::kExpandSz, Utf16Le(u"%APPDATA%\\x.exe") + std::string(2, '\0')), "%APPDATA%\\x.exe")
      << "unexpanded, as stored";
  EXPECT_EQ(DataLength(regtype::kExpandSz, 5), 3u);
  for (std::uint32_t type : {regtype::kBinary, regtype::kMultiSz, 0u, 11u}) {
    EXPECT_EQ(ValueText(type, "abcd"), std::nullopt) << type;
  }
  EXPECT_EQ(DataLength(regtype::kSz, 5), 3u);
  EXPECT_EQ(DataLength(regtype::kDword, 5), 5u);
  EXPECT_EQ(HivePrefix(static_cast<Hive>(0x80000004u)), "");
}

class RegistryCollectorTest : public test::CollectorTest {
 protected:
  test::FakeRegistry& registry = fakes.registry;
};

TEST_F(RegistryCollectorTest, VisitsTheKeysInOrderWithTheirLocations) {
  const std::vector<std::pair<Hive, std::string>> keys = {
      {Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
      {Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
      {Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
      {Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
      {Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
      {Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
      {Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
      {Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
      {Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
      {Hive::CurrentUser, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\"},
      {Hive::Users, ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {Hive::Users, ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
      {Hive::Users, ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
      {Hive::Users, ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
      {Hive::Users, ".DEFAULT\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"},
  };
  std::vector<Row> expected;
  for (const auto& [hive, path] : keys) {
    registry.SetText(hive, path, "load", u"C:\\x\\a.exe");
    expected.push_back({"REGISTRY", HivePrefix(hive) + path, "load", "C:\\x\\"});
  }
  form.GetRegistryItems();
  EXPECT_EQ(Rows(), expected);
  EXPECT_EQ(Reports(), std::vector<std::string>{});
  // Every key only to be read: its values and the names of its sub-keys, nothing more; the
  // Run keys' switches (HKLM's, its 32-bit view's and HKCU's) only their values.
  int switchKeys = 0;
  for (const std::string& open : registry.opened) {
    const bool switches = open.find("StartupApproved") != std::string::npos;
    switchKeys += switches;
    EXPECT_EQ(open.substr(0, open.find('|')), switches ? "1" : "9") << open;
  }
  EXPECT_EQ(switchKeys, 3);
  EXPECT_EQ(registry.openKeys, 0);
  EXPECT_EQ(std::count(window.log.begin(), window.log.end(), "DoEvents"), 2 * 18) << "two yields per value";
  EXPECT_EQ(expected[12].texts[1].back(), '\\');
  EXPECT_EQ(expected[17].texts[1].substr(0, 4), "HKU:");

  // A key whose listing fails is reported under its visit's number; the next key is still visited.
  window.rows.clear();
  registry.Fail("EnumValue", "The key went away");
  form.GetRegistryItems();
  std::vector<std::string> statements;
  for (int n : {126, 126, 126, 126, 126, 126, 126, 126, 132, 132, 132, 132, 138, 142, 142, 142, 142, 148}) {
    statements.push_back("GetRegistryItems at line " + std::to_string(n));
  }
  EXPECT_EQ(Reports(), statements);
  EXPECT_EQ(registry.openKeys, 0) << "a key is closed when its listing fails";
}

TEST_F(RegistryCollectorTest, ValuesThatDoNotFitArePassedOverAndTheRestListed) {
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  auto text = [](std::size_t characters) { return std::u16string(characters, u'x'); };
  registry.SetText(Hive::CurrentUser, run, std::string(255, 'n'), u"a.exe");
  registry.SetText(Hive::CurrentUser, run, std::string(256, 'n'), u"a.exe");
  registry.SetText(Hive::CurrentUser, run, "text1023", text(1023));
  registry.SetText(Hive::CurrentUser, run, "text1024", text(1024));
  registry.Key(Hive::CurrentUser, run).push_back({"noterm1024", regtype::kSz, test::Utf16Le(text(1024))});
  registry.Key(Hive::CurrentUser, run).push_back({"dword2000", regtype::kDword, std::string(2000, '\1')});
  registry.Key(Hive::CurrentUser, run).push_back({"dword0", regtype::kDword, ""});
  registry.Key(Hive::CurrentUser, run).push_back({"dword3", regtype::kDword, "\1\2\3"});
  registry.Key(Hive::CurrentUser, run).push_back({"expand", regtype::kExpandSz, test::Utf16Le(u"C:\\a.exe")});
  registry.SetText(Hive::CurrentUser, run, "\xC3\x9C" "berwachung-\xE4\xB8\xAD", u"\"C:\\\u00DC\\a.exe\"");
  registry.SetText(Hive::CurrentUser, run, "last", u"C:\\z\\last.exe");

  form.GetRegistryItems();
  std::vector<std::string> names;
  for (const Row& row : Rows()) names.push_back(row.texts[2]);
  EXPECT_EQ(names, (std::vector<std::string>{std::string(255, 'n'), "text1023", "noterm1024", "dword0", "dword3",
                                             "expand", "\xC3\x9C" "berwachung-\xE4\xB8\xAD", "last"}));
  EXPECT_EQ(Rows()[5].texts[3], "C:\\");
  EXPECT_EQ(Rows()[6].texts[3], "C:\\\xC3\x9C\\");
  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(registry.openKeys, 0);
}

TEST_F(RegistryCollectorTest, MissingKeysAddNothingAndSayNothing) {
  form.GetRegistryItems();
  EXPECT_TRUE(Rows().empty());
  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(registry.opened.size(), 18u + 15u + 27u)
      << "the Run keys, the other points (three in both views), then the persistence points (four in both)";
}

// The other autostart points: which values each lists and how each goes.
TEST_F(RegistryCollectorTest, AutostartPointsListWhatStartsSomethingAndResetWhatWindowsNeeds) {
  using test::Utf16Le;
  const std::string nul(2, '\0');
  auto sz = [&](std::u16string_view text) { return Utf16Le(text) + nul; };
  auto multi = [&](std::initializer_list<std::u16string_view> entries) {
    std::string data;
    for (std::u16string_view entry : entries) data += sz(entry);
    return data + nul;
  };
  const std::string policies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
  const std::string runOnceEx = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
  const std::string setup = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components";
  const std::string ifeo = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
  const std::string winlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
  const std::string session = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  const std::string rdpwd = "SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd";
  const std::string windows = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
  struct Case {
    Hive hive;
    std::string key;
    std::u16string name;
    std::uint32_t type;
    std::string data;
    bool listed;
  };
  const Case cases[] = {
      {Hive::LocalMachine, "SOFTWARE\\" + policies.substr(9), u"Tool", regtype::kSz, sz(u"\"C:\\x\\t.exe\" /m"), true},
      {Hive::LocalMachine, "SOFTWARE\\" + policies.substr(9), u"Number", regtype::kDword, "\1\0\0\0", false},
      {Hive::CurrentUser, policies, u"", regtype::kExpandSz, sz(u"%SystemRoot%\\d.exe"), true},  // every value
      {Hive::LocalMachine, runOnceEx + "\\0001", u"", regtype::kSz, sz(u"Title"), false},  // a title, no command
      {Hive::LocalMachine, runOnceEx + "\\0001", u"1", regtype::kSz, sz(u"C:\\a\\one.exe"), true},
      {Hive::LocalMachine, runOnceEx + "\\0001\\Depend", u"d", regtype::kSz, sz(u"dep.dll"), true},
      {Hive::LocalMachine, In32BitView(runOnceEx) + "\\0002", u"2", regtype::kSz, sz(u"two.exe"), true},
      {Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\BootVerificationProgram", u"ImagePath",
       regtype::kExpandSz, sz(u"C:\\b\\verify.exe"), true},
      {Hive::LocalMachine, setup + "\\{A}", u"StubPath", regtype::kSz, sz(u"a.exe"), false},  // IsInstalled 0
      {Hive::LocalMachine, setup + "\\{A}", u"IsInstalled", regtype::kDword, std::string(4, '\0'), false},
      {Hive::LocalMachine, setup + "\\{B}", u"StubPath", regtype::kSz, sz(u"b.exe"), true},
      {Hive::LocalMachine, ifeo + "\\calc.exe", u"GlobalFlag", regtype::kSz, sz(u"2"), false},
      {Hive::LocalMachine, ifeo + std::string("\\a\0b", 4), u"Debugger", regtype::kSz, sz(u"C:\\d\\dbg.exe"), true},
      {Hive::CurrentUser, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", u"Shell", regtype::kSz,
       sz(u"explorer.exe"), true},  // the user's own shell is a command, whatever it says
      {Hive::LocalMachine, winlogon, u"Userinit", regtype::kSz, sz(u" %SystemRoot%\\System32\\USERINIT.exe, "), false},
      {Hive::LocalMachine, winlogon, u"Shell", regtype::kSz, sz(u"C:\\e\\evil.exe"), true},
      {Hive::LocalMachine, session, u"BootExecute", regtype::kMultiSz, multi({u"autocheck autochk /k:C *"}), false},
      {Hive::LocalMachine, rdpwd, u"StartupPrograms", regtype::kSz, sz(u"rdpclip,C:\\r\\x.exe"), true},
      {Hive::LocalMachine, windows, u"AppInit_DLLs", regtype::kSz, "", false},  // zero-length is empty
      {Hive::LocalMachine, In32BitView(windows), u"AppInit_DLLs", regtype::kSz, sz(u"C:\\w\\hook.dll"), true},
  };
  for (const Case& c : cases) registry.Key(c.hive, c.key).push_back({c.name, c.type, c.data});
  form.GetRegistryItems();
  std::vector<Row> expected;
  for (const Case& c : cases) {
    if (!c.listed) continue;
    const std::string text = Utf16ToUtf8(FromUtf16Le(c.data.substr(0, c.data.find(nul))));
    expected.push_back({"REGISTRY", HivePrefix(c.hive) + ValueNameText(Utf8ToUtf16(c.key)), ValueNameText(c.name),
                        ProgramFolderOf(text)});
  }
  EXPECT_EQ(Rows(), expected);
  EXPECT_EQ(expected[7].texts[1], "HKLM:" + ifeo + "\\a\xE2\x90\x80" "b") << "a key name's U+0000 shown as U+2400";
  EXPECT_TRUE(Reports().empty());

  // Defaults written otherwise, absent, or a multi-string that is more than disk checks.
  for (const auto& [name, data, listed] : {std::tuple{u"Userinit", sz(u"c:\\windows\\system32\\userinit.exe,"), false},
                                           std::tuple{u"Userinit", sz(u"C:\\WINDOWS\\system32\\userinit.exe,C:\\x.exe"), true}}) {
    test::FakePlatform fresh;
    test::CollectorForm1 other(fresh.Get());
    fresh.registry.Key(Hive::LocalMachine, winlogon).push_back({std::u16string(name), regtype::kSz, data});
    fresh.registry.Key(Hive::LocalMachine, session).push_back(
        {u"BootExecute", regtype::kMultiSz, multi({u"autocheck autochk *", u"C:\\x.exe"})});
    other.GetRegistryItems();
    ASSERT_EQ(fresh.window.rows.size(), listed ? 2u : 1u) << Utf16ToUtf8(name);
    EXPECT_EQ(fresh.window.rows.back().texts[2], "BootExecute");
  }

  // An empty BootExecute differs from Windows' own too.
  test::FakePlatform empty;
  test::CollectorForm1 emptyForm(empty.Get());
  empty.registry.Key(Hive::LocalMachine, session).push_back({u"BootExecute", regtype::kMultiSz, nul});
  emptyForm.GetRegistryItems();
  EXPECT_EQ(empty.window.rows.size(), 1u);

  // Ticked: commands deleted, what Windows needs written back to Windows' own.
  for (auto& row : window.rows) row.checked = true;
  form.DeleteItem();
  auto value = [&](Hive hive, const std::string& key, std::u16string_view name) -> std::optional<FakeRegistryValue> {
    for (const auto& stored : registry.Key(hive, key)) {
      if (stored.name == name) return FakeRegistryValue{stored.type, stored.data};
    }
    return std::nullopt;
  };
  EXPECT_EQ(value(Hive::LocalMachine, winlogon, u"Shell"), (FakeRegistryValue{regtype::kSz, sz(u"explorer.exe")}));
  EXPECT_EQ(value(Hive::LocalMachine, rdpwd, u"StartupPrograms"), (FakeRegistryValue{regtype::kSz, sz(u"rdpclip")}));
  EXPECT_EQ(value(Hive::LocalMachine, In32BitView(windows), u"AppInit_DLLs"), (FakeRegistryValue{regtype::kSz, nul}));
  EXPECT_FALSE(value(Hive::LocalMachine, ifeo + std::string("\\a\0b", 4), u"Debugger"));
  EXPECT_FALSE(value(Hive::CurrentUser, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", u"Shell"));
  EXPECT_TRUE(value(Hive::LocalMachine, winlogon, u"Userinit")) << "unlisted, untouched";
  EXPECT_TRUE(value(Hive::LocalMachine, runOnceEx + "\\0001", u"")) << "the title stays";

  // A row that names a value Windows needs by its texts alone never deletes
  // it, however it spells the key or the name.
  std::string doubled = winlogon;
  doubled.insert(doubled.find("Winlogon"), "\\");
  window.rows = {{true, {"REGISTRY", "HKLM:" + doubled, "Userinit", ""}},
                 {true, {"REGISTRY", "HKLM:SYSTEM\\ControlSet001\\Control\\Session Manager", "BootExecute", ""}}};
  form.DeleteItem();
  EXPECT_TRUE(value(Hive::LocalMachine, winlogon, u"Userinit"));
  EXPECT_TRUE(value(Hive::LocalMachine, session, u"BootExecute"));
}

// Resetting BootExecute drops what it starts and keeps Windows' own disk
// checks as they are then, switches and order and all: the check of drive D
// must still pass over it.
TEST(BootExecuteReset, KeepsTheDiskChecksItHoldsThenAndDropsTheRest) {
  using test::Utf16Le;
  const std::string session = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  auto multi = [](std::initializer_list<std::u16string_view> entries) {
    std::string data;
    for (std::u16string_view entry : entries) data += Utf16Le(entry) + std::string(2, '\0');
    return data + std::string(2, '\0');
  };
  struct Case {
    std::string listed, atRemoval, reset;
  };
  const Case cases[] = {
      {multi({u"autocheck autochk /k:D *", u"C:\\x.exe"}), multi({u"autocheck autochk /k:D *", u"C:\\x.exe"}),
       multi({u"autocheck autochk /k:D *"})},
      // What it holds at removal time counts, in its order.
      {multi({u"C:\\x.exe"}), multi({u"C:\\y.exe", u"AUTOCHECK autochk /p \\??\\C:", u"autocheck autochk *"}),
       multi({u"AUTOCHECK autochk /p \\??\\C:", u"autocheck autochk *"})},
      {multi({u"C:\\x.exe"}), multi({u"C:\\x.exe", u"autocheck"}), multi({u"autocheck autochk *"})},
  };
  for (const Case& c : cases) {
    test::FakePlatform fakes;
    test::CollectorForm1 form(fakes.Get());
    auto& values = fakes.registry.Key(Hive::LocalMachine, session);
    values.push_back({u"BootExecute", regtype::kMultiSz, c.listed});
    form.GetRegistryItems();
    ASSERT_EQ(fakes.window.rows.size(), 1u);
    values.back().data = c.atRemoval;
    fakes.window.rows[0].checked = true;
    form.DeleteItem();
    EXPECT_EQ((StoredValue{values.back().type, values.back().data}), (StoredValue{regtype::kMultiSz, c.reset}))
        << FromUtf16Le(c.atRemoval).size();
  }
}

}  // namespace
}  // namespace vq
