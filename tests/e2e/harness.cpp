#include "e2e/harness.h"

#include <commctrl.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <stdexcept>
#include <thread>

namespace vq::e2e {

namespace {

// Polls until the probe yields a window or the time is up.
template <class Probe>
HWND WaitFor(std::chrono::milliseconds timeout, Probe&& probe) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (HWND found = probe()) return found;
    if (std::chrono::steady_clock::now() > deadline) return nullptr;
    std::this_thread::sleep_for(20ms);
  }
}

struct FindState {
  DWORD processId;
  const wchar_t* className;
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM param) {
  auto* state = reinterpret_cast<FindState*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  wchar_t className[64] = {};
  ::GetClassNameW(window, className, 64);
  if (owner == state->processId && ::IsWindowVisible(window) && wcscmp(className, state->className) == 0 &&
      WindowText(window) == state->title) {
    state->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindVisibleWindow(DWORD processId, const wchar_t* className, const wchar_t* title) {
  FindState state{processId, className, title, nullptr};
  ::EnumWindows(&FindVisible, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

// Memory in another process, freed when done.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, std::size_t size) : size_(size) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    process_ = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!process_) throw std::runtime_error("OpenProcess failed");
    address_ = static_cast<char*>(::VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!address_) {
      ::CloseHandle(process_);
      throw std::runtime_error("VirtualAllocEx failed");
    }
  }
  ~RemoteBuffer() {
    ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    ::CloseHandle(process_);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  char* at(std::size_t offset) const { return address_ + offset; }
  void Write(std::size_t offset, const void* data, std::size_t size) const {
    ::WriteProcessMemory(process_, address_ + offset, data, size, nullptr);
  }
  void Read(std::size_t offset, void* data, std::size_t size) const {
    ::ReadProcessMemory(process_, address_ + offset, data, size, nullptr);
  }

 private:
  HANDLE process_ = nullptr;
  char* address_ = nullptr;
  std::size_t size_;
};

constexpr std::size_t kTextChars = 2048;
constexpr std::size_t kTextOffset = 256;  // the struct first, then the text

std::wstring ReadRemoteText(const RemoteBuffer& buffer) {
  std::wstring text(kTextChars, L'\0');
  buffer.Read(kTextOffset, text.data(), kTextChars * sizeof(wchar_t));
  text.resize(wcsnlen(text.c_str(), kTextChars));
  return text;
}

// Sends a list message whose request points at a text buffer in the list's
// process, and reads the text the list put there.
template <class Request>
std::wstring RequestText(HWND list, const RemoteBuffer& buffer, UINT message, WPARAM index, Request request) {
  request.pszText = reinterpret_cast<wchar_t*>(buffer.at(kTextOffset));
  request.cchTextMax = kTextChars;
  const wchar_t nothing = 0;
  buffer.Write(kTextOffset, &nothing, sizeof nothing);
  buffer.Write(0, &request, sizeof request);
  ::SendMessageW(list, message, index, reinterpret_cast<LPARAM>(buffer.at(0)));
  return ReadRemoteText(buffer);
}

}  // namespace

std::wstring BuildFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  folder.resize(folder.find_last_of(L'\\'));  // the tests' folder
  folder.resize(folder.find_last_of(L'\\'));  // the build folder
  return folder;
}

std::wstring ProgramPath() { return BuildFolder() + L"\\VellorinQuade.exe"; }
std::wstring ConsoleProgramPath() { return BuildFolder() + L"\\VellorinQuadeC.exe"; }

// Standard output and error go to files of their own, read once the program
// has ended: a process it starts may hold on to inherited pipes (Wine's
// desktop process does), and a pipe's reader would then wait for ever.
ConsoleRun RunConsole(const std::wstring& arguments, bool readOut) {
  ConsoleRun run;
  TempFolder folder;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  auto file = [&](const wchar_t* name) {
    return ::CreateFileW((folder.path() + name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE out = nullptr, err = file(L"\\err");
  if (readOut) {
    out = file(L"\\out");
  } else {  // a pipe whose reader has already gone
    HANDLE read = nullptr;
    ::CreatePipe(&read, &out, &inherit, 0);
    ::CloseHandle(read);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = err;
  std::wstring commandLine = L"\"" + ConsoleProgramPath() + L"\" " + arguments;
  PROCESS_INFORMATION process{};
  if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                       &startup, &process)) {
    if (::WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) ::TerminateProcess(process.hProcess, 99);
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  ::CloseHandle(out);
  ::CloseHandle(err);
  run.out = readOut ? ReadFileBytes(folder.path() + L"\\out").value_or("") : "";
  run.err = ReadFileBytes(folder.path() + L"\\err").value_or("");
  return run;
}

std::optional<std::wstring> FromMarkedUtf16(const std::string& bytes) {
  if (bytes.size() < 2 || bytes.substr(0, 2) != "\xFF\xFE") return std::nullopt;
  std::wstring text((bytes.size() - 2) / 2, L'\0');
  std::memcpy(text.data(), bytes.data() + 2, text.size() * sizeof(wchar_t));
  return text;
}

AppProcess::AppProcess(const std::wstring& exePath) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring commandLine = L"\"" + exePath + L"\"";
  const std::wstring folder = exePath.substr(0, exePath.find_last_of(L'\\'));
  if (!::CreateProcessW(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &info_)) {
    throw std::runtime_error("CreateProcessW failed");
  }
}

AppProcess::~AppProcess() {
  if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(info_.hProcess, 99);
    ::WaitForSingleObject(info_.hProcess, 5000);
  }
  ::CloseHandle(info_.hThread);
  ::CloseHandle(info_.hProcess);
}

HWND AppProcess::WaitForMainWindow(std::chrono::milliseconds timeout) const {
  return WaitFor(timeout, [&] { return FindVisibleWindow(id(), L"VellorinQuade.Form1", L"Vellorin Quade"); });
}

HWND AppProcess::WaitForMessageBox(const std::wstring& title, std::chrono::milliseconds timeout) const {
  return WaitFor(timeout, [&] { return FindVisibleWindow(id(), L"#32770", title.c_str()); });
}

bool AppProcess::WaitForExit(std::chrono::milliseconds timeout, DWORD* code) const {
  if (::WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return false;
  if (code) ::GetExitCodeProcess(info_.hProcess, code);
  return true;
}

std::wstring WindowText(HWND window) {
  wchar_t text[4096] = {};
  ::SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
  return text;
}

std::wstring MessageBoxText(HWND box) { return WindowText(::GetDlgItem(box, 0xFFFF)); }

void PressMessageBoxButton(HWND box, int id) {
  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box, id)));
}

