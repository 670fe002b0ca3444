#include "app/form1.h"

namespace vq {

// Appends a row for each of the registry autorun values. Nothing is gathered from this source yet.
void Form1::GetRegistryItems() {}

}  // namespace vq
