#include "collectors/autostart_collector.h"
#include "collectors/gathering.h"
#include "collectors/mod_registry.h"
#include "entries/autostart_points.h"
#include "entries/error_trap.h"

namespace vq {

namespace {
constexpr const char* kRunKeys[] = {"Run", "RunOnce", "RunOnceEx", "RunServices"};
constexpr char kMachineBase[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
// Where 64-bit Windows keeps the machine-wide autoruns of 32-bit programs.
constexpr char kMachineBase32[] = "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\";
constexpr char kUserBase[] = "Software\\Microsoft\\Windows\\CurrentVersion\\";
constexpr char kDefaultUserBase[] = ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\";
}  // namespace

// Appends a row for each autorun value of the fixed keys, in a fixed order,
// then for each value of the other autostart points that starts something.
// (Statements 100 to 122 build the key paths from fixed texts and cannot fail;
// the visits carry the numbers their reports have always shown, and each
// point has its own number after them.)
void GetRegistryItems(const Gathering& gathering) {
  ErrorTrap trap(gathering.sink, LocationText("Form1", "GetRegistryItems"));
  RowSink& sink = gathering.sink;
  Registry& registry = gathering.registry;
  auto visit = [&](int statement, Hive hive, const std::string& path) {
    trap.Run(statement, [&] { ListRegistryValues(sink, registry, hive, path); });
  };
  const std::optional<UserRoot>& user = gathering.user;
  if (gathering.machine) {
    for (const char* key : kRunKeys) visit(126, Hive::LocalMachine, kMachineBase + std::string(key));
    for (const char* key : kRunKeys) visit(126, Hive::LocalMachine, kMachineBase32 + std::string(key));
  }
  if (user) {
    for (const char* key : kRunKeys) visit(132, user->hive, user->prefix + kUserBase + std::string(key));
    visit(138, user->hive, user->prefix + "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\");
  }
  if (gathering.machine && gathering.defaultUser) {
    for (const char* key : kRunKeys) visit(142, Hive::Users, kDefaultUserBase + std::string(key));
    visit(148, Hive::Users, ".DEFAULT\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows");
  }
  for (const AutostartPoint& point : AutostartPoints()) {
    // A user's point is read below that user's root; the machine's as they stand.
    const bool users = point.hive == Hive::CurrentUser;
    if (users ? !user : !gathering.machine) continue;
    AutostartPoint read = point;
    std::string key = point.key;
    if (users) read.hive = user->hive, key = user->prefix + key;
    trap.Run(point.statement, [&] { ListAutostartPoint(sink, registry, gathering.shell, read, key); });
    if (!point.also32) continue;
    trap.Run(point.statement, [&] { ListAutostartPoint(sink, registry, gathering.shell, read, In32BitView(key)); });
  }
}

}  // namespace vq