RECT ChildRect(HWND parent, HWND child) {
  RECT rect{};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::vector<ListColumn> ReadListColumns(HWND list) {
  HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
  const int count = static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  RemoteBuffer buffer(list, kTextOffset + kTextChars * sizeof(wchar_t));
  std::vector<ListColumn> columns;
  for (int i = 0; i < count; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    columns.push_back({RequestText(list, buffer, LVM_GETCOLUMNW, i, column),
                       static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0))});
  }
  return columns;
}

std::vector<ListRow> ReadListRows(HWND list) {
  const int columns = static_cast<int>(ReadListColumns(list).size());
  const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  RemoteBuffer buffer(list, kTextOffset + kTextChars * sizeof(wchar_t));
  std::vector<ListRow> rows;
  for (int row = 0; row < count; ++row) {
    const auto state = ::SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK);
    ListRow result{((state & LVIS_STATEIMAGEMASK) >> 12) == 2, {}};
    for (int sub = 0; sub < columns; ++sub) {
      LVITEMW item{};
      item.iSubItem = sub;
      result.texts.push_back(RequestText(list, buffer, LVM_GETITEMTEXTW, row, item));
    }
    rows.push_back(std::move(result));
  }
  return rows;
}

void InsertListRow(HWND list, const std::wstring& text) {
  RemoteBuffer buffer(list, kTextOffset + kTextChars * sizeof(wchar_t));
  buffer.Write(kTextOffset, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  item.pszText = reinterpret_cast<wchar_t*>(buffer.at(kTextOffset));
  buffer.Write(0, &item, sizeof item);
  ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(buffer.at(0)));
}

void SetListRowChecked(HWND list, int row, bool checked) {
  RemoteBuffer buffer(list, sizeof(LVITEMW));
  LVITEMW item{};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
  buffer.Write(0, &item, sizeof item);
  ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buffer.at(0)));
}

void FocusListRow(HWND list, int row) {
  RemoteBuffer buffer(list, sizeof(LVITEMW));
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  buffer.Write(0, &item, sizeof item);
  ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buffer.at(0)));
}

