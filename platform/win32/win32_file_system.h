#pragma once

#include "platform/file_system.h"

namespace vq::win32 {

class Win32FileSystem final : public FileSystem {
 public:
  std::string ProgramFolder() override;
  std::int64_t LastModified(const std::string& path) override;
};

}  // namespace vq::win32
