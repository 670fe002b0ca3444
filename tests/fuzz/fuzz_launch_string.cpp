// The image path of any launch string, on a system where a hashed part of all
// paths are files: whatever it returns is empty, a file, or "File not found: ".
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

#include "collectors/image_path.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string launchString(reinterpret_cast<const char*>(bytes), size);
  vq::PathLookup lookup;
  lookup.isFile = [](const std::string& path) { return std::hash<std::string>{}(path) % 5 == 0; };
  lookup.expand = [](const std::string& text) {
    return vq::ReplaceAll(vq::ReplaceAll(text, "%SystemRoot%", "C:\\Windows"), "%P%", "C:\\Program Files\\x y");
  };
  lookup.searchFolders = {"C:\\Windows\\System32", "C:\\Windows\\", "", "D:\\Path folder"};

  const std::string imagePath = vq::ImagePathOf(launchString, lookup);
  if (!imagePath.empty() && !imagePath.starts_with("File not found: ") && !lookup.isFile(imagePath)) std::abort();
  if (launchString.find_first_not_of(" \t\r\n") == std::string::npos && !imagePath.empty()) std::abort();
  return 0;
}
