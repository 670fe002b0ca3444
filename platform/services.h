#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/event_pump.h"

namespace vq {

// Service types and start types, by their service control manager numbers.
namespace service {
inline constexpr std::uint32_t kKernelDriver = 0x1;
inline constexpr std::uint32_t kFileSystemDriver = 0x2;
inline constexpr std::uint32_t kOwnProcess = 0x10;
inline constexpr std::uint32_t kShareProcess = 0x20;
inline constexpr std::uint32_t kInteractive = 0x100;
inline constexpr std::uint32_t kBootStart = 0, kSystemStart = 1, kAutoStart = 2, kDemandStart = 3, kDisabled = 4;
inline constexpr std::uint32_t kRunning = 4;
}  // namespace service

// A service or driver as the service control manager describes it.
struct ServiceConfig {
  std::string name;         // its key name
  std::string displayName;
  std::uint32_t type = 0;   // service::k…Driver, k…Process, with kInteractive
  std::uint32_t state = 0;  // service::kRunning, or another state
  // What only its configuration tells, when the running account may query it
  // (SERVICE_QUERY_CONFIG): how it starts, its command, its description.
  bool configRead = false;
  std::uint32_t startType = 0;
  bool delayed = false;      // automatic, started a while after the others
  std::string binaryPath;    // as the manager holds it
  std::string description;
};

// One service the manager listed whose configuration could not be read for
// any other reason than a refusal: its name and the system's text.
struct ServiceFault {
  std::string name, description;
};

// One object of a management query (a Win32_Service).
class ManagementObject {
 public:
  virtual ~ManagementObject() = default;
  // The property as text; nullopt when it is null. Throws Failure when the
  // property is missing or cannot be turned into text.
  virtual std::optional<std::string> Text(const std::string& property) = 0;
};

// The management calls below wait for the management service, which can
// take far longer than a window may go without answering: while they wait,
// the waiting events are handled.

// The objects a query returned, walked once in order; destroying it releases them.
class ManagementQuery {
 public:
  virtual ~ManagementQuery() = default;
  // The next object, or null after the last one. Throws Failure when the
  // walk fails or the service stays silent for a minute.
  virtual std::unique_ptr<ManagementObject> Next(EventPump& waiting) = 0;
};

// A connection to a management namespace; destroying it releases it.
class ManagementNamespace {
 public:
  virtual ~ManagementNamespace() = default;
  virtual std::unique_ptr<ManagementQuery> ExecQuery(const std::string& wql, EventPump& waiting) = 0;
};

// The services of the computer: listed through Windows Management
// Instrumentation. Failures throw Failure.
class Services {
 public:
  virtual ~Services() = default;
  // Connects to a namespace such as \\.\root\cimv2.
  virtual std::unique_ptr<ManagementNamespace> ConnectManagement(const std::string& path, EventPump& waiting) = 0;
  // Every service and driver the service control manager knows, in its
  // order, each opened with SERVICE_QUERY_CONFIG only: one the account may
  // not query is listed with what the listing told (configRead false); one
  // whose configuration cannot be read for another reason goes into
  // `faults` instead; one gone meanwhile is left out. Throws Failure when
  // the manager cannot be opened or does not list.
  virtual std::vector<ServiceConfig> ListServiceConfigs(std::vector<ServiceFault>& faults) = 0;
  // Asks the service control manager, with connect rights only, to stop the
  // service with the given key name, opened with stop rights only. Returns
  // the state the service reports in answer (3 stop pending, 1 stopped), or
  // 0 when any step was refused. Waits for nothing.
  virtual std::uint32_t StopService(const std::string& name) = 0;
};

}  // namespace vq
