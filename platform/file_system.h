#pragma once

#include <cstdint>
#include <string>

namespace vq {

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
};

}  // namespace vq
