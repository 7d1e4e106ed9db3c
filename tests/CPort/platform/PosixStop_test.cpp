// A stop, a mask change or a close that comes while the port's event thread is between two
// steps of its wait must end that wait at once, wherever the thread is. The backend's step
// hook holds the thread at one step while the change is made; once let go, the thread must
// not sleep on until some later event or time limit.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "CPort/ComPort.h"
#include "CPort/platform/PosixDrive.h"
#include "CPort/platform/SerialPlatform.h"
#include "ProgrammerBlock.h"
#include "PtyPair.h"
#include "framework/Thread.h"
#include "link/ProgrammerLine.h"

using namespace ComPlatform;
using namespace std::chrono_literals;
using Posix::TDriveStep;
using TClock = std::chrono::steady_clock;

namespace {

// Holds the first thread other than the main thread that reaches the chosen step, once.
struct THold {
  static inline std::atomic<TDriveStep> Step{TDriveStep::IdleBegins};
  static inline std::atomic<bool> Armed{false}, Reached{false}, Released{false};
  static inline TClock::time_point ReleasedAt;

  static void Hook(TDriveStep step) {
    if (step != Step || IsMainThread() || !Armed.exchange(false)) return;
    Reached = true;
    std::this_thread::sleep_for(50ms);  // meanwhile the test makes its change
    ReleasedAt = TClock::now();
    Released = true;
  }
  explicit THold(TDriveStep step) {
    Step = step;
    Reached = Released = false;
    Posix::DriveStepHook = &Hook;
  }
  ~THold() { Posix::DriveStepHook = nullptr; }
  void Arm() { Armed = true; }
  bool WaitReached() const {
    for (auto until = TClock::now() + 5s; !Reached; std::this_thread::sleep_for(1ms))
      if (TClock::now() > until) return false;
    return true;
  }
  // From the thread's release to now.
  static TClock::duration SinceRelease() {
    while (!Released) std::this_thread::sleep_for(1ms);
    return TClock::now() - ReleasedAt;
  }
};

// Far below the second a missed change would cost, far above what a loaded machine adds.
constexpr auto Promptly = 300ms;

constexpr TDriveStep Steps[] = {TDriveStep::IdleBegins, TDriveStep::Checked, TDriveStep::Woken};

TSerialPlatform& P() { return NativeSerialPlatform(); }

}  // namespace

TEST(PosixStop, ClosePortReturnsAtOnceWhereverTheStopFindsTheEventThread) {
  for (TDriveStep step : Steps) {
    SCOPED_TRACE(static_cast<int>(step));
    TPtyPair pty;
    TComPort port(nullptr);
    port.SetPort(pty.SlavePath());
    ConfigureProgrammerLine(port);
    int deliveries = 0;
    port.OnRxChar = [&](TObject*, int count) {
      std::string text;
      port.ReadText(text, count);
      ++deliveries;
    };
    THold hold(step);
    port.OpenPort();
    pty.Send("a");
    for (auto until = TClock::now() + 5s; deliveries == 0 && TClock::now() < until;)
      if (!CheckSynchronize()) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(deliveries, 1);
    // The thread idles after its delivery; the next byte takes it through every step.
    hold.Arm();
    pty.Send("b");
    ASSERT_TRUE(hold.WaitReached());
    port.ClosePort();
    EXPECT_LT(THold::SinceRelease(), Promptly);
  }
}

TEST(PosixStop, AStopAMaskChangeOrACloseEndsTheIdlingAfterADeliveryAtOnce) {
  enum TChange { Stop, Mask, Close };
  for (TChange change : {Stop, Mask, Close}) {
    for (TDriveStep step : {TDriveStep::IdleBegins, TDriveStep::Checked}) {
      SCOPED_TRACE(std::to_string(change) + "/" + std::to_string(static_cast<int>(step)));
      TPtyPair pty;
      HANDLE port = P().CreateFileA(pty.SlavePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
      ASSERT_NE(port, INVALID_HANDLE_VALUE);
      ASSERT_TRUE(P().SetCommState(port, ProgrammerBlock()));
      ASSERT_TRUE(P().SetCommMask(port, 0x05FF));
      HANDLE stop = P().CreateEventA(true, false);
      OVERLAPPED wait;
      wait.hEvent = P().CreateEventA(true, true);
      THold hold(step);
      std::atomic<bool> idled{false};
      TClock::time_point idledAt;
      // The event thread's round: the wait ends on the arrival, the delivery is handed over,
      // and the thread idles on, held at the step.
      std::thread thread([&] {
        DWORD mask = 0, ignored = 0;
        P().WaitCommEvent(port, &mask, &wait);
        const HANDLE handles[] = {stop, wait.hEvent};
        const DWORD woke = P().WaitForMultipleObjects(2, handles, false, INFINITE);
        P().GetOverlappedResult(port, &wait, &ignored, false);
        hold.Arm();
        if (woke == WAIT_OBJECT_0 + 1) SynchronizeIdle.load()();
        idledAt = TClock::now();
        idled = true;
      });
      pty.Send("x");
      ASSERT_TRUE(hold.WaitReached());
      if (change == Stop) P().SetEvent(stop);
      if (change == Mask) P().SetCommMask(port, 0);
      if (change == Close) P().CloseHandle(port);
      for (auto until = TClock::now() + 3s; !idled && TClock::now() < until;)
        std::this_thread::sleep_for(1ms);
      ASSERT_TRUE(idled);
      EXPECT_LT(idledAt - THold::ReleasedAt, Promptly);
      thread.join();
      if (change != Close) P().CloseHandle(port);
      P().CloseHandle(stop);
      P().CloseHandle(wait.hEvent);
    }
  }
}
