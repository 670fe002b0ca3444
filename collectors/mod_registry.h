#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/failure.h"
#include "platform/registry.h"

namespace vq {

class RowSink;

// Room for one enumerated value: 256 characters of name, 1024 of data (in
// UTF-16 code units; a text of 1023 characters and its terminator fit).
inline constexpr std::size_t kValueNameRoom = 256;
inline constexpr std::size_t kValueDataRoom = 1024;

// The hive prefix of a registry row's Location: "HKLM:", "HKCU:", "HKCR:",
// "HKU:", "HKCC:", or empty text for any other hive.
std::string HivePrefix(Hive hive);

// A value name as a row's Item shows it: each U+0000 as U+2400, which a list
// can show, everything else as it is (an unpaired surrogate as U+FFFD).
std::string ValueNameText(std::u16string_view name);

// The data length the row rules count: UTF-16 code units for a text (an odd
// last byte makes one more), bytes for anything else.
std::size_t DataLength(std::uint32_t type, std::size_t bytes);

// The text that drives a value's row: a text's characters but its last one
// (normally the terminator), "&H" and the eight hex digits of a REG_DWORD;
// nullopt for every other type, which gives no row. A REG_EXPAND_SZ is a
// text like a REG_SZ, unexpanded: Windows starts it just the same.
std::optional<std::string> ValueText(std::uint32_t type, std::string_view data);

// The row rules for one value of the key. nullopt: no row. Otherwise the
// Extra Details, empty when the value names no program folder.
std::optional<std::string> DecideRegistryRow(std::string_view keyPath, std::string_view name,
                                             std::size_t nameLength, std::size_t dataLength,
                                             std::string_view valueText);

// The program folder a value text names: when it holds ":\", the text without
// its double quotes up to and including its last backslash; else empty.
std::string ProgramFolderOf(std::string_view testedText);

// Opens a key through `open`: a key that is not there, or that the registry
// will not open, gives null, so it adds nothing and says nothing.
template <class Open>
std::unique_ptr<RegistryKey> OpenQuietly(Open&& open) {
  try {
    return open();
  } catch (const Failure&) {
    return nullptr;
  }
}

// Appends a "REGISTRY" row for every autorun value of the key that
// qualifies, each carrying the value it stands for. A key that cannot be
// opened adds nothing. Lets the window handle its pending events twice per
// value. Failures pass to the caller; the key is closed on every
// way out.
void ListRegistryValues(RowSink& sink, Registry& registry, Hive hive, const std::string& keyPath);

}  // namespace vq
