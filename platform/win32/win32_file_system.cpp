#include "platform/win32/win32_file_system.h"

#include <windows.h>

#include <climits>
#include <optional>
#include <utility>
#include <vector>

#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_failure.h"

namespace vq::win32 {

std::wstring ProgramFilePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) ThrowLastError("GetModuleFileNameW");
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // truncated: ask again with room to spare
  }
}

std::string Win32FileSystem::ProgramFolder() {
  const std::wstring path = ProgramFilePath();
  return Narrow(path.substr(0, path.find_last_of(L"\\/")));
}

namespace {

// Since Windows 10 1809 a delete can ignore the read-only attribute, leaving
// it as it is (declared here: the headers show it only to newer targets).
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;
struct DispositionInfoEx {
  DWORD flags;
};

// Sets the attributes through the handle; times left as they are.
bool SetAttributes(HANDLE file, DWORD attributes) {
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
}

WIN32_FILE_ATTRIBUTE_DATA Attributes(const std::string& path) {
  if (path.empty()) throw Failure("Bad file name or number");
  // A path ending in a separator names a folder's contents, not a file.
  if (path.back() == '\\' || path.back() == '/') throw Failure("Bad file name or number");
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) {
    ThrowLastError("GetFileAttributesExW");
  }
  return data;
}
}  // namespace

std::int64_t Win32FileSystem::LastModified(const std::string& path) {
  const WIN32_FILE_ATTRIBUTE_DATA data = Attributes(path);
  return static_cast<std::int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
}

std::int64_t Win32FileSystem::FileLength(const std::string& path) {
  const WIN32_FILE_ATTRIBUTE_DATA data = Attributes(path);
  return static_cast<std::int64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

std::string Win32FileSystem::ReadBytes(const std::string& path) {
  UniqueFileHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) ThrowLastError("CreateFileW");
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) ThrowLastError("GetFileSizeEx");
  if (size.QuadPart > INT_MAX) throw Failure("Out of memory");
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read, nullptr)) {
      ThrowLastError("ReadFile");
    }
    if (read == 0) break;  // shortened while being read
    done += read;
  }
  bytes.resize(done);
  return bytes;
}

std::string Win32FileSystem::AnsiToUtf8(std::string_view bytes) {
  if (bytes.empty()) return "";
  if (bytes.size() > INT_MAX / 2) throw Failure("Out of memory");
  const int size = static_cast<int>(bytes.size());
  std::wstring wide(bytes.size(), L'\0');  // never more characters than bytes
  const int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), size);
  if (length == 0) ThrowLastError("MultiByteToWideChar");
  wide.resize(static_cast<std::size_t>(length));
  return Narrow(wide);
}

void Win32FileSystem::ListFiles(const std::string& pattern,
                                const std::function<void(const std::string& name)>& each) {
  WIN32_FIND_DATAW found{};
  UniqueFindHandle find(::FindFirstFileExW(Widen(pattern).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                           nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    throw Win32Failure("FindFirstFileExW", error);
  }
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) each(Narrow(found.cFileName));
  } while (::FindNextFileW(find.get(), &found));
  if (::GetLastError() != ERROR_NO_MORE_FILES) ThrowLastError("FindNextFileW");
}

bool Win32FileSystem::OpensForPresence(const std::string& path) {
  std::wstring wide;
  try {
    wide = Widen(path);
  } catch (const Failure&) {
    return false;
  }
  UniqueFileHandle file(::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  return static_cast<bool>(file);
}

bool Win32FileSystem::IsFile(const std::string& path) {
  try {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  } catch (const Failure&) {
    return false;
  }
}

namespace {

bool SameText(std::wstring_view a, std::wstring_view b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  std::wstring full(size, L'\0');
  full.resize(::GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
  return full;
}

// The path the open file has, without the \\?\ form.
std::wstring FinalPath(HANDLE file) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) ThrowLastError("GetFinalPathNameByHandleW");
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(length);
  }
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + path.substr(7);
  if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

// Volume and index of the folder or file, which tell it apart however it is reached.
std::optional<std::pair<DWORD, ULONGLONG>> Identity(const std::wstring& path) {
  UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !::GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return std::pair{info.dwVolumeSerialNumber, static_cast<ULONGLONG>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

std::wstring_view NameOf(std::wstring_view path) { return path.substr(path.find_last_of(L'\\') + 1); }
std::wstring ParentOf(std::wstring_view path) { return std::wstring(path.substr(0, path.find_last_of(L'\\') + 1)); }

// The path of the open file below its volume (\\folder\\name), as the file system names it.
std::wstring PathBelowVolume(HANDLE file) {
  std::vector<DWORD> buffer((sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t)) / sizeof(DWORD));
  auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
  if (!::GetFileInformationByHandleEx(file, FileNameInfo, info, static_cast<DWORD>(buffer.size() * sizeof(DWORD)))) {
    return L"";
  }
  return std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t));
}

// True when the open file is the entry the path names, not one a link
// leads to. Windows opens a link as the link; Wine opens the target of a
// Unix symbolic link however it is asked.
bool IsNamedEntry(HANDLE file, const std::wstring& path) {
  const std::wstring named = FullPath(path);
  // The common case, asked once: the file has the very path it was opened by.
  if (named.size() > 2 && named[1] == L':' && SameText(PathBelowVolume(file), std::wstring_view(named).substr(2))) {
    return true;
  }
  const std::wstring opened = FinalPath(file);
  if (SameText(opened, named)) return true;
  // The same entry reached another way (a junction on the way, a short name) is still the one named.
  std::wstring longNamed(32768, L'\0');
  longNamed.resize(::GetLongPathNameW(named.c_str(), longNamed.data(), static_cast<DWORD>(longNamed.size())));
  if (longNamed.empty()) longNamed = named;
  const auto folder = Identity(ParentOf(opened));
  return SameText(NameOf(opened), NameOf(longNamed)) && folder && folder == Identity(ParentOf(longNamed));
}

