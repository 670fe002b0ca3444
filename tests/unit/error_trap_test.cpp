#include "app/report_box.h"
#include "entries/error_trap.h"

#include <gtest/gtest.h>

#include "build_config.h"
#include "fakes/fake_platform.h"

namespace vq {
namespace {

using test::FakeWindow;

const std::string kTail = std::string("\r\rPlease email screenshot of this message to ") + kSupportEmail;

TEST(ErrorReport, MessageBytesAndLocationText) {
  EXPECT_EQ(LocationText("Form1", "LoadItems"), "in Kestrelbay2021/08/31.Form1.LoadItems ");
  EXPECT_EQ(BuildErrorReport("Type mismatch", "in Kestrelbay2021/08/31.Form1.Form_Load ", 146, "help@x.example"),
            "Type mismatch\r\nin Kestrelbay2021/08/31.Form1.Form_Load at line 146\r\r"
            "Please email screenshot of this message to help@x.example");
  // An empty description leaves the first line empty.
  EXPECT_EQ(BuildErrorReport("", "in L ", 104, "a@b"),
            "\r\nin L at line 104\r\rPlease email screenshot of this message to a@b");
}

TEST(ErrorTrap, ReportsEachFailingStatementInOrderAndResumesAtTheNext) {
  FakeWindow window;
  ReportBox box(window);
  ErrorTrap trap(box, LocationText("Form1", "LoadItems"));
  std::vector<int> ran;
  trap.Run(100, [&] { ran.push_back(100); });
  EXPECT_FALSE(trap.Run(102, [&] {
    ran.push_back(102);
    throw Failure("first");
    ran.push_back(-1);  // the rest of a failing statement does not run
  }));
  trap.Run(104, [&] { throw Failure("second"); });
  EXPECT_TRUE(trap.Run(106, [&] { ran.push_back(106); }));

  EXPECT_EQ(ran, (std::vector<int>{100, 102, 106}));
  ASSERT_EQ(window.boxes.size(), 2u);
  EXPECT_EQ(window.boxes[0].text, "first\r\nin Kestrelbay2021/08/31.Form1.LoadItems at line 102" + kTail);
  EXPECT_EQ(window.boxes[0].title, "Application Error");
  EXPECT_EQ(window.boxes[0].style, 48);
  EXPECT_EQ(window.boxes[1].text, "second\r\nin Kestrelbay2021/08/31.Form1.LoadItems at line 104" + kTail);
}

TEST(ErrorTrap, ConditionThatFailsIsReportedOnceAndItsActionStillRuns) {
  FakeWindow window;
  ReportBox box(window);
  ErrorTrap trap(box, "in L ");
  int actions = 0;
  trap.If(104, [&]() -> bool { throw Failure("cannot read the box"); }, [&] { ++actions; });
  trap.If(106, [&] { return false; }, [&] { ++actions; });
  trap.If(108, [&] { return true; }, [&] { ++actions; });
  EXPECT_EQ(actions, 2);
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].text, "cannot read the box\r\nin L at line 104" + kTail);
}

TEST(ErrorTrap, FailingActionOfOneLineConditionCarriesTheConditionsNumber) {
  FakeWindow window;
  ReportBox box(window);
  ErrorTrap trap(box, "in L ");
  trap.If(110, [] { return true; }, [] { throw Failure("collector"); });
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].text, "collector\r\nin L at line 110" + kTail);
}

TEST(ErrorTrap, FailingBodyStatementContinuesTheLoopAndFailingStepLeavesIt) {
  FakeWindow window;
  ReportBox box(window);
  ErrorTrap trap(box, "in L ");
  int index = 0;
  std::vector<int> seen;
  trap.Loop(
      106, 116, [&] { index = 1; return true; },
      [&] {
        if (index == 3) throw Failure("no next element");
        ++index;
        return true;
      },
      [&] {
        trap.Run(108, [&] {
          if (index == 2) throw Failure("bad element");
        });
        trap.Run(110, [&] { seen.push_back(index); });
      });
  bool after = false;
  trap.Run(118, [&] { after = true; });

  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(after);
  ASSERT_EQ(window.boxes.size(), 2u);
  EXPECT_EQ(window.boxes[0].text, "bad element\r\nin L at line 108" + kTail);
  EXPECT_EQ(window.boxes[1].text, "no next element\r\nin L at line 116" + kTail);
}

TEST(ErrorTrap, LoopWhoseFirstStepFailsRunsNoBody) {
  FakeWindow window;
  ReportBox box(window);
  ErrorTrap trap(box, "in L ");
  int bodies = 0;
  trap.Loop(
      104, 120, []() -> bool { throw Failure("no listing"); }, [] { return false; }, [&] { ++bodies; });
  EXPECT_EQ(bodies, 0);
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_NE(window.boxes[0].text.find("at line 104"), std::string::npos);
}

// Routines without a trap of their own: their failure ends them and is
// reported at the trapped caller's calling statement.
void UntrappedInner(std::vector<std::string>& steps) {
  steps.push_back("inner");
  throw Failure("deep failure");
}
void UntrappedOuter(std::vector<std::string>& steps) {
  UntrappedInner(steps);
  steps.push_back("outer after inner");
}

TEST(ErrorTrap, UntrappedCalleeFailureSurfacesAtTheCallingStatement) {
  FakeWindow window;
  ReportBox box(window);
  ErrorTrap trap(box, LocationText("Form1", "Form_Load"));
  std::vector<std::string> steps;
  trap.Run(126, [&] { UntrappedOuter(steps); });
  trap.Run(128, [&] { steps.push_back("next statement"); });
  EXPECT_EQ(steps, (std::vector<std::string>{"inner", "next statement"}));
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].text, "deep failure\r\nin Kestrelbay2021/08/31.Form1.Form_Load at line 126" + kTail);
}

TEST(ErrorTrap, AReportThatCannotBeShownDoesNotStopTheProcedure) {
  FakeWindow window;
  window.Fail("ShowMessage", "no desktop");
  ReportBox box(window);
  ErrorTrap trap(box, "in L ");
  trap.Run(100, [] { throw Failure("x"); });
  bool ran = false;
  trap.Run(102, [&] { ran = true; });
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace vq
