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
  // Its size and its bytes, nothing more: a system file a user may only read opens all the same.
  UniqueFileHandle file(::CreateFileW(Widen(path).c_str(), FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
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

namespace {
// A full path in the exact form (a device path such as \\.\ stays as it is).
std::wstring Exact(std::wstring_view plain) {
  if (plain.starts_with(L"\\\\?\\") || plain.starts_with(L"\\\\.\\")) return std::wstring(plain);
  if (plain.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + std::wstring(plain.substr(2));
  return L"\\\\?\\" + std::wstring(plain);
}
}  // namespace

std::u16string Win32FileSystem::ExactFolder(const std::string& folder) {
  if (folder.empty()) throw Failure("Bad file name or number");
  const std::wstring wide = Widen(folder);
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) ThrowLastError("GetFullPathNameW");
  std::wstring full(size, L'\0');
  full.resize(::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr));
  // A drive's root keeps its separator (C:\); every other folder loses it.
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  const std::wstring exact = Exact(full);
  return std::u16string(exact.begin(), exact.end());
}

namespace {
std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
// A name without its trailing dots and spaces, as the Win32 rules trim it.
std::wstring_view Trimmed(std::wstring_view name) {
  while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.remove_suffix(1);
  return name;
}
}  // namespace

void Win32FileSystem::ListFiles(const std::u16string& exactFolder, const std::string& namePattern,
                                const std::function<void(const std::u16string& name)>& each) {
  const std::wstring pattern = Wide(ExactChild(exactFolder, u"")) + Widen(namePattern);
  WIN32_FIND_DATAW found{};
  UniqueFindHandle find(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH));
  if (!find) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    throw Win32Failure("FindFirstFileExW", error);
  }
  // What the listing shows of names that are alike once their trailing dots
  // and spaces go, for telling a named file from a link (IsNamedEntry).
  std::set<std::wstring> trimmed;
  FolderFacts facts;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::wstring_view name(found.cFileName);
    if (!trimmed.insert(std::wstring(Trimmed(name))).second) facts.twins.insert(std::wstring(Trimmed(name)));
    each(std::u16string(name.begin(), name.end()));
  } while (::FindNextFileW(find.get(), &found));
  if (::GetLastError() != ERROR_NO_MORE_FILES) ThrowLastError("FindNextFileW");
  const std::wstring folder = Wide(exactFolder);
  facts.listed = true;
  facts.objectName = FactsOf(folder).objectName;
  folders_[folder] = std::move(facts);
}

void Win32FileSystem::ListFolders(const std::u16string& exactFolder,
                                  const std::function<void(const std::u16string& name)>& each) {
  const std::wstring pattern = Wide(ExactChild(exactFolder, u"*"));
  WIN32_FIND_DATAW found{};
  UniqueFindHandle find(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchLimitToDirectories,
                                           nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    throw Win32Failure("FindFirstFileExW", error);
  }
  do {
    // The limit to folders is only a hint to the system: the attributes decide.
    const DWORD attributes = found.dwFileAttributes;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    const std::wstring_view name(found.cFileName);
    if (name == L"." || name == L"..") continue;
    each(std::u16string(name.begin(), name.end()));
  } while (::FindNextFileW(find.get(), &found));
  if (::GetLastError() != ERROR_NO_MORE_FILES) ThrowLastError("FindNextFileW");
}

