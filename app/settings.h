#pragma once

#include <string>

namespace vq {

class SettingsStore;

// Where this program keeps its settings: the store's application and section.
inline constexpr const char kSettingsApplication[] = "Marrowfen";
inline constexpr const char kSettingsSection[] = "Vellorin Quade";

// The stored text of a key, even when empty; the default when it is absent.
std::string GetSetting(SettingsStore& store, const std::string& application, const std::string& section,
                       const std::string& key, const std::string& defaultText);

void SaveSetting(SettingsStore& store, const std::string& application, const std::string& section,
                 const std::string& key, const std::string& text);

}  // namespace vq
