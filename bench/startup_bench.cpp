// Start-up of the real program: from process creation until its main window
// is visible (the first list complete), and from the close request until the
// process has ended. Reports median, minimum and maximum over the runs.
//   startup_bench [runs]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "e2e/harness.h"

using namespace vq::e2e;
using Clock = std::chrono::steady_clock;

namespace {
double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Print(const char* what, std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  std::printf("%-28s median %7.1f ms   min %7.1f ms   max %7.1f ms   (%zu runs)\n", what,
              samples[samples.size() / 2], samples.front(), samples.back(), samples.size());
}
}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  std::vector<double> toWindow, toExit;
  for (int run = 0; run < runs + 1; ++run) {
    const auto start = Clock::now();
    AppProcess app(ProgramPath());
    HWND form = app.WaitForMainWindow(30s);
    if (!form) {
      std::fprintf(stderr, "the main window did not show\n");
      return 1;
    }
    const auto shown = Clock::now();
    ::PostMessageW(form, WM_CLOSE, 0, 0);
    if (!app.WaitForExit(30s)) return 1;
    if (run == 0) continue;  // the first start warms the prefix's caches
    toWindow.push_back(Milliseconds(shown - start));
    toExit.push_back(Milliseconds(Clock::now() - shown));
  }
  Print("start to visible window", toWindow);
  Print("close to process end", toExit);
  return 0;
}
