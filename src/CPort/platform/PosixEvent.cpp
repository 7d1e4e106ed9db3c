#include "CPort/platform/PosixEvent.h"

#include "framework/Thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>

namespace ComPlatform::Posix {

struct TWaiter {
  std::condition_variable wake;
  int fd = -1;           // the thread's wake descriptor, while it polls
  bool polling = false;  // sleeping in poll(): woken through fd, not the condition
  bool kicked = false;   // fd holds a wake that has not been read yet
};

namespace {

using TTime = TEventSource::TTime;

std::mutex& EventLock() {
  static std::mutex lock;
  return lock;
}

// The descriptor that wakes a thread from poll(), one for each thread that ever polls.
class TThreadWake {
public:
  TThreadWake() : FFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~TThreadWake() {
    if (FFd >= 0) ::close(FFd);
  }
  TThreadWake(const TThreadWake&) = delete;
  TThreadWake& operator=(const TThreadWake&) = delete;
  int Fd() const { return FFd; }

private:
  int FFd;
};

// The events and sources of the calling thread's last wait that drove a device.
struct TDrivenWait {
  std::weak_ptr<TEvent> events[MaxWaitObjects];
  std::weak_ptr<TEventSource> sources[MaxWaitObjects];
  DWORD eventCount = 0;
  DWORD sourceCount = 0;
  bool fresh = false;  // the thread's last wait was for these events
  // The event that ended it: none below it was signalled then (the lowest one wins), so any of
  // those signalled now was set since.
  DWORD satisfied = 0;

