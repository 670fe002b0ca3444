#pragma once

#include <windows.h>

#include "platform/clock.h"

namespace vq::win32 {

class Win32Clock final : public Clock {
 public:
  LocalTime Now() override {
    SYSTEMTIME time{};
    ::GetLocalTime(&time);
    return {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
  }
  std::int64_t SystemFileTime() override {
    FILETIME time{};
    ::GetSystemTimeAsFileTime(&time);
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
  }
};

}  // namespace vq::win32
