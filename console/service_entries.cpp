#include "console/service_entries.h"

#include <vector>

#include "collectors/gathering.h"
#include "platform/failure.h"
#include "platform/services.h"

namespace vq {

namespace {

bool IsService(const ServiceConfig& config) {
  const std::uint32_t type = config.type & ~service::kInteractive;
  return type == service::kOwnProcess || type == service::kShareProcess;
}

bool IsDriver(const ServiceConfig& config) {
  return config.type == service::kKernelDriver || config.type == service::kFileSystemDriver;
}

// What Windows will start: a service at boot, with the system or
// automatically, or running now; a driver unless it is disabled. Without
// its configuration, what starts it is not known: it is listed.
bool Starts(const ServiceConfig& config) {
  if (IsDriver(config)) return !config.configRead || config.startType != service::kDisabled;
  return !config.configRead || config.startType <= service::kAutoStart || config.state == service::kRunning;
}

void AddRow(RowSink& sink, const ServiceConfig& config, const char* category) {
  RowFacts facts(std::nullopt, category, config.binaryPath);
  // As the fleet tools' parsers read it: the display name, a colon, the description.
  facts.description = config.displayName + ":" + (config.description.empty() ? "" : " " + config.description);
  const int row = sink.AddRow("SERVICES", std::move(facts));
  sink.SetSubItem(row, 1, config.name);
  sink.SetSubItem(row, 2, config.displayName);
}

}  // namespace

void GetServiceEntries(const Gathering& gathering) {
  RowSink& sink = gathering.sink;
  std::vector<ServiceFault> faults;
  std::vector<ServiceConfig> configs;
  try {
    configs = gathering.services.ListServiceConfigs(faults);
  } catch (const Failure& failure) {
    sink.ReportFailure(std::string("The services cannot be listed: ") + failure.what(), "in the console edition ", 0);
    return;
  }
  for (const ServiceFault& fault : faults) {
    sink.ReportFailure("The configuration of the service " + fault.name + " cannot be read: " + fault.description,
                       "in the console edition ", 0);
  }
  for (const ServiceConfig& config : configs) {
    if (IsService(config) && Starts(config)) AddRow(sink, config, category::kServices);
  }
  for (const ServiceConfig& config : configs) {
    if (IsDriver(config) && Starts(config)) AddRow(sink, config, category::kDrivers);
  }
}

}  // namespace vq
