#include "app/form1.h"

namespace vq {

// Appends a row for each of the files of the Startup folders. Nothing is gathered from this source yet.
void Form1::GetStartup() {}

}  // namespace vq
