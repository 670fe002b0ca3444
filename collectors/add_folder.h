#pragma once

#include <string>
#include <vector>

#include "platform/event_pump.h"
#include "platform/file_system.h"

namespace vq {

// The files lying directly in one folder.
struct FolderFiles {
  std::u16string exactFolder;  // the folder in the exact form
  std::vector<std::u16string> names;  // as the listing returned them
};

// The names of the files lying directly in the folder that match the pattern,
// hidden and system files included, sub-folders never, in the order the
// system lists them. A name is kept only when IsFilePresent says so of it.
// The window's events are handled when due between two names.
FolderFiles GetFolderFiles(FileSystem& files, EventPump& events, const std::string& folder, const std::string& pattern);

// True when the file can be opened without asking for any access; a folder,
// a missing file or one that cannot be opened at all is not present.
bool IsFilePresent(FileSystem& files, const ExactPath& path);

}  // namespace vq
