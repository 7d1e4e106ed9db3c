#pragma once
#include <poll.h>

#include <chrono>
#include <memory>
#include <vector>

#include "CPort/platform/PosixHandles.h"

namespace ComPlatform::Posix {

struct TWaiter;

// What a waiting thread can drive itself: a device whose pending operation will set an event.
// A thread that waits for that event polls the device's descriptor and does the device's
// work when it is ready, so the event is set on the waiting thread itself and no other
// thread has to be woken for it.
class TEventSource {
public:
  using TTime = std::chrono::steady_clock::time_point;
  virtual ~TEventSource() = default;
  // What to poll (fd -1: nothing), and the time by which Serve must run again at the latest.
  virtual void PrepareWait(pollfd& fd, TTime& due) = 0;
  // Does the work that the poll found ready (revents; 0 when the time came or the wait woke).
  virtual void Serve(short revents) = 0;
  // Whether the next wait would end at once.
  virtual bool Ready() = 0;
};

// A manual- or auto-reset event. All events share one lock, which keeps a wait on several
// of them simple and exact; each waiting thread sleeps on its own condition, or in poll()
// when one of its events has a source, so setting an event wakes only its waiters.
class TEvent : public TObject {
public:
  TEvent(bool manualReset, bool initialState)
      : FManualReset(manualReset), FSignalled(initialState) {}
  void Set();
  void Reset();
  // While source's operation is pending it will set this event; its waiters drive it.
  void SetSource(const std::weak_ptr<TEventSource>& source);
  void ClearSource();
  // Makes the waiters look at the source again, for what to poll and when.
  void WakeWaiters();

private:
  friend int TakeSignalled(const std::shared_ptr<TEvent>*, DWORD, bool);
  friend DWORD WaitForEvents(const std::shared_ptr<TEvent>*, DWORD, bool, DWORD);
  friend void IdleAfterDrivenWait();
  void WakeWaitersLocked();
  const bool FManualReset;
  bool FSignalled;
  std::vector<TWaiter*> FWaiters;
  std::weak_ptr<TEventSource> FSource;
};

// The most events one wait takes, as elsewhere.
constexpr DWORD MaxWaitObjects = 64;

// Waits until one (or, with waitAll, every) of count events is signalled or the time is
// up. Returns WAIT_OBJECT_0 plus the lowest signalled index, or WAIT_TIMEOUT. A satisfied
// wait resets the auto-reset events it consumed.
DWORD WaitForEvents(const std::shared_ptr<TEvent>* events, DWORD count, bool waitAll,
                    DWORD milliseconds);

// A thread whose last wait drove a device, and which has now handed work to the main thread,
// will most likely wait for the same events next. It goes on driving the device meanwhile,
// and sleeps until the next wait would end at once, one of those events is set, or a while
// has passed: so the end of the handed-over work, which comes first, need not wake it.
void IdleAfterDrivenWait();

}  // namespace ComPlatform::Posix
