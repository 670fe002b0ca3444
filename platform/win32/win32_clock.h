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
};

}  // namespace vq::win32
