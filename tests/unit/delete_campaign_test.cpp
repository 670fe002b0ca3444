// A randomized, reproducible campaign against the fakes: seed startup items of
// every kind beside look-alike twins, tick a random subset of the listed rows
// by what they stand for, run the delete walk, and check that exactly the
// ticked items are gone (or stopped) and everything else is byte-identical.
//   VQ_CAMPAIGN_ROUNDS=n   rounds to run (30,000 by default)
//   VQ_CAMPAIGN_SEED=s     replay the one round a failure named
// After every round the round's backup is put back, and the seeded items must
// all be there again, byte for byte.
#include <gtest/gtest.h>

#include <random>

#include "collectors/mod_registry.h"
#include "entries/autostart_points.h"
#include "entries/hives.h"
#include "platform/text.h"
#include "support/campaign.h"
#include "support/reg_reader.h"
#include "support/windows_defaults.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using test::FakeRegistry;

struct Key {
  Hive hive;
  const char* path;
};
const Key kKeys[] = {
    {Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {Hive::Users, ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
};

// Names that look alike: the same in other keys (in another letter case in
// every other key), a prefix text inside, spaces, dots, letters outside the
// ANSI code page, the default value; U+0000 inside and in front (shown as
// U+2400, beside names that hold U+2400 itself), CR and LF, and an unpaired
// surrogate (shown as U+FFFD, beside a name that holds U+FFFD).
std::vector<std::u16string> ValueNames(std::size_t key) {
  std::vector<std::u16string> names = {key % 2 ? u"TOOL" : u"Tool", u"Tool ", u"Tool.exe", u"HKCU:Tool", u"HKLM:Tool",
                                       u"", u"\u00DCber-\u4E2D", u"RunOnce", u"My Tool v1.2", u"Upd",
                                       std::u16string(u"Upd\0x", 5), std::u16string(u"\0hidden", 7), u"Upd\u2400x",
                                       u"\u2400hidden", u"Tool\r\nx", u"Tool\nx", u"a\uFFFDb"};
  names.push_back({u'a', 0xD800, u'b'});
  return names;
}
const char* const kFileNames[] = {"a.lnk",     "A.lnk",    "A tool.lnk", "a.lnk.url", "My Tool v1.2.lnk",
                                  "\xE6\x97\xA5.lnk", "~temp.lnk", "desktop.ini", "evil.lnk", "evil.lnk.",
                                  "tool.lnk",  "tool.lnk ", "nul.lnk",   "con"};
const std::string kUserFolder = "C:\\Users\\Ann\\Start Menu\\Programs\\Startup";
const std::string kCommonFolder = "C:\\ProgramData\\Start Menu\\Programs\\Startup";
const std::string kBackup = "C:\\Users\\Ann\\AppData\\Local\\Marrowfen\\Vellorin Quade\\Backups\\2026-12-08 14.03.07";

std::u16string RandomText(std::mt19937& random) {
  static const std::u16string kTexts[] = {u"C:\\Tools\\tool.exe /min", u"\"C:\\Program Files\\X\\x.exe\"", u"bare.exe",
                                          u"", u"C:\\\u00DC\\\u4E2D.exe"};
  return kTexts[random() % std::size(kTexts)];
}

bool SameValues(const std::vector<FakeRegistry::Value>& a, const std::vector<FakeRegistry::Value>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.name == y.name && x.type == y.type && x.data == y.data;
  });
}

std::vector<FakeRegistry::Value> Sorted(std::vector<FakeRegistry::Value> values) {
  std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return values;
}

std::string Sz(std::u16string_view text) { return test::Utf16Le(text) + std::string(2, '\0'); }

