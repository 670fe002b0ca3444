#include "support/reg_reader.h"

#include <utility>

namespace vq::test {

namespace {

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// A quoted text at `at` (just past its opening quote); moves `at` past the closing one.
std::optional<std::u16string> Unquote(std::u16string_view line, std::size_t& at) {
  std::u16string text;
  for (; at < line.size(); ++at) {
    if (line[at] == u'"') {
      ++at;
      return text;
    }
    if (line[at] == u'\\' && at + 1 < line.size()) ++at;
    text += line[at];
  }
  return std::nullopt;
}

std::string Utf16Bytes(std::u16string_view text) {
  std::string bytes;
  for (char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return bytes;
}

// "hex:…" or "hex(type):…": the type and the bytes.
std::optional<ImportedValue> HexValue(std::u16string_view data) {
  if (data.substr(0, 3) != u"hex") return std::nullopt;
  const std::size_t colon = data.find(u':');
  if (colon == std::u16string_view::npos) return std::nullopt;
  ImportedValue value{{}, {}, 3, {}};
  if (colon > 3) {
    if (colon < 6 || data[3] != u'(' || data[colon - 1] != u')') return std::nullopt;
    value.type = 0;
    for (char16_t c : data.substr(4, colon - 5)) {
      if (HexDigit(c) < 0) return std::nullopt;
      value.type = value.type << 4 | static_cast<std::uint32_t>(HexDigit(c));
    }
  }
  const std::u16string_view list = data.substr(colon + 1);
  for (std::size_t i = 0; i < list.size(); i += 3) {
    if (i + 1 >= list.size() || HexDigit(list[i]) < 0 || HexDigit(list[i + 1]) < 0) return std::nullopt;
    if (i + 2 < list.size() && list[i + 2] != u',') return std::nullopt;
    if (i + 2 == list.size() - 1) return std::nullopt;  // a list that ends in a comma
    value.data += static_cast<char>(HexDigit(list[i]) << 4 | HexDigit(list[i + 1]));
  }
  return value;
}

std::u16string Utf16Text(std::string_view bytes) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  return text;
}

}  // namespace

std::optional<std::vector<ImportedValue>> ReadRegFile(std::string_view bytes) {
  if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE' || bytes.size() % 2) return std::nullopt;
  std::u16string text;
  for (std::size_t i = 2; i < bytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  // Lines, with "\" continuations joined.
  std::vector<std::u16string> lines;
  std::u16string current;
  // As the registry editor reads it, a line ends at CR LF, CR or LF.
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string::npos) end = text.size();
    std::u16string_view line(text.data() + start, end - start);
    start = end + (text.compare(end, 2, u"\r\n") == 0 ? 2 : 1);
    if (!current.empty() && current[0] == u';') {
      // A comment's list of bytes goes on in a comment line ";  …".
      if (!line.starts_with(u";  ")) {
        lines.push_back(current);
        current.clear();
      } else {
        line.remove_prefix(3);
      }
    } else if (!current.empty()) {
      const std::size_t first = line.find_first_not_of(u' ');
      line = first == std::u16string_view::npos ? std::u16string_view() : line.substr(first);
    }
    current += line;
    if (!current.empty() && current.back() == u'\\' && current.find(u"=hex") != std::u16string::npos) {
      current.pop_back();
      continue;
    }
    if (!current.empty() && current[0] == u';' && current.back() == u',') continue;
    lines.push_back(current);
    current.clear();
  }
  if (!current.empty()) lines.push_back(current);
  if (lines.empty() || lines[0] != u"Windows Registry Editor Version 5.00") return std::nullopt;

  std::vector<ImportedValue> values;
  std::u16string key;
  std::optional<std::u16string> commentName;  // the name of a value kept in comment lines, until its data
  std::optional<std::u16string> commentKey;   // its key, when the file cannot spell it
  for (std::size_t n = 1; n < lines.size(); ++n) {
    const std::u16string& line = lines[n];
    if (line.empty()) continue;
    if (line[0] == u';') {
      if (line.starts_with(u";key=")) {
        std::optional<ImportedValue> key = HexValue(std::u16string_view(line).substr(5));
        if (!key || key->type != 3 || key->data.size() % 2 || commentKey || commentName) return std::nullopt;
        commentKey = Utf16Text(key->data);
      } else if (line.starts_with(u";name=")) {
        std::optional<ImportedValue> name = HexValue(std::u16string_view(line).substr(6));
        if (!name || name->type != 3 || name->data.size() % 2 || (key.empty() && !commentKey)) return std::nullopt;
        commentName = Utf16Text(name->data);
      } else if (line.starts_with(u";data=")) {
        std::optional<ImportedValue> value = HexValue(std::u16string_view(line).substr(6));
        if (!value || !commentName) return std::nullopt;
        value->key = commentKey ? *std::exchange(commentKey, std::nullopt) : key;
        value->name = *std::exchange(commentName, std::nullopt);
        value->comment = true;
        values.push_back(std::move(*value));
      }
      continue;
    }
    if (commentName || commentKey) return std::nullopt;  // a name or key without its data
    if (line.front() == u'[') {
      if (line.back() != u']') return std::nullopt;
      key = line.substr(1, line.size() - 2);
      continue;
    }
    ImportedValue value{key, {}, 0, {}};
    std::size_t at = 0;
    if (line[0] == u'@') {
      at = 1;
    } else if (line[0] == u'"') {
      at = 1;
      auto name = Unquote(line, at);
      if (!name) return std::nullopt;
      value.name = *name;
    } else {
      return std::nullopt;
    }
    if (key.empty() || at >= line.size() || line[at++] != u'=') return std::nullopt;
    const std::u16string_view data(line.data() + at, line.size() - at);
    if (data.substr(0, 1) == u"\"") {
      std::size_t quoted = 1;
      auto content = Unquote(data, quoted);
      if (!content || quoted != data.size()) return std::nullopt;
      value.type = 1;
      value.data = Utf16Bytes(*content) + std::string(2, '\0');
    } else if (data.substr(0, 6) == u"dword:" && data.size() == 14) {
      std::uint32_t number = 0;
      for (char16_t c : data.substr(6)) {
        if (HexDigit(c) < 0) return std::nullopt;
        number = number << 4 | static_cast<std::uint32_t>(HexDigit(c));
      }
      value.type = 4;
      for (int i = 0; i < 4; ++i) value.data += static_cast<char>(number >> (8 * i) & 0xFF);
    } else if (const std::optional<ImportedValue> hex = HexValue(data)) {
      value.type = hex->type;
      value.data = hex->data;
    } else {
      return std::nullopt;
    }
    values.push_back(std::move(value));
  }
  if (commentName || commentKey) return std::nullopt;
  return values;
}

}  // namespace vq::test
