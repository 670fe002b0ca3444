#pragma once

#include <string>

namespace vq::test {

// The bytes (REG_MULTI_SZ, UTF-16LE) BootExecute must hold after its reset,
// worked out here apart from the program: the entries it held before that
// are Windows' own disk checks ("autocheck autochk" and any switches, letter
// case aside), in their order; "autocheck autochk *" when none is.
std::string BootExecuteAfterReset(const std::string& before);

}  // namespace vq::test
