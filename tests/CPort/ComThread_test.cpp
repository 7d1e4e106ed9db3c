#include <atomic>
#include <stdexcept>

#include "CPort/ComThread.h"
#include "CPort/EComPort.h"
#include "FakePortFixture.h"
#include "framework/ShownErrors.h"

namespace {

using namespace ComPlatform;

TEST(ComEventMask, TenEventsMapToTheirPlatformBitsAndBack) {
  EXPECT_EQ(EventsToMask(AllComEvents), 0x05FFu);
  EXPECT_EQ(EventsToMask({evRxFlag}), EV_RXFLAG);
  EXPECT_EQ(EventsToMask({evTxEmpty, evRing}), EV_TXEMPTY | EV_RING);
  EXPECT_TRUE(MaskToEvents(EV_PERR).Empty());
  EXPECT_EQ(MaskToEvents(0xFFFFFFFF), AllComEvents);
  for (int e = evRxChar; e <= evRx80Full; ++e)
    EXPECT_EQ(MaskToEvents(EventsToMask({TComEvent(e)})), TComEvents{TComEvent(e)});
}

class ComEvents : public FakePortTest {
protected:
  void OpenWith(TSyncMethod sync) {
    Port->SetSyncMethod(sync);
    Port->OpenPort();
    ASSERT_TRUE(Fake.WaitForEventWait());
  }
  void Log(const std::string& entry) {
    std::lock_guard lock(FLogLock);
    FLog.push_back(entry);
  }
  std::vector<std::string> TakeLog() {
    std::lock_guard lock(FLogLock);
    return std::exchange(FLog, {});
  }
  std::size_t LogSize() {
    std::lock_guard lock(FLogLock);
    return FLog.size();
  }
  void LogEverything() {
    Port->OnRxChar = [&](TObject*, int count) { Log("RxChar " + std::to_string(count) + Thread()); };
    Port->OnError = [&](TObject*, TComErrors e) { Log("Error " + std::to_string(e.ToBits())); };
    Port->OnTxEmpty = [&](TObject*) { Log("TxEmpty"); };
    Port->OnBreak = [&](TObject*) { Log("Break"); };
    Port->OnRing = [&](TObject*) { Log("Ring"); };
    Port->OnRxFlag = [&](TObject*) { Log("RxFlag"); };
    Port->OnRx80Full = [&](TObject*) { Log("Rx80Full"); };
    Port->OnCTSChange = [&](TObject*, bool on) { Log(on ? "CTS on" : "CTS off"); };
    Port->OnDSRChange = [&](TObject*, bool on) { Log(on ? "DSR on" : "DSR off"); };
    Port->OnRLSDChange = [&](TObject*, bool on) { Log(on ? "RLSD on" : "RLSD off"); };
  }
  static std::string Thread() { return IsMainThread() ? " main" : " other"; }

  void SetUp() override {
    FakePortTest::SetUp();
    Port = std::make_unique<TComPort>(nullptr);
  }
  void TearDown() override {
    Port.reset();
    EXPECT_EQ(Fake.OpenEvents(), 0);
    FakePortTest::TearDown();
  }

  std::unique_ptr<TComPort> Port;
  std::mutex FLogLock;
  std::vector<std::string> FLog;
};

TEST_F(ComEvents, ABatchIsDeliveredOnTheMainThreadInTheFixedOrder) {
  LogEverything();
  OpenWith(smThreadSync);
  TakeLog();  // the line states after opening
  Fake.SetModemStatus(MS_CTS_ON);
  Fake.Receive("abc", 0x05FF, CE_FRAME);  // everything in one moment: one batch
  ASSERT_TRUE(RunUntil([&] { return LogSize() >= 10; }));
  EXPECT_EQ(TakeLog(),
            (std::vector<std::string>{"Error 1", "RxChar 3 main", "TxEmpty", "Break", "Ring",
                                      "CTS on", "DSR off", "RxFlag", "RLSD off", "Rx80Full"}));
}

TEST_F(ComEvents, NoCountNoCallAndNoErrorsNoCall) {
  LogEverything();
  OpenWith(smThreadSync);
  TakeLog();
  Fake.RaiseLineEvents(EV_RXCHAR | EV_ERR);  // nothing waits, no error pending
  ASSERT_TRUE(RunUntil([&] { return Fake.WaitForEventWait(0); }));  // delivered, waiting again
  Fake.RaiseLineEvents(EV_RING);
  ASSERT_TRUE(RunUntil([&] { return LogSize() >= 1; }));
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"Ring"});
}

TEST_F(ComEvents, BytesArrivingDuringAHandlerComeInOneLaterDelivery) {
  std::vector<int> counts;
  Port->OnRxChar = [&](TObject*, int count) {
    counts.push_back(count);
    std::string text;
    Port->ReadText(text, count);
    if (counts.size() == 1) {
      // Two bursts while this handler runs.
      Fake.Receive("12345");
      Fake.Receive("67890");
    }
  };
  OpenWith(smThreadSync);
  Fake.Receive("A");
  ASSERT_TRUE(RunUntil([&] { return counts.size() >= 2; }));
  EXPECT_EQ(counts, (std::vector<int>{1, 10}));
  EXPECT_TRUE(Fake.PendingInput().empty());
}

