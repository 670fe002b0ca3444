// A full LoadItems of the program on a seeded prefix against its floor, the
// least the same work can cost, measured in the same run (GatherFloor: the
// same sources enumerated raw, the same rows put in the list with its redraw
// suspended, the same number of message-loop yields).
// Seeds 1/10 of the data, then all of it: 10,000 Run values, 2,000 Startup
// files and a 5,000-line win.ini; then the same with 500 scheduled tasks,
// then with the running services too.
// Prints medians, the median of each run's ratio to its floor (and their
// spread), how the time grows with the data, the longest
// gap between two yields of the refresh (and, for the last two, of each of
// its steps), and the longest a message sent from another process waited for
// the window's answer.
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

// Names the step of LoadItems each yield falls in: a collector, or "list"
// (emptying the list and drawing it again).
class BenchForm : public Form1 {
 public:
  BenchForm(const Platform& platform, TimedWindow& window) : Form1(platform), window_(window) {}

 protected:
  void GetRegistryItems() override { window_.InStep("registry", [&] { Form1::GetRegistryItems(); }); }
  void GetStartup() override { window_.InStep("Startup", [&] { Form1::GetStartup(); }); }
  void GetSysFile() override { window_.InStep("system files", [&] { Form1::GetSysFile(); }); }
  void GetServices() override { window_.InStep("services", [&] { Form1::GetServices(); }); }
  void GetTasks() override { window_.InStep("tasks", [&] { Form1::GetTasks(); }); }

 private:
  TimedWindow& window_;
};

struct Figures {
  double program, floor, ratio, longestGap, unanswered;
  std::string spread;
  int rows, yields;
  std::map<std::string, double> longestGapByStep;
};

Figures Measure(int runs, bool tasks, bool services = false) {
  test::RealPlatform real;
  TimedWindow window;
  window.SetCheckValue(CheckBox::Check1, 1);
  window.SetCheckValue(CheckBox::Check2, 1);
  window.SetCheckValue(CheckBox::Check3, 1);
  window.SetCheckValue(CheckBox::Check4, services ? 1 : 0);
  window.SetCheckValue(CheckBox::Check5, tasks ? 1 : 0);
  BenchForm form({window, real.settings, real.files, real.registry, real.shell, real.services, real.skin, real.clock, real.images, real.profiles, real.tasks}, window);
  HWND list = ::GetDlgItem(window.hwnd(), win32::ControlId(Control::ListView1));

  std::vector<double> program, floor;
  Figures figures{};
  for (int run = 0; run <= runs; ++run) {
    window.yields = 0;
    window.longestGap = {};
    window.longestGapByStep.clear();
    window.step = "list";
    AnswerProbe probe(window.hwnd());
    const auto start = Stopwatch::now();
    window.StartTiming();
    form.LoadItems();
    window.StopTiming();
    const double took = Ms(Stopwatch::now() - start);
    const double unanswered = probe.Stop();
    const auto rows = ListRows(window);
    // The probe's messages, and the system's work in passing them, weigh on the floor as they weigh on the refresh.
    AnswerProbe floorProbe(window.hwnd());
    const double least = GatherFloor(list, rows, window.yields, tasks, services);
    floorProbe.Stop();
    if (run == 0) continue;  // warm-up
    program.push_back(took);
    floor.push_back(least);
    figures.longestGap = std::max(figures.longestGap, Ms(window.longestGap));
    figures.unanswered = std::max(figures.unanswered, unanswered);
    for (const auto& [step, gap] : window.longestGapByStep) {
      figures.longestGapByStep[step] = std::max(figures.longestGapByStep[step], Ms(gap));
    }
    figures.rows = static_cast<int>(rows.size());
    figures.yields = window.yields;
  }
  if (!window.messages.empty()) std::printf("error report: %s\n", window.messages[0].text.c_str());
  figures.program = Median(program);
  figures.floor = Median(floor);
  figures.ratio = MedianRatio(program, floor);
  figures.spread = RatioSpread(program, floor);
  return figures;
}

void PrintRow(const char* data, const Figures& f) {
  std::printf("%-34s %7d %7d %8.1f ms %7.1f ms %7.3f %9.2f ms %9.1f ms   %s\n", data, f.rows, f.yields, f.program,
              f.floor, f.ratio, f.longestGap, f.unanswered, f.spread.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  win32::ComApartment com;
  e2e::SavedFiles systemFiles(e2e::kSystemFiles);

  std::printf("LoadItems against its floor, median of %d runs\n", runs);
  std::printf("%-34s %7s %7s %10s %10s %7s %12s %12s   %s\n", "data", "rows", "yields", "program", "floor", "ratio",
              "longest gap", "unanswered", "ratios from-to");
  double tenth = 0;
  for (int scale : {1, 10}) {
    e2e::ClearAutorunKeys();
    SeedRunValues(1000 * scale);
    SeedStartupFiles(200 * scale);
    SeedSystemFiles(500 * scale);
    const Figures f = Measure(runs, false);
    std::printf("%5d values %5d files %5d lines %7d %7d %8.1f ms %7.1f ms %7.3f %9.2f ms %9.1f ms   %s\n",
                1000 * scale, 200 * scale, 500 * scale, f.rows, f.yields, f.program, f.floor, f.ratio, f.longestGap,
                f.unanswered, f.spread.c_str());
    if (scale == 1) tenth = f.program;
    if (scale == 10) std::printf("10x the data costs %.2fx the time\n", f.program / tenth);
  }
  // The same with 500 scheduled tasks in 50 folders of the task store, then
  // with the running services too.
  SeedTasks(500);
  const Figures withTasks = Measure(runs, true);
  PrintRow("the same and 500 tasks", withTasks);
  const Figures withServices = Measure(runs, true, true);
  PrintRow("the same and the services", withServices);
  std::printf("longest gap by step of the last two:");
  for (const Figures* f : {&withTasks, &withServices}) {
    std::printf("%s", f == &withTasks ? "" : ";");
    for (const auto& [step, gap] : f->longestGapByStep) std::printf(" %s %.1f ms", step.c_str(), gap);
  }
  std::printf("\n");
  SeedTasks(0);
  e2e::ClearAutorunKeys();
  SeedStartupFiles(0);
  return 0;
}
