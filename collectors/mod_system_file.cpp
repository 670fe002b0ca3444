#include "collectors/mod_system_file.h"

#include <algorithm>

#include "entries/main_module.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace vq {

namespace {
// The position counter of old was a signed 16-bit integer counting characters.
constexpr std::size_t kLastCountablePosition = 32767;

// The end (one past) of the next backslash from `from`, or throws Overflow
// where the old scan would have counted past its limit.
std::size_t PastNextBackslash(std::string_view path, std::size_t from) {
  const std::size_t found = path.find('\\', from);
  if (found == std::string_view::npos || Utf16Length(path.substr(0, found + 1)) > kLastCountablePosition) {
    throw Overflow();
  }
  return found + 1;
}
}  // namespace

std::string SplitWindowsPath(std::string_view path, std::string& driveRoot) {
  const std::size_t rootEnd = PastNextBackslash(path, 0);
  driveRoot = std::string(path.substr(0, rootEnd));
  return std::string(path.substr(0, PastNextBackslash(path, rootEnd)));
}

std::string ReadWholeFile(FileSystem& files, const std::string& path) {
  if (!FileExists(files, path)) return "";
  if (files.FileLength(path) <= 0) return "empty file";
  const std::string bytes = files.ReadBytes(path);
  if (bytes.empty()) return "empty file";  // emptied since its length was read
  const auto first = static_cast<unsigned char>(bytes[0]);
  if (first == 0xFF || first == 0xFE) return Utf16LeToUtf8(bytes);
  return files.AnsiToUtf8(bytes);
}

std::vector<std::string_view> SplitLines(std::string& text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  std::vector<std::string_view> lines;
  if (text.empty()) return lines;
  const std::string_view all = text;
  std::size_t start = 0;
  for (std::size_t end; (end = all.find('\n', start)) != std::string_view::npos; start = end + 1) {
    lines.push_back(all.substr(start, end - start));
  }
  lines.push_back(all.substr(start));
  return lines;
}

bool NamesSomethingThatRuns(std::string_view line) {
  // ".html" is covered by ".htm" and never decides on its own; it stays in the list the users know.
  static constexpr std::string_view kKeywords[] = {".exe", ".bat", ".lnk", ".vbs", ".htm",
                                                   ".html", ".msi", "load", "run", ".msc"};
  return std::any_of(std::begin(kKeywords), std::end(kKeywords),
                     [&](std::string_view keyword) { return ContainsIgnoringCase(line, keyword); });
}

}  // namespace vq
