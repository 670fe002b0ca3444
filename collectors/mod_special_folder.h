#pragma once

#include <string>

namespace vq {

class Shell;

// The full path of a shell special folder by its CSIDL number, or empty text
// when the shell cannot produce it.
std::string GetSpecialFolder(Shell& shell, int csidl);

}  // namespace vq
