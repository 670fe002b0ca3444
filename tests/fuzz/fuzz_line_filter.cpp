// A system file's text split into lines, each tested for what can run.
#include <cstdlib>
#include <string>

#include "collectors/mod_system_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(bytes), size);
  std::string expected;
  for (char c : text) {
    if (c != '\r') expected += c;
  }
  std::string joined;
  const auto lines = vq::SplitLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find_first_of("\r\n") != std::string_view::npos) std::abort();
    joined.append(i ? "\n" : "").append(lines[i]);
    vq::NamesSomethingThatRuns(lines[i]);
  }
  // The lines are the text without its carriage returns, cut at each line feed.
  if (joined != expected) std::abort();
  return 0;
}
