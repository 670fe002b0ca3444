#include "platform/win32/win32_registry.h"

#include <windows.h>

#include <type_traits>
#include <vector>

#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_failure.h"

namespace vq::win32 {

namespace {

// The native calls that take a value's name as a counted string, so a name
// holding U+0000 is named whole. Resolved from ntdll when first needed.
using NtStatus = LONG;
struct CountedName {
  USHORT length;         // in bytes
  USHORT maximumLength;  // in bytes
  const char16_t* buffer;
};
struct PartialValue {  // KEY_VALUE_PARTIAL_INFORMATION
  ULONG titleIndex;
  ULONG type;
  ULONG dataLength;
  UCHAR data[1];
};
constexpr int kKeyValuePartialInformation = 2;
constexpr NtStatus kStatusSuccess = 0;
constexpr NtStatus kStatusBufferOverflow = static_cast<NtStatus>(0x80000005);
constexpr NtStatus kStatusBufferTooSmall = static_cast<NtStatus>(0xC0000023);
constexpr NtStatus kStatusObjectNameNotFound = static_cast<NtStatus>(0xC0000034);

struct NativeRegistry {
  NtStatus(WINAPI* queryValue)(HANDLE, const CountedName*, int, void*, ULONG, ULONG*);
  NtStatus(WINAPI* deleteValue)(HANDLE, const CountedName*);
  ULONG(WINAPI* statusToError)(NtStatus);

  static const NativeRegistry& Get() {
    static const NativeRegistry native = [] {
      NativeRegistry calls{};
      if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
        auto resolve = [&](auto& call, const char* name) {
          call = reinterpret_cast<std::remove_reference_t<decltype(call)>>(
              reinterpret_cast<void*>(::GetProcAddress(ntdll, name)));
        };
        resolve(calls.queryValue, "NtQueryValueKey");
        resolve(calls.deleteValue, "NtDeleteValueKey");
        resolve(calls.statusToError, "RtlNtStatusToDosError");
      }
      return calls;
    }();
    if (!native.queryValue || !native.deleteValue || !native.statusToError) {
      throw Failure("The system offers no registry calls for counted names (ntdll)");
    }
    return native;
  }
  [[noreturn]] void Throw(const char* call, NtStatus status) const { throw Win32Failure(call, statusToError(status)); }
};

CountedName Counted(std::u16string_view name) {
  if (name.size() > 0x7FFF) throw Failure("The value name is too long");
  const auto bytes = static_cast<USHORT>(name.size() * sizeof(char16_t));
  return {bytes, bytes, name.data()};
}

class Win32RegistryKey final : public RegistryKey {
 public:
  explicit Win32RegistryKey(UniqueHkey key) : key_(std::move(key)) {}

  EnumResult EnumValue(std::uint32_t index, std::size_t nameRoom, std::size_t dataRoom,
                       RegistryValue& value) override;
  std::optional<StoredValue> QueryValue(std::u16string_view name) override {
    const NativeRegistry& native = NativeRegistry::Get();
    const CountedName counted = Counted(name);
    // Most values fit the room kept from the last call: one trip to the registry.
    if (query_.size() < 4096) query_.resize(4096);
    for (;;) {
      ULONG size = 0;
      const NtStatus status = native.queryValue(key_.get(), &counted, kKeyValuePartialInformation, query_.data(),
                                                static_cast<ULONG>(query_.size()), &size);
      if (status == kStatusObjectNameNotFound) return std::nullopt;
      if (status == kStatusBufferOverflow || status == kStatusBufferTooSmall) {  // grown past the room
        query_.resize(size + sizeof(PartialValue));
        continue;
      }
      if (status != kStatusSuccess) native.Throw("NtQueryValueKey", status);
      const auto* value = reinterpret_cast<const PartialValue*>(query_.data());
      return StoredValue{value->type, std::string(reinterpret_cast<const char*>(value->data), value->dataLength)};
    }
  }

  bool DeleteValue(std::u16string_view name) override {
    const NativeRegistry& native = NativeRegistry::Get();
    const CountedName counted = Counted(name);
    return native.deleteValue(key_.get(), &counted) == kStatusSuccess;
  }

 private:
  UniqueHkey key_;
  // Kept between calls: one enumeration asks for thousands of values.
  std::wstring name_;
  std::vector<BYTE> data_;
  std::vector<ULONGLONG> query_;  // aligned for the native record
};

EnumResult Win32RegistryKey::EnumValue(std::uint32_t index, std::size_t nameRoom, std::size_t dataRoom,
                                       RegistryValue& value) {
  name_.resize(nameRoom);
  data_.resize(dataRoom * sizeof(wchar_t));
  DWORD nameLength = static_cast<DWORD>(nameRoom);
  DWORD dataLength = static_cast<DWORD>(data_.size());
  DWORD type = 0;
  const LSTATUS status =
      ::RegEnumValueW(key_.get(), index, name_.data(), &nameLength, nullptr, &type, data_.data(), &dataLength);
  if (status == ERROR_MORE_DATA) return EnumResult::TooLarge;
  if (status != ERROR_SUCCESS) return EnumResult::End;
  // The name as the registry counts it, U+0000 and all.
  value.name.assign(name_.begin(), name_.begin() + nameLength);
  value.type = type;
  value.data.assign(reinterpret_cast<const char*>(data_.data()), dataLength);
  return EnumResult::Value;
}

}  // namespace

std::unique_ptr<RegistryKey> Win32Registry::OpenKey(Hive hive, std::u16string_view path, std::uint32_t access) {
  // The predefined keys are sign-extended 32-bit handle values.
  const auto root = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(hive)));
  if (path.find(u'\0') != std::u16string_view::npos) throw Failure("A key name holds U+0000");
  const std::wstring wide(path.begin(), path.end());
  UniqueHkey key;
  const LSTATUS status = ::RegOpenKeyExW(root, wide.c_str(), 0, access, key.put());
  if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) return nullptr;
  ThrowIfFailed("RegOpenKeyExW", status);
  return std::make_unique<Win32RegistryKey>(std::move(key));
}

}  // namespace vq::win32
