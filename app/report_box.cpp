#include "app/report_box.h"

#include "build_config.h"
#include "platform/main_window.h"

namespace vq {

namespace {
constexpr std::string_view kReportTitle = "Application Error";
}  // namespace

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

}  // namespace vq
