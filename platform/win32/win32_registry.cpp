#include "platform/win32/win32_registry.h"

#include <windows.h>

#include <vector>

#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_failure.h"

namespace vq::win32 {

namespace {

class Win32RegistryKey final : public RegistryKey {
 public:
  explicit Win32RegistryKey(UniqueHkey key) : key_(std::move(key)) {}

  EnumResult EnumValue(std::uint32_t index, std::size_t nameRoom, std::size_t dataRoom,
                       RegistryValue& value) override {
    name_.resize(nameRoom);
    data_.resize(dataRoom * sizeof(wchar_t));
    DWORD nameLength = static_cast<DWORD>(nameRoom);
    DWORD dataLength = static_cast<DWORD>(data_.size());
    DWORD type = 0;
    const LSTATUS status = ::RegEnumValueW(key_.get(), index, name_.data(), &nameLength, nullptr, &type,
                                           data_.data(), &dataLength);
    if (status == ERROR_MORE_DATA) return EnumResult::TooLarge;
    if (status != ERROR_SUCCESS) return EnumResult::End;
    value.name = Narrow(std::wstring_view(name_.data(), nameLength));
    value.nameLength = nameLength;
    value.type = type;
    value.data.assign(reinterpret_cast<const char*>(data_.data()), dataLength);
    return EnumResult::Value;
  }

  std::optional<StoredValue> QueryValue(const std::string& name) override {
    const std::wstring wide = Widen(name);
    // Most values fit the room kept from the last call: one trip to the registry.
    if (query_.size() < 2048) query_.resize(2048);
    for (;;) {
      DWORD type = 0, size = static_cast<DWORD>(query_.size());
      const LSTATUS status = ::RegQueryValueExW(key_.get(), wide.c_str(), nullptr, &type, query_.data(), &size);
      if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
      if (status == ERROR_MORE_DATA) {  // grown past the room: ask again with room for it
        query_.resize(size);
        continue;
      }
      ThrowIfFailed("RegQueryValueExW", status);
      return StoredValue{type, std::string(reinterpret_cast<const char*>(query_.data()), size)};
    }
  }

  bool DeleteValue(const std::string& name) override {
    return ::RegDeleteValueW(key_.get(), Widen(name).c_str()) == ERROR_SUCCESS;
  }

 private:
  UniqueHkey key_;
  // Kept between calls: one enumeration asks for thousands of values.
  std::wstring name_;
  std::vector<BYTE> data_;
  std::vector<BYTE> query_;
};

}  // namespace

std::unique_ptr<RegistryKey> Win32Registry::OpenKey(Hive hive, const std::string& path, std::uint32_t access) {
  // The predefined keys are sign-extended 32-bit handle values.
  const auto root = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(hive)));
  UniqueHkey key;
  if (::RegOpenKeyExW(root, Widen(path).c_str(), 0, access, key.put()) != ERROR_SUCCESS) return nullptr;
  return std::make_unique<Win32RegistryKey>(std::move(key));
}

}  // namespace vq::win32
