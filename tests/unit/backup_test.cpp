#include "removal/backup.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "collectors/mod_registry.h"
#include "support/reg_reader.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using test::Row;

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kUser = "C:\\Users\\Ann\\Start Menu\\Programs\\Startup";
const std::string kCommon = "C:\\ProgramData\\Start Menu\\Programs\\Startup";
const std::string kBackups = "C:\\Users\\Ann\\AppData\\Local\\Marrowfen\\Vellorin Quade\\Backups";
const std::string kFolder = kBackups + "\\2026-12-08 14.03.07";

// The restore note, as UTF-8.
std::string NoteOf(const test::FakeFileSystem& files) {
  const std::string& bytes = files.files.at(kFolder + "\\How to restore.txt");
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  return Utf16ToUtf8(FromUtf16Le(bytes.substr(2)));
}

// Ticks and removes one read-only Startup file whose move to the backup
// crosses volumes, so it goes by a copy.
void RemoveAcrossVolumes(test::FakePlatform& fakes, const std::string& name) {
  test::CollectorForm1 form(fakes.Get());
  fakes.files.AddFile(kUser + "\\" + name, name);
  fakes.files.readOnly.insert(kUser + "\\" + name);
  fakes.files.otherVolume = true;
  fakes.window.rows.push_back({true, {"STARTUP", kUser, name, ""}});
  form.DeleteItem();
}

class BackupTest : public test::CollectorTest {
 protected:
  void Tick(const std::vector<std::string>& texts) { window.rows.push_back({true, texts}); }
  std::vector<test::ImportedValue> Saved() {
    auto values = test::ReadRegFile(files.files.at(kFolder + "\\registry.reg"));
    EXPECT_TRUE(values);
    return values.value_or(std::vector<test::ImportedValue>{});
  }
  std::string Note() { return NoteOf(files); }
  // The contents registry.reg had at each of its flushes.
  std::vector<std::string> RegFlushes() {
    std::vector<std::string> flushed;
    for (const auto& [path, bytes] : files.flushes) {
      if (path == kFolder + "\\registry.reg") flushed.push_back(bytes);
    }
    return flushed;
  }
  test::FakeRegistry& registry = fakes.registry;
  test::FakeFileSystem& files = fakes.files;
};

