#pragma once

#include <memory>
#include <string>

namespace vq {

// A user's registry hive loaded from its file for a while; destroying it
// unloads it (and removes whatever was made to load it).
class LoadedHive {
 public:
  virtual ~LoadedHive() = default;
  // The name it is reached by below HKEY_USERS.
  virtual const std::u16string& Name() const = 0;
};

// The machine's user accounts and their profiles' hives.
class Profiles {
 public:
  virtual ~Profiles() = default;
  // The SID of the account the program runs as ("S-1-5-18" for SYSTEM);
  // empty text when it cannot be had.
  virtual std::string CurrentSid() = 0;
  // The account's "DOMAIN\name"; empty text when the system cannot name it.
  virtual std::string AccountOf(const std::string& sid) = 0;
  // Loads a profile's hive file (NTUSER.DAT) for reading, from a copy made
  // for the purpose (the file itself is never loaded nor written), under the
  // name given below HKEY_USERS, until the returned object is destroyed.
  // Throws Failure when it cannot.
  virtual std::unique_ptr<LoadedHive> LoadHive(const std::string& file, const std::u16string& name) = 0;
};

}  // namespace vq
