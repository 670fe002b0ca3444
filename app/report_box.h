#pragma once

#include <string>
#include <string_view>

#include "entries/error_trap.h"

namespace vq {

class MainWindow;

// The exact text of the error report box.
std::string BuildErrorReport(std::string_view description, std::string_view location, int statement,
                             std::string_view supportAddress);

// The error report box. A box that cannot be shown must not stop the
// procedure it reports for: its failure is dropped.
class ReportBox final : public FailureReporter {
 public:
  explicit ReportBox(MainWindow& window) : window_(window) {}
  void ReportFailure(std::string_view description, std::string_view location, int statement) override;

 private:
  MainWindow& window_;
};

}  // namespace vq
