#pragma once

#include "platform/registry.h"

namespace vq::win32 {

// The registry through the wide API, in the program's own (64-bit) view.
class Win32Registry final : public Registry {
 public:
  std::unique_ptr<RegistryKey> OpenKey(Hive hive, std::u16string_view path, std::uint32_t access) override;
};

}  // namespace vq::win32
