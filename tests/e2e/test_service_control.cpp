#include "e2e/test_service_control.h"

#include <stdexcept>

#include "e2e/harness.h"

namespace vq::e2e {

namespace {
bool WaitForState(SC_HANDLE service, DWORD wanted) {
  for (int i = 0; i < 200; ++i) {
    SERVICE_STATUS status{};
    if (::QueryServiceStatus(service, &status) && status.dwCurrentState == wanted) return true;
    ::Sleep(25);
  }
  return false;
}
}  // namespace

TestService::TestService(const std::wstring& name, const std::wstring& displayName) : name_(name) {
  manager_ = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager_) throw std::runtime_error("OpenSCManagerW failed");
  // One left behind by an earlier run that did not end is replaced.
  if (SC_HANDLE old = ::OpenServiceW(manager_, name.c_str(), SERVICE_ALL_ACCESS)) {
    SERVICE_STATUS status{};
    ::ControlService(old, SERVICE_CONTROL_STOP, &status);
    WaitForState(old, SERVICE_STOPPED);
    ::DeleteService(old);
    ::CloseServiceHandle(old);
  }
  const std::wstring binary = L"\"" + BuildFolder() + L"\\tests\\vq_test_service.exe\"";
  service_ = ::CreateServiceW(manager_, name.c_str(), displayName.c_str(), SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, binary.c_str(),
                              nullptr, nullptr, nullptr, nullptr, nullptr);
  if (!service_) {
    ::CloseServiceHandle(manager_);
    throw std::runtime_error("CreateServiceW failed");
  }
}

TestService::~TestService() {
  Stop();
  ::DeleteService(service_);
  ::CloseServiceHandle(service_);
  ::CloseServiceHandle(manager_);
}

bool TestService::Start() {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (::StartServiceW(service_, 0, nullptr) || ::GetLastError() == ERROR_SERVICE_ALREADY_RUNNING) {
      if (WaitForState(service_, SERVICE_RUNNING)) return true;
    }
    ::Sleep(200);
  }
  return false;
}

bool TestService::Stop() {
  SERVICE_STATUS status{};
  if (State() == SERVICE_STOPPED) return true;
  ::ControlService(service_, SERVICE_CONTROL_STOP, &status);
  return WaitForState(service_, SERVICE_STOPPED);
}

DWORD TestService::State() const {
  SERVICE_STATUS status{};
  return ::QueryServiceStatus(service_, &status) ? status.dwCurrentState : 0;
}

}  // namespace vq::e2e
