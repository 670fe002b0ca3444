#include "app/vb_conversion.h"

#include <algorithm>

#include "platform/failure.h"

namespace vq {

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

std::int16_t TextToInteger16(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);

  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) throw TypeMismatch();
  for (char c : whole) {
    if (!IsDigit(c)) throw TypeMismatch();
  }
  for (char c : fraction) {
    if (!IsDigit(c)) throw TypeMismatch();
  }

  // Magnitudes beyond the 16-bit range only need to be known as too large.
  constexpr std::int64_t kTooLarge = 100000;
  std::int64_t magnitude = 0;
  for (char c : whole) magnitude = std::min<std::int64_t>(magnitude * 10 + (c - '0'), kTooLarge);

  // Round half to even: look at the first fraction digit and whether anything follows it.
  if (!fraction.empty()) {
    const int first = fraction.front() - '0';
    const bool restNonZero = fraction.find_first_not_of('0', 1) != std::string_view::npos;
    if (first > 5 || (first == 5 && (restNonZero || magnitude % 2 == 1))) ++magnitude;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value < -32768 || value > 32767) throw Overflow();
  return static_cast<std::int16_t>(value);
}

}  // namespace vq