bool Win32FileSystem::OpensForPresence(const ExactPath& path) {
  UniqueFileHandle file(::CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
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
  const std::u16string plain = PlainPath(std::u16string(path.begin(), path.end()));
  return std::wstring(plain.begin(), plain.end());
}

// Volume and index of a file or folder, which tell it apart however it is reached.
using FileIdentity = std::pair<DWORD, ULONGLONG>;
std::optional<FileIdentity> IdentityOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file, &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, static_cast<ULONGLONG>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}
// Opens a file or folder only to ask about it: a link as the link, or as
// what it leads to (a folder is where its path leads).
enum class Links { AsLinks, Followed };
UniqueFileHandle OpenToAsk(const std::wstring& exact, Links links) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (links == Links::AsLinks ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  return UniqueFileHandle(::CreateFileW(exact.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        flags, nullptr));
}
// The identity of the folder a path leads to.
std::optional<FileIdentity> FolderIdentityOf(const std::wstring& exact) {
  const UniqueFileHandle folder = OpenToAsk(exact, Links::Followed);
  return folder ? IdentityOf(folder.get()) : std::nullopt;
}

std::wstring_view NameOf(std::wstring_view path) { return path.substr(path.find_last_of(L'\\') + 1); }
// The folder part, without its separator but at a root (\, C:\, \\?\C:\).
std::wstring ParentOf(std::wstring_view path) {
  std::wstring parent(path.substr(0, path.find_last_of(L'\\')));
  if (parent.empty() || parent.back() == L':') parent += L'\\';
  return parent;
}
std::wstring Join(const std::wstring& folder, std::wstring_view name) {
  return (folder.ends_with(L'\\') ? folder : folder + L'\\') + std::wstring(name);
}

// The name the system gives the open file: "\\??\\C:\\folder\\name" on Wine,
// a device path (\\Device\\...) on Windows; empty text when it gives none.
// Wine answers this far sooner than any other name query.
std::wstring ObjectName(HANDLE file) {
  using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto queryObject = reinterpret_cast<QueryObject>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  struct CountedName {
    USHORT length, maximumLength;
    const wchar_t* buffer;
  };
  std::vector<ULONGLONG> buffer((sizeof(CountedName) + 32768 * sizeof(wchar_t)) / sizeof(ULONGLONG));
  ULONG size = 0;
  constexpr int kObjectNameInformation = 1;
  if (!queryObject || queryObject(file, kObjectNameInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG)), &size) != 0) {
    return L"";
  }
  const auto* name = reinterpret_cast<const CountedName*>(buffer.data());
  return std::wstring(name->buffer, name->length / sizeof(wchar_t));
}

// The file's index on its volume, which tells files of one folder apart.
std::optional<ULONGLONG> FileIndexOf(HANDLE file) {
  using QueryInformation = LONG(WINAPI*)(HANDLE, void*, void*, ULONG, int);
  static const auto query = reinterpret_cast<QueryInformation>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
  ULONG_PTR status[2] = {};  // IO_STATUS_BLOCK
  LARGE_INTEGER index{};
  constexpr int kFileInternalInformation = 6;
  if (!query || query(file, status, &index, sizeof index, kFileInternalInformation) != 0) return std::nullopt;
  return static_cast<ULONGLONG>(index.QuadPart);
}
std::optional<ULONGLONG> FileIndexOf(const std::wstring& exact) {
  const UniqueFileHandle file = OpenToAsk(exact, Links::AsLinks);
  return file ? FileIndexOf(file.get()) : std::nullopt;
}

}  // namespace

Win32FileSystem::FolderFacts& Win32FileSystem::FactsOf(const std::wstring& exactFolder) {
  FolderFacts& facts = folders_[exactFolder];
  if (facts.objectName.empty()) {
    if (const UniqueFileHandle folder = OpenToAsk(exactFolder, Links::Followed)) {
      facts.objectName = ObjectName(folder.get());
    }
  }
  return facts;
}

