#include "console/listing.h"

#include <chrono>
#include <cstdio>

#include "collectors/mod_registry.h"
#include "collectors/mod_special_folder.h"
#include "console/categories.h"
#include "console/profiles.h"
#include "entries/hives.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace vq {

namespace {

constexpr char kSystemWide[] = "System-wide";
constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";
// Where the fleet tools' parsers find the scheduled tasks: one location for
// all, each entry the task's full path ("\Vendor\Name"), as the published
// output of the tool they replace has them.
constexpr char kTaskScheduler[] = "Task Scheduler";
constexpr std::int64_t kFileTimeOf1970 = 116444736000000000;  // 100 ns units from 1601 to 1970

// The hive as the fleet tools write it before a key: "HKLM", "HKCU", "HKU".
std::string ShortHive(Hive hive) {
  const HiveInfo* info = FindHive(hive);
  if (!info) return "";
  std::string prefix = info->prefix;  // "HKLM:"
  prefix.pop_back();
  return prefix;
}

// A name in the identity: as text, or, where text cannot carry it, its UTF-16 code units in hex.
void AddName(std::vector<std::pair<std::string, std::string>>& identity, const std::string& field,
             std::u16string_view name) {
  // U+0000 or an unpaired surrogate: the code units in hex.
  if (name.find(u'\0') != std::u16string_view::npos || HasUnpairedSurrogate(name)) {
    identity.emplace_back(field + "Utf16Hex", HexBytes(Utf16LeBytes(name)));
  } else {
    identity.emplace_back(field, Utf16ToUtf8(name));
  }
}

}  // namespace

std::string TimeText(std::optional<std::int64_t> fileTime, bool utcTimes) {
  if (!fileTime || *fileTime <= 0) return "";
  using namespace std::chrono;
  const sys_seconds at{seconds{(*fileTime - kFileTimeOf1970) / 10000000}};
  const sys_days day = floor<days>(at);
  const year_month_day date{day};
  const hh_mm_ss time{at - day};
  char text[32];
  std::snprintf(text, sizeof text, utcTimes ? "%04d%02u%02u-%02ld%02ld%02ld" : "%04d-%02u-%02uT%02ld:%02ld:%02ldZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
                static_cast<long>(time.seconds().count()));
  return text;
}

std::optional<std::int64_t> LinkTimeOf(std::string_view headers) {
  auto number = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(headers[at + i]);
    return value;
  };
  if (headers.size() < 0x40 || headers.substr(0, 2) != "MZ") return std::nullopt;
  const std::uint32_t pe = number(0x3C);
  if (pe > headers.size() || headers.size() - pe < 12 || headers.substr(pe, 4) != std::string_view("PE\0\0", 4)) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(number(pe + 8)) * 10000000 + kFileTimeOf1970;
}

ConsoleListing::ConsoleListing(Registry& registry, Shell& shell, FileSystem& files, ImageFiles& images,
                               std::function<void(const std::string&)> errorLine)
    : registry_(registry), shell_(shell), files_(files), images_(images), errorLine_(std::move(errorLine)) {}

int ConsoleListing::AddRow(const std::string& type, RowFacts facts) {
  rows_.push_back({type, std::move(facts), {type, "", "", ""}, users_.size() - 1});
  return static_cast<int>(rows_.size());
}

void ConsoleListing::SetSubItem(int row, int subItem, const std::string& text) {
  rows_.at(static_cast<std::size_t>(row) - 1).texts[subItem] = text;
}

// What the report box would show, on one line.
void ConsoleListing::ReportFailure(std::string_view description, std::string_view location, int statement) {
  failed_ = true;
  std::string line(description);
  line.append(" (").append(location).append("at line ").append(std::to_string(statement)).append(")");
  for (char& c : line) c = (c == '\r' || c == '\n') ? ' ' : c;
  errorLine_(line);
}

const PathLookup& ConsoleListing::Lookup(const Row* row) {
  const ListedUser* user = row ? UserOf(*row) : nullptr;
  if (user && !user->prefix.empty()) {
    auto [known, added] = userLookups_.try_emplace(row->user, Lookup());
    if (added) {
      known->second.expand = [this, environment = user->environment](const std::string& text) {
        // A variable of the user's own with no value stays as written: the program is not found.
        return ExpandWith(text, environment, shell_).value_or(text);
      };
    }
    return known->second;
  }
  if (!lookup_) lookup_ = SystemPathLookup(shell_, files_);
  return *lookup_;
}