RECT ListCellRect(HWND list, int row, int subItem) {
  RemoteBuffer buffer(list, sizeof(RECT));
  RECT rect{LVIR_LABEL, subItem, 0, 0};
  buffer.Write(0, &rect, sizeof rect);
  ::SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buffer.at(0)));
  buffer.Read(0, &rect, sizeof rect);
  ::MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

int FindListRow(const std::vector<ListRow>& rows, const std::vector<std::wstring>& texts) {
  for (std::size_t row = 0; row < rows.size(); ++row) {
    if (std::equal(texts.begin(), texts.end(), rows[row].texts.begin())) return static_cast<int>(row);
  }
  return -1;
}

void WriteRegistryText(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& text,
                       DWORD type) {
  HKEY opened = nullptr;
  if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("RegCreateKeyExW failed");
  }
  const LSTATUS status = ::RegSetValueExW(opened, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(opened);
  if (status != ERROR_SUCCESS) throw std::runtime_error("RegSetValueExW failed");
}

namespace {

// The native registry calls, which take counted names (a name may hold U+0000).
struct CountedName {
  USHORT length, maximumLength;
  const wchar_t* buffer;
  explicit CountedName(const std::wstring& name)
      : length(static_cast<USHORT>(name.size() * sizeof(wchar_t))), maximumLength(length), buffer(name.data()) {}
};
struct ObjectAttributes {
  ULONG length = sizeof(ObjectAttributes);
  HANDLE root;
  const CountedName* name;
  ULONG attributes = 0;
  void* securityDescriptor = nullptr;
  void* securityQualityOfService = nullptr;
};
template <class Call>
Call Native(const char* name) {
  return reinterpret_cast<Call>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}

// Opens (or creates) the key, each name below the first that holds U+0000 by
// its counted name; null when it cannot, with *missing telling a key that is
// not there from one refused.
HKEY OpenExactKey(HKEY root, const std::wstring& key, bool create, ACCESS_MASK access, bool* missing = nullptr) {
  static const auto createKey =
      Native<LONG(WINAPI*)(HANDLE*, ACCESS_MASK, const ObjectAttributes*, ULONG, void*, ULONG, ULONG*)>("NtCreateKey");
  static const auto openKey = Native<LONG(WINAPI*)(HANDLE*, ACCESS_MASK, const ObjectAttributes*)>("NtOpenKey");
  const std::size_t nul = key.find(L'\0');
  const std::size_t split = nul == std::wstring::npos ? key.size() : key.rfind(L'\\', nul);
  HKEY opened = nullptr;
  const std::wstring first = key.substr(0, split);
  const LSTATUS status = create ? ::RegCreateKeyExW(root, first.c_str(), 0, nullptr, 0, access, nullptr, &opened, nullptr)
                                : ::RegOpenKeyExW(root, first.c_str(), 0, access, &opened);
  if (missing) *missing = status == ERROR_FILE_NOT_FOUND;
  if (status != ERROR_SUCCESS) return nullptr;
  for (std::size_t start = split + 1; split < key.size() && start <= key.size();) {
    const std::size_t end = std::min(key.find(L'\\', start), key.size());
    const std::wstring name = key.substr(start, end - start);
    const CountedName counted(name);
    const ObjectAttributes attributes{sizeof(ObjectAttributes), opened, &counted};
    HANDLE below = nullptr;
    const LONG opening = create ? createKey(&below, access, &attributes, 0, nullptr, 0, nullptr)
                                : openKey(&below, access, &attributes);
    ::RegCloseKey(opened);
    if (missing) *missing = opening == static_cast<LONG>(0xC0000034);  // STATUS_OBJECT_NAME_NOT_FOUND
    if (opening != 0) return nullptr;
    opened = static_cast<HKEY>(below);
    start = end + 1;
  }
  return opened;
}

}  // namespace

void WriteRegistryBytes(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
                        const std::string& bytes) {
  static const auto setValue = Native<LONG(WINAPI*)(HANDLE, const CountedName*, ULONG, ULONG, const void*, ULONG)>(
      "NtSetValueKey");
  HKEY opened = OpenExactKey(root, key, true, KEY_SET_VALUE);
  if (!opened) throw std::runtime_error("the key could not be made");
  const CountedName counted(name);
  const LONG status = setValue(opened, &counted, 0, type, bytes.data(), static_cast<ULONG>(bytes.size()));
  ::RegCloseKey(opened);
  if (status != 0) throw std::runtime_error("NtSetValueKey failed");
}

