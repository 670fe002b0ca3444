// The delete walk of 1,000 ticked Run values and 1,000 ticked Startup files,
// with the refresh that ends it, against the least work of such a walk,
// measured in the same run:
// - with backups, as the program walks: one key open for the run's reads and
//   deletes, one read per value, the .reg text written and flushed once, the
//   values deleted raw through that key (NtDeleteValueKey), every file
//   moved into the walk's folder (opened, asked its name and renamed through
//   its handle), a short note, the same yields and the floor of the
//   refresh's gathering (GatherFloor);
// - without backups: the same deletes made raw (the key opened once, each
//   file opened, asked its name and deleted through its handle), the same
//   yields and the same refresh floor.
// Each file is asked its name because Wine opens the target of a Unix link
// however it is asked: a walk that must touch only the file named cannot do
// less. What the floors would be without it is printed too.
// Beside each time, the longest a message sent from another process waited
// for the window's answer during the walk. The same process sends its
// messages during the floors: answering them, and the system's work in
// passing them, weighs on both alike.
// The raw calls are the cheapest Wine has for each step: the counted-name
// native calls, and handles rather than the path-taking conveniences.
// Each walk is checked to have removed (and saved) every item it ticked: a
// walk that refused its work must not look fast.
//   delete_bench [runs] [values] [files]     (7 runs, 1,000 values, 1,000 files)
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>

#include "app/form1.h"
#include "bench/bench_support.h"
#include "bench/sampler.h"
#include "e2e/harness.h"
#include "fakes/fake_platform.h"
#include "platform/win32/text.h"
#include "support/reg_reader.h"

using namespace vq;
using namespace vq::bench;

namespace {

int kValues = 1000;
int kFiles = 1000;

// Names the step each yield of the walk falls in: "walk" up to the
// refresh's first source, then the source, and "list" after each.
class BenchForm : public Form1 {
 public:
  BenchForm(const Platform& platform, TimedWindow& window) : Form1(platform), window_(window) {}
  using Form1::DeleteItem;
  bool backups = true;

 protected:
  std::unique_ptr<RemovalBackup> StartBackup() override {
    if (backups) return Form1::StartBackup();
    return std::make_unique<test::NoBackup>();
  }
  void GetRegistryItems() override { window_.InStep("registry", [&] { Form1::GetRegistryItems(); }); }
  void GetStartup() override { window_.InStep("Startup", [&] { Form1::GetStartup(); }); }

 private:
  TimedWindow& window_;
};

const std::wstring kBackups = ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Marrowfen\\Vellorin Quade\\Backups";

void Seed() {
  e2e::ClearAutorunKeys();
  SeedRunValues(kValues);
  SeedStartupFiles(kFiles);
}

const std::wstring kStartup = e2e::ExactForm(ShellFolder(CSIDL_STARTUP));
std::wstring BenchFile(int i) { return kStartup + L"\\Bench " + std::to_wstring(i) + L".lnk"; }
std::wstring BenchValue(int i) { return L"Bench Value " + std::to_wstring(i); }

struct CountedName {
  USHORT length, maximumLength;
  const wchar_t* buffer;
  explicit CountedName(const std::wstring& name)
      : length(static_cast<USHORT>(name.size() * 2)), maximumLength(length), buffer(name.data()) {}
};
template <class Call>
Call Native(const char* name) {
  return reinterpret_cast<Call>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}
const auto NtDeleteValueKey = Native<LONG(WINAPI*)(HANDLE, const CountedName*)>("NtDeleteValueKey");
const auto NtQueryValueKey = Native<LONG(WINAPI*)(HANDLE, const CountedName*, int, void*, ULONG, ULONG*)>("NtQueryValueKey");

// Deletes the bench values through the key, opened once for them as the walk opens it.
void DeleteValuesRaw(HKEY key) {
  for (int i = 0; i < kValues; ++i) {
    const std::wstring name = BenchValue(i);
    const CountedName counted(name);
    NtDeleteValueKey(key, &counted);
  }
}

const auto NtQueryObject = Native<LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*)>("NtQueryObject");

// The time the floors spent asking files their names, over the current floor.
Stopwatch::duration namingTime{};

// Opens the file to move or delete it, and asks the system the name of what
// it opened: Wine opens the target of a Unix link however it is asked, so a
// walk that must move or delete only the file named has to ask, once a file.
HANDLE OpenToRemove(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  static std::vector<ULONGLONG> name(1024);
  ULONG size = 0;
  const auto asked = Stopwatch::now();
  constexpr int kObjectNameInformation = 1;
  NtQueryObject(file, kObjectNameInformation, name.data(), static_cast<ULONG>(name.size() * 8), &size);
  namingTime += Stopwatch::now() - asked;
  return file;
}

