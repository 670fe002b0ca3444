#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vq {

// One object of a management query (a Win32_Service).
class ManagementObject {
 public:
  virtual ~ManagementObject() = default;
  // The property as text; nullopt when it is null. Throws Failure when the
  // property is missing or cannot be turned into text.
  virtual std::optional<std::string> Text(const std::string& property) = 0;
};

// The objects a query returned, walked once in order; destroying it releases them.
class ManagementQuery {
 public:
  virtual ~ManagementQuery() = default;
  // The next object, or null after the last one. Throws Failure when the walk fails.
  virtual std::unique_ptr<ManagementObject> Next() = 0;
};

// A connection to a management namespace; destroying it releases it.
class ManagementNamespace {
 public:
  virtual ~ManagementNamespace() = default;
  virtual std::unique_ptr<ManagementQuery> ExecQuery(const std::string& wql) = 0;
};

// The services of the computer: listed through Windows Management
// Instrumentation. Failures throw Failure.
class Services {
 public:
  virtual ~Services() = default;
  // Connects to a namespace such as \\.\root\cimv2.
  virtual std::unique_ptr<ManagementNamespace> ConnectManagement(const std::string& path) = 0;
  // Asks the service control manager, with connect rights only, to stop the
  // service with the given key name, opened with stop rights only. Returns
  // the state the service reports in answer (3 stop pending, 1 stopped), or
  // 0 when any step was refused. Waits for nothing.
  virtual std::uint32_t StopService(const std::string& name) = 0;
};

}  // namespace vq
