#include "CPort/EventWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "framework/Thread.h"

namespace {

// Runs the main thread's queued work until done() holds.
bool RunUntil(const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (!CheckSynchronize()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(EventWindow, AMessageFromAnotherThreadRunsOnTheMainThreadAndTheSenderWaits) {
  bool onMain = false;
  TEventWindow* self = nullptr;
  bool waitingSender = false;
  TEventWindow window([&](unsigned message, std::uintptr_t wParam, std::intptr_t) {
    onMain = IsMainThread();
    waitingSender = self->InSendMessage();
    return static_cast<std::intptr_t>(message + wParam);
  });
  self = &window;
  std::atomic<std::intptr_t> result{-1};
  std::thread sender([&] { result = window.SendMessageA(0x0401, 32, 0); });
  ASSERT_TRUE(RunUntil([&] { return result != -1; }));
  sender.join();
  EXPECT_EQ(result, 0x0401 + 32);
  EXPECT_TRUE(onMain);
  EXPECT_TRUE(waitingSender);
}

TEST(EventWindow, AReplyReleasesTheSenderBeforeTheProcedureEnds) {
  TEventWindow* self = nullptr;
  std::atomic<bool> senderReleased{false};
  bool releasedInsideProcedure = false;
  bool stillWaitingAfterReply = true;
  TEventWindow window([&](unsigned, std::uintptr_t, std::intptr_t) -> std::intptr_t {
    self->ReplyMessage(7);
    stillWaitingAfterReply = self->InSendMessage();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!senderReleased && std::chrono::steady_clock::now() < deadline)
      std::this_thread::yield();
    releasedInsideProcedure = senderReleased;
    return 99;  // too late: the reply has been given
  });
  self = &window;
  std::atomic<std::intptr_t> result{-1};
  std::thread sender([&] {
    result = window.SendMessageA(0x0401, 1, 0);
    senderReleased = true;
  });
  ASSERT_TRUE(RunUntil([&] { return senderReleased.load(); }));
  sender.join();
  EXPECT_EQ(result, 7);
  EXPECT_TRUE(releasedInsideProcedure);
  EXPECT_FALSE(stillWaitingAfterReply);
}

TEST(EventWindow, OnTheMainThreadTheProcedureRunsAtOnce) {
  TEventWindow* self = nullptr;
  bool cross = true;
  TEventWindow window([&](unsigned, std::uintptr_t, std::intptr_t) -> std::intptr_t {
    cross = self->InSendMessage();
    return 3;
  });
  self = &window;
  EXPECT_EQ(window.SendMessageA(5, 0, 0), 3);
  EXPECT_FALSE(cross);
  EXPECT_EQ(TEventWindow::DefWindowProcA(0x0010, 0, 0), 0);
}

}  // namespace