TEST_F(ComEvents, AHandlerThatRaisesEndsTheThreadWithoutAMessage) {
  TShownErrors shown;
  int calls = 0;
  Port->OnRxChar = [&](TObject*, int) {
    ++calls;
    throw EComPort::CreateFromCode(3);
  };
  OpenWith(smThreadSync);
  Fake.Receive("x");
  ASSERT_TRUE(RunUntil([&] { return calls == 1; }));
  Fake.Receive("y");
  // The thread has ended: no wait is pending any more and nothing is delivered.
  EXPECT_FALSE(Fake.WaitForEventWait(200));
  CheckSynchronize();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(Port->Connected());
  Port->ClosePort();  // finds the thread ended and does not hang
  EXPECT_TRUE(shown.Messages.empty());
  EXPECT_EQ(Fake.OpenEvents(), 0);

  Port->OpenPort();  // a new opening delivers again
  ASSERT_TRUE(Fake.WaitForEventWait());
  Port->OnRxChar = [&](TObject*, int) { ++calls; };
  Fake.Receive("z");
  EXPECT_TRUE(RunUntil([&] { return calls == 2; }));
}

TEST_F(ComEvents, ClosingRunsADeliveryThatWasAlreadyQueued) {
  std::vector<std::string> order;
  Port->OnRxChar = [&](TObject*, int count) {
    order.push_back("RxChar " + std::to_string(count) + (Port->Connected() ? " open" : " closed"));
  };
  Port->OnBeforeClose = [&](TObject*) { order.push_back("BeforeClose"); };
  Port->OnAfterClose = [&](TObject*) { order.push_back("AfterClose"); };
  std::atomic<bool> woken{false};
  WakeMainThread = [&] { woken = true; };
  OpenWith(smThreadSync);
  Fake.Receive("abcd");
  // The delivery is queued for the main thread, which has not run it yet.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!woken && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_TRUE(woken);
  WakeMainThread = nullptr;
  Port->ClosePort();
  // The purge that ends the thread empties the queue only after the delivery has run.
  EXPECT_EQ(order, (std::vector<std::string>{"BeforeClose", "RxChar 4 open", "AfterClose"}));
}

TEST_F(ComEvents, AStopRequestWinsOverALineEventAtTheSameMoment) {
  int calls = 0;
  Port->OnRxChar = [&](TObject*, int) { ++calls; };
  OpenWith(smThreadSync);
  // The thread's wait sees nothing until both the stop request and a line event are there.
  Fake.HoldWaits(true);
  Fake.Receive("x");
  std::thread releaser([&] {
    auto stopped = [&] {
      for (const auto& name : Fake.CallNames())
        if (name == "SetEvent") return true;
      return false;
    };
    while (!stopped()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Fake.HoldWaits(false);
  });
  Port->ClosePort();
  releaser.join();
  EXPECT_EQ(calls, 0);
}

TEST_F(ComEvents, WithoutSynchronisationHandlersRunOnTheEventThread) {
  LogEverything();
  OpenWith(smNone);
  TakeLog();
  Fake.Receive("xy");
  ASSERT_TRUE(RunUntil([&] { return LogSize() >= 1; }));
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"RxChar 2 other"});
}

TEST_F(ComEvents, WindowMessagesCarryOneEventEachWithItsCode) {
  LogEverything();
  OpenWith(smWindowSync);
  TakeLog();
  Fake.SetModemStatus(MS_RLSD_ON);
  Fake.RaiseLineEvents(EV_RLSD);
  ASSERT_TRUE(RunUntil([&] { return LogSize() >= 1; }));
  Fake.RaiseLineEvents(EV_RING);
  ASSERT_TRUE(RunUntil([&] { return LogSize() >= 2; }));
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"RLSD on", "Ring"}));

  TShownErrors shown;
  Port->OnBreak = [&](TObject*) { throw std::runtime_error("break handler"); };
  Fake.RaiseLineEvents(EV_BREAK);
  ASSERT_TRUE(RunUntil([&] { return !shown.Messages.empty(); }));
  EXPECT_EQ(shown.Messages, std::vector<std::string>{"break handler"});  // shown, and the thread carries on
  Fake.Receive("q");
  ASSERT_TRUE(RunUntil([&] { return LogSize() >= 1; }));
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"RxChar 1 main"});
  Port->ClosePort();
  EXPECT_EQ(Fake.OpenEvents(), 0);
}

TEST_F(ComEvents, AWindowMessageHandlerMayCloseItsOwnPort) {
  // The message window goes with the close while its procedure is still on the stack.
  int closes = 0;
  Port->OnRxChar = [&](TObject* sender, int) { static_cast<TCustomComPort*>(sender)->ClosePort(); };
  Port->OnAfterClose = [&](TObject*) { ++closes; };
  OpenWith(smWindowSync);
  Fake.Receive("bye");
  ASSERT_TRUE(RunUntil([&] { return closes == 1; }));
  EXPECT_FALSE(Port->Connected());
  CheckSynchronize();
  EXPECT_EQ(Fake.OpenEvents(), 0);
}

TEST_F(ComEvents, AVanishedDeviceStopsDeliveriesWithoutSpinning) {
  int calls = 0;
  Port->OnRxChar = [&](TObject*, int) { ++calls; };
  OpenWith(smThreadSync);
  Fake.Unplug();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  int waits = 0;
  for (const auto& name : Fake.CallNames()) waits += name == "WaitCommEvent";
  EXPECT_LE(waits, 3);  // one failed restart, then only the stop request ends the wait
  EXPECT_THROW(Port->ClosePort(), EComPort);  // the abort fails on the vanished device
  EXPECT_TRUE(Port->Connected());
}

}  // namespace
