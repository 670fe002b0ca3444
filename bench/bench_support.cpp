#include "bench/bench_support.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>

#include "e2e/harness.h"
#include "entries/autostart_points.h"
#include "platform/win32/text.h"
#include "platform/win32/win32_services.h"
#include "platform/win32/win32_task_scheduler.h"

namespace vq::bench {

using e2e::ShellFolder;

double Ms(Stopwatch::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

namespace {
std::vector<double> Ratios(const std::vector<double>& times, const std::vector<double>& floors) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < times.size() && i < floors.size(); ++i) ratios.push_back(times[i] / floors[i]);
  return ratios;
}
}  // namespace

double MedianRatio(const std::vector<double>& times, const std::vector<double>& floors) {
  return Median(Ratios(times, floors));
}

std::string RatioSpread(const std::vector<double>& times, const std::vector<double>& floors) {
  const std::vector<double> ratios = Ratios(times, floors);
  const auto [least, most] = std::minmax_element(ratios.begin(), ratios.end());
  char text[32];
  std::snprintf(text, sizeof text, "%.3f-%.3f", *least, *most);
  return text;
}

const std::wstring kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

void SeedRunValues(int count) {
  for (int i = 0; i < count; ++i) {
    e2e::WriteRegistryText(HKEY_CURRENT_USER, kRun, L"Bench Value " + std::to_wstring(i),
                           L"\"C:\\Program Files\\Bench " + std::to_wstring(i) + L"\\tool.exe\" /min");
  }
}

void SeedStartupFiles(int count) {
  for (const std::wstring& folder : {ShellFolder(CSIDL_STARTUP), ShellFolder(CSIDL_COMMON_STARTUP)}) {
    e2e::EmptyFolder(folder);
  }
  const std::wstring startup = ShellFolder(CSIDL_STARTUP);
  for (int i = 0; i < count; ++i) e2e::WriteFileBytes(startup + L"\\Bench " + std::to_wstring(i) + L".lnk", "x");
}

void SeedSystemFiles(int lines) {
  std::string winIni = "[windows]\r\n";
  for (int i = 0; i < lines; ++i) {
    winIni += i % 2 ? "key" + std::to_string(i) + "=value\r\n" : "load=C:\\Bench\\tool" + std::to_string(i) + ".exe\r\n";
  }
  e2e::WriteFileBytes(L"C:\\windows\\win.ini", winIni);
  for (const wchar_t* path : {L"C:\\autoexec.bat", L"C:\\config.sys"}) ::DeleteFileW(path);
  e2e::WriteFileBytes(L"C:\\windows\\system.ini", "[boot]\r\n");
}

namespace {
std::wstring TaskStore() { return ShellFolder(CSIDL_SYSTEM) + L"\\Tasks"; }

void ReadStoreFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  HANDLE find = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ReadStoreFolder(folder + L"\\" + name);
    } else {
      e2e::ReadFileBytes(folder + L"\\" + name);
    }
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
}

// The raw reads answer no window.
class NoEvents final : public EventPump {
  void DoEvents() override {}
  bool EventsDue() override { return false; }
};

// Each folder's tasks are asked for until the scheduler says it cannot list them.
void WalkSchedulerFolders(TaskService& service, const std::u16string& folder, bool& enumerates) {
  NoEvents none;
  if (enumerates) enumerates = service.Tasks(folder, none).has_value();
  for (const std::u16string& name : service.SubFolders(folder, none)) {
    WalkSchedulerFolders(service, (folder == u"\\" ? folder : folder + u"\\") + name, enumerates);
  }
}
}  // namespace

