#include "collectors/gathering.h"
#include "entries/error_trap.h"
#include "platform/failure.h"
#include "platform/services.h"

namespace vq {

namespace {
std::string TextOrFail(const std::optional<std::string>& text) {
  if (!text) throw Failure("Invalid use of Null");
  return *text;
}
}  // namespace

// Appends a row for each running service, in the order the management query
// returns them. A connection or query that failed is reported once; the
// statements that would use it are not run.
void GetServices(const Gathering& gathering) {
  ErrorTrap trap(gathering.sink, LocationText("Form1", "GetServices"));
  RowSink& sink = gathering.sink;
  std::string computer;
  std::unique_ptr<ManagementNamespace> management;
  std::unique_ptr<ManagementQuery> query;
  std::unique_ptr<ManagementObject> service;
  trap.Run(100, [&] { computer = "."; });
  trap.Run(102, [&] { management = gathering.services.ConnectManagement("\\\\" + computer + "\\root\\cimv2", sink); });
  if (management) trap.Run(104, [&] { query = management->ExecQuery("Select * From Win32_Service", sink); });
  if (query) {
    auto next = [&] { return (service = query->Next(sink)) != nullptr; };
    trap.Loop(106, 116, next, next, [&] {
      sink.KeepAnswering();
      trap.If(108, [&] { return service->Text("State") == "Running"; }, [&] {
        int row = 0;
        trap.Run(110, [&] { row = sink.AddRow("SERVICES", {std::nullopt, category::kServices, ""}); });
        trap.Run(112, [&] { sink.SetSubItem(row, 1, TextOrFail(service->Text("Name"))); });
        trap.Run(114, [&] { sink.SetSubItem(row, 2, TextOrFail(service->Text("DisplayName"))); });
      });
    });
  }
  trap.Run(118, [&] { service.reset(), query.reset(); });
  trap.Run(120, [&] { management.reset(); });
}

}  // namespace vq