// Opens the one file the path names to delete it: the name itself, never a
// folder (no backup semantics: a folder does not open), never what a link
// leads to.
UniqueFileHandle OpenNamedFile(const std::string& path, DWORD access) {
  const std::wstring wide = Widen(path);
  UniqueFileHandle file(::CreateFileW(wide.c_str(), DELETE | access,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) ThrowLastError("CreateFileW");
  if (!IsNamedEntry(file.get(), wide)) throw Failure("The path is a link to another file, which is left alone");
  return file;
}

}  // namespace

void Win32FileSystem::PlainDelete(const std::string& path) {
  // What DeleteFileW does, on a handle that is sure to be the named file: a
  // read-only file or one in use is refused.
  UniqueFileHandle file = OpenNamedFile(path, 0);
  FILE_DISPOSITION_INFO dispose{TRUE};
  if (!::SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose)) {
    ThrowLastError("SetFileInformationByHandle");
  }
}

void Win32FileSystem::ForcedDelete(const std::string& path) {
  UniqueFileHandle file = OpenNamedFile(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic)) {
    ThrowLastError("GetFileInformationByHandleEx");
  }
  DispositionInfoEx ignoringReadOnly{kDispositionDelete | kDispositionIgnoreReadOnly};
  if (::SetFileInformationByHandle(file.get(), kFileDispositionInfoEx, &ignoringReadOnly, sizeof ignoringReadOnly)) {
    return;
  }
  // Elsewhere the read-only attribute is cleared for the delete and put back
  // before the handle closes: the file's other names (hard links) must still show it.
  const bool readOnly = basic.FileAttributes & FILE_ATTRIBUTE_READONLY;
  if (readOnly && !SetAttributes(file.get(), basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY)) {
    ThrowLastError("SetFileInformationByHandle");
  }
  FILE_DISPOSITION_INFO dispose{TRUE};
  const bool deleted = ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose);
  const DWORD error = ::GetLastError();
  if (readOnly) SetAttributes(file.get(), basic.FileAttributes);
  if (!deleted) throw Win32Failure("SetFileInformationByHandle", error);
}

bool Win32FileSystem::CreateFolder(const std::string& path) {
  if (::CreateDirectoryW(Widen(path).c_str(), nullptr)) return true;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) return false;
  ThrowLastError("CreateDirectoryW");
}

void Win32FileSystem::RemoveEmptyFolder(const std::string& path) {
  if (!::RemoveDirectoryW(Widen(path).c_str())) ThrowLastError("RemoveDirectoryW");
}

namespace {

class Win32OutputFile final : public OutputFile {
 public:
  explicit Win32OutputFile(UniqueFileHandle file) : file_(std::move(file)) {}
  void Append(std::string_view bytes) override {
    LARGE_INTEGER end{};
    if (!::SetFilePointerEx(file_.get(), {}, &end, FILE_END)) ThrowLastError("SetFilePointerEx");
    Write(bytes);
  }
  void Replace(std::string_view bytes) override {
    if (!::SetFilePointerEx(file_.get(), {}, nullptr, FILE_BEGIN)) ThrowLastError("SetFilePointerEx");
    Write(bytes);
    if (!::SetEndOfFile(file_.get())) ThrowLastError("SetEndOfFile");
  }
  void Flush() override {
    if (!::FlushFileBuffers(file_.get())) ThrowLastError("FlushFileBuffers");
  }

 private:
  void Write(std::string_view bytes) {
    while (!bytes.empty()) {
      DWORD written = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      if (!::WriteFile(file_.get(), bytes.data(), chunk, &written, nullptr)) ThrowLastError("WriteFile");
      bytes.remove_prefix(written);
    }
  }
  UniqueFileHandle file_;
};

}  // namespace

std::unique_ptr<OutputFile> Win32FileSystem::CreateNewFile(const std::string& path) {
  UniqueFileHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) ThrowLastError("CreateFileW");
  return std::make_unique<Win32OutputFile>(std::move(file));
}

void Win32FileSystem::MoveNamedFile(const std::string& from, const std::string& to) {
  const UniqueFileHandle file = OpenNamedFile(from, 0);
  const std::wstring target = FullPath(Widen(to));
  std::vector<DWORD> buffer((sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t)) / sizeof(DWORD) + 1);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::copy(target.begin(), target.end(), rename->FileName);
  if (!::SetFileInformationByHandle(file.get(), FileRenameInfo, rename,
                                    static_cast<DWORD>(buffer.size() * sizeof(DWORD)))) {
    ThrowLastError("SetFileInformationByHandle");
  }
}

void Win32FileSystem::CopyExactly(const std::string& from, const std::string& to) {
  const std::wstring source = Widen(from), target = Widen(to);
  // The copy takes the bytes, the attributes and the time of the last write;
  // the times of creation and last access are put back after it.
  if (!::CopyFileW(source.c_str(), target.c_str(), TRUE)) ThrowLastError("CopyFileW");
  UniqueFileHandle original(::CreateFileW(source.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
  UniqueFileHandle copy(::CreateFileW(target.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      0, nullptr));
  FILETIME created{}, accessed{}, written{};
  if (!original || !copy || !::GetFileTime(original.get(), &created, &accessed, &written) ||
      !::SetFileTime(copy.get(), &created, &accessed, &written)) {
    ThrowLastError("SetFileTime");
  }
}

}  // namespace vq::win32
