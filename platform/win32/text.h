#pragma once

#include <string>
#include <string_view>

namespace vq::win32 {

// UTF-8 inside the program, UTF-16 at the Windows API. Invalid UTF-8 throws
// Failure; unpaired UTF-16 surrogates become U+FFFD.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace vq::win32
