#include "collectors/mod_special_folder.h"

#include "platform/shell.h"

namespace vq {

std::string GetSpecialFolder(Shell& shell, int csidl) { return shell.SpecialFolderPath(csidl); }

}  // namespace vq
