#pragma once

#include <windows.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Drives the real program from another process through the Win32 API, and
// seeds the prefix it runs in (registry values, files).
namespace vq::e2e {

using namespace std::chrono_literals;

// True when the tests run under Wine.
bool OnWine();

// The build folder that holds VellorinQuade.exe (the parent of the tests' folder).
std::wstring BuildFolder();
std::wstring ProgramPath();

class AppProcess {
 public:
  explicit AppProcess(const std::wstring& exePath);
  ~AppProcess();  // ends the program if it still runs
  AppProcess(const AppProcess&) = delete;
  AppProcess& operator=(const AppProcess&) = delete;

  DWORD id() const { return info_.dwProcessId; }
  // The main window once it is visible, or null after the timeout.
  HWND WaitForMainWindow(std::chrono::milliseconds timeout = 20s) const;
  // A visible message box of this process with the given title, or null.
  HWND WaitForMessageBox(const std::wstring& title, std::chrono::milliseconds timeout = 20s) const;
  // True when the process ended within the timeout; its exit code goes to *code.
  bool WaitForExit(std::chrono::milliseconds timeout, DWORD* code = nullptr) const;

 private:
  PROCESS_INFORMATION info_{};
};

std::wstring WindowText(HWND window);
// The text of a message box, as its static control holds it.
std::wstring MessageBoxText(HWND box);
// Presses a message box's button (IDOK, IDYES…) without waiting for what follows.
void PressMessageBoxButton(HWND box, int id);

// The control's rectangle in its parent's client area.
RECT ChildRect(HWND parent, HWND child);

struct ListColumn {
  std::wstring header;
  int width;
};
struct ListRow {
  bool checked;
  std::vector<std::wstring> texts;
};
// Reads another process's list view through a buffer placed in that process.
std::vector<ListColumn> ReadListColumns(HWND list);
std::vector<ListRow> ReadListRows(HWND list);
// Appends a row to another process's list view, for tests that must see rows go.
void InsertListRow(HWND list, const std::wstring& text);
// Ticks or unticks a row (counted from 0) of another process's list view.
void SetListRowChecked(HWND list, int row, bool checked);
// Selects the row and gives it the focus, as a click on it would.
void FocusListRow(HWND list, int row);
// Where a cell of the row (sub-item 0 is the row's own text) is on the screen.
RECT ListCellRect(HWND list, int row, int subItem);
// The position of the first row whose texts start with these, or -1.
int FindListRow(const std::vector<ListRow>& rows, const std::vector<std::wstring>& texts);

// Registry values of the prefix, written and read as text of the given type.
void WriteRegistryText(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& text,
                       DWORD type = REG_SZ);
// A value of any type with exactly these data bytes, under exactly this
// name, in exactly this key (written through the native calls that take
// counted names, so a name may hold U+0000).
void WriteRegistryBytes(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
                        const std::string& bytes);
// Every value of the key (whose names may hold U+0000) by its exact name:
// type and bytes. Empty when there is no key; throws std::runtime_error when
// a value cannot be read whole.
std::map<std::wstring, std::pair<DWORD, std::string>> RegistryValues(HKEY root, const std::wstring& key);
// Registry values a test writes over the system's, put back as they were
// (or removed again, with the keys the test made on the way) when it ends.
class RegistryChanges {
 public:
  RegistryChanges() = default;
  ~RegistryChanges();
  RegistryChanges(const RegistryChanges&) = delete;
  RegistryChanges& operator=(const RegistryChanges&) = delete;
  void Set(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type, const std::string& data);
  // Removes the value (none is as good), to be put back at the end.
  void Remove(HKEY root, const std::wstring& key, const std::wstring& name);

 private:
  void Note(HKEY root, const std::wstring& key, const std::wstring& name);
  struct Value {
    HKEY root;
    std::wstring key, name;
    std::optional<std::pair<DWORD, std::string>> before;
  };
  std::vector<Value> values_;
  std::vector<std::pair<HKEY, std::wstring>> keys_;  // made by the test, in the order made
};

// While it lives, everyone may only read the key (the DACL D:P(A;;KR;;;WD)),
// as a standard user may only read a machine-wide key; then the key's own
// DACL is put back, through the handle that took it away, whatever the test did.
class ReadOnlyKey {
 public:
  ReadOnlyKey(HKEY root, const std::wstring& path);
  ~ReadOnlyKey();
  ReadOnlyKey(const ReadOnlyKey&) = delete;
  ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;
  // Whether the key now refuses an open that asks to change it.
  bool Refuses() const;

