#include "app/settings.h"

#include "platform/settings_store.h"

namespace vq {

std::string GetSetting(SettingsStore& store, const std::string& application, const std::string& section,
                       const std::string& key, const std::string& defaultText) {
  return store.Read(application, section, key).value_or(defaultText);
}

void SaveSetting(SettingsStore& store, const std::string& application, const std::string& section,
                 const std::string& key, const std::string& text) {
  store.Write(application, section, key, text);
}

}  // namespace vq
