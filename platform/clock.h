#pragma once

#include <cstdint>

namespace vq {

// A moment in the user's local time.
struct LocalTime {
  int year, month, day, hour, minute, second;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  // The time now as a FILETIME: 100 ns units since 1601, UTC.
  virtual std::int64_t SystemFileTime() = 0;
};

}  // namespace vq
