#include <algorithm>

#include "collectors/autostart_collector.h"
#include "collectors/gathering.h"
#include "collectors/image_path.h"
#include "collectors/mod_registry.h"
#include "collectors/mod_special_folder.h"
#include "entries/autostart_points.h"
#include "entries/startup_items.h"
#include "platform/failure.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace vq {

namespace {

struct PointListing {
  RowSink& sink;
  Registry& registry;
  Shell& shell;
  const AutostartPoint& point;
  std::optional<StoredValue> windowsOwn;  // for a value Windows itself needs: its own
  std::vector<ShippedEntry> shipped;      // what Windows itself puts here
  std::string windowsFolder{};            // where Windows' own files lie; empty when not known
  std::string userPrefix{};               // the user's root below the hive, for a user's point
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

// A text value's text, without its terminator; nullopt for another type.
std::optional<std::u16string> TextOf(const std::optional<StoredValue>& value) {
  if (!value || (value->type != regtype::kSz && value->type != regtype::kExpandSz)) return std::nullopt;
  return Entries(value->type, value->data).front();
}

// True for the folders Windows keeps its own DLLs in: System32, and SysWOW64
// for the 32-bit view. A copy of a Windows name anywhere else (the Windows
// folder's Temp) is not Windows' own.
bool IsSystemFolder(const PointListing& listing, std::string folder) {
  if (listing.windowsFolder.empty()) return false;
  for (char& c : folder) c = c == '/' ? '\\' : c;
  const std::string windows = AsciiLower(listing.windowsFolder);
  folder = AsciiLower(folder);
  return folder == windows + "\\system32" || folder == windows + "\\syswow64";
}

// Windows' own entry this one is, by what it loads: a shipped file it names
// bare or in a system folder (letter case and quotes aside); null when it
// is none of them.
const ShippedEntry* ShippedFileOf(const PointListing& listing, std::u16string_view data) {
  std::string path = Normal(listing.shell, data);
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  const std::size_t folderEnd = path.find_last_of("\\/");
  if (path.empty() || (folderEnd != std::string::npos && !IsSystemFolder(listing, path.substr(0, folderEnd)))) {
    return nullptr;
  }
  const auto nameOf = [](const std::string& file) { return AsciiLower(file.substr(file.find_last_of("\\/") + 1)); };
  for (const ShippedEntry& own : listing.shipped) {
    if (nameOf(own.file) == nameOf(path)) return &own;
  }
  return nullptr;
}

// The value Windows itself writes for its own entry: a text naming its file,
// to be expanded where the name holds a variable (%SystemRoot%), whatever
// type the value was changed to.
StoredValue OwnValueOf(const ShippedEntry& own) {
  const std::u16string file = Utf8ToUtf16(own.file);
  return {file.find(u'%') == std::u16string::npos ? regtype::kSz : regtype::kExpandSz, Utf16LeBytes(file + u'\0')};
}

// Windows' own file for an entry of this name, where the name is Windows' own.
const ShippedEntry* ShippedNamed(const PointListing& listing, std::u16string_view name) {
  for (const ShippedEntry& own : listing.shipped) {
    if (!own.name.empty() && AsciiLower(own.name) == AsciiLower(Utf16ToUtf8(name))) return &own;
  }
  return nullptr;
}

// The row of one entry: its item, its texts (Location, Item) and what it runs.
void AddEntryRow(PointListing& listing, RegistryValueItem item, const std::u16string& location,
                 const std::string& itemText, const std::u16string& command) {
  const std::string extraDetails = ProgramFolderOf(Utf16ToUtf8(command));
  const int row = listing.sink.AddRow("REGISTRY", {std::move(item), listing.point.category, Utf16ToUtf8(command)});
  listing.sink.SetSubItem(row, 1, HivePrefix(listing.point.hive) + ValueNameText(location));
  listing.sink.SetSubItem(row, 2, itemText);
  if (!extraDetails.empty()) listing.sink.SetSubItem(row, 3, extraDetails);
}

// A row for each element of a list that Windows does not put there.
void ListElements(PointListing& listing, const std::u16string& path, const std::u16string& name, const StoredValue& value) {
  if (value.type != regtype::kMultiSz && value.type != regtype::kSz && value.type != regtype::kExpandSz) return;
  for (const std::u16string& element : Entries(value.type, value.data)) {
    if (element.empty() || IsShippedElement(listing.point, element)) continue;
    RegistryValueItem item{listing.point.hive, path, name, std::nullopt};
    item.element = element;
    // Two elements of one value are told apart by their texts.
    AddEntryRow(listing, std::move(item), path, ValueNameText(name) + ": " + ValueNameText(element), element);
  }
}

// The .NET profiler a value names, where it is one: "<prefix>_PROFILER",
// "<prefix>_PROFILER_PATH", "<prefix>_PROFILER_PATH_64" …, and the prefix.
std::optional<std::string> ProfilerPrefix(std::u16string_view name, bool& isPath) {
  const std::string text = AsciiLower(Utf16ToUtf8(name));
  for (const char* prefix : {"cor", "coreclr", "dotnet"}) {
    const std::string profiler = std::string(prefix) + "_profiler";
    if (text == profiler) return isPath = false, prefix;
    for (const char* suffix : {"_path", "_path_32", "_path_64", "_path_arm32", "_path_arm64"}) {
      if (text == profiler + suffix) return isPath = true, prefix;
    }
  }
  return std::nullopt;
}

// True when the key switches profiling on for the prefix: its
// "<PREFIX>_ENABLE_PROFILING" is 1, as text or as a number.
bool ProfilingOn(RegistryKey& key, const std::string& prefix) {
  const std::optional<StoredValue> flag = key.QueryValue(Utf8ToUtf16(AsciiUpper(prefix) + "_ENABLE_PROFILING"));
  if (!flag) return false;
  if (flag->type == regtype::kDword) return flag->data == std::string("\x01\0\0\0", 4);
  const std::optional<std::u16string> text = TextOf(flag);
  return text && *text == u"1";
}

// A row for a .NET profiler's value while profiling is on: its DLL, or for
// its class the class's server.
void ListProfiler(PointListing& listing, RegistryKey& key, const std::u16string& path, const std::u16string& name,
                  const StoredValue& value) {
  bool isPath = false;
  const std::optional<std::string> prefix = ProfilerPrefix(name, isPath);
  const std::optional<std::u16string> text = TextOf(value);
  if (!prefix || !text || text->empty() || !ProfilingOn(key, *prefix)) return;
  // The class is listed beside a DLL named for it: without the DLL the
  // class's own server loads, so each is an entry.
  std::u16string command = *text;
  if (!isPath) {
    const std::optional<std::string> server =
        ComServerOf(listing.registry, listing.point.hive, listing.userPrefix, Utf16ToUtf8(*text));
    if (server) command = Utf8ToUtf16(*server);
  }
  AddEntryRow(listing, {listing.point.hive, path, name, std::nullopt}, path, ValueNameText(name), command);
}

// A row for the value when it is one that starts something.
void ListValue(PointListing& listing, const std::u16string& path, const std::u16string& name, const StoredValue& value) {
  const AutostartPoint& point = listing.point;
  if (point.entry == PointEntry::ListElement) return ListElements(listing, path, name, value);
  if (!listing.shipped.empty()) {
    // Windows' own file is not listed; a Windows name loading another file is put back to Windows' own.
    const std::optional<std::u16string> text = TextOf(value);
    if (!text || text->empty() || ShippedFileOf(listing, *text)) return;
    RegistryValueItem item{point.hive, path, name, std::nullopt};
    if (const ShippedEntry* own = ShippedNamed(listing, name)) {
      item.resetTo = OwnValueOf(*own);
    }
    return AddEntryRow(listing, std::move(item), path, ValueNameText(name), *text);
  }
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
    listing.sink.KeepAnswering();
    const EnumResult result = key.EnumValue(index, kAnyNameRoom, kAnyDataRoom, value);
    if (result == EnumResult::End) break;
    // Below the point's key, the key's default value is its title, not a command.
    if (result == EnumResult::TooLarge || (point.keys != PointKeys::TheKey && value.name.empty())) continue;
    if (point.unless == PointUnless::ProfilingOff) {
      ListProfiler(listing, key, path, value.name, {value.type, value.data});
    } else {
      ListValue(listing, path, value.name, {value.type, value.data});
    }
  }
}

// A row for each key below the point's key that is an entry whole: what it
// loads is its value the point names, or the names of its values. A key of
// a name Windows gives its own, loading another file, is a row for that
// value, which is put back to Windows' own.
void ListSubKeys(PointListing& listing, RegistryKey& key, const std::u16string& path) {
  const AutostartPoint& point = listing.point;
  std::u16string name;
  for (std::uint32_t index = 0; key.EnumSubKey(index, name) == EnumResult::Value; ++index) {
    listing.sink.KeepAnswering();
    const std::unique_ptr<RegistryKey> below = OpenQuietly([&] { return key.OpenSubKey(name, kKeyQueryValue); });
    if (!below) continue;
    const std::u16string belowPath = path + u"\\" + name;
    std::u16string command;
    std::optional<StoredValue> loads;
    if (point.value) {
      loads = below->QueryValue(Utf8ToUtf16(point.value));
      const std::optional<std::u16string> text = TextOf(loads);
      if (!text || text->empty()) continue;
      command = *text;
    } else {
      RegistryValue value;
      for (std::uint32_t at = 0;; ++at) {
        const EnumResult result = below->EnumValue(at, kAnyNameRoom, kAnyDataRoom, value);
        if (result == EnumResult::End) break;
        if (result == EnumResult::Value && !value.name.empty()) command += (command.empty() ? u"" : u" ") + value.name;
      }
      if (command.empty()) continue;
    }
    if (!listing.shipped.empty() && ShippedFileOf(listing, command)) continue;
    if (const ShippedEntry* own = point.value ? ShippedNamed(listing, name) : nullptr) {
      RegistryValueItem item{point.hive, belowPath, Utf8ToUtf16(point.value), std::nullopt};
      item.resetTo = OwnValueOf(*own);
      AddEntryRow(listing, std::move(item), belowPath, point.value, command);
      continue;
    }
    RegistryValueItem item{point.hive, belowPath, u"", std::nullopt};
    item.wholeKey = true;
    AddEntryRow(listing, std::move(item), path, ValueNameText(name), command);
  }
}

// A row for each of a user's class servers (and TreatAs) that the machine
// registers otherwise for the same class: the user's programs load the
// user's. A class only the user registers hijacks nothing.
void ListClassOverrides(PointListing& listing, RegistryKey& key, const std::u16string& path) {
  std::u16string classId;
  for (std::uint32_t index = 0; key.EnumSubKey(index, classId) == EnumResult::Value; ++index) {
    listing.sink.KeepAnswering();
    const std::unique_ptr<RegistryKey> own = OpenQuietly([&] { return key.OpenSubKey(classId, kKeyQueryValue); });
    if (!own) continue;
    const std::u16string machinePath = u"SOFTWARE\\Classes\\CLSID\\" + classId;
    const std::unique_ptr<RegistryKey> machine =
        OpenQuietly([&] { return listing.registry.OpenKey(Hive::LocalMachine, machinePath, kKeyQueryValue); });
    if (!machine) continue;
    for (const char16_t* kind : {u"InprocServer32", u"LocalServer32", u"TreatAs"}) {
      const std::unique_ptr<RegistryKey> server = OpenQuietly([&] { return own->OpenSubKey(kind, kKeyQueryValue); });
      const std::optional<std::u16string> text = server ? TextOf(server->QueryValue(u"")) : std::nullopt;
      if (!text || text->empty()) continue;
      const std::unique_ptr<RegistryKey> theirs = OpenQuietly([&] { return machine->OpenSubKey(kind, kKeyQueryValue); });
      const std::optional<std::u16string> machineText = theirs ? TextOf(theirs->QueryValue(u"")) : std::nullopt;
      if (machineText && Normal(listing.shell, *machineText) == Normal(listing.shell, *text)) continue;
      RegistryValueItem item{listing.point.hive, path + u"\\" + classId + u"\\" + kind, u"", std::nullopt};
      item.wholeKey = true;
      AddEntryRow(listing, std::move(item), path + u"\\" + classId, Utf16ToUtf8(kind), *text);
    }
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
  PointListing listing{sink, registry, shell, point, WindowsOwn(shell, point), ShippedEntries(point)};
  if (point.entry != PointEntry::ListElement && !listing.shipped.empty()) {
    const std::string system = GetSpecialFolder(shell, csidl::kSystem);
    listing.windowsFolder = system.substr(0, system.rfind('\\'));
  }
  // A user's point is read below that user's root: the root is what precedes the point's key.
  // (The 32-bit view's copy of a machine point has none.)
  if (std::string_view(keyPath).ends_with(point.key)) {
    listing.userPrefix = keyPath.substr(0, keyPath.size() - std::string_view(point.key).size());
  }
  const std::u16string path = Utf8ToUtf16(keyPath);
  const std::unique_ptr<RegistryKey> key = OpenQuietly([&] { return registry.OpenKey(point.hive, path, kKeyListing); });
  if (!key) return;
  if (point.entry == PointEntry::SubKey) return ListSubKeys(listing, *key, path);
  if (point.entry == PointEntry::ClassOverride) return ListClassOverrides(listing, *key, path);
  if (point.keys == PointKeys::TheKey) {
    ListKey(listing, *key, path);
    return;
  }
  std::u16string name;
  for (std::uint32_t index = 0; key->EnumSubKey(index, name) == EnumResult::Value; ++index) {
    sink.KeepAnswering();
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