void SeedTasks(int count) {
  e2e::EmptyFolder(TaskStore() + L"\\VqBench");
  ::RemoveDirectoryW((TaskStore() + L"\\VqBench").c_str());
  for (int i = 0; i < count; ++i) {
    const std::wstring folder = TaskStore() + L"\\VqBench\\F" + std::to_wstring(i / 10);
    if (i % 10 == 0) ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    const std::wstring xml =
        L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/"
        L"windows/2004/02/mit/task\">\r\n  <RegistrationInfo><Description>Bench</Description></RegistrationInfo>\r\n"
        L"  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>\r\n"
        L"  <Settings><Enabled>true</Enabled></Settings>\r\n  <Actions Context=\"Author\"><Exec><Command>\"C:\\Program "
        L"Files\\Bench " + std::to_wstring(i) + L"\\task.exe\"</Command><Arguments>/run</Arguments></Exec></Actions>\r\n"
        L"</Task>\r\n";
    e2e::WriteFileBytes(folder + L"\\Bench Task " + std::to_wstring(i), "\xFF\xFE" + e2e::Utf16Bytes(xml, false));
  }
}

// The management query of the services, walked once, each service's state
// read and, for a running one, its two names.
void ReadServicesQueryRaw() {
  NoEvents none;
  win32::Win32Services services;
  const auto query = services.ConnectManagement("\\\\.\\root\\cimv2", none)->ExecQuery("Select * From Win32_Service", none);
  while (const auto service = query->Next(none)) {
    if (service->Text("State") == "Running") service->Text("Name"), service->Text("DisplayName");
  }
}

void ReadTasksRaw() {
  win32::Win32TaskScheduler scheduler;
  bool enumerates = true;
  if (const std::unique_ptr<TaskService> service = scheduler.Connect()) WalkSchedulerFolders(*service, u"\\", enumerates);
  ReadStoreFolder(TaskStore());
}

TimedWindow::TimedWindow() {
  for (const char* header : {"Type", "Location", "Item", "Extra Details"}) AddColumn(header);
  Show();
}

void TimedWindow::EndGap() {
  const Stopwatch::duration gap = Stopwatch::now() - last;
  longestGap = std::max(longestGap, gap);
  Stopwatch::duration& ofStep = longestGapByStep[step];
  ofStep = std::max(ofStep, gap);
}

void TimedWindow::DoEvents() {
  if (timing) EndGap();
  ++yields;
  Win32MainWindow::DoEvents();
  last = Stopwatch::now();
}

void TimedWindow::StartTiming() {
  timing = true;
  last = Stopwatch::now();
}

void TimedWindow::StopTiming() {
  if (timing) EndGap();
  timing = false;
}

AnswerProbe::AnswerProbe(HWND window) {
  static int probes = 0;
  const std::wstring event = L"VqAnswerProbe." + std::to_wstring(::GetCurrentProcessId()) + L"." +
                             std::to_wstring(++probes);
  stop_ = ::CreateEventW(nullptr, TRUE, FALSE, event.c_str());
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring probe = self;
  probe = probe.substr(0, probe.find_last_of(L"\\/") + 1) + L"answer_probe.exe";
  std::wstring commandLine = L"\"" + probe + L"\" " +
                             std::to_wstring(reinterpret_cast<INT_PTR>(window)) + L" " + event;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!stop_ || !::CreateProcessW(probe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &process_)) {
    process_ = {};
  }
  // The probe asks from its first message on: let it start before the work
  // does, the window answering meanwhile as an idle window does.
  const auto until = Stopwatch::now() + std::chrono::milliseconds(100);
  for (auto now = Stopwatch::now(); now < until; now = Stopwatch::now()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left) + 1, QS_ALLINPUT);
    PumpMessages();
  }
}

