#include "collectors/startup_switches.h"

#include "collectors/mod_registry.h"
#include "entries/startup_approved.h"

namespace vq {

std::set<std::u16string> SwitchedOffNames(Registry& registry, Hive hive, std::u16string_view keyPath) {
  std::set<std::u16string> off;
  const std::unique_ptr<RegistryKey> key = OpenQuietly([&] { return registry.OpenKey(hive, keyPath, kKeyQueryValue); });
  if (!key) return off;
  // A switch is 12 bytes: a value that does not fit this room is none.
  constexpr std::size_t kSwitchRoom = 16;
  RegistryValue value;
  try {
    for (std::uint32_t index = 0;; ++index) {
      const EnumResult result = key->EnumValue(index, kAnyNameRoom, kSwitchRoom, value);
      if (result == EnumResult::End) break;
      if (result == EnumResult::Value && IsSwitchedOff(StoredValue{value.type, value.data})) {
        off.insert(FoldedRegistryName(value.name));
      }
    }
  } catch (const Failure&) {
    // What was read holds; the rest starts as Windows finds it.
  }
  return off;
}

}  // namespace vq
