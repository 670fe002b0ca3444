#include "entries/autostart_points.h"

#include <algorithm>

#include "platform/text.h"

namespace vq {

namespace {

using enum PointKeys;
using enum PointUnless;
constexpr Hive kMachine = Hive::LocalMachine, kUser = Hive::CurrentUser;
constexpr std::uint32_t kCommand = 0;

constexpr AutostartPoint kPoints[] = {
    {150, kMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", TheKey, nullptr, kCommand, nullptr, false, Nothing, "Logon"},
    {150, kUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", TheKey, nullptr, kCommand, nullptr, false, Nothing, "Logon"},
    {152, kMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx", EachSubKeyAndItsDepend, nullptr, kCommand, nullptr, true, Nothing, "Logon"},
    {154, kMachine, "SYSTEM\\CurrentControlSet\\Control\\BootVerificationProgram", TheKey, "ImagePath", kCommand, nullptr, false, Nothing, "Boot Execute"},
    {156, kMachine, "SOFTWARE\\Microsoft\\Active Setup\\Installed Components", EachSubKey, "StubPath", kCommand, nullptr, true, NotInstalled, "Logon"},
    {158, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options", EachSubKey, "Debugger", kCommand, nullptr, false, Nothing, "Hijacks"},
    {160, kUser, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", TheKey, "Shell", kCommand, nullptr, false, Nothing, "Logon"},
    {162, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", TheKey, "Userinit", regtype::kSz, "%SystemFolder%\\userinit.exe,", false, Nothing, "Logon"},
    {162, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", TheKey, "Shell", regtype::kSz, "explorer.exe", false, Nothing, "Logon"},
    {164, kMachine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", TheKey, "BootExecute", regtype::kMultiSz, "autocheck autochk *|", false, DiskChecksOnly, "Boot Execute"},
    {166, kMachine, "SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd", TheKey, "StartupPrograms", regtype::kSz, "rdpclip", false, Nothing, "Logon"},
    {168, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows", TheKey, "AppInit_DLLs", regtype::kSz, "", true, Nothing, "AppInit"},
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

std::vector<std::u16string> Entries(std::uint32_t type, std::string_view data) {
  std::u16string text = FromUtf16Le(data);
  if (type != regtype::kMultiSz) {
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return {text};
  }
  std::vector<std::u16string> entries;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(u'\0', start), text.size());
    if (end == start) break;  // the empty entry that ends the list
    entries.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

bool IsDiskCheck(std::u16string_view entry) {
  const std::size_t first = entry.find_first_not_of(u' ');
  if (first == std::u16string_view::npos || entry.size() - first < 18) return false;
  constexpr std::u16string_view kDiskCheck = u"autocheck autochk ";
  const std::u16string_view start = entry.substr(first, kDiskCheck.size());
  return std::equal(start.begin(), start.end(), kDiskCheck.begin(), [](char16_t c, char16_t lower) {
    return (c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c) == lower;
  });
}

StoredValue ResetValue(const StoredValue& windowsOwn, bool keepDiskChecks, const std::optional<StoredValue>& now) {
  if (!keepDiskChecks || !now) return windowsOwn;
  std::u16string kept;
  for (const std::u16string& entry : Entries(now->type, now->data)) {
    if (IsDiskCheck(entry)) kept += entry + u'\0';
  }
  if (kept.empty()) return windowsOwn;
  return StoredValue{regtype::kMultiSz, Utf16LeBytes(kept + u'\0')};
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
