#include <algorithm>

#include "collectors/autostart_collector.h"
#include "collectors/gathering.h"
#include "collectors/mod_registry.h"
#include "collectors/mod_special_folder.h"
#include "entries/autostart_points.h"
#include "entries/startup_items.h"
#include "platform/failure.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace vq {

namespace {

// Room for every value a key can hold: the longest name, and far more data than a command has.
constexpr std::size_t kAnyNameRoom = 16384;
constexpr std::size_t kAnyDataRoom = 32768;

struct PointListing {
  RowSink& sink;
  Registry& registry;
  Shell& shell;
  const AutostartPoint& point;
  std::optional<StoredValue> windowsOwn;  // for a value Windows itself needs: its own
};

// Two settings alike as Windows reads them: environment variables expanded,
// surrounding spaces and letter case not counting.
std::string Normal(Shell& shell, std::u16string_view text) {
  std::string expanded = shell.ExpandEnvironment(Utf16ToUtf8(text));
  const std::size_t first = expanded.find_first_not_of(' ');
  expanded = first == std::string::npos ? "" : expanded.substr(first, expanded.find_last_not_of(' ') - first + 1);
  for (char& c : expanded) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return expanded;
}

// A row for the value when it is one that starts something.
void ListValue(PointListing& listing, const std::u16string& path, const std::u16string& name, const StoredValue& value) {
  const AutostartPoint& point = listing.point;
  const bool multi = value.type == regtype::kMultiSz;
  if (value.type != regtype::kSz && value.type != regtype::kExpandSz && !(multi && point.defaultType == regtype::kMultiSz)) {
    return;
  }
  const std::vector<std::u16string> entries = Entries(value.type, value.data);
  if (point.unless == PointUnless::DiskChecksOnly && !entries.empty() &&
      std::all_of(entries.begin(), entries.end(), IsDiskCheck)) {
    return;
  }
  if (listing.windowsOwn) {
    const std::vector<std::u16string> own = Entries(listing.windowsOwn->type, listing.windowsOwn->data);
    bool same = own.size() == entries.size();
    for (std::size_t i = 0; same && i < own.size(); ++i) {
      same = Normal(listing.shell, own[i]) == Normal(listing.shell, entries[i]);
    }
    if (same) return;
  }
  std::u16string text;
  for (const std::u16string& entry : entries) text += (text.empty() ? u"" : u" ") + entry;
  const std::string extraDetails = ProgramFolderOf(Utf16ToUtf8(text));
  const int row = listing.sink.AddRow(
      "REGISTRY", {RegistryValueItem{point.hive, path, name, listing.windowsOwn, point.unless == PointUnless::DiskChecksOnly},
                   point.category, Utf16ToUtf8(text)});
  listing.sink.SetSubItem(row, 1, HivePrefix(point.hive) + ValueNameText(path));
  listing.sink.SetSubItem(row, 2, ValueNameText(name));
  if (!extraDetails.empty()) listing.sink.SetSubItem(row, 3, extraDetails);
}

void ListKey(PointListing& listing, RegistryKey& key, const std::u16string& path) {
  const AutostartPoint& point = listing.point;
  if (point.unless == PointUnless::NotInstalled) {
    const std::optional<StoredValue> installed = key.QueryValue(u"IsInstalled");
    if (installed && installed->type == regtype::kDword && installed->data == std::string(4, '\0')) return;
  }
  if (point.value) {
    const std::u16string name = Utf8ToUtf16(point.value);
    if (const std::optional<StoredValue> value = key.QueryValue(name)) ListValue(listing, path, name, *value);
    return;
  }
  RegistryValue value;
  for (std::uint32_t index = 0;; ++index) {
    const EnumResult result = key.EnumValue(index, kAnyNameRoom, kAnyDataRoom, value);
    if (result == EnumResult::End) break;
    // Below the point's key, the key's default value is its title, not a command.
    if (result == EnumResult::TooLarge || (point.keys != PointKeys::TheKey && value.name.empty())) continue;
    ListValue(listing, path, value.name, {value.type, value.data});
  }
}

// Windows' own value of a point, or nullopt for a command; throws Failure
// when it cannot be known (no system folder).
std::optional<StoredValue> WindowsOwn(Shell& shell, const AutostartPoint& point) {
  if (point.defaultType == 0) return std::nullopt;
  std::string text = point.defaultText;
  if (text.find("%SystemFolder%") != std::string::npos) {
    const std::string system = GetSpecialFolder(shell, csidl::kSystem);
    if (system.empty()) throw Failure("The system folder is not known");
    text = ReplaceAll(text, "%SystemFolder%", system);
  }
  // A text ends with its terminator; the entries of a multi-string, each ended
  // with "|", become NUL-ended, and an empty entry ends the list.
  std::u16string units = Utf8ToUtf16(text);
  if (point.defaultType == regtype::kMultiSz) {
    for (char16_t& c : units) c = c == u'|' ? u'\0' : c;
  }
  units += u'\0';
  return StoredValue{point.defaultType, Utf16LeBytes(units)};
}

}  // namespace

void ListAutostartPoint(RowSink& sink, Registry& registry, Shell& shell, const AutostartPoint& point,
                        const std::string& keyPath) {
  PointListing listing{sink, registry, shell, point, WindowsOwn(shell, point)};
  const std::u16string path = Utf8ToUtf16(keyPath);
  const std::unique_ptr<RegistryKey> key = OpenQuietly([&] { return registry.OpenKey(point.hive, path, kKeyListing); });
  if (!key) return;
  if (point.keys == PointKeys::TheKey) {
    ListKey(listing, *key, path);
    return;
  }
  std::u16string name;
  for (std::uint32_t index = 0; key->EnumSubKey(index, name) == EnumResult::Value; ++index) {
    // Opened by its counted name below its parent: a name holding U+0000 is that key, not another.
    const std::unique_ptr<RegistryKey> below = OpenQuietly([&] { return key->OpenSubKey(name, kKeyListing); });
    if (!below) continue;
    const std::u16string belowPath = path + u"\\" + name;
    ListKey(listing, *below, belowPath);
    if (point.keys != PointKeys::EachSubKeyAndItsDepend) continue;
    if (const auto depend = OpenQuietly([&] { return below->OpenSubKey(u"Depend", kKeyListing); })) {
      ListKey(listing, *depend, belowPath + u"\\Depend");
    }
  }
}

}  // namespace vq
