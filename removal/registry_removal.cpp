#include "removal/registry_removal.h"

#include <algorithm>

#include "entries/autostart_points.h"
#include "platform/failure.h"
#include "platform/text.h"

namespace vq {

const HiveInfo* MatchHivePrefix(std::string_view location) {
  for (const HiveInfo& hive : Hives()) {
    if (location.find(hive.prefix) != std::string_view::npos) return &hive;
  }
  return nullptr;
}

std::optional<RegistryTarget> TargetOf(std::string_view location) {
  const HiveInfo* hive = MatchHivePrefix(location);
  if (!hive) return std::nullopt;
  return RegistryTarget{hive, ReplaceAll(location, hive->prefix, "")};
}

std::shared_ptr<RegistryKey> OpenForRemoval(Registry& registry, const RegistryValueItem& value) {
  try {
    return registry.OpenKey(value.hive, value.keyPath, value.wholeKey ? kKeyWholeRemoval : kKeyRemoval);
  } catch (const Failure&) {
    return nullptr;  // the user may not change this key: the value stays, and nothing is said
  }
}

namespace {

// True when any word of a list held as one text (split at blanks, commas,
// semicolons) is one of Windows' own: such a text is never taken, so a list
// written as "kerberos msv1_0 extra" cannot lose Windows' packages with it.
bool HoldsShippedElement(const AutostartPoint& point, std::u16string_view text) {
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find_first_of(u" \t,;", start), text.size());
    if (end > start && IsShippedElement(point, text.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

// The list's text without every copy of the element, in the order of the
// others; nullopt when the element is not in it. A list's entries end at its
// first empty one, as Windows reads it: that terminator and whatever follows
// it stay byte for byte.
std::optional<std::u16string> WithoutElement(std::uint32_t type, std::u16string text, std::u16string_view element) {
  if (type != regtype::kMultiSz) {
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    if (text != element) return std::nullopt;
    return std::u16string(1, u'\0');
  }
  std::u16string kept;
  bool found = false;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find(u'\0', start), text.size());
    if (end == start) break;  // the empty entry that ends the list
    if (std::u16string_view(text).substr(start, end - start) == element) {
      found = true;
    } else {
      kept.append(text, start, end - start).push_back(u'\0');
    }
    start = end + 1;
  }
  if (!found) return std::nullopt;
  if (start < text.size()) return kept + text.substr(start);
  return kept + u'\0';  // the list had no end of its own: it gets one
}

// Takes exactly the element out of the list the value holds now, the others
// staying in their order; Windows' own elements never go.
bool DeleteElement(Registry& registry, const RegistryValueItem& value, RegistryKey& key) {
  try {
    const AutostartPoint* point = ListPointOf(registry, value.hive, key, value.name);
    if (point && IsShippedElement(*point, *value.element)) return false;
    const std::optional<StoredValue> now = key.QueryValue(value.name);
    if (!now || (now->type != regtype::kMultiSz && now->type != regtype::kSz && now->type != regtype::kExpandSz)) {
      return false;
    }
    if (point && now->type != regtype::kMultiSz && HoldsShippedElement(*point, *value.element)) return false;
    const std::optional<std::u16string> rest = WithoutElement(now->type, FromUtf16Le(now->data), *value.element);
    if (!rest) return false;  // already gone
    return key.SetValue(value.name, now->type, Utf16LeBytes(*rest));
  } catch (const Failure&) {
    return false;  // the list as it is now cannot be read: it stays
  }
}

}  // namespace

bool DeleteRegistryValue(Registry& registry, const RegistryValueItem& value, RegistryKey& key) {
  if (value.element) return DeleteElement(registry, value, key);
  try {
    // A value Windows itself needs is written back to Windows' own, never deleted.
    if (!value.resetTo && IsWindowsOwnValue(registry, value.hive, key, value.name)) return false;
  } catch (const Failure&) {
    return false;  // a key the registry will not name: the value stays
  }
  if (!value.resetTo) return key.DeleteValue(value.name);
  try {
    const StoredValue reset = ResetValue(*value.resetTo, value.keepDiskChecks, key.QueryValue(value.name));
    return key.SetValue(value.name, reset.type, reset.data);
  } catch (const Failure&) {
    return false;  // the value as it is now cannot be read: it stays
  }
}

}  // namespace vq
