#include "collectors/mod_registry.h"

#include <algorithm>

#include "collectors/gathering.h"
#include "collectors/startup_switches.h"
#include "entries/startup_approved.h"
#include "entries/hives.h"
#include "entries/startup_items.h"
#include "platform/failure.h"
#include "platform/text.h"

namespace vq {

std::string HivePrefix(Hive hive) {
  const HiveInfo* info = FindHive(hive);
  return info ? info->prefix : "";
}

std::string ValueNameText(std::u16string_view name) {
  std::u16string shown(name);
  std::replace(shown.begin(), shown.end(), u'\0', u'\u2400');
  return Utf16ToUtf8(shown);
}

namespace {
bool IsText(std::uint32_t type) { return type == regtype::kSz || type == regtype::kExpandSz; }
}  // namespace

std::size_t DataLength(std::uint32_t type, std::size_t bytes) {
  return IsText(type) ? (bytes + 1) / 2 : bytes;
}

std::optional<std::string> ValueText(std::uint32_t type, std::string_view data) {
  if (IsText(type)) {
    const std::size_t units = DataLength(type, data.size());
    if (units <= 1) return std::string();
    return Utf16LeToUtf8(data.substr(0, 2 * (units - 1)));
  }
  if (type == regtype::kDword) {
    // Missing bytes read as the zeros the data buffer was cleared to.
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "&H";
    for (int i = 3; i >= 0; --i) {
      const auto byte = static_cast<std::size_t>(i) < data.size() ? static_cast<unsigned char>(data[i]) : 0;
      text += kDigits[byte >> 4];
      text += kDigits[byte & 0xF];
    }
    return text;
  }
  return std::nullopt;
}

std::string ProgramFolderOf(std::string_view testedText) {
  if (testedText.find(":\\") == std::string_view::npos) return "";
  std::string unquoted = ReplaceAll(testedText, "\"", "");
  unquoted.resize(unquoted.rfind('\\') + 1);
  return unquoted;
}

std::optional<std::string> DecideRegistryRow(std::string_view keyPath, std::string_view name,
                                             std::size_t nameLength, std::size_t dataLength,
                                             std::string_view valueText) {
  if (dataLength == 0) return std::string();  // an empty value is listed in every key
  if (nameLength == 0) return std::nullopt;    // the default value with data is not
  const std::string_view tested = Utf16Prefix(valueText, dataLength - 1);
  // Under the Windows NT "Windows" key only the "load" value starts programs.
  if (ContainsIgnoringCase(keyPath, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows") &&
      (tested.empty() || name != "load")) {
    return std::nullopt;
  }
  return ProgramFolderOf(tested);
}

namespace {

void ListValue(RowSink& sink, Hive hive, const std::string& location,
               std::string_view keyPath, const std::u16string& openedPath, const RegistryValue& value,
               const std::set<std::u16string>& switchedOff) {
  const std::size_t length = DataLength(value.type, value.data.size());
  if (length > kValueDataRoom) return;
  const std::optional<std::string> text = ValueText(value.type, value.data);
  if (!text) return;
  const std::string name = ValueNameText(value.name);
  const std::optional<std::string> extraDetails = DecideRegistryRow(keyPath, name, value.name.size(), length, *text);
  if (!extraDetails) return;
  RowFacts facts{RegistryValueItem{hive, openedPath, value.name, std::nullopt}, category::kLogon, *text};
  // Most keys hold no switches: no name is folded for them.
  facts.disabled = !switchedOff.empty() && switchedOff.count(FoldedRegistryName(value.name)) > 0;
  const int row = sink.AddRow("REGISTRY", std::move(facts));
  sink.SetSubItem(row, 1, location);
  sink.SetSubItem(row, 2, name);
  if (!extraDetails->empty()) sink.SetSubItem(row, 3, *extraDetails);
}

}  // namespace

void ListRegistryValues(RowSink& sink, Registry& registry, Hive hive, const std::string& keyPath) {
  const std::string location = HivePrefix(hive) + keyPath;
  const std::u16string openedPath = Utf8ToUtf16(keyPath);
  const std::unique_ptr<RegistryKey> key = OpenQuietly([&] { return registry.OpenKey(hive, openedPath, kKeyListing); });
  if (!key) return;
  // The values Explorer's Startup page switched off stay listed, marked so.
  std::set<std::u16string> switchedOff;
  if (const std::optional<StartupSwitch> switches = SwitchesOfRunKey(hive, openedPath)) {
    switchedOff = SwitchedOffNames(registry, switches->hive, switches->keyPath);
  }
  RegistryValue value;
  for (std::uint32_t index = 0;; ++index) {
    const EnumResult result = key->EnumValue(index, kValueNameRoom, kValueDataRoom, value);
    if (result == EnumResult::End) break;
    // A value that does not fit is passed over; the key's later values are still listed.
    if (result == EnumResult::Value) {
      sink.DoEvents();
      ListValue(sink, hive, location, keyPath, openedPath, value, switchedOff);
    }
    sink.DoEvents();
  }
}

}  // namespace vq