 private:
  HKEY root_;
  std::wstring path_;
  HKEY key_ = nullptr;
  std::vector<BYTE> saved_;
};

// A run of the console edition: its exit code and what it wrote.
struct ConsoleRun {
  DWORD exitCode = ~0u;
  std::string out, err;  // the bytes of standard output and standard error
};
// Runs the console edition with this command line after its name and waits
// for it (60 s at most). With `readOut` false, standard output is a pipe
// whose reader has gone (one that stopped early).
ConsoleRun RunConsole(const std::wstring& arguments, bool readOut = true);
std::wstring ConsoleProgramPath();
// UTF-16LE bytes as text; nullopt when they do not start with the byte-order mark.
std::optional<std::wstring> FromMarkedUtf16(const std::string& bytes);

// The value's text, or "<absent>".
std::wstring ReadRegistryText(HKEY root, const std::wstring& key, const std::wstring& name);
// Deletes the key (whose names may hold U+0000) with everything below it.
void DeleteRegistryKey(HKEY root, const std::wstring& key);
// Runs a command line without a window and waits for it (a minute at most); its exit code.
DWORD RunProgram(const std::wstring& commandLine);
// Runs the system's own "reg import" on a registry editor file; its exit code.
DWORD RegImport(const std::wstring& file);

// The program's settings, as the program itself keeps them.
inline constexpr wchar_t kSettingsKey[] = L"Software\\VB and VBA Program Settings\\Marrowfen\\Vellorin Quade";
inline void DeleteSettings() { DeleteRegistryKey(HKEY_CURRENT_USER, kSettingsKey); }
inline void StoreSetting(const std::wstring& key, const std::wstring& text) {
  WriteRegistryText(HKEY_CURRENT_USER, kSettingsKey, key, text);
}
inline std::wstring StoredSetting(const std::wstring& key) {
  return ReadRegistryText(HKEY_CURRENT_USER, kSettingsKey, key);
}

// Files are named exactly: a name ending in a dot or a space, or one like
// "nul.lnk", is that file. On Wine a file beside one whose name differs only
// in case is made through its Unix path, so a folder can hold both (A.lnk
// beside a.lnk).
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
// The exact form of a path (\\?\C:\...), and on Wine the form that goes
// straight to the Unix file (\\?\unix\...; the exact form elsewhere).
std::wstring ExactForm(const std::wstring& path);
std::wstring UnixForm(const std::wstring& path);
// A text's UTF-16LE bytes as the registry stores it, with its terminator unless told otherwise.
std::string Utf16Bytes(const std::wstring& text, bool terminated = true);
// The path of a shell special folder by its CSIDL number.
std::wstring ShellFolder(int csidl);
// The files (not sub-folders) a folder lists, in the system's order.
std::vector<std::wstring> ListedFiles(const std::wstring& folder);
// The file's bytes; nullopt when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::wstring& path);
// The newest of the program's backup folders (by name), or empty text.
std::wstring NewestBackupFolder();
// Deletes every file and sub-folder inside the folder, creating it when missing.
void EmptyFolder(const std::wstring& folder);

// The keys the program reads autorun values from, with their hives.
struct AutorunKey {
  HKEY root;
  const wchar_t* path;
};
extern const AutorunKey kAutorunKeys[18];
// Removes every autorun key (and so every value the program would list from them).
void ClearAutorunKeys();
// Files saved when made and put back as they were (or removed again, where
// there was none) when destroyed.
class SavedFiles {
 public:
  explicit SavedFiles(std::vector<std::wstring> paths);
  ~SavedFiles();
  SavedFiles(const SavedFiles&) = delete;
  SavedFiles& operator=(const SavedFiles&) = delete;

 private:
  std::vector<std::wstring> paths_;
  std::vector<std::optional<std::string>> saved_;
};
// The legacy system files the program reads.
inline const std::vector<std::wstring> kSystemFiles = {L"C:\\autoexec.bat", L"C:\\config.sys",
                                                       L"C:\\windows\\system.ini", L"C:\\windows\\win.ini"};

// A folder of its own under the temporary folder, removed with what it holds.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// Saves what the screen shows of a window as a 24-bit BMP file.
bool SaveWindowImage(HWND window, const std::wstring& path);

}  // namespace vq::e2e
