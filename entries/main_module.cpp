#include "entries/main_module.h"

#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/main_window.h"

namespace vq {

std::string DeriveAppTitle(std::string_view productName) {
  constexpr std::size_t kLongestTitle = 40;
  std::string_view title = productName;
  do {
    const std::size_t lastSpace = title.rfind(' ');
    if (lastSpace == std::string_view::npos) throw InvalidProcedureCall();
    title = title.substr(0, lastSpace);
  } while (title.size() > kLongestTitle);
  return std::string(title);
}

void SetAppTitle(MainWindow& window, std::string_view productName) {
  window.SetApplicationTitle(DeriveAppTitle(productName));
}

bool FileExists(FileSystem& files, const std::string& path) {
  try {
    files.LastModified(path);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace vq
