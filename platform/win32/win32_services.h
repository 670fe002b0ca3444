#pragma once

#include "platform/services.h"

namespace vq::win32 {

// Services through Windows Management Instrumentation's COM interfaces. The
// calling thread must have entered a COM apartment.
class Win32Services final : public Services {
 public:
  std::unique_ptr<ManagementNamespace> ConnectManagement(const std::string& path) override;
  std::uint32_t StopService(const std::string& name) override;
  std::vector<ServiceConfig> ListServiceConfigs(std::vector<ServiceFault>& faults) override;
};

}  // namespace vq::win32
