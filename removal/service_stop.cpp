#include "removal/service_stop.h"

#include "platform/services.h"

namespace vq {

std::uint32_t StopService(Services& services, const std::string& name) { return services.StopService(name); }

}  // namespace vq
