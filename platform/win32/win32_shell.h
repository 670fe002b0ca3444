#pragma once

#include <windows.h>

#include "platform/shell.h"

namespace vq::win32 {

class Win32Shell final : public Shell {
 public:
  // The window that owns the shell's calls (and any dialog they might show).
  explicit Win32Shell(HWND owner) : owner_(owner) {}
  std::string SpecialFolderPath(int csidl) override;
  std::optional<std::string> UserName() override;
  std::string LocalAppDataFolder() override;
  std::string ExpandEnvironment(const std::string& text) override;
  std::string AccountName() override;
  std::string ShortcutTarget(const std::string& path) override;

 private:
  HWND owner_;
};

}  // namespace vq::win32
