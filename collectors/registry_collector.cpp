#include "app/autostart_points.h"
#include "app/error_trap.h"
#include "collectors/gathering.h"
#include "collectors/autostart_collector.h"
#include "collectors/mod_registry.h"

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
  for (const char* key : kRunKeys) visit(126, Hive::LocalMachine, kMachineBase + std::string(key));
  for (const char* key : kRunKeys) visit(126, Hive::LocalMachine, kMachineBase32 + std::string(key));
  for (const char* key : kRunKeys) visit(132, Hive::CurrentUser, kUserBase + std::string(key));
  visit(138, Hive::CurrentUser, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\");
  for (const char* key : kRunKeys) visit(142, Hive::Users, kDefaultUserBase + std::string(key));
  visit(148, Hive::Users, ".DEFAULT\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows");
  for (const AutostartPoint& point : AutostartPoints()) {
    trap.Run(point.statement, [&] { ListAutostartPoint(sink, registry, gathering.shell, point, point.key); });
    if (!point.also32) continue;
    trap.Run(point.statement,
             [&] { ListAutostartPoint(sink, registry, gathering.shell, point, In32BitView(point.key)); });
  }
}

}  // namespace vq
