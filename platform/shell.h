#pragma once

#include <optional>
#include <string>

namespace vq {

// Shell special folders, by the CSIDL numbers the program uses.
namespace csidl {
inline constexpr int kStartup = 7;         // the current user's Startup folder
inline constexpr int kCommonStartup = 24;  // the Startup folder of all users
inline constexpr int kSystem = 37;         // the system folder, C:\WINDOWS\system32
}  // namespace csidl

// The logged-on user's shell: special folders and the user's name.
class Shell {
 public:
  virtual ~Shell() = default;
  // The folder's full path as the shell gives it, owned by the main window;
  // empty text when the shell gives none.
  virtual std::string SpecialFolderPath(int csidl) = 0;
  // The name of the user the program runs as; nullopt when it cannot be had.
  virtual std::optional<std::string> UserName() = 0;
  // The user's local application data folder (the known folder
  // LocalAppData); empty text when the shell gives none.
  virtual std::string LocalAppDataFolder() = 0;
  // The text with the user's environment variables (%SystemRoot%) expanded.
  virtual std::string ExpandEnvironment(const std::string& text) = 0;
  // The account the program runs as, "DOMAIN\name"; empty text when it cannot be had.
  virtual std::string AccountName() = 0;
  // The path a shortcut file (.lnk) points to, as stored in it (never
  // searched for, and the shortcut never changed); empty text when it names
  // no file or is no shortcut.
  virtual std::string ShortcutTarget(const std::string& path) = 0;
};

}  // namespace vq
