#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vq {

// The predefined root keys, by the 32-bit handle values the program has always used.
enum class Hive : std::uint32_t {
  ClassesRoot = 0x80000000u,
  CurrentUser = 0x80000001u,
  LocalMachine = 0x80000002u,
  Users = 0x80000003u,
  CurrentConfig = 0x80000005u,
};

// Value types, by their registry numbers.
namespace regtype {
inline constexpr std::uint32_t kSz = 1;
inline constexpr std::uint32_t kExpandSz = 2;
inline constexpr std::uint32_t kBinary = 3;
inline constexpr std::uint32_t kDword = 4;
inline constexpr std::uint32_t kMultiSz = 7;
}  // namespace regtype

// Key rights. Each open asks only for the rights its step uses: a program
// started the usual way may only read the machine-wide keys, even for an
// administrator, and an open that asks for more is refused outright.
inline constexpr std::uint32_t kKeyQueryValue = 0x1;
inline constexpr std::uint32_t kKeySetValue = 0x2;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x4;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x8;
inline constexpr std::uint32_t kKeyDelete = 0x10000;  // DELETE: the key itself may go
// What listing a key takes: its values and the names of its sub-keys.
inline constexpr std::uint32_t kKeyListing = kKeyQueryValue | kKeyEnumerateSubKeys;
// What removing a value takes: reading it for the backup, then deleting it
// or writing Windows' own value back, through the same handle.
inline constexpr std::uint32_t kKeyRemoval = kKeyQueryValue | kKeySetValue;
// What removing a key whole takes: reading its values for the backup and
// telling that it has no keys below, then deleting the key with its values,
// through one handle.
inline constexpr std::uint32_t kKeyWholeRemoval = kKeyQueryValue | kKeyEnumerateSubKeys | kKeyDelete;

// Room for any value a key holds: the longest name the registry allows
// (16,383 characters), and data far past any entry's.
inline constexpr std::size_t kAnyNameRoom = 16384;
inline constexpr std::size_t kAnyDataRoom = 32768;

// Names are UTF-16 exactly as the registry counts them: a name may hold any
// code unit, U+0000 and unpaired surrogates included, and the program acts on
// it as it stands.
struct RegistryValue {
  std::u16string name;
  std::uint32_t type = 0;
  std::string data;             // the bytes as stored; texts are UTF-16LE
};

// A value's type and bytes, as stored.
struct StoredValue {
  std::uint32_t type = 0;
  std::string data;
  bool operator==(const StoredValue&) const = default;
};

enum class EnumResult {
  Value,     // one value was returned
  TooLarge,  // the value's name or data does not fit the room given
  End,       // no value at this index (the end of the list, or the key went away)
};

// An open key; destroying it closes the key.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  // The value at the index. The room for the name and for the data is counted
  // in UTF-16 code units, terminators included: a name of nameRoom - 1
  // characters fits, and so does a text of dataRoom - 1 characters with its
  // terminator (other data: up to 2 * dataRoom bytes).
  virtual EnumResult EnumValue(std::uint32_t index, std::size_t nameRoom, std::size_t dataRoom,
                               RegistryValue& value) = 0;
  // The value of exactly this name as it is now; nullopt when there is none.
  // Throws Failure when the registry refuses to say.
  virtual std::optional<StoredValue> QueryValue(std::u16string_view name) = 0;
  // Deletes the value of exactly this name; the empty name is the key's
  // default value. Returns false when the registry refused (missing value, no rights).
  virtual bool DeleteValue(std::u16string_view name) = 0;
  // Writes the value of exactly this name, of this type and these bytes.
  // Returns false when the registry refused.
  virtual bool SetValue(std::u16string_view name, std::uint32_t type, std::string_view data) = 0;
  // The name of the sub-key at the index, exactly as the registry counts
  // it; End after the last one.
  virtual EnumResult EnumSubKey(std::uint32_t index, std::u16string& name) = 0;
  // When the key (its values or its sub-keys) was last written, as a
  // FILETIME (100 ns since 1601, UTC). Throws Failure when the registry does not say.
  virtual std::int64_t LastWriteTime() = 0;
  // The key's full name as the registry itself knows it
  // (\REGISTRY\MACHINE\SYSTEM\ControlSet001\...), however it was reached.
  // Throws Failure when the registry does not say.
  virtual std::u16string FullName() = 0;
  // Opens the sub-key of exactly this name (which may hold U+0000); null
  // when there is none. Throws Failure when the registry refuses it.
  virtual std::unique_ptr<RegistryKey> OpenSubKey(std::u16string_view name, std::uint32_t access) = 0;
  // Deletes this very key (opened with kKeyDelete), however it was reached.
  // Returns false when the registry refused: a key with keys below it, or no rights.
  virtual bool DeleteKey() = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // Opens the key below the hive with the access mask, in the program's own
  // registry view; null when there is no such key. Throws Failure when the
  // registry refuses it for any other reason (no rights, a damaged hive).
  // Key names are taken exactly: one may hold U+0000.
  virtual std::unique_ptr<RegistryKey> OpenKey(Hive hive, std::u16string_view path, std::uint32_t access) = 0;
  // Opens the key with the access mask, creating it and the keys above it
  // where missing (in the 64-bit view). Throws Failure, with the system's
  // text, when the registry refuses (no right to create it, or to open it so).
  virtual std::unique_ptr<RegistryKey> CreateKey(Hive hive, std::u16string_view path, std::uint32_t access) = 0;
};

}  // namespace vq
