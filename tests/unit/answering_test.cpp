#include <gtest/gtest.h>

#include <algorithm>

#include "platform/text.h"
#include "unit/collector_test_support.h"

// The window answers all through long work: the collectors and the delete
// walk handle its events whenever they fall due, and nowhere a value saved
// for the walk is still to be deleted.
namespace vq {
namespace {

using test::Row;

class AnsweringTest : public test::CollectorTest {
 protected:
  static constexpr int kEach = 12;  // Run values, Startup files, win.ini lines, services
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string startup = "C:\\Users\\Ann\\Start Menu\\Programs\\Startup";

  void SeedEverySource() {
    std::string winIni = "[windows]\r\n";
    for (int i = 0; i < kEach; ++i) {
      const std::string n = std::to_string(i);
      fakes.registry.SetText(Hive::CurrentUser, run, "Tool" + n, u"C:\\t" + Utf8ToUtf16(n) + u".exe");
      fakes.files.AddFile(startup + "\\link" + n + ".lnk");
      winIni += "load=C:\\w" + n + ".exe\r\n";
      fakes.services.services.push_back({"Svc" + n, "Service " + n, "Running"});
    }
    fakes.files.AddFile("C:\\WINDOWS\\win.ini", winIni);
    for (CheckBox box : kAllCheckBoxes) window.Check(box) = 1;
  }
  long DoEventsLogged() const { return std::count(window.log.begin(), window.log.end(), "DoEvents"); }
};

TEST_F(AnsweringTest, ARefreshListsTheSameRowsHoweverOftenTheEventsFallDue) {
  SeedEverySource();
  form.LoadItems();
  const std::vector<Row> unhurried = Rows();
  const long yieldsByCount = DoEventsLogged();
  ASSERT_GE(unhurried.size(), 4u * kEach);

  window.log.clear();
  window.eventsDueEvery = 1;
  form.LoadItems();
  EXPECT_EQ(Rows(), unhurried);
  // Each Startup file, win.ini line and service is a point the events are handled at when due.
  EXPECT_GE(DoEventsLogged() - yieldsByCount, 3 * kEach);

  EXPECT_TRUE(window.boxes.empty());
}

}  // namespace
}  // namespace vq
