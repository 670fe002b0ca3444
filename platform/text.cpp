#include "platform/text.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace vq {

namespace {

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length in bytes and in UTF-16 units of the character that starts at `at`.
struct CharSize {
  std::size_t bytes;
  std::size_t units;
};

CharSize SizeAt(std::string_view text, std::size_t at) {
  const auto byte = static_cast<unsigned char>(text[at]);
  std::size_t length = 1;
  // The range of the second byte that keeps the character well formed (no
  // overlong forms, no surrogates, nothing past U+10FFFF).
  unsigned char low = 0x80, high = 0xBF;
  if (byte >= 0xC2 && byte <= 0xDF) {
    length = 2;
  } else if (byte >= 0xE0 && byte <= 0xEF) {
    length = 3;
    if (byte == 0xE0) low = 0xA0;
    if (byte == 0xED) high = 0x9F;
  } else if (byte >= 0xF0 && byte <= 0xF4) {
    length = 4;
    if (byte == 0xF0) low = 0x90;
    if (byte == 0xF4) high = 0x8F;
  }
  if (length == 1 || at + length > text.size()) return {1, 1};
  const auto second = static_cast<unsigned char>(text[at + 1]);
  if (second < low || second > high) return {1, 1};
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(static_cast<unsigned char>(text[at + i]))) return {1, 1};
  }
  return {length, length == 4 ? 2u : 1u};
}

}  // namespace

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const std::size_t units = bytes.size() / 2;
  auto unitAt = [&](std::size_t i) {
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                 static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  };
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t unit = unitAt(i);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
      const char16_t low = unitAt(i + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
  }
  if (bytes.size() % 2 != 0) AppendUtf8(out, kReplacement);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const CharSize size = SizeAt(utf8, at);
    const auto lead = static_cast<unsigned char>(utf8[at]);
    char32_t code = kReplacement;
    if (size.bytes == 1) {
      if (lead < 0x80) code = lead;
    } else {
      code = lead & (0x7F >> size.bytes);
      for (std::size_t i = 1; i < size.bytes; ++i) code = code << 6 | (static_cast<unsigned char>(utf8[at + i]) & 0x3F);
    }
    if (code >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    at += size.bytes;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[++i] - 0xDC00));
    } else {
      AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
    }
  }
  return out;
}

std::string Utf16LeBytes(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(2 * text.size());
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::u16string FromUtf16Le(std::string_view bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return text;
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return lower;
}

std::string AsciiUpper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return upper;
}

std::string HexBytes(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * bytes.size());
  for (char byte : bytes) {
    text += kDigits[static_cast<unsigned char>(byte) >> 4];
    text += kDigits[static_cast<unsigned char>(byte) & 0xF];
  }
  return text;
}

bool HasUnpairedSurrogate(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
    if (low || (high && (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF))) return true;
    if (high) ++i;
  }
  return false;
}

std::string TextFileToUtf8(std::string_view bytes) {
  auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  auto swapped = [](std::string_view big) {
    std::string little(big);
    for (std::size_t i = 0; i + 1 < little.size(); i += 2) std::swap(little[i], little[i + 1]);
    return little;
  };
  if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) return Utf16LeToUtf8(bytes.substr(2));
  if (bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) return Utf16LeToUtf8(swapped(bytes.substr(2)));
  if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) bytes.remove_prefix(3);
  else if (bytes.size() >= 2 && at(0) != 0 && at(1) == 0) return Utf16LeToUtf8(bytes);
  else if (bytes.size() >= 2 && at(0) == 0 && at(1) != 0) return Utf16LeToUtf8(swapped(bytes));
  return IsUtf8(bytes) ? std::string(bytes) : Utf16ToUtf8(Utf8ToUtf16(bytes));
}

bool IsUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const CharSize size = SizeAt(text, at);
    if (size.bytes == 1 && static_cast<unsigned char>(text[at]) >= 0x80) return false;
    at += size.bytes;
  }
  return true;
}

std::size_t Utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  for (std::size_t at = 0; at < utf8.size();) {
    const CharSize size = SizeAt(utf8, at);
    at += size.bytes;
    units += size.units;
  }
  return units;
}

std::string_view Utf16Prefix(std::string_view utf8, std::size_t units) {
  std::size_t at = 0;
  while (at < utf8.size()) {
    const CharSize size = SizeAt(utf8, at);
    if (size.units > units) break;
    units -= size.units;
    at += size.bytes;
  }
  return utf8.substr(0, at);
}

bool ContainsIgnoringCase(std::string_view text, std::string_view needle) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                     [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  std::size_t start = 0;
  for (std::size_t found; (found = text.find(from, start)) != std::string_view::npos; start = found + from.size()) {
    out.append(text, start, found - start).append(to);
  }
  out.append(text, start);
  return out;
}

}  // namespace vq
