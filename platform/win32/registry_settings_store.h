#pragma once

#include "platform/settings_store.h"

namespace vq::win32 {

// Settings as REG_SZ values under
// HKCU\Software\VB and VBA Program Settings\<application>\<section>,
// where earlier releases kept them, so users keep their filters.
class RegistrySettingsStore final : public SettingsStore {
 public:
  static constexpr wchar_t kRoot[] = L"Software\\VB and VBA Program Settings";

  std::optional<std::string> Read(const std::string& application, const std::string& section,
                                  const std::string& key) override;
  void Write(const std::string& application, const std::string& section, const std::string& key,
             const std::string& text) override;
};

}  // namespace vq::win32
