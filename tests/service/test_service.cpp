// A service that only runs until it is told to stop: the running service the
// tests list and stop. Installed and started by the tests, under any name.
#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopRequested = nullptr;

void Report(DWORD state) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  ::SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING);
    ::SetEvent(stopRequested);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t** arguments) {
  statusHandle = ::RegisterServiceCtrlHandlerExW(arguments[0], &Handler, nullptr);
  if (!statusHandle) return;
  Report(SERVICE_RUNNING);
  ::WaitForSingleObject(stopRequested, INFINITE);
  Report(SERVICE_STOPPED);
}

}  // namespace

int main() {
  stopRequested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  wchar_t anyName[] = L"";
  SERVICE_TABLE_ENTRYW table[] = {{anyName, &ServiceMain}, {nullptr, nullptr}};
  return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