double AnswerProbe::Stop() {
  if (!process_.hProcess) return -1;
  ::SetEvent(stop_);
  // The window answers the probe's last message while this waits.
  while (::MsgWaitForMultipleObjects(1, &process_.hProcess, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    PumpMessages();
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process_.hProcess, &code);
  ::CloseHandle(process_.hProcess);
  ::CloseHandle(process_.hThread);
  process_ = {};
  return static_cast<int>(code) < 0 ? -1 : code / 10.0;
}

AnswerProbe::~AnswerProbe() {
  Stop();
  if (stop_) ::CloseHandle(stop_);
}

void PumpMessages() {
  MSG message{};
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

namespace {

// The least reading of one key of an autostart point: its one value, or every value.
void ReadPointKey(HKEY key, const char* value) {
  BYTE data[4096];
  if (value) {
    const std::wstring name = win32::Widen(value);
    DWORD size = sizeof data, type = 0;
    ::RegQueryValueExW(key, name.c_str(), nullptr, &type, data, &size);
    return;
  }
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = 256, dataLength = sizeof data, type = 0;
    if (::RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) break;
  }
}

// The least reading of the autostart points beyond the Run keys: each key
// opened to be read, the keys below it listed and opened, their values read.
void ReadAutostartPoints() {
  for (const AutostartPoint& point : AutostartPoints()) {
    const auto root = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(point.hive)));
    for (const std::string& path : {std::string(point.key), In32BitView(point.key)}) {
      if (path != point.key && !point.also32) break;
      HKEY key = nullptr;
      if (::RegOpenKeyExW(root, win32::Widen(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
      // Points whose entries are the keys below read those, not the key itself.
      const bool below = point.keys != PointKeys::TheKey || point.entry == PointEntry::SubKey ||
                         point.entry == PointEntry::ClassOverride;
      if (!below) ReadPointKey(key, point.value);
      wchar_t name[256];
      for (DWORD index = 0; below; ++index) {
        DWORD length = 256;
        if (::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY below = nullptr;
        if (::RegOpenKeyExW(key, name, 0, KEY_READ, &below) != ERROR_SUCCESS) continue;
        ReadPointKey(below, point.value);
        HKEY depend = nullptr;
        if (point.keys == PointKeys::EachSubKeyAndItsDepend &&
            ::RegOpenKeyExW(below, L"Depend", 0, KEY_READ, &depend) == ERROR_SUCCESS) {
          ReadPointKey(depend, point.value);
          ::RegCloseKey(depend);
        }
        ::RegCloseKey(below);
      }
      ::RegCloseKey(key);
    }
  }
}

}  // namespace

void ReadSourcesRaw() {
  ReadAutostartPoints();
  for (const e2e::AutorunKey& key : e2e::kAutorunKeys) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(key.root, key.path, 0, KEY_READ, &opened) != ERROR_SUCCESS) continue;
    wchar_t name[256];
    BYTE data[2048];
    for (DWORD index = 0;; ++index) {
      DWORD nameLength = 256, dataLength = sizeof data, type = 0;
      if (::RegEnumValueW(opened, index, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) break;
    }
    ::RegCloseKey(opened);
  }
  for (const std::wstring& folder : {ShellFolder(CSIDL_STARTUP), ShellFolder(CSIDL_COMMON_STARTUP)}) {
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileExW((folder + L"\\*.*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      HANDLE file = ::CreateFileW((folder + L"\\" + found.cFileName).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
      if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
  }
  for (const std::wstring& path : e2e::kSystemFiles) e2e::ReadFileBytes(path);
}

double GatherFloor(HWND list, const std::vector<std::vector<std::wstring>>& rows, int yields, bool tasks,
                   bool services) {
  const auto start = Stopwatch::now();
  ReadSourcesRaw();
  if (services) ReadServicesQueryRaw();
  if (tasks) ReadTasksRaw();
  ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  for (const auto& row : rows) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(row[0].c_str());
    const auto index = ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    for (int sub = 1; sub <= 3; ++sub) {
      if (row[sub].empty()) continue;
      item.iSubItem = sub;
      item.pszText = const_cast<wchar_t*>(row[sub].c_str());
      ::SendMessageW(list, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
    }
  }
  ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  ::RedrawWindow(list, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
  for (int i = 0; i < yields; ++i) PumpMessages();
  return Ms(Stopwatch::now() - start);
}

std::vector<std::vector<std::wstring>> ListRows(MainWindow& window) {
  std::vector<std::vector<std::wstring>> rows;
  for (int row = 1; row <= window.RowCount(); ++row) {
    rows.push_back({});
    for (int sub = 0; sub < 4; ++sub) rows.back().push_back(win32::Widen(window.RowText(row, sub)));
  }
  return rows;
}

}  // namespace vq::bench
