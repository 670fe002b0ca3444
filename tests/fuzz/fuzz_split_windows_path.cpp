// The drive root and Windows folder drawn from any system folder path.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "collectors/mod_system_file.h"
#include "platform/failure.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string path(reinterpret_cast<const char*>(bytes), size);
  const auto backslashes = std::count(path.begin(), path.end(), '\\');
  std::string root = "unset";
  try {
    const std::string windows = vq::SplitWindowsPath(path, root);
    if (backslashes < 2 || std::count(windows.begin(), windows.end(), '\\') != 2 || windows.back() != '\\' ||
        path.compare(0, windows.size(), windows) != 0 || windows.compare(0, root.size(), root) != 0 ||
        std::count(root.begin(), root.end(), '\\') != 1 || root.back() != '\\') {
      std::abort();
    }
  } catch (const vq::Failure&) {
    // Only paths with fewer than two backslashes (or beyond the old counter's reach) fail.
    if (backslashes >= 2 && size < 32767) std::abort();
    if (root != "unset" && (root.back() != '\\' || path.compare(0, root.size(), root) != 0)) std::abort();
  }
  return 0;
}
