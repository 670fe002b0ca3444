#include "collectors/add_folder.h"

namespace vq {

namespace {
// The name list starts with room for 100 names and grows 50 at a time.
constexpr std::size_t kFirstRoom = 100;
constexpr std::size_t kMoreRoom = 50;
}  // namespace

FolderFiles GetFolderFiles(FileSystem& files, EventPump& events, const std::string& folder, const std::string& pattern) {
  // The folder is normalised once; each listed name is then used as it
  // stands, so a name ending in a dot or a space, or one like "nul.lnk",
  // names that file and not another.
  FolderFiles listed{files.ExactFolder(folder), {}};
  listed.names.reserve(kFirstRoom);
  files.ListFiles(listed.exactFolder, pattern, [&](const std::u16string& name) {
    events.KeepAnswering();
    if (!IsFilePresent(files, ExactChild(listed.exactFolder, name))) return;
    if (listed.names.size() == listed.names.capacity()) listed.names.reserve(listed.names.size() + kMoreRoom);
    listed.names.push_back(name);
  });
  listed.names.shrink_to_fit();
  return listed;
}

bool IsFilePresent(FileSystem& files, const ExactPath& path) {
  try {
    return files.OpensForPresence(path);
  } catch (...) {
    return false;
  }
}

}  // namespace vq
