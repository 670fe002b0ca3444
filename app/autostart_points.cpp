#include "app/autostart_points.h"

#include "platform/text.h"

namespace vq {

namespace {

using enum PointKeys;
using enum PointUnless;
constexpr Hive kMachine = Hive::LocalMachine, kUser = Hive::CurrentUser;
constexpr std::uint32_t kCommand = 0;

constexpr AutostartPoint kPoints[] = {
    {150, kMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", TheKey, nullptr, kCommand, nullptr, false, Nothing},
    {150, kUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", TheKey, nullptr, kCommand, nullptr, false, Nothing},
    {152, kMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx", EachSubKeyAndItsDepend, nullptr, kCommand, nullptr, true, Nothing},
    {154, kMachine, "SYSTEM\\CurrentControlSet\\Control\\BootVerificationProgram", TheKey, "ImagePath", kCommand, nullptr, false, Nothing},
    {156, kMachine, "SOFTWARE\\Microsoft\\Active Setup\\Installed Components", EachSubKey, "StubPath", kCommand, nullptr, true, NotInstalled},
    {158, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options", EachSubKey, "Debugger", kCommand, nullptr, false, Nothing},
    {160, kUser, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", TheKey, "Shell", kCommand, nullptr, false, Nothing},
    {162, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", TheKey, "Userinit", regtype::kSz, "%SystemFolder%\\userinit.exe,", false, Nothing},
    {162, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", TheKey, "Shell", regtype::kSz, "explorer.exe", false, Nothing},
    {164, kMachine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", TheKey, "BootExecute", regtype::kMultiSz, "autocheck autochk *|", false, DiskChecksOnly},
    {166, kMachine, "SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd", TheKey, "StartupPrograms", regtype::kSz, "rdpclip", false, Nothing},
    {168, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows", TheKey, "AppInit_DLLs", regtype::kSz, "", true, Nothing},
};

// Letters as the registry compares names, letter case aside; to be safe, with
// the few letters that some case tables fold into ASCII ones too (dotless i,
// long s, the Kelvin sign), which Wine's registry keeps apart.
std::u16string Folded(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& c : folded) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c == u'\u0131') c = u'i';
    if (c == u'\u017F') c = u's';
    if (c == u'\u212A') c = u'k';
  }
  return folded;
}

}  // namespace

std::span<const AutostartPoint> AutostartPoints() { return kPoints; }

std::string In32BitView(std::string_view key) {
  constexpr std::string_view kSoftware = "SOFTWARE\\";
  if (!key.starts_with(kSoftware)) return std::string(key);
  return "SOFTWARE\\WOW6432Node\\" + std::string(key.substr(kSoftware.size()));
}

bool IsWindowsOwnValue(Registry& registry, Hive hive, RegistryKey& key, std::u16string_view name) {
  std::optional<std::u16string> keyName;  // asked when first needed
  for (const AutostartPoint& point : kPoints) {
    if (point.defaultType == kCommand || point.hive != hive || Folded(name) != Folded(Utf8ToUtf16(point.value))) {
      continue;
    }
    for (const std::string& path : {std::string(point.key), In32BitView(point.key)}) {
      const std::unique_ptr<RegistryKey> own = registry.OpenKey(hive, Utf8ToUtf16(path), kKeyQueryValue);
      if (!own) continue;
      if (!keyName) keyName = Folded(key.FullName());
      if (Folded(own->FullName()) == *keyName) return true;
    }
  }
  return false;
}

}  // namespace vq
