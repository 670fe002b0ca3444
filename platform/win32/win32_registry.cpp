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

struct ObjectAttributes {
  ULONG length;
  HANDLE rootDirectory;
  const CountedName* objectName;
  ULONG attributes;
  void* securityDescriptor;
  void* securityQualityOfService;
};

struct NativeRegistry {
  NtStatus(WINAPI* queryValue)(HANDLE, const CountedName*, int, void*, ULONG, ULONG*);
  NtStatus(WINAPI* deleteValue)(HANDLE, const CountedName*);
  NtStatus(WINAPI* setValue)(HANDLE, const CountedName*, ULONG, ULONG, const void*, ULONG);
  NtStatus(WINAPI* openKey)(HANDLE*, ACCESS_MASK, const ObjectAttributes*);
  NtStatus(WINAPI* queryKey)(HANDLE, int, void*, ULONG, ULONG*);
  NtStatus(WINAPI* deleteKey)(HANDLE);
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
        resolve(calls.setValue, "NtSetValueKey");
        resolve(calls.openKey, "NtOpenKey");
        resolve(calls.queryKey, "NtQueryKey");
        resolve(calls.deleteKey, "NtDeleteKey");
        resolve(calls.statusToError, "RtlNtStatusToDosError");
      }
      return calls;
    }();
    if (!native.queryValue || !native.deleteValue || !native.setValue || !native.openKey || !native.queryKey || !native.deleteKey ||
        !native.statusToError) {
      throw Failure("The system offers no registry calls for counted names (ntdll)");
    }
    return native;
  }
  [[noreturn]] void Throw(const char* call, NtStatus status) const { throw Win32Failure(call, statusToError(status)); }
};

CountedName Counted(std::u16string_view name) {
  if (name.size() > 0x7FFF) throw Failure("The name is too long");
  const auto bytes = static_cast<USHORT>(name.size() * sizeof(char16_t));
  return {bytes, bytes, name.data()};
}

