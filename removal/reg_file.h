#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace vq {

// A registry editor file ("Windows Registry Editor Version 5.00"), UTF-16LE
// with its byte-order mark and CRLF line ends, as the registry editor writes
// and imports it: one section per key ([HKEY_CURRENT_USER\...]) and a line a
// value. Values are written so that importing them gives back the same type
// and bytes: a REG_SZ that is a NUL-terminated, NUL-free UTF-16 text without
// line breaks as "text", a REG_DWORD of four bytes as dword:xxxxxxxx, the
// rest as hex(type):bytes.
class RegFile {
 public:
  // What adding a value asks of the file on disk: these bytes appended, or,
  // when the value's key has a section further up, the whole file written anew.
  struct Change {
    bool rewrite;
    std::string bytes;
  };

  RegFile();
  Change Add(Hive hive, std::string_view keyPath, std::string_view name, std::uint32_t type, std::string_view data);
  // The whole file as it now stands.
  std::string Bytes() const;

 private:
  struct Section {
    std::u16string key;    // HKEY_...\path
    std::u16string lines;  // its value lines
  };
  std::vector<Section> sections_;
};

// The name of a hive as the file names it ("HKEY_CURRENT_USER").
const char* HiveName(Hive hive);

// One value line, CRLF included.
std::u16string RegValueLine(std::string_view name, std::uint32_t type, std::string_view data);

}  // namespace vq
