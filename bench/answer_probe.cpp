// Asks a window, from a process of its own, whether it answers, as often as a
// person's clicks could arrive, until told to stop; exits with the longest
// wait for an answer, in tenths of a millisecond.
//
//     answer_probe.exe <window handle, decimal> <name of the stop event>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return -1;
  const auto window = reinterpret_cast<HWND>(static_cast<INT_PTR>(std::wcstoll(argv[1], nullptr, 10)));
  HANDLE stop = ::OpenEventW(SYNCHRONIZE, FALSE, argv[2]);
  if (!stop) return -1;
  using Clock = std::chrono::steady_clock;
  Clock::duration longest{};
  // A message sent from another thread is handed over only when the window's
  // thread looks for messages: the wait is how long the window did not answer.
  while (::WaitForSingleObject(stop, 2) == WAIT_TIMEOUT) {
    const Clock::time_point asked = Clock::now();
    DWORD_PTR answer = 0;
    if (!::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer)) break;
    longest = std::max(longest, Clock::now() - asked);
  }
  ::CloseHandle(stop);
  return static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(longest).count() / 100);
}