  void Record(const std::shared_ptr<TEvent>* waited, DWORD count,
              const std::shared_ptr<TEventSource>* driven, DWORD n) {
    for (DWORD i = 0; i < count; ++i) events[i] = waited[i];
    for (DWORD k = 0; k < n; ++k) sources[k] = driven[k];
    eventCount = count;
    sourceCount = n;
    fresh = true;
  }
  // A wait that ends at once drives nothing, and may still be for the same events.
  bool Same(const std::shared_ptr<TEvent>* waited, DWORD count) const {
    if (count != eventCount) return false;
    for (DWORD i = 0; i < count; ++i)
      if (events[i].lock() != waited[i]) return false;
    return true;
  }
};

TDrivenWait& LastDrivenWait() {
  thread_local TDrivenWait wait;
  return wait;
}

// Only a safety net: what ends the idling is the device or one of the events.
constexpr auto IdleLimit = std::chrono::seconds(1);

int ThreadWakeFd() {
  thread_local TThreadWake wake;
  return wake.Fd();
}

// Under the event lock.
void Kick(TWaiter& waiter) {
  if (!waiter.polling) {
    waiter.wake.notify_one();
  } else if (!waiter.kicked && waiter.fd >= 0) {
    waiter.kicked = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(waiter.fd, &one, sizeof one);
  }
}

int PollTimeout(TTime due) {
  if (due == TTime::max()) return -1;
  const TTime now = std::chrono::steady_clock::now();
  if (due <= now) return 0;
  // Rounded up, so a wake-up never comes before the time it waits for.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
  return static_cast<int>(std::min<long long>(ms, 60'000));
}

// One round of a wait whose events have sources: polls them and the thread's wake
// descriptor until either is ready or the time comes, then lets each source do its work,
// without the lock: the sources set events themselves. Without a wake descriptor (none left
// to make) the thread looks again every few ms.
void DriveSources(std::shared_ptr<TEventSource>* sources, DWORD n, TWaiter& waiter,
                  std::unique_lock<std::mutex>& guard, TTime deadline) {
  const int wakeFd = ThreadWakeFd();
  waiter.fd = wakeFd;
  waiter.polling = true;
  guard.unlock();
  pollfd fds[1 + MaxWaitObjects];
  fds[0] = {wakeFd, POLLIN, 0};
  TTime due = deadline;
  for (DWORD k = 0; k < n; ++k) {
    fds[1 + k] = {-1, 0, 0};
    sources[k]->PrepareWait(fds[1 + k], due);
  }
  int timeout = PollTimeout(due);
  if (wakeFd < 0 && (timeout < 0 || timeout > 10)) timeout = 10;
  const int ready = ::poll(fds, 1 + n, timeout);
  guard.lock();
  waiter.polling = false;  // what the sources set now needs no wake-up
  if (waiter.kicked) {
    std::uint64_t wakes;
    [[maybe_unused]] ssize_t r = ::read(wakeFd, &wakes, sizeof wakes);
    waiter.kicked = false;
  }
  guard.unlock();
  for (DWORD k = 0; k < n; ++k) {
    sources[k]->Serve(ready > 0 ? fds[1 + k].revents : 0);
    sources[k].reset();  // never the last reference under the lock
  }
  guard.lock();
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
  WakeWaitersLocked();
}

void TEvent::Reset() {
  std::lock_guard guard(EventLock());
  FSignalled = false;
}

void TEvent::SetSource(const std::weak_ptr<TEventSource>& source) {
  std::lock_guard guard(EventLock());
  FSource = source;
  WakeWaitersLocked();  // a waiter already asleep starts to drive it
}

void TEvent::ClearSource() {
  std::lock_guard guard(EventLock());
  FSource.reset();
}

void TEvent::WakeWaiters() {
  std::lock_guard guard(EventLock());
  WakeWaitersLocked();
}

void TEvent::WakeWaitersLocked() {
  for (TWaiter* waiter : FWaiters) Kick(*waiter);
}

DWORD WaitForEvents(const std::shared_ptr<TEvent>* events, DWORD count, bool waitAll,
                    DWORD milliseconds) {
  const TTime deadline = milliseconds == INFINITE
                             ? TTime::max()
                             : std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  TDrivenWait& last = LastDrivenWait();
  std::unique_lock guard(EventLock());
  int index = TakeSignalled(events, count, waitAll);
  if (index >= 0) {
    last.fresh = last.Same(events, count);
    last.satisfied = DWORD(index);
    return WAIT_OBJECT_0 + index;
  }
  last.fresh = false;
  if (milliseconds == 0) return WAIT_TIMEOUT;

  TWaiter waiter;
  for (DWORD i = 0; i < count; ++i) events[i]->FWaiters.push_back(&waiter);
  while (index < 0) {
    std::shared_ptr<TEventSource> sources[MaxWaitObjects];
    DWORD n = 0;
    for (DWORD i = 0; i < count; ++i) {
      auto source = events[i]->FSource.lock();
      if (source && std::find(sources, sources + n, source) == sources + n)
        sources[n++] = std::move(source);
    }
    if (n > 0) last.Record(events, count, sources, n);
    if (n == 0) {
      if (deadline == TTime::max()) {
        waiter.wake.wait(guard);
      } else if (waiter.wake.wait_until(guard, deadline) == std::cv_status::timeout) {
        index = TakeSignalled(events, count, waitAll);
        break;
      }
    } else {
      DriveSources(sources, n, waiter, guard, deadline);
      if (deadline != TTime::max() && std::chrono::steady_clock::now() >= deadline) {
        index = TakeSignalled(events, count, waitAll);
        break;
      }
    }
    index = TakeSignalled(events, count, waitAll);
  }
  for (DWORD i = 0; i < count; ++i) {
    auto& list = events[i]->FWaiters;
    list.erase(std::find(list.begin(), list.end(), &waiter));
  }
  if (index >= 0) last.satisfied = DWORD(index);
  return index >= 0 ? WAIT_OBJECT_0 + index : WAIT_TIMEOUT;
}

void IdleAfterDrivenWait() {
  TDrivenWait& last = LastDrivenWait();
  if (!last.fresh) return;
  last.fresh = false;
  std::shared_ptr<TEvent> events[MaxWaitObjects];
  std::shared_ptr<TEventSource> sources[MaxWaitObjects];
  const DWORD count = last.eventCount, n = last.sourceCount;
  for (DWORD i = 0; i < count; ++i)
    if (!(events[i] = last.events[i].lock())) return;
  for (DWORD k = 0; k < n; ++k)
    if (!(sources[k] = last.sources[k].lock())) return;
  const TTime until = std::chrono::steady_clock::now() + IdleLimit;

  std::unique_lock guard(EventLock());
  // Set from now on means: something for the thread to do. So does an event set since the
  // last wait ended, such as a stop request the main thread made while this thread was on its
  // way here: without it the stop would wait out the idling.
  bool wasSignalled[MaxWaitObjects];
  for (DWORD i = 0; i < count; ++i) wasSignalled[i] = i >= last.satisfied && events[i]->FSignalled;
  TWaiter waiter;
  for (DWORD i = 0; i < count; ++i) events[i]->FWaiters.push_back(&waiter);
  for (;;) {
    guard.unlock();
    bool ready = false;
    for (DWORD k = 0; k < n && !ready; ++k) ready = sources[k]->Ready();
    guard.lock();
    // Checked under the lock that DriveSources holds until it polls: a later Set wakes it.
    for (DWORD i = 0; i < count; ++i) ready = ready || (events[i]->FSignalled && !wasSignalled[i]);
    if (ready || std::chrono::steady_clock::now() >= until) break;
    std::shared_ptr<TEventSource> driven[MaxWaitObjects];
    std::copy(sources, sources + n, driven);
    DriveSources(driven, n, waiter, guard, until);
  }
  for (DWORD i = 0; i < count; ++i) {
    auto& list = events[i]->FWaiters;
    list.erase(std::find(list.begin(), list.end(), &waiter));
  }
  guard.unlock();
  for (DWORD k = 0; k < n; ++k) sources[k].reset();  // never the last reference under a lock
}

}  // namespace ComPlatform::Posix