void ConsoleListing::BeginUser(ListedUser user) { users_.push_back(std::move(user)); }

const ConsoleListing::ListedUser* ConsoleListing::UserOf(const Row& row) {
  const ListedUser& user = users_[row.user];
  const auto* value = row.facts.item ? std::get_if<RegistryValueItem>(&*row.facts.item) : nullptr;
  const auto* file = row.facts.item ? std::get_if<StartupFileItem>(&*row.facts.item) : nullptr;
  const bool own = file ? !file->allUsers
                        : value && (user.prefix.empty() ? value->hive == Hive::CurrentUser
                                                        : value->hive == Hive::Users &&
                                                              AsciiLower(Utf16ToUtf8(value->keyPath))
                                                                  .starts_with(AsciiLower(user.prefix)));
  if (!own) return nullptr;
  if (row.user == 0 && user.account.empty()) users_[0].account = shell_.AccountName();
  return &users_[row.user];
}

std::string ConsoleListing::Profile(const Row& row) {
  const ListedUser* user = UserOf(row);
  return user ? user->account : kSystemWide;
}

// "disabled" where Windows will not start the entry: switched off on
// Explorer's Startup apps page (as the collectors read it, for the window
// too: a user's switches are in that user's hive) or a task switched off.
std::string ConsoleListing::Enabled(const Row& row) { return row.facts.disabled ? "disabled" : "enabled"; }

std::optional<std::int64_t> ConsoleListing::KeyTime(Hive hive, const std::u16string& path) {
  try {
    const auto key = registry_.OpenKey(hive, path, kKeyQueryValue);
    if (key) return key->LastWriteTime();
  } catch (const Failure&) {
  }
  return std::nullopt;
}

// A text value of a service's key (or of a key below it), as stored.
std::optional<std::string> ConsoleListing::ServiceValue(const std::string& service, const std::u16string& below,
                                                        const std::u16string& name) {
  try {
    std::u16string path = Utf8ToUtf16(kServicesKey) + u"\\" + Utf8ToUtf16(service);
    if (!below.empty()) path += u"\\" + below;
    const auto key = registry_.OpenKey(Hive::LocalMachine, path, kKeyQueryValue);
    const std::optional<StoredValue> value = key ? key->QueryValue(name) : std::nullopt;
    if (!value || (value->type != regtype::kSz && value->type != regtype::kExpandSz)) return std::nullopt;
    std::u16string text = FromUtf16Le(value->data);
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return Utf16ToUtf8(text);
  } catch (const Failure&) {
    return std::nullopt;
  }
}

// The file a driver loads, found as the system finds it: a path relative to
// the Windows folder (System32\drivers\x.sys), the NT forms, and with no
// ImagePath at all System32\drivers\<name>.sys.
std::string ConsoleListing::DriverImagePath(const std::string& name, const std::string& launchString) {
  const std::string windows = shell_.ExpandEnvironment("%SystemRoot%");
  std::string path = launchString;
  if (path.empty()) path = "System32\\drivers\\" + name + ".sys";
  const bool relative = path.find(':') == std::string::npos && !path.starts_with('\\') && !path.starts_with('%') &&
                        !path.starts_with('"');
  if (relative && windows != "%SystemRoot%") path = windows + "\\" + path;
  return ImagePathOf(path, Lookup());
}

