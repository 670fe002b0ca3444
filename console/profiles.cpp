#include "console/profiles.h"

#include <algorithm>
#include <memory>
#include <set>
#include <optional>

#include "console/categories.h"
#include "console/listing.h"
#include "console/service_entries.h"
#include "entries/autostart_points.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/profiles.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace vq {

namespace {

constexpr char16_t kProfileList[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr char kSystemSid[] = "S-1-5-18";
// The variables each user has a value of its own of.
const std::set<std::string> kUsersOwn = {"USERPROFILE", "APPDATA", "LOCALAPPDATA", "HOMEDRIVE", "HOMEPATH",
                                         "USERNAME",    "TEMP",    "TMP",          "ONEDRIVE"};

// The names of a key's sub-keys; none where the key cannot be read.
std::vector<std::string> SubKeyNames(Registry& registry, Hive hive, std::u16string_view path) {
  std::vector<std::string> names;
  try {
    const std::unique_ptr<RegistryKey> key = registry.OpenKey(hive, path, kKeyEnumerateSubKeys);
    std::u16string name;
    for (std::uint32_t index = 0; key && key->EnumSubKey(index, name) == EnumResult::Value; ++index) {
      names.push_back(Utf16ToUtf8(name));
    }
  } catch (const Failure&) {
  }
  return names;
}

// A text value (REG_SZ or REG_EXPAND_SZ) as stored, up to its terminator.
std::optional<std::string> TextValue(RegistryKey* key, std::u16string_view name) {
  if (!key) return std::nullopt;
  std::optional<StoredValue> value;
  try {
    value = key->QueryValue(name);
  } catch (const Failure&) {
    return std::nullopt;
  }
  if (!value || (value->type != regtype::kSz && value->type != regtype::kExpandSz)) return std::nullopt;
  std::u16string text = FromUtf16Le(value->data);
  if (const std::size_t end = text.find(u'\0'); end != std::u16string::npos) text.resize(end);
  return Utf16ToUtf8(text);
}

// A SID as text ("S-1-5-21-…"); not a backup's "….bak", a "…_Classes" hive,
// .DEFAULT, or a hive another run of this program loaded.
bool IsSidText(std::string_view name) {
  return name.starts_with("S-1-") && name.find_first_not_of("0123456789-", 4) == std::string_view::npos;
}

std::unique_ptr<RegistryKey> OpenQuietly(Registry& registry, Hive hive, const std::string& path) {
  try {
    return registry.OpenKey(hive, Utf8ToUtf16(path), kKeyQueryValue);
  } catch (const Failure&) {
    return nullptr;
  }
}

}  // namespace

std::vector<UserProfile> OtherProfiles(Registry& registry, Shell& shell, Profiles& profiles,
                                       const std::string& currentSid) {
  std::map<std::string, UserProfile> found;  // by the SID in upper case
  for (const std::string& sid : SubKeyNames(registry, Hive::LocalMachine, kProfileList)) {
    if (!IsSidText(sid)) continue;
    UserProfile& profile = found[AsciiUpper(sid)];
    profile.sid = sid;
    const auto key = OpenQuietly(registry, Hive::LocalMachine, Utf16ToUtf8(kProfileList) + "\\" + sid);
    try {
      profile.folder = shell.ExpandEnvironment(TextValue(key.get(), u"ProfileImagePath").value_or(""));
    } catch (const Failure&) {
    }
  }
  std::set<std::string> loadedFolders;
  for (const std::string& name : SubKeyNames(registry, Hive::Users, u"")) {
    if (!IsSidText(name)) continue;
    UserProfile& profile = found[AsciiUpper(name)];
    profile.sid = name;
    profile.loaded = true;
    loadedFolders.insert(AsciiUpper(profile.folder));
  }
  std::vector<UserProfile> others;
  std::set<std::string> folders;  // a folder two entries name is one profile, read once
  for (auto& [upper, profile] : found) {
    if (upper == AsciiUpper(currentSid) || upper == kSystemSid) continue;
    if (!profile.loaded && !profile.folder.empty() &&
        (loadedFolders.contains(AsciiUpper(profile.folder)) || !folders.insert(AsciiUpper(profile.folder)).second)) {
      continue;
    }
    profile.account = profiles.AccountOf(profile.sid);
    if (profile.account.empty()) profile.account = profile.sid;
    others.push_back(std::move(profile));
  }
  return others;
}

bool NamesAccount(const std::string& given, const std::string& account) {
  const std::string name = account.substr(account.rfind('\\') + 1);
  return AsciiUpper(given) == AsciiUpper(account) || AsciiUpper(given) == AsciiUpper(name);
}

std::optional<std::string> ExpandWith(const std::string& text, const std::map<std::string, std::string>& values,
                                      Shell& otherwise) {
  std::string expanded;
  std::size_t at = 0;
  for (std::size_t open; (open = text.find('%', at)) != std::string::npos;) {
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string::npos) break;
    const std::string name = text.substr(open + 1, close - open - 1);
    expanded += text.substr(at, open - at);
    const auto value = values.find(AsciiUpper(name));
    if (value == values.end() && kUsersOwn.contains(AsciiUpper(name))) return std::nullopt;
    expanded += value != values.end() ? value->second : otherwise.ExpandEnvironment("%" + name + "%");
    at = close + 1;
  }
  return expanded + text.substr(at);
}

