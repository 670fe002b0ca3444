// A full LoadItems of the program on a seeded prefix against its floor, the
// least the same work can cost, measured in the same run (GatherFloor: the
// same sources enumerated raw, the same rows put in the list with its redraw
// suspended, the same number of message-loop yields).
// Seeds 1/10 of the data, then all of it: 10,000 Run values, 2,000 Startup
// files and a 5,000-line win.ini; then the same with 500 scheduled tasks.
// Prints medians, the ratio, how the time grows with the data, and the
// longest gap between two yields while the registry collector runs, and the
// longest a message sent from another process waited for the window's answer.
//   collectors_bench [runs]
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "app/form1.h"
#include "bench/bench_support.h"
#include "e2e/harness.h"

using namespace vq;
using namespace vq::bench;

namespace {

// Times the gaps between yields while the registry collector runs.
class BenchForm : public Form1 {
 public:
  BenchForm(const Platform& platform, TimedWindow& window) : Form1(platform), window_(window) {}

 protected:
  void GetRegistryItems() override {
    window_.timing = true;
    window_.last = Stopwatch::now();
    Form1::GetRegistryItems();
    window_.longestGap = std::max(window_.longestGap, Stopwatch::now() - window_.last);
    window_.timing = false;
  }

 private:
  TimedWindow& window_;
};

struct Figures {
  double program, floor, longestGap, unanswered;
  int rows, yields;
};

Figures Measure(int runs, bool tasks) {
  test::RealPlatform real;
  TimedWindow window;
  window.SetCheckValue(CheckBox::Check1, 1);
  window.SetCheckValue(CheckBox::Check2, 1);
  window.SetCheckValue(CheckBox::Check3, 1);
  window.SetCheckValue(CheckBox::Check5, tasks ? 1 : 0);
  BenchForm form({window, real.settings, real.files, real.registry, real.shell, real.services, real.skin, real.clock, real.images, real.profiles, real.tasks}, window);
  HWND list = ::GetDlgItem(window.hwnd(), win32::ControlId(Control::ListView1));

  std::vector<double> program, floor;
  Figures figures{};
  for (int run = 0; run <= runs; ++run) {
    window.yields = 0;
    window.longestGap = {};
    AnswerProbe probe(window.hwnd());
    const auto start = Stopwatch::now();
    form.LoadItems();
    const double took = Ms(Stopwatch::now() - start);
    const double unanswered = probe.Stop();
    const auto rows = ListRows(window);
    const double least = GatherFloor(list, rows, window.yields, tasks);
    if (run == 0) continue;  // warm-up
    program.push_back(took);
    floor.push_back(least);
    figures.longestGap = std::max(figures.longestGap, Ms(window.longestGap));
    figures.unanswered = std::max(figures.unanswered, unanswered);
    figures.rows = static_cast<int>(rows.size());
    figures.yields = window.yields;
  }
  if (!window.messages.empty()) std::printf("error report: %s\n", window.messages[0].text.c_str());
  figures.program = Median(program);
  figures.floor = Median(floor);
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  win32::ComApartment com;
  e2e::SavedFiles systemFiles(e2e::kSystemFiles);

  std::printf("LoadItems (registry, Startup, system files) against its floor, median of %d runs\n", runs);
  std::printf("%-34s %7s %7s %10s %10s %7s %12s %12s\n", "data", "rows", "yields", "program", "floor", "ratio",
              "longest gap", "unanswered");
  double tenth = 0;
  for (int scale : {1, 10}) {
    e2e::ClearAutorunKeys();
    SeedRunValues(1000 * scale);
    SeedStartupFiles(200 * scale);
    SeedSystemFiles(500 * scale);
    const Figures f = Measure(runs, false);
    std::printf("%5d values %5d files %5d lines %7d %7d %8.1f ms %7.1f ms %7.3f %9.2f ms %9.1f ms\n", 1000 * scale,
                200 * scale, 500 * scale, f.rows, f.yields, f.program, f.floor, f.program / f.floor, f.longestGap,
                f.unanswered);
    if (scale == 1) tenth = f.program;
    if (scale == 10) std::printf("10x the data costs %.2fx the time\n", f.program / tenth);
  }
  // The same with 500 scheduled tasks in 50 folders of the task store.
  SeedTasks(500);
  const Figures f = Measure(runs, true);
  std::printf("%-34s %7d %7d %8.1f ms %7.1f ms %7.3f %9.2f ms %9.1f ms\n", "the same and 500 tasks", f.rows, f.yields,
              f.program, f.floor, f.program / f.floor, f.longestGap, f.unanswered);
  SeedTasks(0);
  e2e::ClearAutorunKeys();
  SeedStartupFiles(0);
  return 0;
}
