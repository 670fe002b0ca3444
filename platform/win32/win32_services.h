#pragma once

#include <memory>

#include "platform/services.h"

namespace vq::win32 {

class ManagementThread;

// Services through the service control manager and through Windows
// Management Instrumentation, whose calls are made on a thread of their own
// (the first connection starts it) while the caller's events are handled.
class Win32Services final : public Services {
 public:
  Win32Services();
  ~Win32Services() override;
  std::unique_ptr<ManagementNamespace> ConnectManagement(const std::string& path, EventPump& waiting) override;
  std::uint32_t StopService(const std::string& name) override;
  std::vector<ServiceConfig> ListServiceConfigs(std::vector<ServiceFault>& faults) override;

 private:
  std::shared_ptr<ManagementThread> management_;
};

}  // namespace vq::win32