std::map<std::string, std::string> ProfileEnvironment(Registry& registry, Shell& shell, Hive hive,
                                                      const std::string& prefix, const std::string& profileFolder) {
  // What the profile folder gives, then the user's own Environment, then the
  // values its last sign-in left (Volatile Environment), each over the last.
  std::map<std::string, std::string> values;
  if (!profileFolder.empty()) {
    values["USERPROFILE"] = profileFolder;
    values["APPDATA"] = profileFolder + "\\AppData\\Roaming";
    values["LOCALAPPDATA"] = profileFolder + "\\AppData\\Local";
  }
  for (const char* keyName : {"Environment", "Volatile Environment"}) {
    const auto key = OpenQuietly(registry, hive, prefix + keyName);
    for (const char* name : {"USERPROFILE", "APPDATA", "LOCALAPPDATA", "HOMEDRIVE", "HOMEPATH", "USERNAME"}) {
      const std::optional<std::string> value = TextValue(key.get(), Utf8ToUtf16(name));
      if (value && !value->empty()) {
        if (const std::optional<std::string> expanded = ExpandWith(*value, values, shell)) values[name] = *expanded;
      }
    }
  }
  return values;
}

std::string ProfileStartupFolder(Registry& registry, Shell& shell, Hive hive, const std::string& prefix,
                                 const std::map<std::string, std::string>& values) {
  const std::string explorer = prefix + "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
  std::optional<std::string> folder = TextValue(OpenQuietly(registry, hive, explorer + "User Shell Folders").get(), u"Startup");
  if (!folder) folder = TextValue(OpenQuietly(registry, hive, explorer + "Shell Folders").get(), u"Startup");
  if (!folder) folder = "%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
  return ExpandWith(*folder, values, shell).value_or("");
}

void GatherEntries(ConsoleListing& listing, const Gathering& machine, Profiles& profiles,
                   const std::optional<std::string>& user, std::vector<std::unique_ptr<LoadedHive>>& loaded,
                   std::string_view categories) {
  // Only the sources whose entries the -a letters choose are read.
  const bool logon = CategoryChosen(categories, category::kLogon);
  // The registry is read when any of its points' kinds is chosen.
  const bool registry = logon || std::any_of(AutostartPoints().begin(), AutostartPoints().end(), [&](const auto& point) {
                          return CategoryChosen(categories, point.category);
                        });
  const auto report = [&](const std::string& text) { listing.ReportFailure(text, "in the console edition ", 0); };
  const std::string currentSid = profiles.CurrentSid();
  std::vector<UserProfile> others;
  bool current = true;
  if (user && registry) {
    others = OtherProfiles(machine.registry, machine.shell, profiles, currentSid);
    if (*user != "*") {
      current = NamesAccount(*user, machine.shell.AccountName()) ||
                NamesAccount(*user, machine.shell.UserName().value_or(""));
      std::erase_if(others, [&](const UserProfile& profile) { return current || !NamesAccount(*user, profile.account); });
      if (!current && others.empty()) report("No such user: " + *user);
    }
  }

  Gathering gathering = machine;
  if (!current) gathering.user = std::nullopt;
  // SYSTEM's own hive is HKEY_USERS\.DEFAULT: listed once, as the running user's.
  gathering.defaultUser = currentSid != kSystemSid;
  if (registry) GetRegistryItems(gathering);
  if (logon) GetStartup(gathering);
  if (logon) GetSysFile(gathering);
  // The services and drivers Windows will start, as its service control manager tells.
  if (CategoryChosen(categories, category::kServices)) GetServiceEntries(gathering);
  // The fleet tools list every task, Windows' own too.
  gathering.windowsOwnTasks = true;
  if (CategoryChosen(categories, category::kTasks)) GetTasks(gathering);

  for (const UserProfile& profile : others) {
    std::string prefix = profile.sid + "\\";
    if (profile.loaded) {
      // A signed-in user's hive the program may not read (it runs as
      // another standard user) is said so, not passed over.
      try {
        machine.registry.OpenKey(Hive::Users, Utf8ToUtf16(prefix + "Software"), kKeyListing);
      } catch (const Failure& failure) {
        report("The profile of " + profile.account + " cannot be read: " + failure.what());
        continue;
      }
    } else {
      // Not signed in: the hive is read from a copy of its file, for this run only.
      const std::string file = profile.folder + "\\NTUSER.DAT";
      if (profile.folder.empty() || !machine.files.IsFile(file)) {
        report("The profile of " + profile.account + " has no NTUSER.DAT to read: " + file);
        continue;
      }
      try {
        loaded.push_back(profiles.LoadHive(file, u"VellorinQuade-" + Utf8ToUtf16(profile.sid)));
      } catch (const Failure& failure) {
        report("The profile of " + profile.account + " cannot be read: " + failure.what());
        continue;
      }
      prefix = Utf16ToUtf8(loaded.back()->Name()) + "\\";
    }
    std::map<std::string, std::string> environment =
        ProfileEnvironment(machine.registry, machine.shell, Hive::Users, prefix, profile.folder);
    Gathering own = machine;
    own.machine = false;
    own.user = UserRoot{Hive::Users, prefix,
                        ProfileStartupFolder(machine.registry, machine.shell, Hive::Users, prefix, environment)};
    listing.BeginUser({profile.account, profile.sid, prefix, std::move(environment)});
    GetRegistryItems(own);
    if (logon) GetStartup(own);
  }
}

}  // namespace vq
