#pragma once

#include <cstdint>
#include <string_view>

namespace vq {

// Converts stored text to a 16-bit integer the way the settings have always
// been read: surrounding spaces ignored, an optional sign, decimal digits and
// an optional fraction rounded half to even. Throws Failure "Type mismatch"
// for text that is not a number and "Overflow" outside -32768..32767.
std::int16_t TextToInteger16(std::string_view text);

}  // namespace vq
