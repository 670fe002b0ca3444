#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vq {

// A skin file: UTF-8 text (a byte-order mark is allowed), one setting a line,
//
//   ; comment (a line starting with ';' or '#')
//   window = #RRGGBB        background of the window, its frames and check boxes
//   text = #RRGGBB          text of the frames and check boxes
//   list = #RRGGBB          background of the item list
//   list-text = #RRGGBB     text of the item list
//   button = #RRGGBB        face of the push buttons
//   button-text = #RRGGBB   text of the push buttons
//
// Keys are written in lower case, each at most once; spaces around the key
// and the value do not count. "window" is required, the rest is optional.
// Colours are 0x00BBGGRR, as the Windows API takes them.
struct SkinColours {
  std::uint32_t window = 0;
  std::optional<std::uint32_t> text, list, listText, button, buttonText;
};

inline constexpr std::size_t kLargestSkinFile = 64 * 1024;

// Reads a skin file's text. Throws Failure describing the first fault
// ("Invalid skin file, line 3: unknown key \"colour\"").
SkinColours ParseSkinFile(std::string_view text);

}  // namespace vq
