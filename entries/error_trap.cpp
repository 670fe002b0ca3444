#include "entries/error_trap.h"

namespace vq {

namespace {
constexpr std::string_view kLocationPrefix = "in Kestrelbay2021/08/31.";
}  // namespace

std::string LocationText(std::string_view module, std::string_view procedure) {
  std::string text(kLocationPrefix);
  text.append(module).append(".").append(procedure).append(" ");
  return text;
}

ErrorTrap::ErrorTrap(FailureReporter& reporter, std::string location)
    : reporter_(reporter), location_(std::move(location)) {}

}  // namespace vq
