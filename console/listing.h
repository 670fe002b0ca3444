#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "collectors/gathering.h"
#include "collectors/image_path.h"
#include "console/images.h"
#include "console/options.h"
#include "console/output.h"

namespace vq {

class FileSystem;
class ImageFiles;
class Registry;
class Shell;

// The console edition's sink: keeps each row the collectors hand it and
// turns the rows into the entries the fleet tools parse: where each is, what
// it runs, whether Windows will start it, whose it is, when it was made, and
// what the program it runs is: its version texts, signer and hashes.
// A failure is one line on standard error, and the run goes on.
class ConsoleListing final : public RowSink {
 public:
  // `errorLine` writes one line (without its line end) to standard error.
  ConsoleListing(Registry& registry, Shell& shell, FileSystem& files, ImageFiles& images,
                 std::function<void(const std::string&)> errorLine);

  // Whose entries the rows that follow hold, as far as they are a user's own:
  // that user's account and SID, and where its keys begin (below HKEY_USERS,
  // by the name its hive was reached by). Until it is called, the user the
  // program runs as (HKEY_CURRENT_USER).
  struct ListedUser {
    std::string account, sid;
    std::string prefix;  // "<name>\\" below HKEY_USERS
    // The user's own values of %USERPROFILE%, %APPDATA% and the like, by
    // which its commands are read (the program's own are another user's).
    std::map<std::string, std::string> environment;
  };
  void BeginUser(ListedUser user);

  int AddRow(const std::string& type, RowFacts facts) override;
  void SetSubItem(int row, int subItem, const std::string& text) override;
  void DoEvents() override {}
  bool EventsDue() override { return false; }
  void ReportFailure(std::string_view description, std::string_view location, int statement) override;

  // The entries of the rows whose category the options choose (and, with -m
  // and -u, whose program they show), in the order gathered, each location's
  // own row before its first entry.
  std::vector<ConsoleEntry> Entries(const ConsoleOptions& options);
  // True when something could not be read; each such thing was reported.
  bool failed() const { return failed_; }

 private:
  struct Row {
    std::string type;
    RowFacts facts;
    std::string texts[4];
    std::size_t user = 0;  // into users_
  };
  // The row's user when it is a user's own entry; null for the machine's.
  const ListedUser* UserOf(const Row& row);
  ConsoleEntry EntryOf(const Row& row, const ConsoleOptions& options, ImageInspector& inspector, bool& shown);
  ConsoleEntry LocationOf(const Row& row, const ConsoleEntry& first, bool utc);
  std::string Enabled(const Row& row);
  std::string Profile(const Row& row);
  std::optional<std::int64_t> KeyTime(Hive hive, const std::u16string& path);
  std::string DriverImagePath(const std::string& name, const std::string& launchString);
  std::optional<std::string> ServiceValue(const std::string& service, const std::u16string& key,
                                          const std::u16string& name);
  // How the program a command runs is found; for another user's entry, with
  // that user's own variables.
  const PathLookup& Lookup(const Row* row = nullptr);

  Registry& registry_;
  Shell& shell_;
  FileSystem& files_;
  ImageFiles& images_;
  std::function<void(const std::string&)> errorLine_;
  std::vector<Row> rows_;
  bool failed_ = false;
  std::vector<ListedUser> users_{ListedUser{}};  // the first: the user the program runs as, its account asked late
  std::optional<PathLookup> lookup_;
  std::map<std::size_t, PathLookup> userLookups_;  // by user
};

// A FILETIME (100 ns since 1601, UTC) as the listing writes it: with -t
// "YYYYMMDD-hhmmss" as the fleet tools read it, otherwise ISO 8601 in UTC
// ("2026-12-08T14:03:07Z"), which needs no time zone to be read; empty text
// for no time.
std::string TimeText(std::optional<std::int64_t> fileTime, bool utcTimes);

// The link time a program's headers hold (seconds since 1970, UTC) as a
// FILETIME; nullopt for a file that is no program (no MZ and PE headers).
std::optional<std::int64_t> LinkTimeOf(std::string_view headers);

}  // namespace vq