std::map<std::wstring, std::pair<DWORD, std::string>> RegistryValues(HKEY root, const std::wstring& key) {
  std::map<std::wstring, std::pair<DWORD, std::string>> values;
  bool missing = false;
  HKEY opened = OpenExactKey(root, key, false, KEY_READ, &missing);
  if (!opened && !missing) throw std::runtime_error("a key does not open");
  if (!opened) return values;
  DWORD longestName = 0, longestData = 0;
  ::RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName, &longestData,
                     nullptr, nullptr);
  std::vector<wchar_t> name(longestName + 1);
  std::vector<BYTE> data(longestData + 1);
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size()), dataLength = static_cast<DWORD>(data.size()), type = 0;
    const LSTATUS status =
        ::RegEnumValueW(opened, index, name.data(), &nameLength, nullptr, &type, data.data(), &dataLength);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) {
      ::RegCloseKey(opened);
      throw std::runtime_error("a value does not read whole");
    }
    values[std::wstring(name.data(), nameLength)] = {type, std::string(reinterpret_cast<char*>(data.data()), dataLength)};
  }
  ::RegCloseKey(opened);
  return values;
}

RegistryChanges::~RegistryChanges() {
  for (auto it = values_.rbegin(); it != values_.rend(); ++it) {
    try {
      if (it->before) {
        WriteRegistryBytes(it->root, it->key, it->name, it->before->first, it->before->second);
      } else if (HKEY key = OpenExactKey(it->root, it->key, false, KEY_SET_VALUE)) {
        ::RegDeleteValueW(key, it->name.c_str());
        ::RegCloseKey(key);
      }
    } catch (const std::exception&) {
    }
  }
  for (auto it = keys_.rbegin(); it != keys_.rend(); ++it) DeleteRegistryKey(it->first, it->second);
}

// Keeps the value as it is now, once, and notes the first key on its way that is not there yet.
void RegistryChanges::Note(HKEY root, const std::wstring& key, const std::wstring& name) {
  if (std::any_of(values_.begin(), values_.end(),
                  [&](const Value& value) { return value.root == root && value.key == key && value.name == name; })) {
    return;
  }
  for (std::size_t end = key.find(L'\\');; end = key.find(L'\\', end + 1)) {
    const std::wstring part = key.substr(0, end);
    bool missing = false;
    if (HKEY opened = OpenExactKey(root, part, false, KEY_READ, &missing)) {
      ::RegCloseKey(opened);
    } else {
      if (missing) keys_.emplace_back(root, part);
      break;
    }
    if (end == std::wstring::npos) break;
  }
  const auto values = RegistryValues(root, key);
  const auto before = values.find(name);
  values_.push_back({root, key, name, before == values.end() ? std::nullopt : std::optional(before->second)});
}

void RegistryChanges::Set(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
                          const std::string& data) {
  Note(root, key, name);
  WriteRegistryBytes(root, key, name, type, data);
}

void RegistryChanges::Remove(HKEY root, const std::wstring& key, const std::wstring& name) {
  Note(root, key, name);
  if (HKEY opened = OpenExactKey(root, key, false, KEY_SET_VALUE)) {
    ::RegDeleteValueW(opened, name.c_str());
    ::RegCloseKey(opened);
  }
}

std::wstring ReadRegistryText(HKEY root, const std::wstring& key, const std::wstring& name) {
  std::wstring text(4096, L'\0');
  DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (::RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                     text.data(), &bytes) != ERROR_SUCCESS) {
    return L"<absent>";
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

void DeleteRegistryKey(HKEY root, const std::wstring& key) {
  if (key.find(L'\0') == std::wstring::npos) {
    ::RegDeleteTreeW(root, key.c_str());
    return;
  }
  static const auto deleteKey = Native<LONG(WINAPI*)(HANDLE)>("NtDeleteKey");
  if (HKEY opened = OpenExactKey(root, key, false, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE)) {
    ::RegDeleteTreeW(opened, nullptr);  // what is below it, by names without U+0000
    deleteKey(opened);
    ::RegCloseKey(opened);
  }
}

DWORD RunProgram(const std::wstring& commandLine) {
  // Under load a process now and then fails to start, or ends before it has
  // run, with ~0 (seen once in 700 imports under Wine): it is tried again.
  DWORD code = ~0u;
  for (int attempt = 0; attempt < 3 && code == ~0u; ++attempt) {
    if (attempt > 0) ::Sleep(200);
    std::wstring command = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &process)) {
      continue;
    }
    ::WaitForSingleObject(process.hProcess, 60000);
    if (!::GetExitCodeProcess(process.hProcess, &code)) code = ~0u;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  return code;
}

