#pragma once

#include <windows.h>

#include <string>

namespace vq::e2e {

// The tests' own service (vq_test_service.exe), installed under the given
// names for the life of the object and removed again afterwards.
class TestService {
 public:
  TestService(const std::wstring& name, const std::wstring& displayName);
  ~TestService();
  TestService(const TestService&) = delete;
  TestService& operator=(const TestService&) = delete;

  // Starts it and waits until it runs (a fresh prefix may refuse the first start).
  bool Start();
  // Asks it to stop and waits until it has.
  bool Stop();
  DWORD State() const;
  const std::wstring& name() const { return name_; }

 private:
  std::wstring name_;
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

}  // namespace vq::e2e