// True when the open file is the entry the exact path names, not one a link
// leads to. Windows opens a link as the link. Wine opens the target of a Unix
// symbolic link however it is asked, and names an open file without the
// trailing dots and spaces of its name: the names beside it that are the
// same without theirs must then not be that file.
bool Win32FileSystem::IsNamedEntry(HANDLE file, const std::wstring& exact) {
  const std::wstring_view name = NameOf(exact), trimmed = Trimmed(name);
  const std::wstring folder = ParentOf(exact);
  // Names are compared exactly: a link a.lnk that leads to A.lnk beside it is
  // not the file A.lnk.
  auto named = [&](std::wstring_view reported) {
    if (reported != name && reported != trimmed) return false;
    FolderFacts& facts = FactsOf(folder);
    if (facts.listed && !facts.twins.count(std::wstring(trimmed))) return true;  // none beside it
    const auto index = FileIndexOf(file);
    // The names that start alike (all of them, where the name itself holds a pattern's characters).
    const bool literal = trimmed.find_first_of(L"*?<>\"") == std::wstring_view::npos;
    WIN32_FIND_DATAW found{};
    UniqueFindHandle find(::FindFirstFileExW(Join(folder, literal ? std::wstring(trimmed) + L"*" : L"*").c_str(),
                                             FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    if (!find || !index) return false;
    do {
      const std::wstring_view other(found.cFileName);
      if (other != name && Trimmed(other) == trimmed && FileIndexOf(Join(folder, other)) == index) return false;
    } while (::FindNextFileW(find.get(), &found));
    return true;
  };
  // The common case, asked once: the file is named in the very folder it was opened in.
  const std::wstring object = ObjectName(file);
  if (!object.empty() && ParentOf(object) == FactsOf(folder).objectName) return named(NameOf(object));
  // The same entry reached another way (a junction on the way, a short
  // name): its folder is the named folder.
  const std::wstring opened = FinalPath(file);
  const auto folderOpened = FolderIdentityOf(Exact(ParentOf(opened)));
  return folderOpened && folderOpened == FolderIdentityOf(folder) && named(NameOf(opened));
}

// Opens the one file the exact path names to delete or move it: the name
// itself, never a folder (no backup semantics: a folder does not open), never
// what a link leads to.
UniqueFileHandle Win32FileSystem::OpenNamedFile(const ExactPath& path, DWORD access) {
  const std::wstring wide = Wide(path);
  UniqueFileHandle file(::CreateFileW(wide.c_str(), DELETE | access,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) ThrowLastError("CreateFileW");
  if (!IsNamedEntry(file.get(), wide)) throw Failure("The path is a link to another file, which is left alone");
  return file;
}


void Win32FileSystem::PlainDelete(const ExactPath& path) {
  // What DeleteFileW does, on a handle that is sure to be the named file: a
  // read-only file or one in use is refused.
  UniqueFileHandle file = OpenNamedFile(path, 0);
  FILE_DISPOSITION_INFO dispose{TRUE};
  if (!::SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose)) {
    ThrowLastError("SetFileInformationByHandle");
  }
}

void Win32FileSystem::ForcedDelete(const ExactPath& path) {
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
  if (!readOnly || SetAttributes(file.get(), basic.FileAttributes)) {
    if (!deleted) throw Win32Failure("SetFileInformationByHandle", error);
    return;
  }
  const DWORD putBackError = ::GetLastError();
  // The other names would stay writable: the delete is called off. One that
  // cannot be called off goes as the handle closes: the file is removed, and
  // whoever asked must know it (its backup copy is all that is left of it).
  FILE_DISPOSITION_INFO keep{FALSE};
  if (!deleted || ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &keep, sizeof keep)) {
    throw Win32Failure("SetFileInformationByHandle", deleted ? putBackError : error);
  }
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
    while (!bytes.empty()) {
      DWORD written = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      if (!::WriteFile(file_.get(), bytes.data(), chunk, &written, nullptr)) ThrowLastError("WriteFile");
      bytes.remove_prefix(written);
    }
  }
  void Flush() override {
    if (!::FlushFileBuffers(file_.get())) ThrowLastError("FlushFileBuffers");
  }
  void CutTo(std::uint64_t length) override {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(length);
    if (!::SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN)) ThrowLastError("SetFilePointerEx");
    if (!::SetEndOfFile(file_.get())) ThrowLastError("SetEndOfFile");
    Flush();
  }

 private:
  UniqueFileHandle file_;
};