// Importing the same file again sets the same values once more.
DWORD RegImport(const std::wstring& file) { return RunProgram(L"reg.exe import \"" + file + L"\""); }

bool OnWine() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

std::wstring ExactForm(const std::wstring& path) {
  if (path.starts_with(L"\\\\?\\")) return path;
  if (path.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

std::wstring UnixForm(const std::wstring& path) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  static const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) return ExactForm(path);
  // The folder's Unix path, then the name exactly as given.
  const std::size_t separator = path.find_last_of(L'\\');
  char* folder = unixName(ExactForm(path.substr(0, separator)).c_str());
  if (!folder || folder[0] != '/') {
    if (folder) ::HeapFree(::GetProcessHeap(), 0, folder);
    return ExactForm(path);
  }
  std::wstring unix(std::strlen(folder), L'\0');
  unix.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, folder, -1, unix.data(),
                                                             static_cast<int>(unix.size() + 1)) - 1));
  ::HeapFree(::GetProcessHeap(), 0, folder);
  // The exact form takes no "." or ".." (a prefix named through "scripts/.." gives them): they are resolved here.
  std::vector<std::wstring> names;
  for (std::size_t start = 1; start <= unix.size();) {
    const std::size_t end = std::min(unix.find(L'/', start), unix.size());
    const std::wstring name = unix.substr(start, end - start);
    if (name == L".." && !names.empty()) {
      names.pop_back();
    } else if (!name.empty() && name != L"." && name != L"..") {
      names.push_back(name);
    }
    start = end + 1;
  }
  std::wstring exact = L"\\\\?\\unix";
  for (const std::wstring& name : names) exact += L"\\" + name;
  return exact + path.substr(separator);
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  const std::wstring exact = ExactForm(path);
  HANDLE file = ::CreateFileW(exact.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_EXISTS) {
    // The name is there, or one that differs only in case: the very name is
    // written over, or made beside its twin through its Unix path.
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW(exact.c_str(), &found);
    const bool there = find != INVALID_HANDLE_VALUE && path.substr(path.rfind(L'\\') + 1) == found.cFileName;
    if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
    file = ::CreateFileW((there ? exact : UnixForm(path)).c_str(), GENERIC_WRITE, 0, nullptr,
                         there ? TRUNCATE_EXISTING : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    const std::wstring tried = UnixForm(path);
    std::string named(tried.size() * 3, '\0');
    named.resize(static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, tried.data(), static_cast<int>(tried.size()),
                                                                named.data(), static_cast<int>(named.size()), nullptr,
                                                                nullptr)));
    throw std::runtime_error("CreateFileW failed with " + std::to_string(error) + " for " + named);
  }
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

std::string Utf16Bytes(const std::wstring& text, bool terminated) {
  std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  if (terminated) bytes.append(2, '\0');
  return bytes;
}

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

std::vector<std::wstring> ListedFiles(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  HANDLE find = ::FindFirstFileW((ExactForm(folder) + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  return names;
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
  HANDLE file = ::CreateFileW(ExactForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  LARGE_INTEGER size{};
  ::GetFileSizeEx(file, &size);
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  const BOOL ok = ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  ::CloseHandle(file);
  if (!ok) return std::nullopt;
  bytes.resize(read);
  return bytes;
}

ReadOnlyKey::ReadOnlyKey(HKEY root, const std::wstring& path) : root_(root), path_(path) {
  if (::RegOpenKeyExW(root, path.c_str(), 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS) {
    key_ = nullptr;
    return;
  }
  DWORD size = 0;
  ::RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
  saved_.resize(size);
  if (size == 0 || ::RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(), &size) != ERROR_SUCCESS) {
    saved_.clear();
    return;  // nothing to put back: the key is left as it is
  }
  PSECURITY_DESCRIPTOR readOnly = nullptr;
  if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly,
                                                             nullptr)) {
    ::RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, readOnly);
    ::LocalFree(readOnly);
  }
}

