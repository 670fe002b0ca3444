#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace vq {

// A registry editor file ("Windows Registry Editor Version 5.00"), UTF-16LE
// with its byte-order mark and CRLF line ends, as the registry editor writes
// and imports it, written from front to back: a section line
// ([HKEY_CURRENT_USER\...]) whenever a value's key differs from the last
// one's, then a line a value. Values are written so that importing them
// gives back the same type and bytes: a REG_SZ that is a NUL-terminated,
// NUL-free UTF-16 text without line breaks as "text", a REG_DWORD of four
// bytes as dword:xxxxxxxx, the rest as hex(type):bytes.
//
// A name the file cannot spell (one holding U+0000, CR or LF) is written as
// comment lines, which the registry editor passes over and which keep every
// byte:
//   ;The registry editor cannot write the next value's name: see How to restore.txt
//   ;name=hex:55,00,00,00,78,00
//   ;data=hex(1):61,00,00,00
// A long list of bytes goes on over lines that start with ";  ", each line
// but the last ending in ",". A value whose key the file cannot spell (one
// holding U+0000, CR, LF or "]") is written so, its key in a ";key=hex:"
// line first.
class RegFile {
 public:
  // The file's first bytes: the byte-order mark and the header line.
  static std::string Start();
  // The bytes that add one value.
  std::string Add(Hive hive, std::u16string_view keyPath, std::u16string_view name, std::uint32_t type,
                  std::string_view data);

  // The key the next value goes under without a section line of its own;
  // set back when what was written after it is cut from the file.
  const std::u16string& lastKey() const { return lastKey_; }
  void setLastKey(std::u16string key) { lastKey_ = std::move(key); }

 private:
  std::u16string lastKey_;
};

// True when a value of this name can be written as a line the registry editor imports.
bool RegFileCanSpell(std::u16string_view name);
// True when the key (HKEY_...\path) can be written as a section line.
bool RegFileCanSpellKey(std::u16string_view key);

// A key path without the separators it may end in, as the file names it.
inline std::u16string_view KeyPathTrimmed(std::u16string_view keyPath) {
  while (!keyPath.empty() && keyPath.back() == u'\\') keyPath.remove_suffix(1);
  return keyPath;
}
// The key as the file spells it: HKEY_...\path.
std::u16string RegFileKey(Hive hive, std::u16string_view keyPath);
// True when the value goes into the file as comment lines, which only the
// native calls can put back.
inline bool RegFileKeepsInComments(Hive hive, std::u16string_view keyPath, std::u16string_view name) {
  return !RegFileCanSpell(name) || !RegFileCanSpellKey(RegFileKey(hive, keyPath));
}

// One value, CRLF included: its line, or its comment lines.
std::u16string RegValueLines(std::u16string_view name, std::uint32_t type, std::string_view data);

}  // namespace vq
