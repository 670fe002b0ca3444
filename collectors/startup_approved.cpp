#include "collectors/startup_approved.h"

namespace vq {

std::string_view StartupApprovedKey(ApprovedList list) {
  switch (list) {
    case ApprovedList::Run: return "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
    case ApprovedList::Run32: return "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";
    case ApprovedList::StartupFolder:
      return "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
  }
  return {};
}

bool IsSwitchedOff(std::optional<std::string_view> approvedBytes) {
  // The rest of the value is the time it was switched off, which says nothing more.
  return approvedBytes && !approvedBytes->empty() && (static_cast<unsigned char>(approvedBytes->front()) & 1) != 0;
}

}  // namespace vq