ReadOnlyKey::~ReadOnlyKey() {
  if (!key_) return;
  if (!saved_.empty()) ::RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data());
  ::RegCloseKey(key_);
}

bool ReadOnlyKey::Refuses() const {
  HKEY opened = nullptr;
  const LSTATUS status = ::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &opened);
  if (status == ERROR_SUCCESS) ::RegCloseKey(opened);
  return status == ERROR_ACCESS_DENIED;
}

// By the time each folder was made; of folders made in the same second (a
// name's time has seconds only), the higher " (n)": "(10)" sorts before "(9)".
std::wstring NewestBackupFolder() {
  const std::wstring backups = ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Marrowfen\\Vellorin Quade\\Backups";
  WIN32_FIND_DATAW found{};
  std::wstring newest;
  std::pair<ULONGLONG, unsigned long> newestAt{};
  HANDLE find = ::FindFirstFileW((backups + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return newest;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::size_t open = name.rfind(L" (");
    const unsigned long copy = open == std::wstring::npos ? 1 : std::wcstoul(name.c_str() + open + 2, nullptr, 10);
    const std::pair<ULONGLONG, unsigned long> at{
        static_cast<ULONGLONG>(found.ftCreationTime.dwHighDateTime) << 32 | found.ftCreationTime.dwLowDateTime, copy};
    if (newest.empty() || at > newestAt) {
      newest = name;
      newestAt = at;
    }
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  return newest.empty() ? newest : backups + L"\\" + newest;
}

void EmptyFolder(const std::wstring& folder) {
  ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  WIN32_FIND_DATAW found{};
  HANDLE find = ::FindFirstFileW((ExactForm(folder) + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = ExactForm(folder) + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      EmptyFolder(path);
      ::RemoveDirectoryW(path.c_str());
    } else {
      ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileW(path.c_str());
    }
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
}

SavedFiles::SavedFiles(std::vector<std::wstring> paths) : paths_(std::move(paths)) {
  for (const std::wstring& path : paths_) saved_.push_back(ReadFileBytes(path));
}

SavedFiles::~SavedFiles() {
  for (std::size_t i = 0; i < paths_.size(); ++i) {
    ::SetFileAttributesW(paths_[i].c_str(), FILE_ATTRIBUTE_NORMAL);
    if (saved_[i]) {
      WriteFileBytes(paths_[i], *saved_[i]);
    } else {
      ::DeleteFileW(paths_[i].c_str());
    }
  }
}

const AutorunKey kAutorunKeys[18] = {
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"},
    {HKEY_USERS, L".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_USERS, L".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_USERS, L".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {HKEY_USERS, L".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {HKEY_USERS, L".DEFAULT\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"},
};

// The Windows NT "Windows" keys hold settings besides "load": only the values
// the program would list from them go.
void ClearAutorunKeys() {
  for (const AutorunKey& key : kAutorunKeys) {
    if (!wcsstr(key.path, L"Windows NT")) {
      ::RegDeleteTreeW(key.root, key.path);
      continue;
    }
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(key.root, key.path, 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS) continue;
    std::vector<std::wstring> listed;
    wchar_t name[16384];
    for (DWORD index = 0;; ++index) {
      DWORD length = 16384, bytes = 0;
      if (::RegEnumValueW(opened, index, name, &length, nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS) break;
      if (bytes == 0 || std::wstring(name, length) == L"load") listed.emplace_back(name, length);
    }
    for (const std::wstring& value : listed) ::RegDeleteValueW(opened, value.c_str());
    ::RegCloseKey(opened);
  }
}

TempFolder::TempFolder() {
  wchar_t base[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, base);
  static int made = 0;  // two folders made in the same tick get names of their own
  path_ = std::wstring(base) + L"vq-e2e-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(++made);
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
  EmptyFolder(path_);
  ::RemoveDirectoryW(path_.c_str());
}

bool SaveWindowImage(HWND window, const std::wstring& path) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* pixels = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  const bool copied = ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  ::GdiFlush();
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
  const DWORD imageBytes = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + imageBytes;
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  bytes.append(static_cast<const char*>(pixels), imageBytes);
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  if (!copied) return false;
  WriteFileBytes(path, bytes);
  return true;
}

}  // namespace vq::e2e
