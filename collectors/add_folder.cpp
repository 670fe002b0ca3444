#include "collectors/add_folder.h"

#include "platform/file_system.h"

namespace vq {

namespace {
// The name list starts with room for 100 names and grows 50 at a time.
constexpr std::size_t kFirstRoom = 100;
constexpr std::size_t kMoreRoom = 50;
}  // namespace

std::vector<std::string> GetFolderFiles(FileSystem& files, const std::string& folder, const std::string& pattern) {
  std::string base = folder;
  if (base.empty() || base.back() != '\\') base += '\\';
  std::vector<std::string> names;
  names.reserve(kFirstRoom);
  files.ListFiles(base + pattern, [&](const std::string& name) {
    if (!IsFilePresent(files, base + name)) return;
    if (names.size() == names.capacity()) names.reserve(names.size() + kMoreRoom);
    names.push_back(name);
  });
  names.shrink_to_fit();
  return names;
}

bool IsFilePresent(FileSystem& files, const std::string& path) {
  try {
    return files.OpensForPresence(path);
  } catch (...) {
    return false;
  }
}

}  // namespace vq
