#include "entries/startup_approved.h"

#include "platform/text.h"

namespace vq {

namespace {

constexpr char16_t kRunKey[] = u"software\\microsoft\\windows\\currentversion\\run";
constexpr char16_t kRun32Key[] = u"software\\wow6432node\\microsoft\\windows\\currentversion\\run";

bool IsSoundSwitch(const std::optional<StoredValue>& value) {
  return value && value->type == regtype::kBinary && value->data.size() == kSwitchSize;
}

}  // namespace

std::u16string FoldedRegistryName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
  return folded;
}

std::string_view StartupApprovedKey(ApprovedList list) {
  switch (list) {
    case ApprovedList::Run: return "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
    case ApprovedList::Run32: return "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";
    case ApprovedList::StartupFolder:
      return "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
  }
  return {};
}

std::optional<StartupSwitch> SwitchOfRunValue(Hive hive, std::u16string_view keyPath, std::u16string_view name) {
  // The key's default value (listed when empty) starts nothing and has no switch.
  if (name.empty()) return std::nullopt;
  std::optional<StartupSwitch> at = SwitchesOfRunKey(hive, keyPath);
  if (at) at->name = name;
  return at;
}

std::optional<StartupSwitch> SwitchesOfRunKey(Hive hive, std::u16string_view keyPath) {
  std::u16string key = FoldedRegistryName(keyPath);
  while (!key.empty() && key.back() == u'\\') key.pop_back();
  std::u16string prefix;
  if (hive == Hive::Users) {
    // A user's own hive below HKEY_USERS: the part before the first separator.
    const std::size_t separator = key.find(u'\\');
    if (separator == std::u16string::npos || separator == 0 || key.substr(0, separator) == u".default") {
      return std::nullopt;
    }
    prefix = std::u16string(keyPath.substr(0, separator + 1));
    key.erase(0, separator + 1);
  } else if (hive != Hive::CurrentUser && hive != Hive::LocalMachine) {
    return std::nullopt;
  }
  ApprovedList list;
  if (key == kRunKey) {
    list = ApprovedList::Run;
  } else if (key == kRun32Key && hive == Hive::LocalMachine) {
    list = ApprovedList::Run32;
  } else {
    return std::nullopt;
  }
  return StartupSwitch{hive, prefix + Utf8ToUtf16(StartupApprovedKey(list)), {}};
}

std::optional<StartupSwitch> SwitchOfStartupFile(const StartupFileItem& file, Hive userHive,
                                                 std::u16string_view userPrefix) {
  const std::u16string key = Utf8ToUtf16(StartupApprovedKey(ApprovedList::StartupFolder));
  if (file.allUsers) return StartupSwitch{Hive::LocalMachine, key, file.name};
  return StartupSwitch{userHive, std::u16string(userPrefix) + key, file.name};
}

std::optional<StartupSwitch> SwitchOf(const StartupItem& item) {
  if (const auto* value = std::get_if<RegistryValueItem>(&item)) {
    if (value->element || value->wholeKey || value->resetTo) return std::nullopt;
    return SwitchOfRunValue(value->hive, value->keyPath, value->name);
  }
  if (const auto* file = std::get_if<StartupFileItem>(&item)) return SwitchOfStartupFile(*file);
  return std::nullopt;
}

bool IsSwitchedOff(const std::optional<StoredValue>& value) {
  // The rest of the value is the time it was switched off, which says nothing more.
  return IsSoundSwitch(value) && (static_cast<unsigned char>(value->data[0]) & 1) != 0;
}

std::string SwitchBytes(const std::optional<StoredValue>& now, bool off, std::int64_t fileTime) {
  std::string bytes(kSwitchSize, '\0');
  unsigned flags = IsSoundSwitch(now) ? static_cast<unsigned char>(now->data[0]) : 0x02;
  flags = off ? (flags | 1) : (flags & ~1u);
  bytes[0] = static_cast<char>(flags);
  if (off) {
    // Windows' page shows when it was switched off; a clock that says nothing still says "off".
    const auto time = static_cast<std::uint64_t>(fileTime > 0 ? fileTime : 1);
    for (int i = 0; i < 8; ++i) bytes[4 + i] = static_cast<char>(time >> (8 * i) & 0xFF);
  }
  return bytes;
}

}  // namespace vq
