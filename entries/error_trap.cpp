#include "app/error_trap.h"

#include "build_config.h"
#include "platform/main_window.h"

namespace vq {

namespace {
constexpr std::string_view kLocationPrefix = "in Kestrelbay2021/08/31.";
constexpr std::string_view kReportTitle = "Application Error";
}  // namespace

std::string LocationText(std::string_view module, std::string_view procedure) {
  std::string text(kLocationPrefix);
  text.append(module).append(".").append(procedure).append(" ");
  return text;
}

std::string BuildErrorReport(std::string_view description, std::string_view location, int statement,
                             std::string_view supportAddress) {
  std::string text(description);
  text.append("\r\n").append(location).append("at line ").append(std::to_string(statement));
  text.append("\r\r").append("Please email screenshot of this message to ").append(supportAddress);
  return text;
}

void ReportBox::ReportFailure(std::string_view description, std::string_view location, int statement) {
  const std::string text = BuildErrorReport(description, location, statement, kSupportEmail);
  try {
    window_.ShowMessage(text, msgbox::kExclamation | msgbox::kOkOnly, std::string(kReportTitle));
  } catch (const std::exception&) {
  }
}

ErrorTrap::ErrorTrap(FailureReporter& reporter, std::string location)
    : reporter_(reporter), location_(std::move(location)) {}

}  // namespace vq
