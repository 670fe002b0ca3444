#include "removal/reg_file.h"

#include <algorithm>

#include "app/text.h"

namespace vq {

namespace {

constexpr char16_t kHeader[] = u"Windows Registry Editor Version 5.00\r\n";
// The registry editor keeps lines of hex bytes under 80 characters.
constexpr std::size_t kLineWidth = 76;

std::u16string Quoted(std::u16string_view text) {
  std::u16string quoted = u"\"";
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') quoted += u'\\';
    quoted += c;
  }
  return quoted + u"\"";
}

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

std::u16string Hex(std::uint32_t value, int digits) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string text(static_cast<std::size_t>(digits), u'0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
  return text;
}

// The text of a REG_SZ that can be written between quotes and read back
// exactly: terminated once, at its end, and nothing a line or a reader would break on.
bool IsPlainText(std::string_view data, std::u16string& text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  text.clear();
  for (std::size_t i = 0; i < data.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(data[i]) | static_cast<unsigned char>(data[i + 1]) << 8);
  }
  if (text.back() != 0) return false;
  text.pop_back();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == 0 || c == u'\r' || c == u'\n') return false;
    const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
    if (low || (high && (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF))) return false;
    if (high) ++i;
  }
  return true;
}

std::string Utf16LeBytes(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

}  // namespace

const char* HiveName(Hive hive) {
  switch (hive) {
    case Hive::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case Hive::CurrentUser: return "HKEY_CURRENT_USER";
    case Hive::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case Hive::Users: return "HKEY_USERS";
    case Hive::CurrentConfig: return "HKEY_CURRENT_CONFIG";
  }
  return "";
}

std::u16string RegValueLine(std::string_view name, std::uint32_t type, std::string_view data) {
  std::u16string line = name.empty() ? u"@" : Quoted(Utf8ToUtf16(name));
  line += u'=';
  std::u16string text;
  if (type == regtype::kSz && IsPlainText(data, text)) return line + Quoted(text) + u"\r\n";
  if (type == regtype::kDword && data.size() == 4) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    return line + u"dword:" + Hex(value, 8) + u"\r\n";
  }
  if (type == regtype::kBinary) {
    line += u"hex:";
  } else {
    const std::u16string digits = Hex(type, 8);  // the type in hex without its leading zeros: hex(2), hex(b)
    line += u"hex(" + digits.substr(std::min(digits.find_first_not_of(u'0'), digits.size() - 1)) + u"):";
  }
  std::size_t width = line.size();
  for (std::size_t i = 0; i < data.size(); ++i) {
    line += Hex(static_cast<unsigned char>(data[i]), 2);
    width += 2;
    if (i + 1 == data.size()) break;
    line += u',';
    ++width;
    if (width >= kLineWidth) {
      line += u"\\\r\n  ";
      width = 2;
    }
  }
  return line + u"\r\n";
}

RegFile::RegFile() = default;

RegFile::Change RegFile::Add(Hive hive, std::string_view keyPath, std::string_view name, std::uint32_t type,
                             std::string_view data) {
  while (!keyPath.empty() && keyPath.back() == '\\') keyPath.remove_suffix(1);
  const std::u16string key = Ascii(HiveName(hive)) + u"\\" + Utf8ToUtf16(keyPath);
  const std::u16string line = RegValueLine(name, type, data);
  const bool first = sections_.empty();
  if (!first && sections_.back().key == key) {
    sections_.back().lines += line;
    return {false, Utf16LeBytes(line)};
  }
  auto same = std::find_if(sections_.begin(), sections_.end(), [&](const Section& section) { return section.key == key; });
  if (same != sections_.end()) {
    same->lines += line;
    return {true, Bytes()};
  }
  sections_.push_back({key, line});
  const std::u16string added = u"\r\n[" + key + u"]\r\n" + line;
  return {false, first ? Bytes() : Utf16LeBytes(added)};
}

std::string RegFile::Bytes() const {
  std::u16string text = kHeader;
  for (const Section& section : sections_) text += u"\r\n[" + section.key + u"]\r\n" + section.lines;
  return "\xFF\xFE" + Utf16LeBytes(text);
}

}  // namespace vq
