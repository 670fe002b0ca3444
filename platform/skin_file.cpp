#include "platform/skin_file.h"

#include <string>

#include "platform/failure.h"
#include "platform/text.h"

namespace vq {

namespace {

[[noreturn]] void Invalid(const std::string& why) { throw Failure("Invalid skin file, " + why); }

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<std::uint32_t> Colour(std::string_view value) {
  if (value.size() != 7 || value[0] != '#') return std::nullopt;
  std::uint32_t rgb = 0;
  for (char c : value.substr(1)) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    rgb = rgb << 4 | static_cast<std::uint32_t>(digit);
  }
  // #RRGGBB to 0x00BBGGRR.
  return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
}

}  // namespace

SkinColours ParseSkinFile(std::string_view text) {
  if (text.size() > kLargestSkinFile) Invalid("it is larger than 64 KB");
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  SkinColours colours;
  bool hasWindow = false;
  int lineNumber = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = Trimmed(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;

    const std::string where = "line " + std::to_string(lineNumber) + ": ";
    if (!IsUtf8(line)) Invalid(where + "not UTF-8 text");
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) Invalid(where + "\"key = value\" expected");
    const std::string_view key = Trimmed(line.substr(0, equals));
    const std::string_view value = Trimmed(line.substr(equals + 1));
    std::optional<std::uint32_t>* slot = nullptr;
    if (key == "text") slot = &colours.text;
    else if (key == "list") slot = &colours.list;
    else if (key == "list-text") slot = &colours.listText;
    else if (key == "button") slot = &colours.button;
    else if (key == "button-text") slot = &colours.buttonText;
    else if (key != "window") Invalid(where + "unknown key \"" + std::string(key) + "\"");

    const std::optional<std::uint32_t> colour = Colour(value);
    if (!colour) Invalid(where + "\"" + std::string(value) + "\" is not a colour (#RRGGBB)");
    if (slot ? slot->has_value() : hasWindow) Invalid(where + "\"" + std::string(key) + "\" is given twice");
    if (slot) {
      *slot = colour;
    } else {
      colours.window = *colour;
      hasWindow = true;
    }
  }
  if (!hasWindow) Invalid("\"window\" is missing");
  return colours;
}

}  // namespace vq
