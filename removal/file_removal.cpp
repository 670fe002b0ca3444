#include "removal/file_removal.h"

#include "platform/file_system.h"
#include "platform/main_window.h"
#include "removal/backup.h"

namespace vq {

void RemoveFile(MainWindow& window, FileSystem& files, const std::string& path, RemovalBackup& backup) {
  window.DoEvents();
  if (backup.SaveFile(path) != RemovalBackup::FileSaved::Saved) return;  // moved away, or not to be deleted
  try {
    files.PlainDelete(path);
    backup.Deleted();
    return;
  } catch (...) {
    // A failed plain delete leads to the forced one.
  }
  try {
    ForceDeleteFile(files, path);
    backup.Deleted();
  } catch (...) {
    // The refreshed list shows the file again: that is all the user is told.
  }
}

void ForceDeleteFile(FileSystem& files, const std::string& path) { files.ForcedDelete(path); }

}  // namespace vq
