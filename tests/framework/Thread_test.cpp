#include "framework/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <stdexcept>
#include <thread>

namespace {

class TLambdaThread : public TThread {
public:
  explicit TLambdaThread(std::function<void()> body) : FBody(std::move(body)) {}
  ~TLambdaThread() override { WaitFor(); }

protected:
  void Execute() override { FBody(); }

private:
  std::function<void()> FBody;
};

TEST(Thread, RunsOnItsOwnThreadOnlyOnceStarted) {
  std::atomic<bool> ran{false};
  std::thread::id where;
  TLambdaThread thread([&] {
    where = std::this_thread::get_id();
    ran = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(ran);
  thread.Start();
  thread.WaitFor();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(thread.Finished());
  EXPECT_NE(where, std::this_thread::get_id());
  EXPECT_TRUE(IsMainThread());
}

TEST(Thread, SynchronizeRunsOnTheMainThreadAndWaitsForIt) {
  bool onMain = false;
  int order = 0;
  int seenAfterCall = 0;
  TLambdaThread thread([&] {
    TThread::Synchronize([&] {
      onMain = IsMainThread();
      order = 1;
    });
    seenAfterCall = order;  // the call has finished before Synchronize returns
  });
  thread.Start();
  thread.WaitFor();  // keeps running queued calls while it waits
  EXPECT_TRUE(onMain);
  EXPECT_EQ(seenAfterCall, 1);
  EXPECT_EQ(thread.FatalException(), nullptr);
}

TEST(Thread, SynchronizeCarriesAnExceptionBackToTheCaller) {
  std::string caught;
  TLambdaThread thread([&] {
    try {
      TThread::Synchronize([] { throw std::runtime_error("handler failed"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
  });
  thread.Start();
  thread.WaitFor();
  EXPECT_EQ(caught, "handler failed");
}

TEST(Thread, AnExceptionThatLeavesExecuteEndsTheThreadQuietly) {
  TLambdaThread thread([] { throw std::runtime_error("gone"); });
  thread.Start();
  thread.WaitFor();
  EXPECT_TRUE(thread.Finished());
  ASSERT_NE(thread.FatalException(), nullptr);
}

TEST(Thread, SynchronizeOnTheMainThreadRunsAtOnce) {
  bool ran = false;
  TThread::Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_FALSE(CheckSynchronize());  // nothing was queued
}

TEST(Thread, QueuedCallsWakeTheMainLoopAndRunInOrder) {
  std::atomic<int> wakes{0};
  WakeMainThread = [&] { ++wakes; };
  std::vector<int> order;
  // A plain thread: joining it runs nothing queued, unlike TThread::WaitFor.
  std::thread producer([&] {
    QueueOnMainThread([&] { order.push_back(1); });
    QueueOnMainThread([&] { order.push_back(2); });
  });
  producer.join();
  WakeMainThread = nullptr;
  EXPECT_EQ(wakes.load(), 2);
  EXPECT_TRUE(order.empty());
  EXPECT_TRUE(CheckSynchronize());
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(Thread, WaitForRunsQueuedCallsWithoutBusyWaiting) {
  std::vector<int> order;
  TLambdaThread thread([&] {
    QueueOnMainThread([&] { order.push_back(1); });
    TThread::Synchronize([&] { order.push_back(2); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  });
  thread.Start();
  std::clock_t before = std::clock();
  thread.WaitFor();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  // Sleeping in the wait, not spinning: far less processor time than the 100 ms waited.
  EXPECT_LT(static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC, 0.05);
}

TEST(Thread, CheckSynchronizeOffTheMainThreadRunsNothing) {
  bool ran = false;
  QueueOnMainThread([&] { ran = true; });
  bool result = true;
  std::thread other([&] { result = CheckSynchronize(); });
  other.join();
  EXPECT_FALSE(result);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(CheckSynchronize());
  EXPECT_TRUE(ran);
}

TEST(Thread, ManySynchronisedCallsFromSeveralThreadsAllRunOnce) {
  int total = 0;  // touched on the main thread only
  std::vector<std::unique_ptr<TLambdaThread>> threads;
  for (int t = 0; t < 4; ++t)
    threads.push_back(std::make_unique<TLambdaThread>([&] {
      for (int i = 0; i < 200; ++i) TThread::Synchronize([&] { ++total; });
    }));
  for (auto& thread : threads) thread->Start();
  for (auto& thread : threads) thread->WaitFor();
  EXPECT_EQ(total, 800);
}

}  // namespace
