#include "cli/MainLoop.h"

#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "cli/Failure.h"
#include "framework/Thread.h"

namespace Cli {

namespace {

std::mutex WakeLock;
std::condition_variable Woken;
bool WorkQueued = false;
volatile sig_atomic_t Signal = 0;

// A signal handler may not notify a condition, so the wait looks at the signal this often.
constexpr auto SignalCheck = std::chrono::milliseconds(50);

void OnSignal(int signal) { Signal = signal; }

}  // namespace

void InstallMainLoop() {
  WakeMainThread = [] {
    {
      std::lock_guard lock(WakeLock);
      WorkQueued = true;
    }
    Woken.notify_one();
  };
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

int InterruptSignal() { return Signal; }

bool RunUntil(const std::function<bool()>& done, TClock::time_point deadline,
              const std::function<void()>& idle) {
  for (;;) {
    CheckSynchronize();
    if (done()) return true;
    if (Signal) throw ECommand(ecInterrupted, "interrupted");
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
