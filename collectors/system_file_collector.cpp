#include "app/form1.h"

namespace vq {

// Appends a row for each of the entries of the legacy system files. Nothing is gathered from this source yet.
void Form1::GetSysFile() {}

}  // namespace vq
