#include "cli/MainLoop.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "cli/Failure.h"
#include "framework/Thread.h"
#include "os/Console.h"

namespace Cli {

namespace {

std::mutex WakeLock;
std::condition_variable Woken;
bool WorkQueued = false;

// A signal handler may not notify a condition, so the wait looks for an interruption this
// often.
constexpr auto SignalCheck = std::chrono::milliseconds(50);

}  // namespace

void InstallMainLoop() {
  WakeMainThread = [] {
    {
      std::lock_guard lock(WakeLock);
      WorkQueued = true;
    }
    Woken.notify_one();
  };
  Os::CatchInterruptions();
}

int InterruptSignal() { return Os::Interruption(); }

bool RunUntil(const std::function<bool()>& done, TClock::time_point deadline,
              const std::function<void()>& idle) {
  for (;;) {
    CheckSynchronize();
    if (done()) return true;
    if (Os::Interruption()) throw ECommand(ecInterrupted, "interrupted");
    const auto now = TClock::now();
    if (now >= deadline) return false;
    bool worked;
    {
      std::unique_lock lock(WakeLock);
      worked = Woken.wait_until(lock, std::min(deadline, now + SignalCheck), [] { return WorkQueued; });
      WorkQueued = false;
    }
    if (!worked && idle) idle();
  }
}

}  // namespace Cli
