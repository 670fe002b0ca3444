#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vq {

// A file being written; destroying it closes it.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual void Append(std::string_view bytes) = 0;
  // Replaces the whole content.
  virtual void Replace(std::string_view bytes) = 0;
  // Returns once what was written is on the disk.
  virtual void Flush() = 0;
};

// Files and folders, with paths as UTF-8 text in the system's own form (C:\folder\name).
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
  // Calls `each` with the name (no folder part) of every file matching the
  // pattern (a folder followed by a name pattern such as *.*), in the order
  // the system lists them: hidden and system files too, sub-folders never. A
  // folder that does not exist yields no names; other failures throw Failure.
  virtual void ListFiles(const std::string& pattern, const std::function<void(const std::string& name)>& each) = 0;
  // True when the file opens with no access rights requested, sharing read
  // and write, as an existing file, unbuffered and sequential; the handle is
  // closed at once. A folder never opens this way. Never throws.
  virtual bool OpensForPresence(const std::string& path) = 0;
  // True when the path names an existing file, not a folder. Never throws.
  virtual bool IsFile(const std::string& path) = 0;

  // The system's plain delete of one file: fails (throws Failure) at least
  // for read-only files, files in use and paths that name nothing.
  virtual void PlainDelete(const std::string& path) = 0;
  // Deletes the one file the path names even when it is read-only, and
  // nothing else: never a pattern, never a folder, a link as a link. The
  // file's attributes as other names of it show them stay as they were.
  // Throws Failure when it cannot.
  virtual void ForcedDelete(const std::string& path) = 0;

  // Creates one folder. Returns false when the name is taken (by a folder or
  // a file); throws Failure when the folder cannot be made.
  virtual bool CreateFolder(const std::string& path) = 0;
  // Removes a folder that is empty. Throws Failure when it cannot.
  virtual void RemoveEmptyFolder(const std::string& path) = 0;
  // Creates a file that must not exist yet, open for writing.
  virtual std::unique_ptr<OutputFile> CreateNewFile(const std::string& path) = 0;
  // Moves the one file the path names (never what a link leads to) to a new
  // name on the same volume, which must not exist yet. Throws Failure when it cannot.
  virtual void MoveNamedFile(const std::string& from, const std::string& to) = 0;
  // Copies a file to a new name that must not exist yet: its bytes,
  // attributes and times. Throws Failure when it cannot.
  virtual void CopyExactly(const std::string& from, const std::string& to) = 0;
};

}  // namespace vq