ConsoleEntry ConsoleListing::EntryOf(const Row& row, const ConsoleOptions& options, ImageInspector& inspector,
                                     bool& shown) {
  ConsoleEntry entry;
  entry.category = row.facts.category;
  entry.entry = row.texts[2];
  entry.enabled = Enabled(row);
  entry.profile = Profile(row);
  entry.launchString = row.facts.launchString;
  auto& identity = entry.identity;
  if (const auto* value = row.facts.item ? std::get_if<RegistryValueItem>(&*row.facts.item) : nullptr) {
    // Another user's key goes by that user's SID, however its hive was reached.
    const ListedUser* user = UserOf(row);
    const bool other = user && !user->prefix.empty();
    std::u16string key = value->keyPath.substr(other ? user->prefix.size() : 0);
    const std::string hive = other ? "HKU\\" + user->sid : ShortHive(value->hive);
    while (!key.empty() && key.back() == u'\\') key.pop_back();
    // As the fleet tools' parsers read them: a key that is an entry whole is
    // its parent's entry; a list's element is the entry of its value.
    if (value->wholeKey) key = key.substr(0, key.rfind(u'\\'));
    entry.location = hive + "\\" + ValueNameText(key);
    if (value->element) {
      entry.location += "\\" + ValueNameText(value->name);
      entry.entry = ValueNameText(*value->element);
    }
    entry.imagePath = ImagePathOf(entry.launchString, Lookup(&row));
    // A package the LSA loads is named without ".dll", in the system folder.
    if (value->element && entry.imagePath.starts_with("File not found: ")) {
      const std::string dll = ImagePathOf(entry.launchString + ".dll", Lookup(&row));
      if (!dll.starts_with("File not found: ")) entry.imagePath = dll;
    }
    identity.emplace_back("kind", value->wholeKey ? "registry key" : value->element ? "list element" : "registry value");
    identity.emplace_back("hive", other                   ? "HKEY_USERS\\" + user->sid
                                  : FindHive(value->hive) ? FindHive(value->hive)->name
                                                          : "");
    AddName(identity, "key", value->keyPath.substr(other ? user->prefix.size() : 0));
    if (!value->wholeKey) AddName(identity, "name", value->name);
    if (value->element) AddName(identity, "element", *value->element);
    if (value->wholeKey) {
      identity.emplace_back("removal", "delete the key with its values");
    } else if (value->element) {
      identity.emplace_back("removal", "take the element out of the list");
    } else if (value->resetTo) {
      identity.emplace_back("removal", value->keepDiskChecks ? "reset, keeping its disk checks" : "reset");
      identity.emplace_back("resetType", std::to_string(value->resetTo->type));
      identity.emplace_back("resetDataHex", HexBytes(value->resetTo->data));
    } else {
      identity.emplace_back("removal", "delete");
    }
  } else if (const auto* file = row.facts.item ? std::get_if<StartupFileItem>(&*row.facts.item) : nullptr) {
    entry.location = row.texts[1];
    // The file is asked about by its exact path: a name the Win32 rules would
    // trim or take for a device (con.lnk) is that file.
    const std::string exact = Utf16ToUtf8(file->Path());
    entry.imagePath = entry.launchString;
    if (AsciiLower(exact).ends_with(".lnk")) {
      const std::string linked = shell_.ShortcutTarget(exact);
      if (!linked.empty()) entry.imagePath = files_.IsFile(linked) ? linked : "File not found: " + linked;
    }
    identity.emplace_back("kind", "file");
    AddName(identity, "path", file->Path());
    identity.emplace_back("removal", "delete");
  } else if (const auto* task = row.facts.item ? std::get_if<ScheduledTaskItem>(&*row.facts.item) : nullptr) {
    entry.location = kTaskScheduler;
    entry.entry = Utf16ToUtf8(task->path.Full());
    // A COM handler runs in its class's server, the user's registration before the machine's.
    if (!row.facts.comClass.empty()) {
      const std::optional<std::string> server =
          ComServerOf(registry_, Hive::CurrentUser, "", row.facts.comClass, "InprocServer32");
      if (server) entry.imagePath = ImagePathOf("\"" + *server + "\"", Lookup());
    } else {
      entry.imagePath = ImagePathOf(entry.launchString, Lookup());
    }
    identity.emplace_back("kind", "scheduled task");
    AddName(identity, "path", task->path.Full());
    if (!task->storeFile.empty()) AddName(identity, "storeFile", task->storeFile);
    identity.emplace_back("removal", "delete");
  } else if (row.type == "SERVICES") {
    // Where the fleet tools' parsers find the services and drivers, spelt as
    // the published output of the tool they replace spells it.
    entry.location = "HKLM\\System\\CurrentControlSet\\Services";
    const std::string& name = row.texts[1];
    entry.entry = name;  // the service's key name; the window's Item is its display name
    // The ImagePath as stored; where it cannot be read, as the manager holds it.
    entry.launchString = ServiceValue(name, u"", u"ImagePath").value_or(row.facts.launchString);
    const bool driver = row.facts.category == std::string_view(category::kDrivers);
    entry.imagePath = driver ? DriverImagePath(name, entry.launchString) : ImagePathOf(entry.launchString, Lookup());
    // A service inside the system's own svchost runs its DLL (a program merely
    // named so elsewhere is what runs): its Parameters key's, else its own key's.
    const std::string svchost = Lookup().searchFolders.empty() ? "" : Lookup().searchFolders[0] + "\\svchost.exe";
    const bool inSvchost = !svchost.empty() && AsciiLower(entry.imagePath) == AsciiLower(svchost);
    std::optional<std::string> dll = inSvchost ? ServiceValue(name, u"Parameters", u"ServiceDll") : std::nullopt;
    if (inSvchost && !dll) dll = ServiceValue(name, u"", u"ServiceDll");
    if (dll) {
      const std::string expanded = shell_.ExpandEnvironment(*dll);
      entry.imagePath = files_.IsFile(expanded) ? expanded : "File not found: " + expanded;
    }
    identity.emplace_back("kind", "service");
    identity.emplace_back("name", name);
    identity.emplace_back("removal", "stop");
  } else {  // a line of a legacy system file: what follows its "=" runs
    entry.location = row.texts[1];
    const std::size_t equals = entry.launchString.find('=');
    if (equals != std::string::npos) entry.launchString.erase(0, equals + 1);
    entry.imagePath = ImagePathOf(entry.launchString, Lookup());
    identity.emplace_back("kind", "system file line");
    identity.emplace_back("path", row.texts[1]);
    identity.emplace_back("line", row.texts[2]);
    identity.emplace_back("removal", "none");
  }
  // A device or pipe (\\.\) is no program, and a read from it could wait for ever.
  const std::string& image = entry.imagePath;
  const bool inspected = !image.empty() && !image.starts_with("File not found: ") && !image.starts_with("\\\\.\\");
  const ImageFacts facts = inspected ? inspector.Facts(image) : ImageFacts{};
  entry.time = TimeText(facts.linkTime, options.utcTimes);
  // A service's own description stands in for its program's.
  entry.description = row.facts.description.empty() ? facts.description : row.facts.description;
  entry.company = facts.company;
  entry.version = facts.version;
  entry.signer = facts.signer;
  entry.md5 = facts.md5, entry.sha1 = facts.sha1, entry.sha256 = facts.sha256;
  entry.pesha1 = facts.pesha1, entry.pesha256 = facts.pesha256, entry.imp = facts.imp;
  // -m hides what Microsoft made: with -s, what Microsoft verifiably signed;
  // without, what its version texts name as Microsoft's.
  const bool microsoft = options.signatures
                             ? facts.verified && IsMicrosoftName(facts.signer.substr(std::string("(Verified) ").size()))
                             : IsMicrosoftName(facts.company);
  shown = !(options.hideMicrosoft && microsoft) && !(options.onlyUnverified && facts.verified);
  return entry;
}

