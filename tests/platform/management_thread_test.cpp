// The thread the management calls are made on: its apartment, the order of
// its calls, what it hands back, where what it holds is let go, and a call
// that never ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "platform/failure.h"
#include "platform/win32/management_thread.h"
#include "platform/win32/unique_handle.h"

namespace vq {
namespace {

using namespace std::chrono_literals;

struct CountingPump : EventPump {
  int handled = 0;
  const DWORD caller = ::GetCurrentThreadId();
  bool onCaller = true;
  std::function<void()> onFirst;  // something the window would do when its events are handled
  void DoEvents() override {
    onCaller = onCaller && ::GetCurrentThreadId() == caller;
    if (handled++ == 0 && onFirst) onFirst();
  }
  bool EventsDue() override { return true; }
};

std::string FailureText(const std::function<void()>& call) {
  try {
    call();
  } catch (const Failure& failure) {
    return failure.what();
  }
  return "no failure";
}

TEST(ManagementThreadOnWine, CallsRunInTheMultithreadedApartmentWhileTheCallerAnswers) {
  const win32::ComApartment com;
  auto thread = std::make_shared<win32::ManagementThread>();
  CountingPump pump;
  std::vector<std::string> order;
  // A call made while the window's events are handled runs after the one waited for.
  pump.onFirst = [&] { thread->Call([&] { order.push_back("from the events"); }, pump); };
  DWORD worker = 0;
  APTTYPE type{};
  APTTYPEQUALIFIER qualifier{};
  thread->Call(
      [&] {
        worker = ::GetCurrentThreadId();
        ::CoGetApartmentType(&type, &qualifier);
        std::this_thread::sleep_for(100ms);
        order.push_back("slow");
      },
      pump);
  EXPECT_NE(worker, pump.caller);
  EXPECT_EQ(type, APTTYPE_MTA);
  EXPECT_GE(pump.handled, 3) << "the caller answers every 20 ms";
  EXPECT_TRUE(pump.onCaller);
  EXPECT_EQ(order, (std::vector<std::string>{"slow", "from the events"}));

  EXPECT_EQ(FailureText([&] { thread->Call([] { throw Failure("Access is denied. (ConnectServer)"); }, pump); }),
            "Access is denied. (ConnectServer)");
  EXPECT_EQ(FailureText([&] { thread->Call([] { throw std::length_error("too long"); }, pump); }), "too long");

  // What the caller's thread holds there is let go on the thread, once, after the calls before.
  struct Probe {
    std::shared_ptr<std::atomic<DWORD>> releasedOn = std::make_shared<std::atomic<DWORD>>(0);
    ~Probe() { releasedOn->store(::GetCurrentThreadId()); }
  };
  std::shared_ptr<std::atomic<DWORD>> releasedOn;
  {
    win32::HeldThere<Probe> held(thread);
    releasedOn = held.get()->releasedOn;
    thread->Call([kept = held.get()] {}, pump);
    EXPECT_EQ(releasedOn->load(), 0u) << "still held";
  }
  thread->Call([] {}, pump);
  EXPECT_EQ(releasedOn->load(), worker);
  EXPECT_FALSE(thread->GaveUp());
}

TEST(ManagementThreadOnWine, ACallThatNeverEndsIsGivenUpAndHoldsNothingUp) {
  auto answer = std::make_shared<std::atomic<bool>>(false);
  CountingPump pump;
  auto thread = std::make_unique<win32::ManagementThread>(200ms);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(FailureText([&] {
              thread->Call(
                  [answer] {
                    while (!answer->load()) std::this_thread::sleep_for(5ms);
                  },
                  pump);
            }),
            "The management service did not answer for a minute");
  EXPECT_TRUE(thread->GaveUp());
  thread.reset();  // the thread is still in the call: it is left to end by itself
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  answer->store(true);
  std::this_thread::sleep_for(50ms);  // it ends now, touching only what it shares
}

}  // namespace
}  // namespace vq
