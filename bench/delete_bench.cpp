// The delete walk of 1,000 ticked Run values and 1,000 ticked Startup files,
// with the refresh that ends it, against its floor measured in the same run:
// the same deletes made raw (RegOpenKeyExW, RegDeleteValueW, RegCloseKey;
// DeleteFileW), the same message-loop yields, and the floor of the refresh's
// gathering (GatherFloor).
//   delete_bench [runs]
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>

#include "app/form1.h"
#include "bench/bench_support.h"
#include "e2e/harness.h"

using namespace vq;
using namespace vq::bench;

namespace {

constexpr int kValues = 1000;
constexpr int kFiles = 1000;

class BenchForm : public Form1 {
 public:
  using Form1::DeleteItem;
  using Form1::Form1;
};

void Seed() {
  e2e::ClearAutorunKeys();
  SeedRunValues(kValues);
  SeedStartupFiles(kFiles);
}

double RawDeletes() {
  const auto start = Clock::now();
  for (int i = 0; i < kValues; ++i) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRun.c_str(), 0, 0x3F, &key) != ERROR_SUCCESS) continue;
    ::RegDeleteValueW(key, (L"Bench Value " + std::to_wstring(i)).c_str());
    ::RegCloseKey(key);
  }
  const std::wstring startup = ShellFolder(CSIDL_STARTUP);
  for (int i = 0; i < kFiles; ++i) {
    PumpMessages();
    ::DeleteFileW((startup + L"\\Bench " + std::to_wstring(i) + L".lnk").c_str());
  }
  return Ms(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  win32::ComApartment com;
  e2e::SavedFiles systemFiles(e2e::kSystemFiles);
  SeedSystemFiles(0);

  test::RealPlatform real;
  TimedWindow window;
  window.SetCheckValue(CheckBox::Check1, 1);
  window.SetCheckValue(CheckBox::Check3, 1);
  BenchForm form({window, real.settings, real.files, real.registry, real.shell, real.services, real.skin});
  HWND list = ::GetDlgItem(window.hwnd(), win32::ControlId(Control::ListView1));

  std::vector<double> program, floor;
  int ticked = 0, yields = 0;
  for (int run = 0; run <= runs; ++run) {
    Seed();
    form.LoadItems();
    ticked = window.RowCount();
    for (int row = 0; row < ticked; ++row) ListView_SetCheckState(list, row, TRUE);
    window.yields = 0;
    const auto start = Clock::now();
    form.DeleteItem();
    const double took = Ms(Clock::now() - start);
    yields = window.yields;
    const auto rowsLeft = ListRows(window);

    // The floor starts from the same list the walk started from.
    Seed();
    form.LoadItems();
    const double raw = RawDeletes();
    const double least = raw + GatherFloor(list, rowsLeft, yields - kFiles);
    if (run == 0) continue;  // warm-up
    program.push_back(took);
    floor.push_back(least);
  }
  if (!window.messages.empty()) std::printf("message: %s\n", window.messages[0].text.c_str());
  std::printf("delete walk of %d ticked rows and the refresh, median of %d runs: program %.1f ms, floor %.1f ms, "
              "ratio %.3f (%d yields)\n",
              ticked, runs, Median(program), Median(floor), Median(program) / Median(floor), yields);
  e2e::ClearAutorunKeys();
  SeedStartupFiles(0);
  return 0;
}