bool NameTaken(DWORD error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

}  // namespace

std::unique_ptr<OutputFile> Win32FileSystem::CreateNewFile(const ExactPath& path) {
  UniqueFileHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) ThrowLastError("CreateFileW");
  return std::make_unique<Win32OutputFile>(std::move(file));
}

void Win32FileSystem::MoveOver(const ExactPath& from, const ExactPath& to) {
  if (!::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ThrowLastError("MoveFileExW");
  }
}

FileSystem::MoveResult Win32FileSystem::MoveNamedFile(const ExactPath& from, const ExactPath& to) {
  const UniqueFileHandle file = OpenNamedFile(from, 0);
  const std::wstring target = Wide(to);
  std::vector<DWORD> buffer((sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t)) / sizeof(DWORD) + 1);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::copy(target.begin(), target.end(), rename->FileName);
  if (::SetFileInformationByHandle(file.get(), FileRenameInfo, rename,
                                   static_cast<DWORD>(buffer.size() * sizeof(DWORD)))) {
    return MoveResult::Moved;
  }
  const DWORD error = ::GetLastError();
  if (NameTaken(error)) return MoveResult::NameTaken;
  if (error == ERROR_NOT_SAME_DEVICE) return MoveResult::OtherVolume;
  throw Win32Failure("SetFileInformationByHandle", error);
}

namespace {

// Puts a copy's data on the disk before its original may go. Flushing takes
// a handle that may write the data, which a read-only copy refuses: its
// attribute is cleared for that, through the copy's own handle, and put back.
bool FlushCopy(HANDLE copy, const std::wstring& path) {
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandleEx(copy, FileBasicInfo, &basic, sizeof basic)) return false;
  const bool readOnly = basic.FileAttributes & FILE_ATTRIBUTE_READONLY;
  if (readOnly && !SetAttributes(copy, basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY)) return false;
  const UniqueFileHandle data(::CreateFileW(path.c_str(), FILE_WRITE_DATA,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  const bool flushed = data && ::FlushFileBuffers(data.get());
  const DWORD error = ::GetLastError();
  const bool putBack = !readOnly || SetAttributes(copy, basic.FileAttributes);
  ::SetLastError(error);
  return flushed && putBack;
}

}  // namespace

bool Win32FileSystem::CopyExactly(const ExactPath& from, const ExactPath& to) {
  const std::wstring source = Wide(from), target = Wide(to);
  // The copy takes the bytes, the attributes and the time of the last write
  // (a link is copied as a link); the times of creation and last access are
  // put back after it.
  if (!::CopyFileExW(source.c_str(), target.c_str(), nullptr, nullptr, nullptr,
                     COPY_FILE_FAIL_IF_EXISTS | COPY_FILE_COPY_SYMLINK)) {
    const DWORD error = ::GetLastError();
    if (NameTaken(error)) return false;
    throw Win32Failure("CopyFileExW", error);
  }
  // Both are opened as themselves: the times of a link are the link's.
  UniqueFileHandle original(::CreateFileW(source.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  UniqueFileHandle copy(::CreateFileW(target.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  FILETIME created{}, accessed{}, written{};
  if (!original || !copy || !::GetFileTime(original.get(), &created, &accessed, &written) ||
      !::SetFileTime(copy.get(), &created, &accessed, &written) || !FlushCopy(copy.get(), target)) {
    const DWORD error = ::GetLastError();
    if (copy) {  // a copy that is not exact is no copy: it goes, through its own handle
      SetAttributes(copy.get(), FILE_ATTRIBUTE_NORMAL);
      FILE_DISPOSITION_INFO dispose{TRUE};
      ::SetFileInformationByHandle(copy.get(), FileDispositionInfo, &dispose, sizeof dispose);
    }
    throw Win32Failure("SetFileTime", error);
  }
  return true;
}

}  // namespace vq::win32
