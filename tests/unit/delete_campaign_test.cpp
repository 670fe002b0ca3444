// A randomized, reproducible campaign against the fakes: seed startup items of
// every kind with look-alikes, tick a random subset of the rows the program
// lists, run the delete walk, and check that exactly the ticked items are gone
// (or stopped) and everything else is byte-identical.
//   VQ_CAMPAIGN_ROUNDS=n   rounds to run (100,000 by default)
//   VQ_CAMPAIGN_SEED=s     replay the one round a failure named
// After every round the round's backup is put back, and the seeded items must
// all be there again, byte for byte.
#include <gtest/gtest.h>

#include <random>

#include "app/text.h"
#include "support/campaign.h"
#include "support/reg_reader.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using test::FakeRegistry;

struct Key {
  Hive hive;
  const char* path;
  const char* location;  // as the collector writes it
};
const Key kKeys[] = {
    {Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
     "HKCU:Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
     "HKCU:Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
     "HKLM:SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
     "HKLM:SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {Hive::Users, ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
     "HKU:.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
};
// Names that look alike: the same in other keys, a prefix text inside, case,
// spaces, dots, letters outside the ANSI code page, the default value.
const char* const kValueNames[] = {"Tool", "Tool ", "Tool.exe", "HKCU:Tool", "HKLM:Tool", "", "\xC3\x9C" "ber-\xE4\xB8\xAD",
                                   "RunOnce", "My Tool v1.2"};
const char* const kFileNames[] = {"a.lnk", "A tool.lnk", "a.lnk.url", "My Tool v1.2.lnk", "\xE6\x97\xA5.lnk", "~temp.lnk",
                                  "desktop.ini"};
const std::string kUserFolder = "C:\\Users\\Ann\\Start Menu\\Programs\\Startup";
const std::string kCommonFolder = "C:\\ProgramData\\Start Menu\\Programs\\Startup";

std::u16string RandomText(std::mt19937& random) {
  static const std::u16string kTexts[] = {u"C:\\Tools\\tool.exe /min", u"\"C:\\Program Files\\X\\x.exe\"", u"bare.exe",
                                          u"", u"C:\\\u00DC\\\u4E2D.exe"};
  return kTexts[random() % std::size(kTexts)];
}

// One round: what was seeded, and what each listed row stands for.
struct Round {
  test::FakePlatform fakes;
  // Type, Location and Item of a row -> what deleting it must remove: "value:<key index>:<name>", "file:<path>", "service:<name>".
  std::map<std::vector<std::string>, std::string> meaning;
};

void Seed(std::mt19937& random, Round& round) {
  test::FakePlatform& fakes = round.fakes;
  for (std::size_t k = 0; k < std::size(kKeys); ++k) {
    std::vector<FakeRegistry::Value>& values = fakes.registry.Key(kKeys[k].hive, kKeys[k].path);
    for (const char* name : kValueNames) {
      if (random() % 3 != 0) continue;
      switch (random() % 4) {
        case 0: values.push_back({name, regtype::kDword, std::string(random() % 5, '\x7')}); break;
        case 1: values.push_back({name, regtype::kExpandSz, test::Utf16Le(u"%SystemRoot%\\x.exe")}); break;
        default: values.push_back({name, regtype::kSz, test::Utf16Le(RandomText(random)) + std::string(2, '\0')}); break;
      }
      round.meaning[{"REGISTRY", kKeys[k].location, name}] = "value:" + std::to_string(k) + ":" + name;
    }
  }
  for (const std::string& folder : {kUserFolder, kCommonFolder}) {
    for (const char* name : kFileNames) {
      if (random() % 2 != 0) continue;
      const std::string path = folder + "\\" + name;
      fakes.files.AddFile(path, std::string(1 + random() % 8, static_cast<char>('a' + random() % 26)));
      if (random() % 3 == 0) fakes.files.readOnly.insert(path);
      round.meaning[{"STARTUP", folder, name}] = "file:" + path;
    }
  }
  for (const char* name : {"Spooler", "spooler ", "Sync"}) {
    if (random() % 2 != 0) continue;
    fakes.services.services.push_back({name, std::string(name) + " service", random() % 3 ? "Running" : "Stopped",
                                       random() % 4 != 0});
    round.meaning[{"SERVICES", name, std::string(name) + " service"}] = std::string("service:") + name;
  }
  fakes.files.AddFile("C:\\WINDOWS\\win.ini", random() % 2 ? "[windows]\r\nload=C:\\x.exe\r\n" : "");
}

// Puts the walk's backup back as its user would: registry.reg imported, the
// files moved back to where they were. Then the seeded items must all be
// there again, byte for byte.
std::string Restore(test::FakePlatform& fakes, const std::map<std::string, std::vector<FakeRegistry::Value>>& registryBefore,
                    const std::map<std::string, std::string>& filesBefore, const std::set<std::string>& readOnlyBefore) {
  const std::string backup = "C:\\Users\\Ann\\AppData\\Local\\Marrowfen\\Vellorin Quade\\Backups\\2026-12-08 14.03.07";
  auto reg = fakes.files.files.find(backup + "\\registry.reg");
  if (reg != fakes.files.files.end()) {
    const auto values = test::ReadRegFile(reg->second);
    if (!values) return "registry.reg does not read";
    for (const test::ImportedValue& value : *values) {
      const Key* key = std::find_if(std::begin(kKeys), std::end(kKeys), [&](const Key& k) {
        return value.key == Utf8ToUtf16(std::string(k.hive == Hive::CurrentUser ? "HKEY_CURRENT_USER\\"
                                                    : k.hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE\\"
                                                                                   : "HKEY_USERS\\") +
                                        k.path);
      });
      if (key == std::end(kKeys)) return "registry.reg names an unknown key";
      fakes.registry.Key(key->hive, key->path).push_back({Utf16LeToUtf8(test::Utf16Le(value.name)), value.type, value.data});
    }
  }
  for (const auto& [kind, folder] : {std::pair{"User", kUserFolder}, std::pair{"All Users", kCommonFolder}}) {
    const std::string saved = backup + "\\Startup files\\" + kind + "\\";
    for (const std::string& path : std::vector<std::string>(fakes.files.listingOrder)) {
      if (path.rfind(saved, 0) == 0) fakes.files.MoveNamedFile(path, folder + "\\" + path.substr(saved.size()));
    }
  }
  for (const auto& [id, values] : registryBefore) {
    auto sorted = [](std::vector<FakeRegistry::Value> list) {
      std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
      return list;
    };
    const auto now = sorted(fakes.registry.keys.at(id)), then = sorted(values);
    if (!std::equal(now.begin(), now.end(), then.begin(), then.end(), [](const auto& a, const auto& b) {
          return a.name == b.name && a.type == b.type && a.data == b.data;
        })) {
      return "after the restore, key " + id + " is not as seeded";
    }
  }
  for (const auto& [path, bytes] : filesBefore) {
    auto it = fakes.files.files.find(path);
    if (it == fakes.files.files.end() || it->second != bytes ||
        fakes.files.readOnly.count(path) != readOnlyBefore.count(path)) {
      return "after the restore, file " + path + " is not as seeded";
    }
  }
  return "";
}

std::string RunRound(unsigned seed) {
  std::mt19937 random(seed);
  Round round;
  Seed(random, round);
  test::FakePlatform& fakes = round.fakes;
  test::CollectorForm1 form(fakes.Get());
  for (CheckBox box : kAllCheckBoxes) fakes.window.Check(box) = 1;
  form.LoadItems();

  const auto registryBefore = fakes.registry.keys;
  const auto filesBefore = fakes.files.files;
  const auto readOnlyBefore = fakes.files.readOnly;
  auto servicesBefore = fakes.services.services;
  std::set<std::string> ticked;
  for (test::FakeWindow::Row& row : fakes.window.rows) {
    row.checked = random() % 5 < 2;
    if (!row.checked) continue;
    auto it = round.meaning.find({row.texts[0], row.texts[1], row.texts[2]});
    if (row.texts[0] != "SYSFILE" && it == round.meaning.end()) return "a listed row matches nothing seeded";
    if (it != round.meaning.end()) ticked.insert(it->second);
  }
  // Clicks that arrive while the walk yields must change nothing.
  fakes.window.during = [&](const std::string& operation) {
    if (operation == "DoEvents" && random() % 2) {
      form.PushButton1_Click();
      form.PushButton4_Click();
    }
  };
  form.DeleteItem();
  fakes.window.during = nullptr;

  for (std::size_t k = 0; k < std::size(kKeys); ++k) {
    const std::string id = FakeRegistry::Id(kKeys[k].hive, kKeys[k].path);
    std::vector<FakeRegistry::Value> expected;
    for (const FakeRegistry::Value& value : registryBefore.at(id)) {
      if (!ticked.count("value:" + std::to_string(k) + ":" + value.name)) expected.push_back(value);
    }
    const auto& now = fakes.registry.keys.at(id);
    if (now.size() != expected.size() ||
        !std::equal(now.begin(), now.end(), expected.begin(), [](const auto& a, const auto& b) {
          return a.name == b.name && a.type == b.type && a.data == b.data;
        })) {
      return std::string("registry key ") + kKeys[k].location + " is not as expected";
    }
  }
  for (const auto& [path, bytes] : filesBefore) {
    const bool gone = !fakes.files.files.count(path);
    if (gone != static_cast<bool>(ticked.count("file:" + path))) return "file " + path + (gone ? " gone" : " kept");
    if (!gone && (fakes.files.files.at(path) != bytes || fakes.files.readOnly.count(path) != readOnlyBefore.count(path))) {
      return "file " + path + " changed";
    }
  }
  for (std::size_t i = 0; i < servicesBefore.size(); ++i) {
    test::FakeServices::Service& before = servicesBefore[i];
    if (ticked.count("service:" + *before.name) && before.state == "Running" && before.acceptsStop) {
      before.state = "Stopped";
    }
    if (fakes.services.services[i].state != before.state) return "service " + *before.name + " in the wrong state";
  }
  for (const auto& box : fakes.window.boxes) {
    const bool expected = box.text == "Could not delete system file." ||
                          (box.text == "You forgot to check item(s)." && fakes.window.boxes.size() == 1);
    if (!expected) return "unexpected box: " + box.text;
  }
  if (fakes.registry.openKeys != 0) return "a key was left open";
  return Restore(fakes, registryBefore, filesBefore, readOnlyBefore);
}

TEST(DeleteCampaign, ExactlyTheTickedItemsGoAndNothingElseChanges) {
  test::RunCampaign(20261208, 100000, [&](unsigned seed) { return RunRound(seed); });
}

}  // namespace
}  // namespace vq
