#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vq {

// A path the system takes exactly as it is written: \\?\C:\folder\name or
// \\?\UNC\server\share\folder\name. Nothing in it is trimmed (trailing dots
// and spaces stay), no name in it is taken for a device (nul.lnk, con), and
// it may be longer than MAX_PATH. UTF-16, so that a name as a folder listing
// returned it reaches the system unchanged.
using ExactPath = std::u16string;

// The path of a name inside a folder in the exact form: the name is appended unchanged.
inline ExactPath ExactChild(std::u16string_view exactFolder, std::u16string_view name) {
  ExactPath path(exactFolder);
  if (path.empty() || path.back() != u'\\') path += u'\\';
  return path += name;
}

// An exact path as people type it: C:\folder\name, \\server\share\name.
inline std::u16string PlainPath(std::u16string_view exact) {
  std::u16string plain;
  if (exact.starts_with(u"\\\\?\\UNC\\")) {
    plain = u"\\";
    exact.remove_prefix(7);
  } else if (exact.starts_with(u"\\\\?\\")) {
    exact.remove_prefix(4);
  }
  return plain += exact;
}

// A file being written; destroying it closes it.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual void Append(std::string_view bytes) = 0;
  // Returns once what was written is on the disk.
  virtual void Flush() = 0;
  // Cuts the file back to its first `length` bytes, on the disk.
  virtual void CutTo(std::uint64_t length) = 0;
};

// Files and folders. Paths given as UTF-8 text are in the system's own form
// (C:\folder\name), which the system normalises as it always does; the files
// of a Startup folder and their copies in a backup go by ExactPath.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The folder that holds the program file, without a trailing separator.
  virtual std::string ProgramFolder() = 0;
  // Last-modified time of what the path names, in the platform's own units.
  // Throws Failure when it cannot be read: nothing there, a folder on the way
  // missing, a path ending in a separator, a malformed or empty path.
  virtual std::int64_t LastModified(const std::string& path) = 0;

  // Length in bytes of an existing file. Throws Failure when there is none.
  virtual std::int64_t FileLength(const std::string& path) = 0;
  // The whole file as bytes; the file is closed again on every path. Throws
  // Failure when it cannot be opened or read.
  virtual std::string ReadBytes(const std::string& path) = 0;
  // Text in the system's ANSI code page, one character a byte, as UTF-8.
  virtual std::string AnsiToUtf8(std::string_view bytes) = 0;
  // True when the path names an existing file, not a folder. Never throws.
  virtual bool IsFile(const std::string& path) = 0;

  // The folder made absolute and normalised once, by the system's rules, in
  // the exact form, without a trailing separator but at a drive's root.
  // Throws Failure for a path that names no folder (empty text, a malformed path).
  virtual std::u16string ExactFolder(const std::string& folder) = 0;
  // Calls `each` with the name of every file of the exact folder that
  // matches the name pattern (such as *.*), exactly as the system lists it
  // and in its order: hidden and system files too, sub-folders never. A
  // folder that does not exist yields no names; other failures throw Failure.
  virtual void ListFiles(const std::u16string& exactFolder, const std::string& namePattern,
                         const std::function<void(const std::u16string& name)>& each) = 0;
  // Calls `each` with the name of every folder right inside the exact
  // folder, as the system lists them and in its order: not "." and "..", and
  // not a folder that leads elsewhere (a link, a junction). A folder that does
  // not exist yields no names; other failures (no right to list it) throw Failure.
  virtual void ListFolders(const std::u16string& exactFolder,
                           const std::function<void(const std::u16string& name)>& each) = 0;
  // True when the file opens with no access rights requested, sharing read
  // and write, as an existing file, unbuffered and sequential; the handle is
  // closed at once. A folder never opens this way. Never throws.
  virtual bool OpensForPresence(const ExactPath& path) = 0;

  // The system's plain delete of one file: fails (throws Failure) at least
  // for read-only files, files in use and paths that name nothing.
  virtual void PlainDelete(const ExactPath& path) = 0;
  // Deletes the one file the path names even when it is read-only, and
  // nothing else: never a pattern, never a folder, a link as a link. The
  // file's attributes as other names of it show them stay as they were
  // where the system lets them be put back. Throws Failure when it cannot
  // delete the file, and only while the file is still there.
  virtual void ForcedDelete(const ExactPath& path) = 0;
  // Moves the one file the path names (never what a link leads to) to a new
  // name: Moved; NameTaken when the new name is taken (by any name the
  // system takes for it); OtherVolume when the new name is on another
  // volume. Throws Failure when it cannot move it for any other reason.
  enum class MoveResult { Moved, NameTaken, OtherVolume };
  virtual MoveResult MoveNamedFile(const ExactPath& from, const ExactPath& to) = 0;
  // Copies a file to a new name: its bytes, attributes and times, a link as
  // a link, on the disk when it returns. Returns false when the new name is
  // taken; throws Failure when it cannot copy it, and leaves no copy then.
  virtual bool CopyExactly(const ExactPath& from, const ExactPath& to) = 0;

  // Creates one folder. Returns false when the name is taken (by a folder or
  // a file); throws Failure when the folder cannot be made.
  virtual bool CreateFolder(const std::string& path) = 0;
  // Removes a folder that is empty. Throws Failure when it cannot.
  virtual void RemoveEmptyFolder(const std::string& path) = 0;
  // Creates a file that must not exist yet, open for writing.
  virtual std::unique_ptr<OutputFile> CreateNewFile(const ExactPath& path) = 0;
  // Puts the file `from` in the place of `to`, in one step that either
  // happens whole or not at all, and on the disk when it returns: `to` then
  // holds what `from` held, and `from` is gone. Throws Failure when it cannot.
  virtual void MoveOver(const ExactPath& from, const ExactPath& to) = 0;
};

}  // namespace vq
