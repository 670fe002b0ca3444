#include "app/form1.h"

namespace vq {

// Appends a row for each of the running services. Nothing is gathered from this source yet.
void Form1::GetServices() {}

}  // namespace vq
