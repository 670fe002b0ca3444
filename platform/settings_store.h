#pragma once

#include <optional>
#include <string>

namespace vq {

// The user's own store of text settings, addressed by application, section and key.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The stored text, which may be empty; nullopt when the key, section or
  // application is absent. Any other failure throws Failure.
  virtual std::optional<std::string> Read(const std::string& application, const std::string& section,
                                          const std::string& key) = 0;
  // Creates or replaces the key's text, creating section and application as needed.
  virtual void Write(const std::string& application, const std::string& section, const std::string& key,
                     const std::string& text) = 0;
};

}  // namespace vq
