#include "removal/file_removal.h"

#include "platform/event_pump.h"
#include "removal/backup.h"

namespace vq {

bool RemoveFile(EventPump& events, FileSystem& files, const StartupFileItem& file, RemovalBackup& backup) {
  events.DoEvents();
  std::size_t entry = 0;
  const RemovalBackup::FileSaved saved = backup.SaveFile(file, entry);
  if (saved != RemovalBackup::FileSaved::Kept) return saved == RemovalBackup::FileSaved::Removed;
  const ExactPath path = file.Path();
  bool removed = false;
  try {
    files.PlainDelete(path);
    removed = true;
  } catch (...) {
    // A failed plain delete leads to the forced one.
  }
  if (!removed) {
    try {
      ForceDeleteFile(files, path);
      removed = true;
    } catch (...) {
      // The refreshed list shows the file again: that is all the user is
      // told. A delete that failed half way may have taken the file all the
      // same: then it is removed, and its copy is all that is left of it.
      try {
        removed = !files.OpensForPresence(path);
      } catch (...) {
      }
    }
  }
  backup.FileRemoved(entry, removed);
  return removed;
}

void ForceDeleteFile(FileSystem& files, const ExactPath& path) { files.ForcedDelete(path); }

}  // namespace vq
