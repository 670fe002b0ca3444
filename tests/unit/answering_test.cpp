#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/text.h"
#include "support/reg_reader.h"
#include "unit/collector_test_support.h"

// The window answers all through long work: the collectors and the delete
// walk handle its events whenever they fall due, and nowhere a value saved
// for the walk is still to be deleted.
namespace vq {
namespace {

using test::Row;

class AnsweringTest : public test::CollectorTest {
 protected:
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string startup = "C:\\Users\\Ann\\Start Menu\\Programs\\Startup";
  void TickRunValues(int count) {
    for (int i = 0; i < count; ++i) {
      const std::string name = "Tool" + std::to_string(i);
      fakes.registry.SetText(Hive::CurrentUser, run, name, u"t.exe");
      window.rows.push_back({true, {"REGISTRY", "HKCU:" + run, name, ""}});
    }
  }
  // How many values each flush of the walk's registry.reg added.
  std::vector<std::size_t> RunsFlushed() const {
    std::vector<std::size_t> runs;
    std::size_t before = 0;
    for (const auto& [path, bytes] : fakes.files.flushes) {
      if (!path.ends_with("\\registry.reg")) continue;
      const std::size_t now = test::ReadRegFile(bytes).value().size();
      runs.push_back(now - before);
      before = now;
    }
    return runs;
  }
};

// Each Startup file (listed, then added) and each win.ini line is a point the
// events are handled at when due.
TEST_F(AnsweringTest, ARefreshListsTheSameRowsHoweverOftenTheEventsFallDue) {
  std::string winIni;
  for (int i = 0; i < 12; ++i) {
    fakes.files.AddFile(startup + "\\link" + std::to_string(i) + ".lnk");
    winIni += "load=C:\\w" + std::to_string(i) + ".exe\r\n";
  }
  fakes.files.AddFile("C:\\WINDOWS\\win.ini", winIni);
  window.Check(CheckBox::Check2) = window.Check(CheckBox::Check3) = 1;
  std::vector<Row> listed[2];
  long yields[2];
  for (int due : {0, 1}) {
    window.log.clear();
    window.eventsDueEvery = due;
    form.LoadItems();
    listed[due] = Rows();
    yields[due] = std::count(window.log.begin(), window.log.end(), "DoEvents");
  }
  EXPECT_EQ(listed[1], listed[0]);
  EXPECT_EQ(listed[0].size(), 24u);
  EXPECT_GE(yields[1] - yields[0], 3 * 12) << "each file as it is listed and as it is added, each line";
}

// Where a run's deletes end with the events due, the next run saves half as
// many values; after a full run in time, twice as many.
TEST_F(AnsweringTest, TheWalkAnswersBetweenRunsAndNeverBetweenAValuesSaveAndItsDelete) {
  TickRunValues(60);
  window.rows.push_back({true, {"STARTUP", startup, "a.lnk", startup + "\\"}});
  fakes.files.AddFile(startup + "\\a.lnk", "x");
  window.eventsDueEvery = 10;
  window.Check(CheckBox::Check1) = 1;

  const auto savedStillPresent = [&] {
    std::set<std::u16string> saved;
    for (const auto& [path, bytes] : fakes.files.files) {
      if (!path.ends_with("\\registry.reg")) continue;
      const auto values = test::ReadRegFile(bytes);
      EXPECT_TRUE(values) << "the backup is whole whenever the window answers";
      if (values) for (const test::ImportedValue& value : *values) saved.insert(value.name);
    }
    return std::count_if(fakes.registry.Key(Hive::CurrentUser, run).begin(),
                         fakes.registry.Key(Hive::CurrentUser, run).end(),
                         [&](const auto& value) { return saved.count(value.name) > 0; });
  };
  int answered = 0;
  window.during = [&](const std::string& operation) {
    if (operation != "DoEvents") return;
    ++answered;
    EXPECT_EQ(savedStillPresent(), 0) << "the window answered with a saved value not yet deleted";
    form.PushButton4_Click();  // a click meanwhile starts no second walk
  };
  form.DeleteItem();
  EXPECT_TRUE(fakes.registry.Key(Hive::CurrentUser, run).empty());
  EXPECT_FALSE(fakes.files.files.count(startup + "\\a.lnk"));
  EXPECT_GE(answered, 6) << "runs were cut where the events fell due";
  // 9 saved till the events fell due, deleted late: 4; in time and full: room
  // for 8, cut at 6 as the events fell due, deleted late: 3.
  const std::vector<std::size_t> runs = RunsFlushed();
  ASSERT_GE(runs.size(), 4u);
  EXPECT_EQ(std::vector<std::size_t>(runs.begin(), runs.begin() + 4), (std::vector<std::size_t>{9, 4, 6, 3}));
  EXPECT_TRUE(window.boxes.empty());
}

// A registry that never keeps the events waiting still has its values saved
// in runs: a few first, then twice as many each time, so that a run whose
// deletes take far longer than its saves cannot hold the window for long.
TEST_F(AnsweringTest, TheFirstRunSavesAFewAndEachRunInTimeTwiceAsMany) {
  TickRunValues(100);
  window.Check(CheckBox::Check1) = 1;
  form.DeleteItem();
  EXPECT_TRUE(fakes.registry.Key(Hive::CurrentUser, run).empty());
  EXPECT_EQ(RunsFlushed(), (std::vector<std::size_t>{32, 64, 4}));
}

// Closed while the walk waits, the program ends once the walk has stopped at
// its next row and its backup is finished: a value that would not go is not
// in it, and nothing after the close is touched.
TEST_F(AnsweringTest, ClosedDuringTheWalkTheProgramEndsWithTheBackupFinished) {
  for (const char* name : {"Gone", "Refused", "Later"}) fakes.registry.SetText(Hive::CurrentUser, run, name, u"t.exe");
  fakes.files.AddFile(startup + "\\a.lnk", "x");
  window.rows = {{true, {"REGISTRY", "HKCU:" + run, "Gone", ""}},
                 {true, {"REGISTRY", "HKCU:" + run, "Refused", ""}},
                 {true, {"STARTUP", startup, "a.lnk", startup + "\\"}},
                 {true, {"REGISTRY", "HKCU:" + run, "Later", ""}}};
  fakes.registry.protectedNames.insert(u"Refused");  // its delete fails
  window.during = [&](const std::string& operation) {
    if (operation != "DoEvents") return;
    form.Form_Unload();
    EXPECT_FALSE(window.ended) << "not in the middle of the walk";
  };
  window.answer = msgbox::kYes;
  form.PushButton4_Click();

  EXPECT_TRUE(window.ended);
  std::set<std::u16string> kept, saved;
  for (const auto& value : fakes.registry.Key(Hive::CurrentUser, run)) kept.insert(value.name);
  EXPECT_EQ(kept, (std::set<std::u16string>{u"Refused", u"Later"}));
  for (const auto& [path, bytes] : fakes.files.files) {
    if (!path.ends_with("\\registry.reg")) continue;
    const auto values = test::ReadRegFile(bytes);
    ASSERT_TRUE(values);
    for (const test::ImportedValue& value : *values) saved.insert(value.name);
  }
  EXPECT_EQ(saved, std::set<std::u16string>{u"Gone"}) << "the refused value left the backup when it was finished";
  EXPECT_EQ(std::count(window.log.begin(), window.log.end(), "ClearRows"), 0) << "no refresh";

  window.ended = false;
  form.Form_Unload();  // once the walk is over, closing ends the program at once
  EXPECT_TRUE(window.ended);
}

}  // namespace
}  // namespace vq