void WriteAndFlush(const std::wstring& path, const std::wstring& text) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
  ::FlushFileBuffers(file);
  ::CloseHandle(file);
}

// The least a walk with backups costs, without its refresh.
double BackedUpWalkFloor() {
  const auto start = Stopwatch::now();
  const std::wstring folder = e2e::ExactForm(kBackups) + L"\\floor";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  HKEY key = nullptr;
  ::RegOpenKeyExW(HKEY_CURRENT_USER, kRun.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
  std::wstring text = L"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" + kRun + L"]\r\n";
  std::vector<ULONGLONG> data(512);
  for (int i = 0; i < kValues; ++i) {
    const std::wstring name = BenchValue(i);
    const CountedName counted(name);
    ULONG size = 0;
    NtQueryValueKey(key, &counted, 2, data.data(), static_cast<ULONG>(data.size() * 8), &size);
    // KEY_VALUE_PARTIAL_INFORMATION: the text begins after three ULONGs.
    text += L"\"" + name + L"\"=\"" + reinterpret_cast<const wchar_t*>(reinterpret_cast<const BYTE*>(data.data()) + 12) +
            L"\"\r\n";
  }
  WriteAndFlush(folder + L"\\registry.reg", text);
  WriteAndFlush(folder + L"\\How to restore.txt", L"\uFEFFRegistry values: run reg import registry.reg\r\n");
  DeleteValuesRaw(key);
  ::RegCloseKey(key);
  const std::wstring files = folder + L"\\Startup files";
  ::CreateDirectoryW(files.c_str(), nullptr);
  ::CreateDirectoryW((files + L"\\User").c_str(), nullptr);
  std::vector<DWORD> rename(1024);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(rename.data());
  for (int i = 0; i < kFiles; ++i) {
    PumpMessages();
    const std::wstring target = files + L"\\User\\Bench " + std::to_wstring(i) + L".lnk";
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::copy(target.begin(), target.end(), info->FileName);
    HANDLE file = OpenToRemove(BenchFile(i));
    ::SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(rename.size() * sizeof(DWORD)));
    ::CloseHandle(file);
  }
  return Ms(Stopwatch::now() - start);
}

// The least a walk without backups costs, without its refresh.
double RawWalkFloor() {
  const auto start = Stopwatch::now();
  HKEY key = nullptr;
  ::RegOpenKeyExW(HKEY_CURRENT_USER, kRun.c_str(), 0, KEY_SET_VALUE, &key);
  DeleteValuesRaw(key);
  ::RegCloseKey(key);
  for (int i = 0; i < kFiles; ++i) {
    PumpMessages();
    HANDLE file = OpenToRemove(BenchFile(i));
    FILE_DISPOSITION_INFO dispose{TRUE};
    ::SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose);
    ::CloseHandle(file);
  }
  return Ms(Stopwatch::now() - start);
}


// What a walk left undone: a ticked item still in its place, or (with
// backups) one missing from the backup. Empty text when it did all its work.
std::string Undone(bool backups, const std::vector<std::vector<std::wstring>>& rowsLeft) {
  for (const auto& row : rowsLeft) {
    if (row[0] == L"REGISTRY" || row[0] == L"STARTUP") return "a ticked item is listed again: " + win32::Narrow(row[2]);
  }
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRun.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    DWORD count = 0;
    ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                       nullptr);
    ::RegCloseKey(key);
    if (count != 0) return std::to_string(count) + " values were not deleted";
  }
  if (!e2e::ListedFiles(ShellFolder(CSIDL_STARTUP)).empty()) return "files were not deleted";
  if (!backups) return "";
  const std::wstring backup = e2e::NewestBackupFolder();
  const auto reg = e2e::ReadFileBytes(backup + L"\\registry.reg");
  const auto saved = reg ? test::ReadRegFile(*reg) : std::nullopt;
  if (kValues > 0 && (!saved || saved->size() != static_cast<std::size_t>(kValues))) {
    return "registry.reg does not hold every value";
  }
  if (e2e::ListedFiles(backup + L"\\Startup files\\User").size() != static_cast<std::size_t>(kFiles)) {
    return "the backup does not hold every file";
  }
  return "";
}

