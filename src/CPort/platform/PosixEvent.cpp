#include "CPort/platform/PosixEvent.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace ComPlatform::Posix {

struct TWaiter {
  std::condition_variable wake;
};

namespace {

std::mutex& EventLock() {
  static std::mutex lock;
  return lock;
}

// Index of the event that satisfies the wait, or -1; consumes auto-reset events.
int TryTake(const std::vector<std::shared_ptr<TEvent>>& events, bool waitAll,
            const std::vector<bool*>& signalled, const std::vector<bool>& manual) {
  if (waitAll) {
    for (bool* s : signalled)
      if (!*s) return -1;
    for (std::size_t i = 0; i < events.size(); ++i)
      if (!manual[i]) *signalled[i] = false;
    return 0;
  }
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (*signalled[i]) {
      if (!manual[i]) *signalled[i] = false;
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace

void TEvent::Set() {
  std::lock_guard guard(EventLock());
  FSignalled = true;
  for (TWaiter* waiter : FWaiters) waiter->wake.notify_one();
}

void TEvent::Reset() {
  std::lock_guard guard(EventLock());
  FSignalled = false;
}

DWORD WaitForEvents(const std::vector<std::shared_ptr<TEvent>>& events, bool waitAll,
                    DWORD milliseconds) {
  std::vector<bool*> signalled;
  std::vector<bool> manual;
  for (const auto& event : events) {
    signalled.push_back(&event->FSignalled);
    manual.push_back(event->FManualReset);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);

  std::unique_lock guard(EventLock());
  int index = TryTake(events, waitAll, signalled, manual);
  if (index >= 0) return WAIT_OBJECT_0 + index;
  if (milliseconds == 0) return WAIT_TIMEOUT;

  TWaiter waiter;
  for (const auto& event : events) event->FWaiters.push_back(&waiter);
  for (;;) {
    if (milliseconds == INFINITE) {
      waiter.wake.wait(guard);
    } else if (waiter.wake.wait_until(guard, deadline) == std::cv_status::timeout) {
      index = TryTake(events, waitAll, signalled, manual);
      break;
    }
    index = TryTake(events, waitAll, signalled, manual);
    if (index >= 0) break;
  }
  for (const auto& event : events) {
    auto& list = event->FWaiters;
    list.erase(std::find(list.begin(), list.end(), &waiter));
  }
  return index >= 0 ? WAIT_OBJECT_0 + index : WAIT_TIMEOUT;
}

}  // namespace ComPlatform::Posix
