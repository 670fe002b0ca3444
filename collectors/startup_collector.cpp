#include "collectors/add_folder.h"
#include "collectors/gathering.h"
#include "collectors/mod_special_folder.h"
#include "collectors/startup_switches.h"
#include "entries/startup_approved.h"
#include "entries/error_trap.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace vq {

namespace {

// The two passes of GetStartup differ only in their statement numbers, which
// keep the same distances from the pass's first statement.
struct StartupPass {
  int first;  // the loop over the names; 106 for the user's folder, 124 for all users
  const std::string& location;
  const std::string& extraDetails;
  bool allUsers;
};

// The files of the folder switched off on Explorer's Startup page: the
// all-users folder's switches are the machine's, the user's folder's the user's.
std::set<std::u16string> SwitchesOf(const Gathering& gathering, bool allUsers) {
  const UserRoot user = gathering.user.value_or(UserRoot{});
  const std::optional<StartupSwitch> switches =
      SwitchOfStartupFile({u"", u"", allUsers}, user.hive, Utf8ToUtf16(user.prefix));
  return SwitchedOffNames(gathering.registry, switches->hive, switches->keyPath);
}

void AddStartupRows(ErrorTrap& trap, const Gathering& gathering, const FolderFiles& listed, const StartupPass& pass) {
  RowSink& sink = gathering.sink;
  const std::vector<std::u16string>& names = listed.names;
  // An empty folder needs no switches read.
  const std::set<std::u16string> switchedOff =
      names.empty() ? std::set<std::u16string>() : SwitchesOf(gathering, pass.allUsers);
  std::size_t index = 0;
  trap.Loop(
      pass.first, pass.first + 14, [&] { return index < names.size(); }, [&] { return ++index < names.size(); },
      [&] {
        sink.KeepAnswering();
        const std::u16string& name = names[index];
        bool skip = false;
        trap.If(pass.first + 2, [&] { return !name.empty() && name[0] == u'~'; }, [&] { skip = true; });
        if (skip) return;
        int row = 0;
        trap.Run(pass.first + 6, [&] {
          const StartupFileItem file{listed.exactFolder, name, pass.allUsers};
          RowFacts facts{file, category::kLogon, Utf16ToUtf8(PlainPath(file.Path()))};
          facts.disabled = !switchedOff.empty() && switchedOff.count(FoldedRegistryName(name)) > 0;
          row = sink.AddRow("STARTUP", std::move(facts));
        });
        trap.Run(pass.first + 8, [&] { sink.SetSubItem(row, 1, pass.location); });
        trap.Run(pass.first + 10, [&] { sink.SetSubItem(row, 2, Utf16ToUtf8(name)); });
        trap.Run(pass.first + 12, [&] { sink.SetSubItem(row, 3, pass.extraDetails); });
      });
}

}  // namespace

std::string CurrentUser(Shell& shell) { return shell.UserName().value_or(""); }

namespace {

// The all-users Startup folder as the shell gives it. Only where the shell
// gives none, the old rule: the user's folder with the user's name replaced by
// "All Users" (which names no folder on Windows since Vista).
std::string AllUsersStartupFolder(Shell& shell, const std::string& user, const std::string& userFolder) {
  std::string folder = GetSpecialFolder(shell, csidl::kCommonStartup);
  if (folder.empty() && !user.empty()) folder = ReplaceAll(userFolder, user, "All Users");
  return folder;
}

}  // namespace

// Appends a row for each file lying directly in the user's Startup folder,
// then for each in the all-users Startup folder. A folder that is not known
// is not listed, nor is the user's folder a second time.
void GetStartup(const Gathering& gathering) {
  ErrorTrap trap(gathering.sink, LocationText("Form1", "GetStartup"));
  std::string user, userFolder;
  FolderFiles listed;
  if (gathering.user) {
    const std::optional<std::string>& folder = gathering.user->startupFolder;
    trap.Run(100, [&] { user = folder ? "" : CurrentUser(gathering.shell); });
    trap.Run(102, [&] { userFolder = folder ? *folder : GetSpecialFolder(gathering.shell, csidl::kStartup); });
    trap.Run(104, [&] {
      if (!userFolder.empty()) listed = GetFolderFiles(gathering.files, gathering.sink, userFolder, "*.*");
    });
    const std::string userExtraDetails = userFolder + "\\";
    AddStartupRows(trap, gathering, listed, {106, userFolder, userExtraDetails, false});
  }
  if (!gathering.machine) return;

  std::string allUsersFolder;
  listed = {};
  trap.Run(122, [&] {
    allUsersFolder = AllUsersStartupFolder(gathering.shell, user, userFolder);
    if (!allUsersFolder.empty() && allUsersFolder != userFolder) {
      listed = GetFolderFiles(gathering.files, gathering.sink, allUsersFolder, "*.*");
    }
  });
  AddStartupRows(trap, gathering, listed, {124, allUsersFolder, allUsersFolder, true});
}

}  // namespace vq
