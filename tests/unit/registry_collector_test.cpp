#include <gtest/gtest.h>

#include "app/form1.h"
#include "collectors/mod_registry.h"
#include "fakes/fake_platform.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using test::Row;

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
  for (std::uint32_t type : {regtype::kExpandSz, regtype::kBinary, regtype::kMultiSz, 0u, 11u}) {
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
  for (const std::string& opened : registry.opened) EXPECT_EQ(opened.substr(0, 3), "63|") << opened;
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
                                             "\xC3\x9C" "berwachung-\xE4\xB8\xAD", "last"}));
  EXPECT_EQ(Rows()[5].texts[3], "C:\\\xC3\x9C\\");
  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(registry.openKeys, 0);
}

TEST_F(RegistryCollectorTest, MissingKeysAddNothingAndSayNothing) {
  form.GetRegistryItems();
  EXPECT_TRUE(Rows().empty());
  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(registry.opened.size(), 18u);
}

}  // namespace
}  // namespace vq
