#include "bench/sampler.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>

namespace vq::bench {

Sampler::Sampler(std::wstring path) : path_(std::move(path)) {
  ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &target_,
                    THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, 0);
  // The modules and their unwind tables are found now: the thread stopped may
  // hold the loader's lock, which the system's own lookup would wait for.
  HMODULE handles[512];
  DWORD needed = 0;
  ::K32EnumProcessModules(::GetCurrentProcess(), handles, sizeof handles, &needed);
  for (DWORD i = 0; i < std::min<DWORD>(needed / sizeof(HMODULE), 512); ++i) {
    const auto base = reinterpret_cast<const BYTE*>(handles[i]);
    const auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& unwind = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXCEPTION];
    wchar_t name[MAX_PATH] = {};
    ::K32GetModuleBaseNameW(::GetCurrentProcess(), handles[i], name, MAX_PATH);
    modules_.push_back({name, reinterpret_cast<DWORD64>(base), reinterpret_cast<DWORD64>(base) + nt->OptionalHeader.SizeOfImage,
                        reinterpret_cast<const RUNTIME_FUNCTION*>(base + unwind.VirtualAddress),
                        static_cast<DWORD>(unwind.Size / sizeof(RUNTIME_FUNCTION))});
  }
  frames_.reserve(kDepth * 200000);
  thread_ = std::thread([this] { Run(); });
}

const Sampler::Module* Sampler::ModuleOf(DWORD64 address) const {
  for (const Module& module : modules_) {
    if (address >= module.base && address < module.end) return &module;
  }
  return nullptr;
}

const RUNTIME_FUNCTION* Sampler::FunctionOf(const Module& module, DWORD64 address) const {
  const DWORD offset = static_cast<DWORD>(address - module.base);
  const RUNTIME_FUNCTION* end = module.functions + module.count;
  const RUNTIME_FUNCTION* at = std::upper_bound(module.functions, end, offset,
                                                [](DWORD o, const RUNTIME_FUNCTION& f) { return o < f.BeginAddress; });
  if (at == module.functions) return nullptr;
  --at;
  return offset < at->EndAddress ? at : nullptr;
}

// Stops the thread, unwinds its stack into the kept frames (nothing here
// may take a lock the stopped thread could hold: no heap, no loader), lets it go.
void Sampler::Take() {
  if (frames_.size() + kDepth > frames_.capacity()) return;
  if (::SuspendThread(target_) == static_cast<DWORD>(-1)) return;
  CONTEXT context{};
  context.ContextFlags = CONTEXT_FULL;
  if (::GetThreadContext(target_, &context)) {
    for (int depth = 0; depth < kDepth - 1 && context.Rip; ++depth) {
      frames_.push_back(context.Rip);
      const Module* module = ModuleOf(context.Rip);
      if (!module) break;
      const RUNTIME_FUNCTION* function = FunctionOf(*module, context.Rip);
      if (!function) {  // a leaf: the return address is on top of the stack
        context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
        context.Rsp += 8;
        continue;
      }
      void* handlerData = nullptr;
      DWORD64 frame = 0;
      ::RtlVirtualUnwind(UNW_FLAG_NHANDLER, module->base, context.Rip, const_cast<RUNTIME_FUNCTION*>(function),
                         &context, &handlerData, &frame, nullptr);
    }
  }
  frames_.push_back(0);
  ::ResumeThread(target_);
}

void Sampler::Run() {
  while (!stop_) {
    ::Sleep(4);  // each sample costs the system three calls: sampled often, the work would slow
    Take();
  }
}

Sampler::~Sampler() {
  stop_ = true;
  thread_.join();
  ::CloseHandle(target_);
  FILE* out = _wfopen(path_.c_str(), L"a");
  if (!out) return;
  bool lineStart = true;
  for (DWORD64 frame : frames_) {
    if (frame == 0) {
      std::fputs("\n", out);
      lineStart = true;
      continue;
    }
    if (!lineStart) std::fputs(" ", out);
    lineStart = false;
    if (const Module* module = ModuleOf(frame)) {
      std::fprintf(out, "%ls+%llx", module->name.c_str(), static_cast<unsigned long long>(frame - module->base));
    } else {
      std::fprintf(out, "?+%llx", static_cast<unsigned long long>(frame));
    }
  }
  std::fclose(out);
}

}  // namespace vq::bench