// Opens the key of exactly this name (a path of names) below an open key.
UniqueHkey OpenBelow(HKEY parent, std::u16string_view name, std::uint32_t access) {
  const NativeRegistry& native = NativeRegistry::Get();
  const CountedName counted = Counted(name);
  const ObjectAttributes attributes{sizeof(ObjectAttributes), parent, &counted, 0, nullptr, nullptr};
  HANDLE key = nullptr;
  const NtStatus status = native.openKey(&key, access, &attributes);
  if (status == kStatusObjectNameNotFound) return UniqueHkey();
  if (status != kStatusSuccess) native.Throw("NtOpenKey", status);
  return UniqueHkey(static_cast<HKEY>(key));
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
    if (query_.size() < 512) query_.resize(512);
    for (;;) {
      ULONG size = 0;
      const NtStatus status = native.queryValue(key_.get(), &counted, kKeyValuePartialInformation, query_.data(),
                                                static_cast<ULONG>(query_.size() * sizeof(ULONGLONG)), &size);
      if (status == kStatusObjectNameNotFound) return std::nullopt;
      if (status == kStatusBufferOverflow || status == kStatusBufferTooSmall) {  // grown past the room
        query_.resize(size / sizeof(ULONGLONG) + 1);
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

  bool DeleteKey() override {
    // By the handle: exactly the key opened, never another of its name.
    return NativeRegistry::Get().deleteKey(key_.get()) == kStatusSuccess;
  }

  bool SetValue(std::u16string_view name, std::uint32_t type, std::string_view data) override {
    const NativeRegistry& native = NativeRegistry::Get();
    const CountedName counted = Counted(name);
    return native.setValue(key_.get(), &counted, 0, type, data.data(), static_cast<ULONG>(data.size())) ==
           kStatusSuccess;
  }

  EnumResult EnumSubKey(std::uint32_t index, std::u16string& name) override {
    wchar_t buffer[256];  // the longest key name and its terminator
    DWORD length = 256;
    if (::RegEnumKeyExW(key_.get(), index, buffer, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return EnumResult::End;
    }
    name.assign(buffer, buffer + length);
    return EnumResult::Value;
  }

  std::int64_t LastWriteTime() override {
    FILETIME written{};
    ThrowIfFailed("RegQueryInfoKeyW", ::RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                                         nullptr, nullptr, nullptr, nullptr, nullptr, &written));
    return static_cast<std::int64_t>(written.dwHighDateTime) << 32 | written.dwLowDateTime;
  }

  std::u16string FullName() override {
    const NativeRegistry& native = NativeRegistry::Get();
    std::vector<ULONG> buffer(16384);  // KEY_NAME_INFORMATION: the length in bytes, then the name
    ULONG size = 0;
    constexpr int kKeyNameInformation = 3;
    const NtStatus status = native.queryKey(key_.get(), kKeyNameInformation, buffer.data(),
                                            static_cast<ULONG>(buffer.size() * sizeof(ULONG)), &size);
    if (status != kStatusSuccess) native.Throw("NtQueryKey", status);
    const auto* name = reinterpret_cast<const char16_t*>(buffer.data() + 1);
    return std::u16string(name, name + buffer[0] / sizeof(char16_t));
  }

  std::unique_ptr<RegistryKey> OpenSubKey(std::u16string_view name, std::uint32_t access) override {
    UniqueHkey key = OpenBelow(key_.get(), name, access);
    if (!key) return nullptr;
    return std::make_unique<Win32RegistryKey>(std::move(key));
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

std::u16string Win32Registry::Folded(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
  return folded;
}

void Win32Registry::MountBelowUsers(const std::u16string& name, UniqueHkey hive) {
  mounted_[Folded(name)] = std::move(hive);
}

void Win32Registry::Unmount(const std::u16string& name) { mounted_.erase(Folded(name)); }

HKEY Win32Registry::RootOf(Hive hive, std::u16string_view& path) const {
  // A hive of the program's own is reached by its name below HKEY_USERS.
  if (hive == Hive::Users && !mounted_.empty()) {
    const std::u16string_view first = path.substr(0, path.find(u'\\'));
    if (const auto mounted = mounted_.find(Folded(first)); mounted != mounted_.end()) {
      path = path.size() > first.size() ? path.substr(first.size() + 1) : std::u16string_view();
      return mounted->second.get();
    }
  }
  // The predefined keys are sign-extended 32-bit handle values.
  return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(hive)));
}

std::unique_ptr<RegistryKey> Win32Registry::CreateKey(Hive hive, std::u16string_view path, std::uint32_t access) {
  const HKEY root = RootOf(hive, path);
  // The keys this creates are Windows' own, of fixed names.
  if (path.find(u'\0') != std::u16string_view::npos) throw Failure("A key to create is named with U+0000");
  const std::wstring wide(path.begin(), path.end());
  UniqueHkey key;
  const LSTATUS status = ::RegCreateKeyExW(root, wide.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           access | KEY_WOW64_64KEY, nullptr, key.put(), nullptr);
  ThrowIfFailed("RegCreateKeyExW", status);
  return std::make_unique<Win32RegistryKey>(std::move(key));
}

std::unique_ptr<RegistryKey> Win32Registry::OpenKey(Hive hive, std::u16string_view path, std::uint32_t access) {
  const HKEY root = RootOf(hive, path);
  // The names up to the first that holds U+0000 go by the usual call; the
  // rest by their counted names, below them.
  const std::size_t nul = path.find(u'\0');
  const std::size_t split = nul == std::u16string_view::npos ? path.size() : path.rfind(u'\\', nul);
  if (nul != std::u16string_view::npos && (split == std::u16string_view::npos || split == 0)) {
    throw Failure("A key below a hive is named with U+0000");
  }
  const std::wstring wide(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(split));
  UniqueHkey key;
  // A key that only leads to the one named below it needs no right of its own.
  const LSTATUS status = ::RegOpenKeyExW(root, wide.c_str(), 0, split < path.size() ? 0 : access, key.put());
  if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) return nullptr;
  ThrowIfFailed("RegOpenKeyExW", status);
  if (split < path.size()) {
    key = OpenBelow(key.get(), path.substr(split + 1), access);
    if (!key) return nullptr;
  }
  return std::make_unique<Win32RegistryKey>(std::move(key));
}

}  // namespace vq::win32