// A location's own row: where the entries below it are, and when it last changed.
ConsoleEntry ConsoleListing::LocationOf(const Row& row, const ConsoleEntry& first, bool utc) {
  ConsoleEntry location;
  location.locationRow = true;
  location.location = first.location;
  location.category = first.category;
  location.profile = first.profile;
  std::optional<std::int64_t> changed;
  if (const auto* value = row.facts.item ? std::get_if<RegistryValueItem>(&*row.facts.item) : nullptr) {
    changed = KeyTime(value->hive, value->keyPath);
  } else if (row.type == "SERVICES") {
    changed = KeyTime(Hive::LocalMachine, Utf8ToUtf16(kServicesKey));
  } else if (row.type == "TASKS") {
    // The task store's folder, where it can be read.
    try {
      const std::string system = GetSpecialFolder(shell_, csidl::kSystem);
      if (!system.empty()) changed = files_.LastModified(system + "\\Tasks");
    } catch (const Failure&) {
    }
  } else {
    try {
      changed = files_.LastModified(row.texts[1]);
    } catch (const Failure&) {
    }
  }
  location.time = TimeText(changed, utc);
  return location;
}

std::vector<ConsoleEntry> ConsoleListing::Entries(const ConsoleOptions& options) {
  // -u needs to know what is verified even where the Signer column is not written.
  ImageInspector inspector(images_, options.signatures || options.onlyUnverified, options.hashes);
  std::vector<ConsoleEntry> entries;
  std::string lastLocation;
  for (const Row& row : rows_) {
    if (!CategoryChosen(options.categories, row.facts.category)) continue;
    bool shown = true;
    ConsoleEntry entry = EntryOf(row, options, inspector, shown);
    if (!shown) continue;
    if (entries.empty() || entry.location != lastLocation || entry.category != entries.back().category) {
      entries.push_back(LocationOf(row, entry, options.utcTimes));
      lastLocation = entry.location;
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace vq