// The other autostart points, with look-alikes: keys below whose names hold
// U+0000 beside their twins, and the values Windows itself needs at its own
// value, written otherwise, at another, or not there.
void SeedAutostartPoints(std::mt19937& random, test::FakePlatform& fakes) {
  FakeRegistry& registry = fakes.registry;
  auto maybe = [&](Hive hive, const std::string& key, std::u16string name, std::uint32_t type, std::string data) {
    if (random() % 2) registry.Key(hive, key).push_back({std::move(name), type, std::move(data)});
  };
  for (const std::u16string& name : {std::u16string(u"Upd"), std::u16string(u"Upd\0x", 5), std::u16string()}) {
    maybe(Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", name,
          regtype::kSz, Sz(u"C:\\p\\p.exe"));
  }
  for (const std::string& sub : {std::string("1"), std::string("1\0x", 3)}) {
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx\\" + sub;
    maybe(Hive::LocalMachine, key, u"", regtype::kSz, Sz(u"Title"));
    maybe(Hive::LocalMachine, key, u"a", regtype::kSz, Sz(u"C:\\o\\once.exe"));
    maybe(Hive::LocalMachine, key + "\\Depend", u"d", regtype::kExpandSz, Sz(u"%SystemRoot%\\d.dll"));
    maybe(Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\" + sub,
          u"Debugger", regtype::kSz, Sz(u"C:\\d\\dbg.exe"));
  }
  // The LSA's lists: Windows' own elements beside look-alikes (letter case,
  // ".dll", a trailing blank), each taken out alone.
  for (const auto& [name, elements] :
       {std::pair{u"Notification Packages", std::vector<std::u16string>{u"scecli", u"SCECLI.dll", u"scecli ", u"rassfm", u"evil", u"Evil "}},
        std::pair{u"Security Packages", std::vector<std::u16string>{u"\"\"", u"kerberos", u"Kerberos ", u"ssp"}}}) {
    std::u16string list;
    for (const std::u16string& element : elements) {
      if (random() % 2) list += element + u'\0';
    }
    maybe(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Lsa", name, regtype::kMultiSz, test::Utf16Le(list + u'\0'));
  }
  const std::string winlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
  const std::u16string shells[] = {u"explorer.exe", u" Explorer.EXE ", u"C:\\e\\evil.exe"};
  maybe(Hive::LocalMachine, winlogon, u"Shell", regtype::kSz, Sz(shells[random() % 3]));
  const std::u16string userinits[] = {u"C:\\WINDOWS\\system32\\userinit.exe,", u"%SystemRoot%\\system32\\userinit.exe,",
                                      u"C:\\WINDOWS\\system32\\userinit.exe,C:\\u.exe"};
  maybe(Hive::LocalMachine, winlogon, u"Userinit", regtype::kSz, Sz(userinits[random() % 3]));
  const std::string boots[] = {Sz(u"autocheck autochk *") + std::string(2, '\0'),
                               Sz(u"autocheck autochk /k:C *") + std::string(2, '\0'),
                               Sz(u"autocheck autochk *") + Sz(u"C:\\b.exe") + std::string(2, '\0'),
                               Sz(u"C:\\b.exe") + Sz(u" AUTOCHECK autochk /k:D *") + std::string(2, '\0'),
                               Sz(u"C:\\b.exe") + std::string(2, '\0')};
  maybe(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", u"BootExecute", regtype::kMultiSz,
        boots[random() % std::size(boots)]);
  for (const std::string& key : {std::string("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows"),
                                 std::string("SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Windows")}) {
    maybe(Hive::LocalMachine, key, u"AppInit_DLLs", regtype::kSz, random() % 2 ? "" : Sz(u"C:\\h\\hook.dll"));
  }
}

// Scheduled tasks with twins of the same name in other folders and names
// alike but for a blank or an extension: listed by the scheduler, or only
// from the store (a scheduler that cannot enumerate; a registration hidden
// from it), some the user may not delete, some it may not even read.
std::string TaskXmlOf(const std::string& folder, const std::string& name) {
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?><Task><Actions><Exec><Command>C:\\t" + folder + "\\" + name +
         ".exe</Command></Exec></Actions></Task>";
}
void SeedTasks(std::mt19937& random, test::FakeTaskScheduler& tasks) {
  tasks.enumerable = random() % 4 != 0;
  for (const char* folder : {"\\", "\\A", "\\B", "\\B\\Deep"}) {
    for (const char* name : {"Twin", "Twin ", "Twin.exe", "Upd"}) {
      if (random() % 3 != 0) continue;
      const bool inStore = random() % 2;
      test::FakeTaskScheduler::Task& task = inStore ? tasks.AddWithFile(folder, name, TaskXmlOf(folder, name))
                                                    : tasks.Add(folder, name, TaskXmlOf(folder, name));
      task.hidden = inStore && random() % 4 == 0;
      task.readable = inStore || random() % 6 != 0;
      task.deletable = random() % 5 != 0;
    }
  }
}

void Seed(std::mt19937& random, test::FakePlatform& fakes) {
  for (std::size_t k = 0; k < std::size(kKeys); ++k) {
    std::vector<FakeRegistry::Value>& values = fakes.registry.Key(kKeys[k].hive, kKeys[k].path);
    // A machine-wide key a standard user may only read (KEY_READ).
    if (kKeys[k].hive != Hive::CurrentUser && random() % 3 == 0) fakes.registry.Grant(kKeys[k].hive, kKeys[k].path, 0x20019);
    for (const std::u16string& name : ValueNames(k)) {
      if (random() % 3 != 0) continue;
      switch (random() % 4) {
        case 0: values.push_back({name, regtype::kDword, std::string(random() % 5, '\x7')}); break;
        case 1: values.push_back({name, regtype::kExpandSz, test::Utf16Le(u"%SystemRoot%\\x.exe")}); break;
        default: values.push_back({name, regtype::kSz, test::Utf16Le(RandomText(random)) + std::string(2, '\0')}); break;
      }
    }
  }
  SeedAutostartPoints(random, fakes);
  for (const std::string& folder : {kUserFolder, kCommonFolder}) {
    for (const char* name : kFileNames) {
      if (random() % 2 != 0) continue;
      const std::string path = folder + "\\" + name;
      fakes.files.AddFile(path, std::string(1 + random() % 8, static_cast<char>('a' + random() % 26)));
      if (random() % 3 == 0) fakes.files.readOnly.insert(path);
    }
  }
  for (const char* name : {"Spooler", "spooler ", "Sync"}) {
    if (random() % 2 != 0) continue;
    fakes.services.services.push_back({name, std::string(name) + " service", random() % 3 ? "Running" : "Stopped",
                                       random() % 4 != 0});
  }
  fakes.files.AddFile("C:\\WINDOWS\\win.ini", random() % 2 ? "[windows]\r\nload=C:\\x.exe\r\n" : "");
  SeedTasks(random, fakes.tasks);
}

// A task as the campaign compares it: its path, letter case aside, and its XML.
using TaskState = std::set<std::pair<std::string, std::string>>;
TaskState TasksOf(const test::FakeTaskScheduler& tasks) {
  TaskState state;
  for (const auto& task : tasks.tasks) {
    state.insert({test::Folded(Utf16ToUtf8(TaskPath{Utf8ToUtf16(task.folder), Utf8ToUtf16(task.name)}.Full())), task.xml});
  }
  return state;
}
// True when the backup's Tasks folder holds a copy of this XML (each seeded task's is its own).
bool TaskSaved(const test::FakeFileSystem& files, const std::string& xml) {
  return std::any_of(files.files.begin(), files.files.end(), [&](const auto& file) {
    return file.first.starts_with(kBackup + "\\Tasks\\") && file.second.starts_with("\xFF\xFE") &&
           Utf16LeToUtf8(file.second.substr(2)) == xml;
  });
}

// What a listed row stands for, as the campaign names the seeded items:
// "value:<key's id>:<name as UTF-16LE bytes>", "file:<path>",
// "service:<name>"; empty for a system-file line. Fails when the row's texts
// do not show its item, or its item was not seeded.
std::string Meaning(test::CollectorForm1& form, test::FakePlatform& fakes, const test::FakeWindow::Row& row) {
  const std::vector<std::string>& texts = row.texts;
  if (texts[0] == "SERVICES") return "service:" + texts[1];
  if (texts[0] == "SYSFILE") return "";
  const StartupItem* item = form.items_.Find(row.item);
  if (!item) throw std::runtime_error("a listed row carries no item");
  if (const auto* task = std::get_if<ScheduledTaskItem>(item)) {
    if (texts[1] != Utf16ToUtf8(task->path.folder) || texts[2] != Utf16ToUtf8(task->path.name) ||
        !fakes.tasks.Find(task->path)) {
      throw std::runtime_error("a Tasks row does not stand for the task it shows: " + texts[2]);
    }
    return "task:" + test::Folded(Utf16ToUtf8(task->path.Full()));
  }
  if (const auto* value = std::get_if<RegistryValueItem>(item)) {
    const std::string keyPath = Utf16ToUtf8(value->keyPath);
    if (texts[1] != FindHive(value->hive)->prefix + ValueNameText(value->keyPath) ||
        (!value->element && texts[2] != ValueNameText(value->name))) {
      throw std::runtime_error("a registry row does not show its value: " + texts[2]);
    }
    const std::string id = FakeRegistry::Id(value->hive, keyPath);
    if (value->element) {
      if (texts[2] != ValueNameText(value->name) + ": " + ValueNameText(*value->element)) {
        throw std::runtime_error("a list's row does not show its element: " + texts[2]);
      }
      return "element:" + id + ":" + test::Utf16Le(value->name) + ":" + test::Utf16Le(*value->element);
    }
    if (auto key = fakes.registry.keys.find(id); key != fakes.registry.keys.end()) {
      for (const FakeRegistry::Value& seeded : key->second) {
        if (seeded.name == value->name) return "value:" + id + ":" + test::Utf16Le(value->name);
      }
    }
    throw std::runtime_error("a registry row stands for nothing seeded: " + texts[2]);
  }
  const auto& file = std::get<StartupFileItem>(*item);
  const std::string path = fakes.files.Resolve(file.Path());
  if (texts[2] != Utf16ToUtf8(file.name) || path != texts[1] + "\\" + texts[2] || !fakes.files.files.count(path)) {
    throw std::runtime_error("a Startup row does not stand for the file it shows: " + texts[2]);
  }
  return "file:" + path;
}

// Puts the walk's backup back as its user would: registry.reg imported (its
// comment lines through the native calls), the files copied back to the
// folders the note names. Then the seeded items must all be there again, byte
// for byte.
std::string Restore(test::FakePlatform& fakes, const std::map<std::string, std::vector<FakeRegistry::Value>>& registryBefore,
                    const std::map<std::string, std::string>& filesBefore, const std::set<std::string>& readOnlyBefore,
                    const TaskState& tasksBefore) {
  auto reg = fakes.files.files.find(kBackup + "\\registry.reg");
  if (reg != fakes.files.files.end()) {
    const auto values = test::ReadRegFile(reg->second);
    if (!values) return "registry.reg does not read";
    for (const test::ImportedValue& value : *values) {
      const auto hives = Hives();
      const auto hive = std::find_if(hives.begin(), hives.end(), [&](const HiveInfo& h) {
        return value.key.starts_with(Utf8ToUtf16(h.name) + u"\\");
      });
      if (hive == hives.end()) return "registry.reg names an unknown hive";
      const std::string path = Utf16ToUtf8(value.key.substr(std::string(hive->name).size() + 1));
      if (!fakes.registry.keys.count(FakeRegistry::Id(hive->hive, path))) return "registry.reg names an unknown key";
      if (value.comment == (RegFileCanSpell(value.name) && RegFileCanSpellKey(value.key))) return "a value in the wrong form";
      // As importing it does: the value is written, over one of its name.
      std::vector<FakeRegistry::Value>& key = fakes.registry.Key(hive->hive, path);
      auto same = std::find_if(key.begin(), key.end(), [&](const auto& v) { return v.name == value.name; });
      if (same == key.end()) {
        key.push_back({value.name, value.type, value.data});
      } else {
        *same = {value.name, value.type, value.data};
      }
    }
  }
  auto note = fakes.files.files.find(kBackup + "\\How to restore.txt");
  const std::u16string text = note == fakes.files.files.end() ? u"" : FromUtf16Le(note->second.substr(2));
  for (std::size_t at = 0; (at = text.find(u"  ->  ", at)) != std::u16string::npos; at += 6) {
    const std::size_t start = text.rfind(u"\r\n    ", at) + 6, end = text.find(u"\r\n", at);
    const std::string saved = kBackup + "\\" + Utf16ToUtf8(text.substr(start, at - start)) + "\\";
    const std::string original = Utf16ToUtf8(text.substr(at + 6, end - at - 6)) + "\\";
    for (const std::string& path : std::vector<std::string>(fakes.files.listingOrder)) {
      if (!path.starts_with(saved)) continue;
      // A folder of Wine's may hold names that differ only in case: put back as they were.
      fakes.files.AddFile(original + path.substr(saved.size()), fakes.files.files.at(path));
      if (fakes.files.readOnly.count(path)) fakes.files.readOnly.insert(original + path.substr(saved.size()));
    }
  }
  // Each task by the note's own line: schtasks /create /tn "<path>" /xml "<file>".
  const std::u16string kCreate = u"    schtasks /create /tn \"";
  for (std::size_t at = 0; (at = text.find(kCreate, at)) != std::u16string::npos; ++at) {
    const std::size_t pathEnd = text.find(u'"', at + kCreate.size());
    const std::u16string path = text.substr(at + kCreate.size(), pathEnd - at - kCreate.size());
    const std::size_t fileStart = text.find(u"/xml \"", pathEnd) + 6;
    const std::string file = Utf16ToUtf8(text.substr(fileStart, text.find(u'"', fileStart) - fileStart));
    if (!fakes.files.files.count(file) || !fakes.files.files.at(file).starts_with("\xFF\xFE")) {
      return "a task's saved XML is not UTF-16LE after its mark";
    }
    const std::size_t last = path.rfind(u'\\');
    const std::string folder = Utf16ToUtf8(last == 0 ? u"\\" : path.substr(0, last));
    fakes.tasks.AddWithFile(folder, Utf16ToUtf8(path.substr(last + 1)), Utf16LeToUtf8(fakes.files.files.at(file).substr(2)));
  }
  if (TasksOf(fakes.tasks) != tasksBefore) return "after the restore, the tasks are not as seeded";
  for (const auto& [id, values] : registryBefore) {
    if (!SameValues(Sorted(fakes.registry.keys.at(id)), Sorted(values))) {
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

// Whether the backup on the disk now holds every seeded item gone from its
// place: the walk may end at any yield (the user closes the window).
std::string BackupCovers(test::FakePlatform& fakes, const std::map<std::string, std::vector<FakeRegistry::Value>>& registryBefore,
                         const std::map<std::string, std::string>& filesBefore,
                         const std::vector<test::FakeTaskScheduler::Task>& tasksBefore) {
  for (const auto& task : tasksBefore) {
    if (fakes.tasks.Find({Utf8ToUtf16(task.folder), Utf8ToUtf16(task.name)})) continue;
    if (!TaskSaved(fakes.files, task.xml)) {
      return "at a yield, a deleted task is not saved in the backup";
    }
  }
  std::optional<std::optional<std::vector<test::ImportedValue>>> flushed;  // read when first needed
  for (const auto& [id, values] : registryBefore) {
    const std::vector<FakeRegistry::Value>& now = fakes.registry.keys.at(id);
    for (const FakeRegistry::Value& value : values) {
      // Deleted or written over (a reset): either way the value as it was must be saved.
      if (std::any_of(now.begin(), now.end(), [&](const auto& v) {
            return v.name == value.name && v.type == value.type && v.data == value.data;
          })) {
        continue;
      }
      if (!flushed) {
        flushed.emplace();
        for (auto it = fakes.files.flushes.rbegin(); it != fakes.files.flushes.rend() && !*flushed; ++it) {
          if (it->first == kBackup + "\\registry.reg") *flushed = test::ReadRegFile(it->second);
        }
      }
      if (!*flushed || std::none_of((*flushed)->begin(), (*flushed)->end(), [&](const test::ImportedValue& saved) {
            return saved.name == value.name && saved.type == value.type && saved.data == value.data;
          })) {
        return "at a yield, a deleted or reset value is not on the disk in registry.reg";
      }
    }
  }
  std::optional<std::string> text;
  for (const auto& [path, bytes] : filesBefore) {
    if (fakes.files.files.count(path) || path.starts_with(test::FakeTaskScheduler::kStore)) continue;
    if (!text) {
      auto note = fakes.files.files.find(kBackup + "\\How to restore.txt");
      text = note == fakes.files.files.end() ? "" : Utf16ToUtf8(FromUtf16Le(note->second.substr(2)));
    }
    const std::size_t separator = path.rfind('\\');
    bool covered = false;
    for (std::size_t at = 0; !covered && (at = text->find("  ->  " + path.substr(0, separator) + "\r\n", at)) != std::string::npos; ++at) {
      const std::size_t start = text->rfind("\r\n    ", at) + 6;
      covered = fakes.files.files.count(kBackup + "\\" + text->substr(start, at - start) + path.substr(separator)) > 0;
    }
    if (!covered) return "at a yield, a removed file is in no folder the note names";
  }
  return "";
}

// What a reset must write for a value Windows itself needs, from the test's
// own table of Windows' defaults (the fake's system folder is
// C:\WINDOWS\system32); nullopt for a command, which goes.
std::optional<StoredValue> WindowsDefault(const std::string& id, const std::u16string& name,
                                          const std::vector<FakeRegistry::Value>& before) {
  auto at = [&](const char* key) { return id == FakeRegistry::Id(Hive::LocalMachine, key); };
  const char* const winlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
  if (at(winlogon) && name == u"Shell") return StoredValue{regtype::kSz, Sz(u"explorer.exe")};
  if (at(winlogon) && name == u"Userinit") {
    return StoredValue{regtype::kSz, Sz(u"C:\\WINDOWS\\system32\\userinit.exe,")};
  }
  if (at("SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd") && name == u"StartupPrograms") {
    return StoredValue{regtype::kSz, Sz(u"rdpclip")};
  }
  if ((at("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows") ||
       at("SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Windows")) &&
      name == u"AppInit_DLLs") {
    return StoredValue{regtype::kSz, Sz(u"")};
  }
  if (at("SYSTEM\\ControlSet001\\Control\\Session Manager") && name == u"BootExecute") {
    const auto value = std::find_if(before.begin(), before.end(), [&](const auto& v) { return v.name == name; });
    return StoredValue{regtype::kMultiSz, test::BootExecuteAfterReset(value->data)};
  }
  return std::nullopt;
}

std::string RunRound(unsigned seed) {
  std::mt19937 random(seed);
  test::FakePlatform fakes;
  Seed(random, fakes);
  test::CollectorForm1 form(fakes.Get());
  for (CheckBox box : kAllCheckBoxes) fakes.window.Check(box) = 1;
  form.LoadItems();

  const auto registryBefore = fakes.registry.keys;
  const auto filesBefore = fakes.files.files;
  const auto readOnlyBefore = fakes.files.readOnly;
  auto servicesBefore = fakes.services.services;
  const auto seededTasks = fakes.tasks.tasks;
  const TaskState tasksBefore = TasksOf(fakes.tasks);
  std::set<std::string> listed;
  std::map<std::string, std::optional<StoredValue>> ticked;  // meaning -> what the value is written back to
  std::map<std::pair<std::string, std::u16string>, std::set<std::u16string>> tickedElements;  // by key id and value name
  for (test::FakeWindow::Row& row : fakes.window.rows) {
    std::string meaning;
    try {
      meaning = Meaning(form, fakes, row);
    } catch (const std::exception& fault) {
      return fault.what();
    }
    if (!meaning.empty() && !listed.insert(meaning).second) return "two rows stand for " + meaning;
    row.checked = random() % 5 < 2;
    if (!row.checked) continue;
    const StartupItem* item = form.items_.Find(row.item);
    const auto* value = item ? std::get_if<RegistryValueItem>(item) : nullptr;
    if (!value) {
      ticked[meaning] = std::nullopt;
      continue;
    }
    const std::string id = FakeRegistry::Id(value->hive, Utf16ToUtf8(value->keyPath));
    if (value->element) {
      tickedElements[{id, value->name}].insert(*value->element);
      continue;
    }
    ticked[meaning] = WindowsDefault(id, value->name, registryBefore.at(id));
  }
  // At every yield the backup holds what is gone; clicks that arrive then must change nothing.
  std::string atYield;
  bool refreshing = false;  // the walk is over: the list is gathered anew
  fakes.window.during = [&](const std::string& operation) {
    refreshing = refreshing || operation == "ClearRows";
    if (operation != "DoEvents") return;
    if (atYield.empty() && !refreshing) atYield = BackupCovers(fakes, registryBefore, filesBefore, seededTasks);
    if (random() % 2) {
      form.PushButton1_Click();
      form.PushButton4_Click();
    }
  };
  form.DeleteItem();
  fakes.window.during = nullptr;
  if (!atYield.empty()) return atYield;

  // Ticked values are gone, or hold Windows' own where Windows needs them;
  // every other is as it was, and so is every value of a key the user may only read.
  for (const auto& [id, values] : registryBefore) {
    std::vector<FakeRegistry::Value> expected;
    const bool readOnly = fakes.registry.granted.count(id) > 0;
    for (const FakeRegistry::Value& value : values) {
      auto it = ticked.find("value:" + id + ":" + test::Utf16Le(value.name));
      if (auto elements = tickedElements.find({id, value.name}); elements != tickedElements.end() && !readOnly) {
        // The ticked elements are out of the list, the others in their order.
        std::u16string kept;
        for (const std::u16string& element : Entries(value.type, value.data)) {
          if (!elements->second.count(element)) kept += element + u'\0';
        }
        expected.push_back({value.name, value.type, test::Utf16Le(kept + u'\0')});
      } else if (it == ticked.end() || readOnly) {
        expected.push_back(value);
      } else if (it->second) {
        expected.push_back({value.name, it->second->type, it->second->data});
      }
    }
    if (!SameValues(fakes.registry.keys.at(id), expected)) return "registry key " + id + " is not as expected";
  }
  // Exactly the ticked tasks the user may delete are gone, with their store files.
  for (const auto& task : seededTasks) {
    const TaskPath path{Utf8ToUtf16(task.folder), Utf8ToUtf16(task.name)};
    const std::string full = Utf16ToUtf8(path.Full());
    const bool gone = !fakes.tasks.Find(path);
    if (gone != (ticked.count("task:" + test::Folded(full)) && task.deletable)) return "task " + full + (gone ? " gone" : " kept");
    const std::string file = test::FakeTaskScheduler::StorePath(task.folder, task.name);
    if (filesBefore.count(file) && fakes.files.files.count(file) == gone) return "the store file of " + full + " is wrong";
  }
  for (const auto& [path, bytes] : filesBefore) {
    if (path.starts_with(kBackup) || path.starts_with(test::FakeTaskScheduler::kStore)) continue;
    const bool gone = !fakes.files.files.count(path);
    if (gone != static_cast<bool>(ticked.count("file:" + path))) return "file " + path + (gone ? " gone" : " kept");
    if (!gone && (fakes.files.files.at(path) != bytes || fakes.files.readOnly.count(path) != readOnlyBefore.count(path))) {
      return "file " + path + " changed";
    }
  }
  for (const auto& [path, bytes] : fakes.files.files) {
    if (!filesBefore.count(path) && !path.starts_with(kBackup + "\\")) return "file " + path + " appeared";
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
  return Restore(fakes, registryBefore, filesBefore, readOnlyBefore, tasksBefore);
}

TEST(DeleteCampaign, ExactlyTheTickedItemsGoAndNothingElseChanges) {
  test::RunCampaign(20261208, 30000, [&](unsigned seed) { return RunRound(seed); });
}

}  // namespace
}  // namespace vq
