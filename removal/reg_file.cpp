#include "removal/reg_file.h"

#include <algorithm>

#include "entries/hives.h"
#include "platform/text.h"

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
  text = FromUtf16Le(data);
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

// "hex:" for binary data, "hex(type):" for every other type.
std::u16string HexForm(std::uint32_t type) {
  if (type == regtype::kBinary) return u"hex:";
  const std::u16string digits = Hex(type, 8);  // the type in hex without its leading zeros: hex(2), hex(b)
  return u"hex(" + digits.substr(std::min(digits.find_first_not_of(u'0'), digits.size() - 1)) + u"):";
}

// Appends the bytes as "xx,xx,…", going on to a new line (after `breakText`)
// before the line reaches the registry editor's width.
void AppendBytes(std::u16string& line, std::string_view data, std::u16string_view breakText) {
  std::size_t width = line.size() - std::min(line.size(), line.rfind(u'\n') + 1);
  for (std::size_t i = 0; i < data.size(); ++i) {
    line += Hex(static_cast<unsigned char>(data[i]), 2);
    width += 2;
    if (i + 1 == data.size()) break;
    line += u',';
    ++width;
    if (width >= kLineWidth) {
      line += breakText;
      width = breakText.size() - breakText.rfind(u'\n') - 1;
    }
  }
  line += u"\r\n";
}

}  // namespace

bool RegFileCanSpell(std::u16string_view name) {
  return name.find_first_of(std::u16string_view(u"\0\r\n", 3)) == std::u16string_view::npos;
}

bool RegFileCanSpellKey(std::u16string_view keyPath) {
  return RegFileCanSpell(keyPath) && keyPath.find(u']') == std::u16string_view::npos;
}

std::u16string RegFileKey(Hive hive, std::u16string_view keyPath) {
  const HiveInfo* info = FindHive(hive);
  return Ascii(info ? info->name : "") + u"\\" + std::u16string(KeyPathTrimmed(keyPath));
}

namespace {
// A value's name and data in comment lines.
std::u16string CommentLines(std::u16string_view name, std::uint32_t type, std::string_view data) {
  std::u16string lines = u";name=hex:";
  AppendBytes(lines, Utf16LeBytes(name), u"\r\n;  ");
  lines += u";data=" + HexForm(type);
  AppendBytes(lines, data, u"\r\n;  ");
  return lines;
}
}  // namespace

std::u16string RegValueLines(std::u16string_view name, std::uint32_t type, std::string_view data) {
  if (!RegFileCanSpell(name)) {
    return u";The registry editor cannot write the next value's name: see How to restore.txt\r\n" +
           CommentLines(name, type, data);
  }
  std::u16string line = name.empty() ? u"@" : Quoted(name);
  line += u'=';
  std::u16string text;
  if (type == regtype::kSz && IsPlainText(data, text)) return line + Quoted(text) + u"\r\n";
  if (type == regtype::kDword && data.size() == 4) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    return line + u"dword:" + Hex(value, 8) + u"\r\n";
  }
  line += HexForm(type);
  AppendBytes(line, data, u"\\\r\n  ");
  return line;
}

std::string RegFile::Start() { return "\xFF\xFE" + Utf16LeBytes(kHeader); }

std::string RegFile::Add(Hive hive, std::u16string_view keyPath, std::u16string_view name, std::uint32_t type,
                         std::string_view data) {
  std::u16string key = RegFileKey(hive, keyPath);
  if (!RegFileCanSpellKey(key)) {
    // A key the file cannot spell: the value goes in comment lines whatever its name.
    std::u16string text = u";The registry editor cannot write the next value's key: see How to restore.txt\r\n;key=hex:";
    AppendBytes(text, Utf16LeBytes(key), u"\r\n;  ");
    return Utf16LeBytes(text + CommentLines(name, type, data));
  }
  std::u16string text;
  if (key != lastKey_) {
    text = u"\r\n[" + key + u"]\r\n";
    lastKey_ = std::move(key);
  }
  text += RegValueLines(name, type, data);
  return Utf16LeBytes(text);
}

}  // namespace vq
