#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "platform/event_pump.h"

namespace vq::win32 {

// A thread of the process's multithreaded COM apartment that makes the
// management calls, so that none of them holds up the window: Wine's
// management service builds a query's whole table inside ExecQuery whatever
// flags it is given (85-135 ms for two dozen services, and loading it takes
// 70 ms more on the first connection), and on Windows a first connection can
// wait for the service to start. The window's thread hands each call over
// and handles its events while it waits. What a call leaves for later calls
// it keeps in shared_ptrs, so a call given up on dangles nothing.
class ManagementThread {
 public:
  // Gives a call up after `patience` without an answer.
  explicit ManagementThread(std::chrono::milliseconds patience = std::chrono::seconds(65));
  // Lets the thread end once it has run what it was given; one held up in a
  // call is left to end by itself.
  ~ManagementThread();
  ManagementThread(const ManagementThread&) = delete;
  ManagementThread& operator=(const ManagementThread&) = delete;

  // Runs the call on the thread and waits for it in 20 ms spells, handling
  // the waiting events between them (a call made from them runs after this
  // one); rethrows the Failure it threw. Throws Failure when it has not ended
  // within the patience: the thread is then held up, and GaveUp() is true.
  void Call(std::function<void()> call, EventPump& waiting);
  // True once a call was given up: later calls would wait behind it.
  bool GaveUp() const { return gaveUp_; }
  // Runs the call on the thread, after the ones given before, without
  // waiting for it: for releasing what lives in the apartment.
  void Post(std::function<void()> call);

 private:
  struct Shared;
  // Runs the calls in the order given until the owner has gone and none is left.
  static void Serve(const std::shared_ptr<Shared>& shared);
  std::chrono::milliseconds patience_;
  bool gaveUp_ = false;
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

// Something of the management thread's apartment (a COM pointer) that the
// window's thread holds between calls; calls capture get(), and the last
// hold on it is let go on the management thread, after the calls before.
template <class T>
class HeldThere {
 public:
  explicit HeldThere(std::shared_ptr<ManagementThread> thread)
      : thread_(std::move(thread)), value_(std::make_shared<T>()) {}
  ~HeldThere() {
    if (!value_) return;
    try {
      thread_->Post([value = std::move(value_)]() mutable { value.reset(); });
    } catch (...) {
      // Out of memory: it is let go here rather than end the program.
    }
  }
  HeldThere(HeldThere&&) = default;
  HeldThere(const HeldThere&) = delete;
  HeldThere& operator=(const HeldThere&) = delete;
  HeldThere& operator=(HeldThere&&) = delete;

  const std::shared_ptr<T>& get() const { return value_; }
  const std::shared_ptr<ManagementThread>& thread() const { return thread_; }

 private:
  std::shared_ptr<ManagementThread> thread_;
  std::shared_ptr<T> value_;
};

}  // namespace vq::win32