// With VQ_SAMPLES set, where the time of each walk and floor goes, in files
// named after it (scripts/samples.py reads them).
std::optional<Sampler> Sampled(const wchar_t* suffix) {
  wchar_t path[MAX_PATH] = {};
  if (!::GetEnvironmentVariableW(L"VQ_SAMPLES", path, MAX_PATH)) return std::nullopt;
  return std::optional<Sampler>(std::in_place, std::wstring(path) + suffix);
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
  BenchForm form({window, real.settings, real.files, real.registry, real.shell, real.services, real.skin, real.clock, real.images, real.profiles, real.tasks}, window);
  HWND list = ::GetDlgItem(window.hwnd(), win32::ControlId(Control::ListView1));

  // Seeds, gathers the list, ticks every row, times the walk and checks it did its work.
  std::vector<std::vector<std::wstring>> rowsLeft;
  int ticked = 0, yields = 0;
  double unansweredSaved = 0, unansweredBare = 0;  // the longest, over the runs
  auto walk = [&](bool backups) {
    Seed();
    form.LoadItems();
    ticked = window.RowCount();
    for (int row = 0; row < ticked; ++row) ListView_SetCheckState(list, row, TRUE);
    form.backups = backups;
    window.yields = 0;
    AnswerProbe probe(window.hwnd());
    const auto start = Stopwatch::now();
    window.step = "walk";
    window.StartTiming();
    {
      const std::optional<Sampler> sampler = Sampled(backups ? L".walk" : L".walk-bare");
      form.DeleteItem();
    }
    window.StopTiming();
    const double took = Ms(Stopwatch::now() - start);
    double& unanswered = backups ? unansweredSaved : unansweredBare;
    unanswered = std::max(unanswered, probe.Stop());
    yields = window.yields;
    rowsLeft = ListRows(window);
    if (const std::string undone = Undone(backups, rowsLeft); !undone.empty()) {
      std::printf("the walk %s backups did not do its work: %s\n", backups ? "with" : "without", undone.c_str());
      std::exit(1);
    }
    e2e::EmptyFolder(kBackups);
    return took;
  };
  std::vector<double> namingSaved, namingBare;  // each floor's time asking names, warm-up included
  // The floors start from the same list the walk started from.
  auto floor = [&](bool backups) {
    Seed();
    form.LoadItems();
    // The probe's messages, and the system's work in passing them, weigh on the floor as they weigh on the walk.
    AnswerProbe probe(window.hwnd());
    std::optional<Sampler> sampler = Sampled(backups ? L".floor" : L".floor-bare");
    namingTime = {};
    const double least = (backups ? BackedUpWalkFloor() : RawWalkFloor()) + GatherFloor(list, rowsLeft, yields - kFiles);
    sampler.reset();
    probe.Stop();
    (backups ? namingSaved : namingBare).push_back(Ms(namingTime));
    e2e::EmptyFolder(kBackups);
    return least;
  };

  std::vector<double> withBackups, without, backedUpFloor, rawFloor;
  for (int run = 0; run <= runs; ++run) {
    // Each goes first every other round: what one leaves behind on the disk weighs on both alike.
    const bool savedFirst = run % 2 == 0;
    double saved = savedFirst ? walk(true) : 0;
    const double bare = walk(false);
    if (!savedFirst) saved = walk(true);
    const double leastSaved = floor(true), leastBare = floor(false);
    if (run == 0) continue;  // warm-up
    withBackups.push_back(saved);
    without.push_back(bare);
    backedUpFloor.push_back(leastSaved);
    rawFloor.push_back(leastBare);
  }
  if (!window.messages.empty()) std::printf("message: %s\n", window.messages[0].text.c_str());
  const double a = Median(withBackups), fa = Median(backedUpFloor), b = Median(without), fb = Median(rawFloor);
  std::printf("delete walk of %d ticked rows and the refresh, median of %d runs (%d yields)\n", ticked, runs, yields);
  const double na = Median(namingSaved), nb = Median(namingBare);
  // Each round's walk against the floor measured next to it.
  std::printf("  with backups    %8.1f ms   floor %8.1f ms   ratio %.3f   unanswered %6.1f ms   ratios %s\n", a, fa,
              MedianRatio(withBackups, backedUpFloor), unansweredSaved, RatioSpread(withBackups, backedUpFloor).c_str());
  std::printf("  without backups %8.1f ms   raw deletes %8.1f ms   ratio %.3f   unanswered %6.1f ms   ratios %s\n", b,
              fb, MedianRatio(without, rawFloor), unansweredBare, RatioSpread(without, rawFloor).c_str());
  std::printf("  longest gap between yields, by step:");
  for (const auto& [step, gap] : window.longestGapByStep) std::printf(" %s %.1f ms", step.c_str(), Ms(gap));
  std::printf("\n");
  std::printf("  the floors' name queries took %.1f and %.1f ms: without them the ratios would be %.3f and %.3f\n", na,
              nb, a / (fa - na), b / (fb - nb));
  e2e::ClearAutorunKeys();
  SeedStartupFiles(0);
  return 0;
}
