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

}  // namespace

// Index of the event that satisfies the wait, or -1; consumes auto-reset events.
int TakeSignalled(const std::shared_ptr<TEvent>* events, DWORD count, bool waitAll) {
  if (waitAll) {
    for (DWORD i = 0; i < count; ++i)
      if (!events[i]->FSignalled) return -1;
    for (DWORD i = 0; i < count; ++i)
      if (!events[i]->FManualReset) events[i]->FSignalled = false;
    return 0;
  }
  for (DWORD i = 0; i < count; ++i) {
    TEvent& event = *events[i];
    if (event.FSignalled) {
      if (!event.FManualReset) event.FSignalled = false;
      return static_cast<int>(i);
    }
  }
  return -1;
}

void TEvent::Set() {
  std::lock_guard guard(EventLock());
  FSignalled = true;
  for (TWaiter* waiter : FWaiters) waiter->wake.notify_one();
}

void TEvent::Reset() {
  std::lock_guard guard(EventLock());
  FSignalled = false;
}

DWORD WaitForEvents(const std::shared_ptr<TEvent>* events, DWORD count, bool waitAll,
                    DWORD milliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  std::unique_lock guard(EventLock());
  int index = TakeSignalled(events, count, waitAll);
  if (index >= 0) return WAIT_OBJECT_0 + index;
  if (milliseconds == 0) return WAIT_TIMEOUT;

  TWaiter waiter;
  for (DWORD i = 0; i < count; ++i) events[i]->FWaiters.push_back(&waiter);
  while (index < 0) {
    if (milliseconds == INFINITE) {
      waiter.wake.wait(guard);
    } else if (waiter.wake.wait_until(guard, deadline) == std::cv_status::timeout) {
      index = TakeSignalled(events, count, waitAll);
      break;
    }
    index = TakeSignalled(events, count, waitAll);
  }
  for (DWORD i = 0; i < count; ++i) {
    auto& list = events[i]->FWaiters;
    list.erase(std::find(list.begin(), list.end(), &waiter));
  }
  return index >= 0 ? WAIT_OBJECT_0 + index : WAIT_TIMEOUT;
}

}  // namespace ComPlatform::Posix
