#include "support/windows_defaults.h"

#include <cctype>
#include <vector>

namespace vq::test {

std::string BootExecuteAfterReset(const std::string& before) {
  // The entries, as UTF-16LE bytes each, up to the empty one.
  std::vector<std::string> entries(1);
  for (std::size_t at = 0; at + 1 < before.size(); at += 2) {
    if (before[at] == 0 && before[at + 1] == 0) {
      if (entries.back().empty()) break;
      entries.emplace_back();
    } else {
      entries.back() += before.substr(at, 2);
    }
  }
  const std::string prefix = "autocheck autochk ";
  std::string kept;
  for (const std::string& entry : entries) {
    std::string ascii;  // the entry's ASCII letters lower-cased; anything else as '?'
    for (std::size_t at = 0; at + 1 < entry.size(); at += 2) {
      const bool isAscii = entry[at + 1] == 0 && static_cast<unsigned char>(entry[at]) < 0x80;
      ascii += isAscii ? static_cast<char>(std::tolower(static_cast<unsigned char>(entry[at]))) : '?';
    }
    const std::size_t first = ascii.find_first_not_of(' ');
    if (first != std::string::npos && ascii.compare(first, prefix.size(), prefix) == 0) {
      kept += entry + std::string(2, '\0');
    }
  }
  if (kept.empty()) {
    for (char c : std::string("autocheck autochk *")) kept += std::string{c, '\0'};
    kept += std::string(2, '\0');
  }
  return kept + std::string(2, '\0');
}

}  // namespace vq::test
