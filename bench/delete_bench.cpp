// The delete walk of 1,000 ticked Run values and 1,000 ticked Startup files,
// with the refresh that ends it, against its floor measured in the same run:
// the same deletes made raw (RegOpenKeyExW, RegDeleteValueW, RegCloseKey;
// DeleteFileW), the same message-loop yields, and the floor of the refresh's
// gathering (GatherFloor). The walk runs twice a round: saving every item in
// a backup first, as the program does, and without backups, to show what
// the backups add.
//   delete_bench [runs] [values] [files]     (7 runs, 1,000 values, 1,000 files)
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>

#include "app/form1.h"
#include "bench/bench_support.h"
#include "e2e/harness.h"
#include "fakes/fake_platform.h"

using namespace vq;
using namespace vq::bench;

namespace {

int kValues = 1000;
int kFiles = 1000;

class BenchForm : public Form1 {
 public:
  using Form1::DeleteItem;
  using Form1::Form1;
  bool backups = true;

 protected:
  std::unique_ptr<RemovalBackup> StartBackup() override {
    if (backups) return Form1::StartBackup();
    return std::make_unique<test::NoBackup>();
  }
};

void Seed() {
  e2e::ClearAutorunKeys();
  SeedRunValues(kValues);
  SeedStartupFiles(kFiles);
}

double RawDeletes() {
  const auto start = Stopwatch::now();
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
  return Ms(Stopwatch::now() - start);
}

void RemoveBackups() {
  const std::wstring backups = ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Marrowfen\\Vellorin Quade\\Backups";
  e2e::EmptyFolder(backups);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  if (argc > 2) kValues = std::max(0, std::atoi(argv[2]));
  if (argc > 3) kFiles = std::max(0, std::atoi(argv[3]));
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  win32::ComApartment com;
  e2e::SavedFiles systemFiles(e2e::kSystemFiles);
  SeedSystemFiles(0);

  test::RealPlatform real;
  TimedWindow window;
  window.SetCheckValue(CheckBox::Check1, 1);
  window.SetCheckValue(CheckBox::Check3, 1);
  BenchForm form({window, real.settings, real.files, real.registry, real.shell, real.services, real.skin, real.clock});
  HWND list = ::GetDlgItem(window.hwnd(), win32::ControlId(Control::ListView1));

  // Seeds, gathers the list, ticks every row and times the walk.
  auto walk = [&](bool backups, int& ticked, int& yields, std::vector<std::vector<std::wstring>>& rowsLeft) {
    Seed();
    form.LoadItems();
    ticked = window.RowCount();
    for (int row = 0; row < ticked; ++row) ListView_SetCheckState(list, row, TRUE);
    form.backups = backups;
    window.yields = 0;
    const auto start = Stopwatch::now();
    form.DeleteItem();
    const double took = Ms(Stopwatch::now() - start);
    yields = window.yields;
    rowsLeft = ListRows(window);
    RemoveBackups();
    return took;
  };

  std::vector<double> withBackups, without, floor;
  int ticked = 0, yields = 0;
  for (int run = 0; run <= runs; ++run) {
    std::vector<std::vector<std::wstring>> rowsLeft;
    // Each goes first every other round: what one leaves behind on the disk weighs on both alike.
    const bool savedFirst = run % 2 == 0;
    double saved = savedFirst ? walk(true, ticked, yields, rowsLeft) : 0;
    const double bare = walk(false, ticked, yields, rowsLeft);
    if (!savedFirst) saved = walk(true, ticked, yields, rowsLeft);
    // The floor starts from the same list the walk started from.
    Seed();
    form.LoadItems();
    const double least = RawDeletes() + GatherFloor(list, rowsLeft, yields - kFiles);
    if (run == 0) continue;  // warm-up
    withBackups.push_back(saved);
    without.push_back(bare);
    floor.push_back(least);
  }
  if (!window.messages.empty()) std::printf("message: %s\n", window.messages[0].text.c_str());
  const double a = Median(withBackups), b = Median(without), f = Median(floor);
  std::printf("delete walk of %d ticked rows and the refresh, median of %d runs (%d yields)\n", ticked, runs, yields);
  std::printf("  without backups %8.1f ms   ratio to the floor %.3f\n", b, b / f);
  std::printf("  with backups    %8.1f ms   ratio to the floor %.3f   backups add %+.1f %%\n", a, a / f,
              100.0 * (a - b) / b);
  std::printf("  floor           %8.1f ms\n", f);
  e2e::ClearAutorunKeys();
  SeedStartupFiles(0);
  return 0;
}
