#include "platform/win32/registry_settings_store.h"

#include <windows.h>

#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_failure.h"

namespace vq::win32 {

namespace {
std::wstring SectionPath(const std::string& application, const std::string& section) {
  return std::wstring(RegistrySettingsStore::kRoot) + L"\\" + Widen(application) + L"\\" + Widen(section);
}
}  // namespace

std::optional<std::string> RegistrySettingsStore::Read(const std::string& application, const std::string& section,
                                                       const std::string& key) {
  UniqueHkey sectionKey;
  LSTATUS status =
      ::RegOpenKeyExW(HKEY_CURRENT_USER, SectionPath(application, section).c_str(), 0, KEY_QUERY_VALUE, sectionKey.put());
  if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
  ThrowIfFailed("RegOpenKeyExW", status);

  const std::wstring name = Widen(key);
  // RRF_RT_REG_SZ returns the text with its terminator even when it was stored without one.
  // The size is asked for again when the value grows between the two calls.
  for (;;) {
    DWORD bytes = 0;
    status = ::RegGetValueW(sectionKey.get(), nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    ThrowIfFailed("RegGetValueW", status);
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    status = ::RegGetValueW(sectionKey.get(), nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &bytes);
    if (status == ERROR_MORE_DATA) continue;
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    ThrowIfFailed("RegGetValueW", status);
    text.resize(bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return Narrow(text);
  }
}

void RegistrySettingsStore::Write(const std::string& application, const std::string& section, const std::string& key,
                                  const std::string& text) {
  UniqueHkey sectionKey;
  ThrowIfFailed("RegCreateKeyExW",
                ::RegCreateKeyExW(HKEY_CURRENT_USER, SectionPath(application, section).c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, sectionKey.put(), nullptr));
  const std::wstring data = Widen(text);
  const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));  // with its terminator
  ThrowIfFailed("RegSetValueExW", ::RegSetValueExW(sectionKey.get(), Widen(key).c_str(), 0, REG_SZ,
                                                   reinterpret_cast<const BYTE*>(data.c_str()), bytes));
}

}  // namespace vq::win32
