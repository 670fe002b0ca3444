#pragma once

#include <windows.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "platform/real_platform.h"

// What the benchmarks share: seeding the prefix, a main window that counts
// its yields, and the floor of a list gathering.
namespace vq::bench {

using e2e::ShellFolder;

using Stopwatch = std::chrono::steady_clock;

double Ms(Stopwatch::duration duration);
double Median(std::vector<double> samples);
// The median of each run's time over its floor, measured next to it: what the
// machine does meanwhile weighs on both of a pair alike.
double MedianRatio(const std::vector<double>& times, const std::vector<double>& floors);
// The least and the most of those ratios, as "0.981-1.204".
std::string RatioSpread(const std::vector<double>& times, const std::vector<double>& floors);

extern const std::wstring kRun;  // the current user's Run key

// Run values named "Bench Value <i>", each naming a program in its own folder.
void SeedRunValues(int count);
// Files "Bench <i>.lnk" in the user's Startup folder, after emptying both Startup folders.
void SeedStartupFiles(int count);
// Scheduled tasks "\VqBench\F<j>\Bench Task <i>", ten a folder, as Windows
// writes their files in the task store (after emptying \VqBench).
void SeedTasks(int count);
// The least walk of the scheduled tasks: the scheduler's folders listed
// through its COM interfaces (and each folder's tasks asked for), the task
// store's folders listed and each file read.
void ReadTasksRaw();
// The least walk of the services' management query: each one's state, and a running one's names.
void ReadServicesQueryRaw();

// win.ini of the given number of lines, half of them naming a program; the
// other system files are left with nothing to list.
void SeedSystemFiles(int lines);

// The real main window with the list's columns, counting its yields and,
// while `timing` is on, the longest gap between two of them, overall and by
// the step of the work the gap ended in.
class TimedWindow : public test::QuietWindow {
 public:
  TimedWindow();
  void DoEvents() override;
  void StartTiming();
  // Ends the gap under way, in the current step, and stops timing.
  void StopTiming();
  // Counts the yields of one step of the work under `name`; what follows
  // the step (emptying and drawing the list) counts as "list".
  template <class Step>
  void InStep(const char* name, Step&& work) {
    step = name;
    work();
    step = "list";
  }
  bool timing = false;
  int yields = 0;
  std::string step;
  Stopwatch::time_point last;
  Stopwatch::duration longestGap{};
  std::map<std::string, Stopwatch::duration> longestGapByStep;

 private:
  void EndGap();
};

// The sources enumerated raw: RegEnumValueW over the program's keys, the
// reads of the other autostart points, FindFirstFileW over the two Startup
// folders with the one presence open of each listed file the Startup source
// has always made, the four system files read.
void ReadSourcesRaw();
// The least a list gathering of the same rows costs: the sources read raw,
// the same rows put in the list with its redraw suspended through raw list
// messages, and the given number of message-loop yields.
double GatherFloor(HWND list, const std::vector<std::vector<std::wstring>>& rows, int yields, bool tasks = false,
                   bool services = false);

// While it lives, a process of its own (answer_probe.exe, beside the
// benchmark) sends the window a message every few milliseconds, as a
// person's clicks would arrive, and times each wait for the answer.
class AnswerProbe {
 public:
  explicit AnswerProbe(HWND window);
  ~AnswerProbe();
  AnswerProbe(const AnswerProbe&) = delete;
  AnswerProbe& operator=(const AnswerProbe&) = delete;
  // Stops the probe: the longest the window left a message unanswered, in ms
  // (negative when the probe could not run).
  double Stop();

 private:
  HANDLE stop_ = nullptr;
  PROCESS_INFORMATION process_{};
};

// Every row's four texts.
std::vector<std::vector<std::wstring>> ListRows(MainWindow& window);
// Lets the message loop run as the program's yields do.
void PumpMessages();

}  // namespace vq::bench
