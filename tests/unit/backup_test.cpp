#include "removal/backup.h"

#include <gtest/gtest.h>

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

class BackupTest : public test::CollectorTest {
 protected:
  void Tick(const std::vector<std::string>& texts) { window.rows.push_back({true, texts}); }
  std::vector<test::ImportedValue> Saved(const std::string& folder = kFolder) {
    auto values = test::ReadRegFile(files.files.at(folder + "\\registry.reg"));
    EXPECT_TRUE(values);
    return values.value_or(std::vector<test::ImportedValue>{});
  }
  // The restore note, as UTF-8.
  std::string Note(const std::string& folder = kFolder) {
    const std::string& bytes = files.files.at(folder + "\\How to restore.txt");
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    return Utf16ToUtf8(FromUtf16Le(bytes.substr(2)));
  }
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
  EXPECT_NE(restore.find("reg import \"" + kFolder + "\\registry.reg\""), std::string::npos) << restore;
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
  test::CollectorForm1 form2(other.Get());
  other.files.AddFile(kUser + "\\b.lnk", "b");
  other.files.readOnly.insert(kUser + "\\b.lnk");
  other.files.Fail("MoveNamedFile", "Not the same device");
  other.window.rows.push_back({true, {"STARTUP", kUser, "b.lnk", kUser + "\\"}});
  form2.DeleteItem();
  EXPECT_EQ(other.files.files.at(kFolder + "\\Startup files\\User\\b.lnk"), "b");
  EXPECT_TRUE(other.files.readOnly.count(kFolder + "\\Startup files\\User\\b.lnk"));
  EXPECT_FALSE(other.files.files.count(kUser + "\\b.lnk"));
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

}  // namespace
}  // namespace vq
