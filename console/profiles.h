#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "collectors/gathering.h"
#include "platform/registry.h"

namespace vq {

class ConsoleListing;
class LoadedHive;
class Profiles;
class Shell;

// A user profile of the machine whose entries the console edition can list.
struct UserProfile {
  std::string sid;
  std::string account;  // "DOMAIN\name"; the SID where the system cannot name it
  std::string folder;   // the profile folder the ProfileList names; empty where it names none
  bool loaded = false;  // its hive is loaded under HKEY_USERS\<sid>
};

// Every profile but the one the program runs as, and but SYSTEM's (whose hive
// is HKEY_USERS\.DEFAULT, read with the machine's keys): each hive loaded
// under HKEY_USERS (but the "_Classes" ones) and each profile the ProfileList
// names, in the order of their SIDs.
std::vector<UserProfile> OtherProfiles(Registry& registry, Shell& shell, Profiles& profiles,
                                       const std::string& currentSid);

// True when a user name given on the command line names this account:
// "DOMAIN\name" or "name", without regard to letter case.
bool NamesAccount(const std::string& given, const std::string& account);

// A user's own values of the variables each user has (%USERPROFILE%,
// %APPDATA%…): what its profile folder gives, then its Environment, then the
// values its last sign-in left (Volatile Environment), each over the last.
std::map<std::string, std::string> ProfileEnvironment(Registry& registry, Shell& shell, Hive hive,
                                                      const std::string& prefix, const std::string& profileFolder);

// The user's Startup folder as its own hive gives it (User Shell Folders,
// else Shell Folders, else the usual place below its application data),
// expanded by that user's own values; other variables (%SystemDrive%) by the
// machine's. Empty text where a user's own variable has no value: the folder
// is not known.
std::string ProfileStartupFolder(Registry& registry, Shell& shell, Hive hive, const std::string& prefix,
                                 const std::map<std::string, std::string>& values);

// The text with %NAME% replaced by the user's values (names in upper case),
// and a name no user has its own of (%SystemDrive%) by `otherwise`; a %
// without its pair stays. nullopt when a user's own variable (%APPDATA%,
// %USERPROFILE%…) has no value: the machine's would be another user's.
std::optional<std::string> ExpandWith(const std::string& text, const std::map<std::string, std::string>& values,
                                      Shell& otherwise);

// Hands the listing the machine's entries and the users' the command line
// asks for: with no user, the one the program runs as; with "*", every
// profile's too; with a name, that user's only. A profile that is not signed
// in is read from its NTUSER.DAT, loaded into `loaded`, which the caller
// keeps until the list is written and then lets go, unloading each. A profile
// that cannot be read, or a name no profile has, is reported, and the others
// are listed. Only the sources of the categories the -a letters choose are
// read (with "*", every one).
void GatherEntries(ConsoleListing& listing, const Gathering& machine, Profiles& profiles,
                   const std::optional<std::string>& user, std::vector<std::unique_ptr<LoadedHive>>& loaded,
                   std::string_view categories = "*");

}  // namespace vq
