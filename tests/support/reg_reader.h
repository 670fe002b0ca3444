#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vq::test {

// Reads a registry editor file (UTF-16LE with its mark) the way the registry
// editor imports it, independently of the program's writer: what each value
// line sets, with its key, name, type and bytes.
struct ImportedValue {
  std::u16string key;  // HKEY_...\path
  std::u16string name;  // empty for the default value
  std::uint32_t type;
  std::string data;
  // Kept in comment lines ([";key=hex:…"], ";name=hex:…", ";data=hex(…):…"),
  // which the registry editor passes over: only the native calls can put it back.
  bool comment = false;
};

// nullopt when the file is not well formed.
std::optional<std::vector<ImportedValue>> ReadRegFile(std::string_view bytes);

}  // namespace vq::test
