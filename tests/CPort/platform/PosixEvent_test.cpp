#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "CPort/platform/SerialPlatform.h"

using namespace ComPlatform;

namespace {

TSerialPlatform& P() { return NativeSerialPlatform(); }

struct TEvents {
  HANDLE a, b;
  TEvents(bool manualA, bool initialA, bool manualB, bool initialB)
      : a(P().CreateEventA(manualA, initialA)), b(P().CreateEventA(manualB, initialB)) {}
  ~TEvents() {
    P().CloseHandle(a);
    P().CloseHandle(b);
  }
};

}  // namespace

TEST(PosixEvents, ManualResetStaysSignalledAutoResetIsConsumedByOneWait) {
  TEvents e(true, true, false, true);
  EXPECT_EQ(P().WaitForSingleObject(e.a, 0), WAIT_OBJECT_0);
  EXPECT_EQ(P().WaitForSingleObject(e.a, 0), WAIT_OBJECT_0);
  EXPECT_EQ(P().WaitForSingleObject(e.b, 0), WAIT_OBJECT_0);
  EXPECT_EQ(P().WaitForSingleObject(e.b, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(P().ResetEvent(e.a));
  EXPECT_EQ(P().WaitForSingleObject(e.a, 10), WAIT_TIMEOUT);
}

TEST(PosixEvents, LowestSignalledIndexWinsAndWaitAllNeedsEvery) {
  TEvents e(true, true, true, true);
  HANDLE both[] = {e.a, e.b};
  EXPECT_EQ(P().WaitForMultipleObjects(2, both, false, INFINITE), WAIT_OBJECT_0);
  P().ResetEvent(e.a);
  EXPECT_EQ(P().WaitForMultipleObjects(2, both, false, INFINITE), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(P().WaitForMultipleObjects(2, both, true, 5), WAIT_TIMEOUT);
  P().SetEvent(e.a);
  EXPECT_EQ(P().WaitForMultipleObjects(2, both, true, 5), WAIT_OBJECT_0);
}

TEST(PosixEvents, InfiniteWaitEndsWhenAnotherThreadSetsTheEvent) {
  TEvents e(true, false, false, false);
  HANDLE both[] = {e.a, e.b};
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    P().SetEvent(e.b);
  });
  EXPECT_EQ(P().WaitForMultipleObjects(2, both, false, INFINITE), WAIT_OBJECT_0 + 1);
  setter.join();
  // The auto-reset event was consumed by that wait.
  EXPECT_EQ(P().WaitForSingleObject(e.b, 0), WAIT_TIMEOUT);
}

TEST(PosixEvents, TimedWaitReturnsTimeoutAfterItsTime) {
  TEvents e(true, false, true, false);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(P().WaitForSingleObject(e.a, 50), WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST(PosixEvents, AutoResetEventReleasesOneOfTwoWaiters) {
  TEvents e(false, false, true, false);
  std::atomic<int> woken{0};
  auto waiter = [&] {
    if (P().WaitForSingleObject(e.a, 300) == WAIT_OBJECT_0) ++woken;
  };
  std::thread one(waiter), two(waiter);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  P().SetEvent(e.a);
  one.join();
  two.join();
  EXPECT_EQ(woken.load(), 1);
}

TEST(PosixEvents, ClosedOrUnknownHandlesFailWithInvalidHandle) {
  HANDLE event = P().CreateEventA(true, true);
  ASSERT_TRUE(P().CloseHandle(event));
  EXPECT_FALSE(P().SetEvent(event));
  EXPECT_EQ(P().GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(P().WaitForSingleObject(event, 0), WAIT_FAILED);
  EXPECT_EQ(P().GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(P().CloseHandle(event));
  EXPECT_FALSE(P().CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(P().CloseHandle(nullptr));
  // A new object never takes over the number of a closed one.
  HANDLE next = P().CreateEventA(true, false);
  EXPECT_NE(next, event);
  P().CloseHandle(next);
}

TEST(PosixEvents, LastErrorBelongsToTheThreadThatFailed) {
  EXPECT_FALSE(P().SetEvent(nullptr));
  DWORD other = 1234;
  std::thread([&] { other = P().GetLastError(); }).join();
  EXPECT_EQ(other, ERROR_SUCCESS);
  EXPECT_EQ(P().GetLastError(), ERROR_INVALID_HANDLE);
}