// A program started the usual way may only read the machine-wide keys, even
// for an administrator. Every entry is listed all the same; the walk removes
// and saves what the user may change, and leaves the rest, unsaved, as it is.
TEST_F(BackupTest, StandardUser_EveryEntryListedOnlyWhatTheUserMayChangeRemovedAndSaved) {
  constexpr std::uint32_t kKeyRead = 0x20019;  // what a standard user has on a machine-wide key
  const std::pair<Hive, std::string> machineKeys[] = {
      {Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
      {Hive::Users, ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"},
  };
  for (const auto& [hive, key] : machineKeys) {
    registry.SetText(hive, key, "Machine", u"C:\\m\\m.exe");
    registry.Key(hive, key).push_back({"Expanded", regtype::kExpandSz, test::Utf16Le(u"%ProgramFiles%\\m.exe") + std::string(2, '\0')});
    registry.Grant(hive, key, kKeyRead);
  }
  registry.SetText(Hive::CurrentUser, kRun, "Mine", u"C:\\u\\u.exe");
  registry.Key(Hive::CurrentUser, kRun).push_back({"Roaming", regtype::kExpandSz, test::Utf16Le(u"%APPDATA%\\x.exe") + std::string(2, '\0')});
  const auto before = registry.keys;

  form.GetRegistryItems();
  std::vector<std::string> listed;
  for (const Row& row : Rows()) listed.push_back(row.texts[1] + "|" + row.texts[2]);
  std::vector<std::string> expected;
  for (const auto& [hive, key] : machineKeys) {
    for (const char* name : {"Machine", "Expanded"}) expected.push_back(HivePrefix(hive) + key + "|" + name);
  }
  for (const char* name : {"Mine", "Roaming"}) expected.push_back("HKCU:" + kRun + "|" + name);
  std::sort(listed.begin(), listed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listed, expected) << "the machine-wide entries, readable only, are listed";
  EXPECT_EQ(Rows().back().texts[3], "") << "a text with no drive in it names no folder";

  for (auto& row : window.rows) row.checked = true;
  form.DeleteItem();
  EXPECT_TRUE(registry.Key(Hive::CurrentUser, kRun).empty()) << "the user's own go";
  for (const auto& [hive, key] : machineKeys) {
    const std::string id = test::FakeRegistry::Id(hive, key);
    EXPECT_EQ(registry.keys.at(id).size(), before.at(id).size()) << key << ": the refused ones stay";
  }
  std::vector<std::u16string> saved;
  for (const test::ImportedValue& value : Saved()) saved.push_back(value.name);
  EXPECT_EQ(saved, (std::vector<std::u16string>{u"Mine", u"Roaming"})) << "only what went is in the backup";
  EXPECT_TRUE(Reports().empty()) << "a refusal is not reported";
  EXPECT_EQ(registry.openKeys, 0);
}

TEST_F(BackupTest, ValuesAreSavedAsTheyAreNowAndOnTheDiskBeforeTheirDelete) {
  registry.SetText(Hive::CurrentUser, kRun, "A", u"a.exe");
  registry.SetText(Hive::CurrentUser, kRun, "B", u"b.exe");
  registry.SetText(Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "C", u"c.exe");
  files.AddFile(kUser + "\\s.lnk", "startup");
  Tick({"REGISTRY", "HKCU:" + kRun, "A", ""});
  Tick({"REGISTRY", "HKCU:" + kRun, "B", ""});
  Tick({"STARTUP", kUser, "s.lnk", kUser + "\\"});
  Tick({"REGISTRY", "HKLM:SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "C", ""});
  registry.Key(Hive::CurrentUser, kRun)[1].data = test::Utf16Le(u"changed.exe") + std::string(2, '\0');
  std::vector<std::size_t> flushedBeforeDelete;
  registry.beforeDelete = [&](const std::string& name) {
    flushedBeforeDelete.push_back(RegFlushes().size());
    EXPECT_NE(Note().find("reg import"), std::string::npos) << "the note speaks of registry.reg before a delete";
    const auto flushed = test::ReadRegFile(RegFlushes().back());
    ASSERT_TRUE(flushed);
    EXPECT_TRUE(std::any_of(flushed->begin(), flushed->end(),
                            [&](const test::ImportedValue& value) { return value.name == Utf8ToUtf16(name); }))
        << name << " is on the disk before it goes";
  };
  form.DeleteItem();

  EXPECT_EQ(flushedBeforeDelete, (std::vector<std::size_t>{1, 1, 2})) << "one flush for a run of registry rows";
  const std::vector<test::ImportedValue> saved = Saved();
  ASSERT_EQ(saved.size(), 3u);
  EXPECT_EQ(saved[1].key, u"HKEY_CURRENT_USER\\" + Utf8ToUtf16(kRun));
  EXPECT_EQ(saved[1].data, test::Utf16Le(u"changed.exe") + std::string(2, '\0')) << "read again, not the row";
  EXPECT_EQ(saved[2].key, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  EXPECT_EQ(files.files.at(kFolder + "\\Startup files\\User\\s.lnk"), "startup");
  const std::string restore = Note();
  EXPECT_NE(restore.find("reg import \"" + kFolder + "\\registry.reg\" /reg:64"), std::string::npos) << restore;
  EXPECT_NE(restore.find("Startup files\\User  ->  " + kUser + "\r\n"), std::string::npos) << restore;
  EXPECT_TRUE(registry.Key(Hive::CurrentUser, kRun).empty());
  EXPECT_TRUE(window.boxes.empty());
}

TEST_F(BackupTest, FilesOfOneNameFromBothFoldersBothSurviveWithTheirAttributes) {
  files.AddFile(kUser + "\\a.lnk", "user");
  files.AddFile(kCommon + "\\a.lnk", "common");
  files.readOnly.insert(kCommon + "\\a.lnk");
  Tick({"STARTUP", kUser, "a.lnk", kUser + "\\"});
  Tick({"STARTUP", kCommon, "a.lnk", kCommon});
  form.DeleteItem();
  EXPECT_EQ(files.files.at(kFolder + "\\Startup files\\User\\a.lnk"), "user");
  EXPECT_EQ(files.files.at(kFolder + "\\Startup files\\All Users\\a.lnk"), "common");
  EXPECT_TRUE(files.readOnly.count(kFolder + "\\Startup files\\All Users\\a.lnk"));
  EXPECT_FALSE(files.files.count(kUser + "\\a.lnk"));
  EXPECT_FALSE(files.files.count(kCommon + "\\a.lnk"));

  // Where a move cannot be made, a copy is kept and the file deleted as always.
  test::FakePlatform other;
  RemoveAcrossVolumes(other, "b.lnk");
  EXPECT_EQ(other.files.files.at(kFolder + "\\Startup files\\User\\b.lnk"), "b.lnk");
  EXPECT_TRUE(other.files.readOnly.count(kFolder + "\\Startup files\\User\\b.lnk"));
  EXPECT_FALSE(other.files.files.count(kUser + "\\b.lnk"));

  // A forced delete that fails once the file is set to go (its read-only
  // attribute not put back, the delete not called off) has taken the file:
  // its copy stays, and the note names the file as removed.
  test::FakePlatform gone;
  gone.files.Fail("ForcedDeleteFinish", "The delete cannot be called off");
  RemoveAcrossVolumes(gone, "c.lnk");
  EXPECT_FALSE(gone.files.files.count(kUser + "\\c.lnk"));
  EXPECT_EQ(gone.files.files.at(kFolder + "\\Startup files\\User\\c.lnk"), "c.lnk") << "never both gone";
  EXPECT_NE(NoteOf(gone.files).find("User  ->  " + kUser + "\r\n"), std::string::npos) << NoteOf(gone.files);
}

TEST_F(BackupTest, TakenNamesGetANumberAndAWalkThatDeletesNothingLeavesNoFolder) {
  for (const char* level : {"\\Marrowfen", "\\Marrowfen\\Vellorin Quade", "\\Marrowfen\\Vellorin Quade\\Backups"}) {
    files.folders.insert("C:\\Users\\Ann\\AppData\\Local" + std::string(level));
  }
  files.folders.insert(kFolder);
  files.AddFile(kFolder + " (2)", "a file of that name");
  registry.SetText(Hive::CurrentUser, kRun, "A", u"a.exe");
  registry.SetText(Hive::CurrentUser, kRun, "Protected", u"p.exe");
  registry.protectedNames.insert(u"Protected");
  Tick({"REGISTRY", "HKCU:" + kRun, "A", ""});
  form.DeleteItem();
  EXPECT_EQ(test::ReadRegFile(files.files.at(kFolder + " (3)\\registry.reg"))->size(), 1u);

  window.rows.clear();
  Tick({"REGISTRY", "HKCU:" + kRun, "Protected", ""});
  form.DeleteItem();
  EXPECT_EQ(registry.Key(Hive::CurrentUser, kRun).size(), 1u);
  EXPECT_FALSE(files.folders.count(kFolder + " (4)")) << "nothing was deleted, so nothing is kept";
  EXPECT_FALSE(files.files.count(kFolder + " (4)\\registry.reg"));
}

// A failure of each step of the backup keeps what it was to save in its
// place; a write that fails takes the whole run of values out of
// registry.reg again, and a cut that fails ends all removing.
TEST_F(BackupTest, WhatCannotBeSavedStaysAndTheBackupNeverBreaks) {
  struct Case {
    const char* fake;       // "files" or "registry"
    const char* operation;  // the failing one
    int succeeding;         // calls of it that succeed first
    int times;              // calls of it that fail then
    std::vector<std::u16string> valuesLeft;
    bool fileLeft;
    std::vector<std::u16string> inRegFile;
  };
  const Case cases[] = {

      {"files", "Flush", 0, 1, {u"A", u"B"}, false, {u"C"}},
      {"files", "CreateNewFile", 0, -1, {u"A", u"B", u"C"}, true, {}},  // no registry.reg, no note
      {"files", "CopyExactly", 0, -1, {}, true, {u"A", u"B", u"C"}},  // with the move refused too
      {"registry", "QueryValue", 2, 1, {u"C"}, false, {u"A", u"B"}},
      {"registry", "OpenKey", 1, 1, {u"C"}, false, {u"A", u"B"}},  // C's key refused: neither saved nor deleted
  };
  for (const Case& c : cases) {
    test::FakePlatform fakes;
    test::CollectorForm1 form(fakes.Get());
    for (const char* name : {"A", "B", "C"}) fakes.registry.SetText(Hive::CurrentUser, kRun, name, u"x.exe");
    fakes.files.AddFile(kUser + "\\s.lnk", "s");
    for (const char* name : {"A", "B"}) fakes.window.rows.push_back({true, {"REGISTRY", "HKCU:" + kRun, name, ""}});
    fakes.window.rows.push_back({true, {"STARTUP", kUser, "s.lnk", ""}});
    fakes.window.rows.push_back({true, {"REGISTRY", "HKCU:" + kRun, "C", ""}});
    test::FailurePlan& plan = std::string(c.fake) == "files" ? static_cast<test::FailurePlan&>(fakes.files)
                                                            : static_cast<test::FailurePlan&>(fakes.registry);
    plan.Fail(c.operation, "refused", c.succeeding, c.times);
    fakes.files.otherVolume = std::string(c.operation) == "CopyExactly";
    form.DeleteItem();

    std::vector<std::u16string> left;
    for (const auto& value : fakes.registry.Key(Hive::CurrentUser, kRun)) left.push_back(value.name);
    EXPECT_EQ(left, c.valuesLeft) << c.operation;
    EXPECT_EQ(fakes.files.files.count(kUser + "\\s.lnk"), c.fileLeft ? 1u : 0u) << c.operation;
    std::vector<std::u16string> saved;
    if (auto reg = fakes.files.files.find(kFolder + "\\registry.reg"); reg != fakes.files.files.end()) {
      const auto values = test::ReadRegFile(reg->second);
      ASSERT_TRUE(values) << c.operation << ": registry.reg always imports";
      for (const auto& value : *values) saved.push_back(value.name);
    }
    EXPECT_EQ(saved, c.inRegFile) << c.operation << ": it holds exactly what was deleted";
    EXPECT_TRUE(fakes.window.boxes.empty()) << c.operation;
  }

  // A cut that fails too leaves registry.reg in doubt: nothing more is removed in the walk.
  test::FakePlatform fakes;
  test::CollectorForm1 form(fakes.Get());
  for (const char* name : {"A", "C"}) fakes.registry.SetText(Hive::CurrentUser, kRun, name, u"x.exe");
  fakes.files.AddFile(kUser + "\\s.lnk", "s");
  fakes.window.rows.push_back({true, {"REGISTRY", "HKCU:" + kRun, "A", ""}});
  fakes.window.rows.push_back({true, {"STARTUP", kUser, "s.lnk", ""}});
  fakes.window.rows.push_back({true, {"REGISTRY", "HKCU:" + kRun, "C", ""}});
  fakes.files.Fail("Flush", "The disk is full");
  fakes.files.Fail("CutTo", "The disk is full");
  form.DeleteItem();
  EXPECT_EQ(fakes.registry.Key(Hive::CurrentUser, kRun).size(), 2u);
  EXPECT_TRUE(fakes.files.files.count(kUser + "\\s.lnk"));
}

// A removal that failed takes its item out of registry.reg and the note:
// each is written anew once, at the end, and put in the old one's place.
TEST_F(BackupTest, WhatCouldNotBeRemovedLeavesTheBackupAtTheEnd) {
  registry.SetText(Hive::CurrentUser, kRun, "A", u"a.exe");
  registry.Key(Hive::CurrentUser, kRun).push_back({std::u16string(u"P\0x", 3), regtype::kSz, std::string("\1\0", 2)});
  registry.protectedNames.insert(std::u16string(u"P\0x", 3));
  files.AddFile(kUser + "\\busy.lnk.", "in use");
  files.readOnly.insert(kUser + "\\busy.lnk.");
  files.otherVolume = true;
  files.Fail("ForcedDelete", "The file is in use", 0, 1);
  window.Check(CheckBox::Check1) = window.Check(CheckBox::Check3) = 1;
  form.LoadItems();
  for (auto& row : window.rows) row.checked = true;
  std::string noteBeforeEnd;
  registry.beforeDelete = [&](const std::string&) { noteBeforeEnd = Note(); };
  form.DeleteItem();

  EXPECT_NE(noteBeforeEnd.find("PowerShell"), std::string::npos) << noteBeforeEnd;
  EXPECT_NE(noteBeforeEnd.find("'500000007800', 1, '0100'"), std::string::npos) << "the name's bytes: " << noteBeforeEnd;
  const std::vector<test::ImportedValue> saved = Saved();
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].name, u"A");
  const std::string note = Note();
  EXPECT_EQ(note.find("PowerShell"), std::string::npos) << note;
  EXPECT_EQ(note.find("busy"), std::string::npos) << note;
  EXPECT_FALSE(files.files.count(kFolder + "\\Startup files\\User\\busy.lnk.")) << "the copy went";
  EXPECT_TRUE(files.files.count(kUser + "\\busy.lnk.")) << "the file stayed";
  EXPECT_FALSE(files.files.count(kFolder + "\\registry.reg.new"));

  // A copy that cannot be deleted either is named in the note as one to leave out.
  test::FakePlatform stuck;
  stuck.files.Fail("ForcedDelete", "The file is in use");
  RemoveAcrossVolumes(stuck, "stuck.lnk");
  const std::string leftNote = NoteOf(stuck.files);
  EXPECT_NE(leftNote.find("do not copy them\r\nback, and delete them when you like:\r\n    \\\\?\\" + kFolder +
                          "\\Startup files\\User\\stuck.lnk\r\n"),
            std::string::npos)
      << leftNote;
}

// Names the registry editor cannot spell go into registry.reg as comment
// lines and into the note as PowerShell; names Explorer cannot handle get
// the exact copy command; a name a folder already holds in another letter
// case goes to a folder of its own.
TEST_F(BackupTest, NamesOnlyTheExactFormCanSpellAreSavedExactly) {
  registry.Key(Hive::CurrentUser, kRun).push_back({std::u16string(u"\0hidden", 7), regtype::kSz, std::string("\1\0", 2)});
  // A key the registry editor cannot spell ("]"), named with a quote PowerShell takes for its own.
  const std::string quoted = "Soft\xE2\x80\x99ware]x";
  registry.SetText(Hive::CurrentUser, quoted, "v", u"v.exe");
  for (const char* name : {"a.lnk", "A.lnk", "evil.lnk.", "nul.lnk", "50%.lnk.", "a%b.lnk"}) {
    files.AddFile(kUser + "\\" + name, name);
  }
  window.Check(CheckBox::Check1) = window.Check(CheckBox::Check3) = 1;
  form.LoadItems();
  for (auto& row : window.rows) row.checked = true;
  Tick({"REGISTRY", "HKCU:" + quoted, "v", ""});
  form.DeleteItem();

  const std::vector<test::ImportedValue> saved = Saved();
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_TRUE(saved[0].comment);
  EXPECT_EQ(saved[0].name, std::u16string(u"\0hidden", 7));
  const std::string note = Note();
  // Microsoft, Windows, CurrentVersion and Run below Software, each level by
  // its counted name and made where it is missing (a RunOnceEx key Windows
  // has since removed), in the 64-bit view whatever PowerShell runs it.
  const std::string levels = "'4d006900630072006f0073006f0066007400', '570069006e0064006f0077007300', "
                             "'430075007200720065006e007400560065007200730069006f006e00', '520075006e00'";
  EXPECT_NE(note.find("$hive = [Microsoft.Win32.RegistryKey]::OpenBaseKey('CurrentUser', 'Registry64')\r\n"
                      "$key = $hive.CreateSubKey('Software')\r\n"
                      "[VellorinRestore]::Set($key, @(" + levels + "), '0000680069006400640065006e00', 1, '0100')"),
            std::string::npos)
      << note;
  EXPECT_NE(note.find("NtCreateKey(out below, access,"), std::string::npos);
  EXPECT_NE(note.find("LeadsOn64 = 0x4 | 0x100, TakesValue64 = 0x2 | 0x100;"), std::string::npos);
  EXPECT_NE(note.find("$key = $hive.CreateSubKey('Soft\xE2\x80\x99\xE2\x80\x99ware]x')\r\n"
                      "[VellorinRestore]::Set($key, @(), '7600', 1, '76002e006500780065000000')"),
            std::string::npos)
      << "a typographic quote is doubled too: " << note;
  const std::string exactFolder = "\\\\?\\" + kFolder + "\\Startup files\\User";
  EXPECT_NE(note.find("copy /L \"" + exactFolder + "\\evil.lnk.\" \"\\\\?\\" + kUser + "\\evil.lnk.\""),
            std::string::npos)
      << note;
  // "%" cannot be typed at a command prompt: the system's copy takes the
  // exact paths, in hex, from PowerShell.
  auto hex = [](const std::string& text) {
    std::string digits;
    for (char byte : Utf16LeBytes(Utf8ToUtf16(text))) {
      digits += "0123456789abcdef"[static_cast<unsigned char>(byte) >> 4];
      digits += "0123456789abcdef"[byte & 0xF];
    }
    return digits;
  };
  EXPECT_NE(note.find("    # 50%.lnk.\r\n    [VellorinRestore]::Copy('" + hex(exactFolder + "\\50%.lnk.") + "', '" +
                      hex("\\\\?\\" + kUser + "\\50%.lnk.") + "')\r\n"),
            std::string::npos)
      << note;
  EXPECT_NE(note.find("public static int Copy(string fromHex, string toHex)"), std::string::npos);
  EXPECT_EQ(note.find("copy /L \"" + exactFolder + "\\50%"), std::string::npos);
  EXPECT_EQ(note.find("a%b.lnk"), std::string::npos) << "Explorer copies it back";
  EXPECT_NE(note.find("\\nul.lnk\""), std::string::npos) << note;
  EXPECT_EQ(note.find("\\a.lnk\""), std::string::npos) << "a plain name needs no command: " << note;
  EXPECT_EQ(files.files.at(kFolder + "\\Startup files\\User\\a.lnk"), "a.lnk");
  EXPECT_EQ(files.files.at(kFolder + "\\Startup files\\User (2)\\A.lnk"), "A.lnk");
  EXPECT_NE(note.find("Startup files\\User (2)  ->  " + kUser + "\r\n"), std::string::npos) << note;
}

}  // namespace
}  // namespace vq
