#pragma once

#include <cstdint>
#include <string>

namespace vq {

class Services;

// Asks the service with this key name to stop. Returns the state it reports
// in answer (3 stop pending, 1 stopped), or 0 when any step was refused.
std::uint32_t StopService(Services& services, const std::string& name);

}  // namespace vq
