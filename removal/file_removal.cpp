#include "removal/file_removal.h"

#include "platform/file_system.h"
#include "platform/main_window.h"

namespace vq {

void RemoveFile(MainWindow& window, FileSystem& files, const std::string& path) {
  window.DoEvents();
  try {
    files.PlainDelete(path);
    return;
  } catch (...) {
    // A failed plain delete leads to the forced one.
  }
  try {
    ForceDeleteFile(files, path);
  } catch (...) {
    // The refreshed list shows the file again: that is all the user is told.
  }
}

void ForceDeleteFile(FileSystem& files, const std::string& path) { files.ForcedDelete(path); }

}  // namespace vq
