#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// Where the time goes: while it lives, a thread of its own stops the thread
// that made it about every four milliseconds and keeps the chain of calls it stood
// in, unwound through the images' own unwind tables. The chains are written
// when it ends, one line a sample, innermost first, each frame as
// "module+offset" for scripts/samples.py to name.
namespace vq::bench {

class Sampler {
 public:
  explicit Sampler(std::wstring path);
  ~Sampler();
  Sampler(const Sampler&) = delete;
  Sampler& operator=(const Sampler&) = delete;

 private:
  struct Module {
    std::wstring name;
    DWORD64 base = 0, end = 0;
    const RUNTIME_FUNCTION* functions = nullptr;
    DWORD count = 0;
  };
  static constexpr int kDepth = 64;
  void Run();
  const Module* ModuleOf(DWORD64 address) const;
  const RUNTIME_FUNCTION* FunctionOf(const Module& module, DWORD64 address) const;
  void Take();

  std::wstring path_;
  HANDLE target_ = nullptr;
  std::vector<Module> modules_;
  std::vector<DWORD64> frames_;  // kDepth a sample, 0 after the last
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace vq::bench
