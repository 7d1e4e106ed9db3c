#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>

#include "CPort/ComPort.h"
#include "CPort/EComPort.h"
#include "framework/ShownErrors.h"
#include "framework/Thread.h"
#include "platform/PtyPair.h"

// The port on its real backend, against a pseudo-terminal whose master side the test drives.

namespace {

class ComPortPty : public ::testing::Test {
protected:
  void SetUp() override {
    Port = std::make_unique<TComPort>(nullptr);
    Port->SetPort(Pty.SlavePath());
    Port->SetBaudRate(br57600);
    Port->Buffer().SetInputSize(8192);
    Port->Buffer().SetOutputSize(8192);
  }
  void TearDown() override {
    Port.reset();
    CheckSynchronize();
    WakeMainThread = nullptr;
  }

  // Runs the main thread's queued work until done() holds.
  static bool RunUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (!CheckSynchronize()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  static std::string AllByteValues() {
    std::string bytes;
    for (int c = 0; c < 256; ++c) bytes += static_cast<char>(c);
    return bytes;
  }

  TPtyPair Pty;
  std::unique_ptr<TComPort> Port;
};

TEST_F(ComPortPty, BytesOfEveryValueCrossBothWaysUnchanged) {
  Port->SetEvents({});
  Port->OpenPort();
  const std::string bytes = AllByteValues();
  EXPECT_EQ(Port->WriteText(bytes), 256);
  auto sent = Pty.Receive(256);
  EXPECT_EQ(std::string(sent.begin(), sent.end()), bytes);

  Pty.Send(bytes);
  ASSERT_TRUE(Eventually([&] { return Port->PendingInputCount() == 256; }));
  std::string text;
  EXPECT_EQ(Port->ReadText(text, 256), 256);
  EXPECT_EQ(text, bytes);
}

TEST_F(ComPortPty, AReadReturnsAtOnceWithWhatIsWaiting) {
  Port->SetEvents({});
  Port->OpenPort();
  std::string text;
  EXPECT_EQ(Port->ReadText(text, 10), 0);
  EXPECT_TRUE(text.empty());
  Pty.Send("abcd");
  ASSERT_TRUE(Eventually([&] { return Port->PendingInputCount() == 4; }));
  EXPECT_EQ(Port->ReadText(text, 10), 4);
  EXPECT_EQ(text, "abcd");
}

TEST_F(ComPortPty, ReceivedBytesAreReportedOnTheMainThreadWithTheWaitingCount) {
  std::string received;
  bool allOnMain = true;
  bool countsPositive = true;
  Port->OnRxChar = [&](TObject* sender, int count) {
    allOnMain &= IsMainThread() && sender == Port.get();
    countsPositive &= count >= 1;
    std::string text;
    EXPECT_EQ(Port->ReadText(text, count), count);  // every reported byte is there
    received += text;
  };
  Port->OpenPort();
  Pty.Send("1F0Ready\r\n");
  ASSERT_TRUE(RunUntil([&] { return received.size() >= 10; }));
  EXPECT_EQ(received, "1F0Ready\r\n");
  EXPECT_TRUE(allOnMain);
  EXPECT_TRUE(countsPositive);
}

TEST_F(ComPortPty, BurstsDuringAHandlerArriveInOneLaterDelivery) {
  std::vector<int> counts;
  Port->OnRxChar = [&](TObject*, int count) {
    counts.push_back(count);
    std::string text;
    Port->ReadText(text, count);
    if (counts.size() == 1) {
      Pty.Send("12345");
      Pty.Send("67890");
      ASSERT_TRUE(Eventually([&] { return Port->PendingInputCount() == 10; }));
    }
  };
  Port->OpenPort();
  Pty.Send("A");
  ASSERT_TRUE(RunUntil([&] { return counts.size() >= 2; }));
  EXPECT_EQ(counts, (std::vector<int>{1, 10}));
}

TEST_F(ComPortPty, ARaisingHandlerEndsDeliveriesQuietly) {
  TShownErrors shown;
  int calls = 0;
  Port->OnRxChar = [&](TObject*, int) {
    ++calls;
    throw EComPort::CreateFromCode(3);
  };
  Port->OpenPort();
  Pty.Send("x");
  ASSERT_TRUE(RunUntil([&] { return calls == 1; }));
  Pty.Send("y");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  CheckSynchronize();
  EXPECT_EQ(calls, 1);
  Port->ClosePort();
  EXPECT_TRUE(shown.Messages.empty());
}

// Between deliveries the event thread sleeps on until the line has something for it; what
// happens meanwhile must reach it at once, not after its sleep.
TEST_F(ComPortPty, TheEventThreadBetweenDeliveriesHearsOfEventsAndTheStopAtOnce) {
  int calls = 0;
  bool sent = false;
  Port->OnRxChar = [&](TObject*, int count) {
    ++calls;
    std::string text;
    Port->ReadText(text, count);
  };
  Port->OnTxEmpty = [&](TObject*) { sent = true; };
  Port->OpenPort();
  Pty.Send("x");
  ASSERT_TRUE(RunUntil([&] { return calls == 1; }));
  auto start = std::chrono::steady_clock::now();
  Port->WriteText("z");
  ASSERT_TRUE(RunUntil([&] { return sent; }));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  start = std::chrono::steady_clock::now();
  Port->ClosePort();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

// The main thread may run a delivery and close the port before the event thread, which
// handed it over, has even begun to idle: the stop must still end the idling at once. The
// event thread is held where it hands the delivery over until the main thread closes.
TEST_F(ComPortPty, ClosingRightAfterADeliveryIsNotHeldByTheEventThread) {
  bool got = false;
  std::atomic<bool> closing{false};
  Port->OnRxChar = [&](TObject*, int count) {
    std::string text;
    Port->ReadText(text, count);
    got = true;
  };
  WakeMainThread = [&] {
    while (!closing) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the stop is set meanwhile
  };
  Port->OpenPort();
  Pty.Send("x");
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!got && std::chrono::steady_clock::now() < limit) CheckSynchronize();
  ASSERT_TRUE(got);
  closing = true;
  const auto start = std::chrono::steady_clock::now();
  Port->ClosePort();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST_F(ComPortPty, ClosingRunsTheDeliveryAlreadyQueued) {
  std::vector<std::string> order;
  Port->OnRxChar = [&](TObject*, int count) {
    std::string text;
    Port->ReadText(text, count);
    order.push_back("RxChar " + text);
  };
  Port->OnBeforeClose = [&](TObject*) { order.push_back("BeforeClose"); };
  Port->OnAfterClose = [&](TObject*) { order.push_back("AfterClose"); };
  std::atomic<bool> woken{false};
  WakeMainThread = [&] { woken = true; };
  Port->OpenPort();
  Pty.Send("abcd");
  ASSERT_TRUE(Eventually([&] { return woken.load(); }));
  ASSERT_TRUE(Eventually([&] { return Port->PendingInputCount() == 4; }));
  Port->ClosePort();
  EXPECT_EQ(order, (std::vector<std::string>{"BeforeClose", "RxChar abcd", "AfterClose"}));
}

TEST_F(ComPortPty, ASecondOpenerIsRefusedAsInUse) {
  Port->OpenPort();
  TComPort second(nullptr);
  second.SetPort(Pty.SlavePath());
  try {
    second.OpenPort();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 1);
    EXPECT_EQ(e.WinErrorCode(), 5);
  }
  EXPECT_FALSE(second.Connected());
}

TEST_F(ComPortPty, AMissingDeviceIsNotFound) {
  TComPort port(nullptr);
  port.SetPort("COM1-does-not-exist");
  try {
    port.OpenPort();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Message(), "Unable to open com port (win error code: 2)");
  }
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A device that hangs up (a USB bridge unplugged, the far end of a pseudo-terminal closed)
// fails the next status question and transfer at once, with the code a vanished USB serial
// device gives, whether or not an event thread is watching the line.
TEST_F(ComPortPty, AHungUpDeviceFailsTheNextQuestionAtOnce) {
  for (const TComEvents events : {TComEvents{}, TComEvents{evRxChar}}) {
    TPtyPair pty;
    TComPort port(nullptr);
    port.SetPort(pty.SlavePath());
    port.SetEvents(events);
    port.OpenPort();
    EXPECT_EQ(port.PendingInputCount(), 0);
    pty.CloseMaster();
    for (const auto& question : std::vector<std::function<void()>>{
             [&] { port.PendingInputCount(); }, [&] { port.WriteText("x"); }}) {
      try {
        question();
        ADD_FAILURE() << "a hung-up device answered";
      } catch (const EComPort& e) {
        EXPECT_EQ(e.WinErrorCode(), 22) << e.Message();
      }
    }
    port.ClosePort();
  }
}

TEST_F(ComPortPty, AVanishedLineGivesAnErrorAndNoSpin) {
  Port->OnRxChar = [&](TObject*, int count) {
    std::string text;
    Port->ReadText(text, count);
  };
  Port->OpenPort();
  Pty.CloseMaster();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // A spinning thread would burn most of this interval.
  double before = CpuSeconds();
  for (int i = 0; i < 20; ++i) {
    CheckSynchronize();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_LT(CpuSeconds() - before, 0.1);
  EXPECT_THROW(Port->WriteText(std::string(64, 'x')), EComPort);
  try {
    Port->ClosePort();
  } catch (const EComPort&) {
    // The device may refuse even the abort; the close must still not hang.
  }
}

}  // namespace
