#include "platform/win32/management_thread.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "platform/failure.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_failure.h"

namespace vq::win32 {

namespace {

struct Job {
  std::function<void()> call;
  bool done = false;
  std::optional<Failure> failure;
};

}  // namespace

struct ManagementThread::Shared {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::shared_ptr<Job>> jobs;
  bool closing = false, ended = false;
};

ManagementThread::ManagementThread(std::chrono::milliseconds patience)
    : patience_(patience), shared_(std::make_shared<Shared>()) {
  thread_ = std::thread([shared = shared_] { Serve(shared); });
}

ManagementThread::~ManagementThread() {
  std::unique_lock lock(shared_->lock);
  shared_->closing = true;
  shared_->changed.notify_all();
  // A thread held up in a management call for good must not hold up the
  // program's end; what it uses it shares, so it may end whenever it can.
  const bool ended = shared_->changed.wait_for(lock, std::chrono::seconds(2), [&] { return shared_->ended; });
  lock.unlock();
  if (ended) {
    thread_.join();
  } else {
    thread_.detach();
  }
}

void ManagementThread::Call(std::function<void()> call, EventPump& waiting) {
  constexpr auto kSpell = std::chrono::milliseconds(20);
  auto job = std::make_shared<Job>();
  job->call = std::move(call);
  const auto givenUp = std::chrono::steady_clock::now() + patience_;
  std::unique_lock lock(shared_->lock);
  shared_->jobs.push_back(job);
  shared_->changed.notify_all();
  while (!shared_->changed.wait_for(lock, kSpell, [&] { return job->done; })) {
    if (std::chrono::steady_clock::now() >= givenUp) {
      gaveUp_ = true;
      throw Failure("The management service did not answer for a minute");
    }
    lock.unlock();
    waiting.DoEvents();
    lock.lock();
  }
  if (job->failure) throw *job->failure;
}

void ManagementThread::Post(std::function<void()> call) {
  auto job = std::make_shared<Job>();
  job->call = std::move(call);
  const std::lock_guard lock(shared_->lock);
  shared_->jobs.push_back(std::move(job));
  shared_->changed.notify_all();
}

void ManagementThread::Serve(const std::shared_ptr<Shared>& shared) {
  {
    const ComApartment apartment(COINIT_MULTITHREADED);
    std::unique_lock lock(shared->lock);
    for (;;) {
      shared->changed.wait(lock, [&] { return shared->closing || !shared->jobs.empty(); });
      if (shared->jobs.empty()) break;
      const std::shared_ptr<Job> job = std::move(shared->jobs.front());
      shared->jobs.pop_front();
      lock.unlock();
      std::optional<Failure> failure;
      try {
        ThrowIfFailedHr("CoInitializeEx", apartment.result());
        job->call();
      } catch (const Failure& thrown) {
        failure = thrown;
      } catch (const std::exception& thrown) {
        failure = Failure(thrown.what());
      }
      job->call = nullptr;  // what the call held is let go here, in the apartment
      lock.lock();
      job->failure = std::move(failure);
      job->done = true;
      shared->changed.notify_all();
    }
  }
  // Only now, the apartment left: leaving it can wait on what it held.
  const std::lock_guard lock(shared->lock);
  shared->ended = true;
  shared->changed.notify_all();
}

}  // namespace vq::win32
