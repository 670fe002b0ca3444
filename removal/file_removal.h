#pragma once

#include "entries/startup_items.h"
#include "platform/file_system.h"

namespace vq {

class EventPump;
class RemovalBackup;

// Deletes one file from a Startup folder: lets the window handle its pending
// events once, saves the file in the backup (which may take it away
// itself), then tries the plain delete, and only when that fails the forced
// one, each on the file's exact path. A file that could not be saved stays.
// Says nothing of the outcome and never fails after the events; returns
// true when the file is gone from its folder.
bool RemoveFile(EventPump& events, FileSystem& files, const StartupFileItem& file, RemovalBackup& backup);

// The delete that also removes read-only files. Fails when it cannot delete.
void ForceDeleteFile(FileSystem& files, const ExactPath& path);

}  // namespace vq
