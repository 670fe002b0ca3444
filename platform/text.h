#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vq {

// Text helpers of the logic. Texts are UTF-8; lengths that the system counts
// in characters are counted in UTF-16 code units, as the system counts them.

// UTF-16LE bytes as UTF-8. An unpaired surrogate, and an odd last byte that
// makes no whole code unit, become U+FFFD; NUL characters are kept.
std::string Utf16LeToUtf8(std::string_view bytes);

// UTF-8 as UTF-16 code units; a byte that starts no valid character becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 code units as UTF-8, for showing: an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// The code units as UTF-16LE bytes, as the registry and UTF-16 files hold
// them, and back (an odd last byte is dropped).
std::string Utf16LeBytes(std::u16string_view text);
std::u16string FromUtf16Le(std::string_view bytes);

// Each byte as two lower-case hex digits, as the restore lines and the
// console's exact identities give data and names that text cannot carry.
std::string HexBytes(std::string_view bytes);

// True when the text holds a surrogate without its pair, which UTF-8 (and so
// any text shown) cannot carry.
bool HasUnpairedSurrogate(std::u16string_view text);

// A text file's bytes as UTF-8, told by their byte-order mark: UTF-16LE or
// UTF-16BE after theirs, UTF-8 after its own or with none; without a mark,
// UTF-16 where its first character's zero byte shows it ("<\0"). The mark
// itself is dropped; what does not decode becomes U+FFFD.
std::string TextFileToUtf8(std::string_view bytes);

// True when the bytes are well-formed UTF-8.
bool IsUtf8(std::string_view text);

// How many UTF-16 code units the text takes (a byte that starts no valid
// UTF-8 character counts as one).
std::size_t Utf16Length(std::string_view utf8);

// The longest start of the text that takes at most `units` UTF-16 code units
// and does not cut a character in two.
std::string_view Utf16Prefix(std::string_view utf8, std::size_t units);

// The text with its ASCII letters in lower (or upper) case; other bytes as they are.
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);

// True when the text contains the ASCII needle, ASCII letters compared without case.
bool ContainsIgnoringCase(std::string_view text, std::string_view needle);

// The text with every occurrence of `from` (compared exactly) replaced by `to`,
// searched from the start, left to right, without rescanning what was put in.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace vq
