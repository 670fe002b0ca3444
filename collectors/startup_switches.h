#pragma once

#include <set>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace vq {

// The names (as FoldedRegistryName gives them) of the entries switched off in
// one key of Explorer's Startup switches, read in one pass over the key. A
// key that is not there or cannot be read switches nothing off: Windows then
// starts what it finds.
std::set<std::u16string> SwitchedOffNames(Registry& registry, Hive hive, std::u16string_view keyPath);

}  // namespace vq
