#pragma once
#include <memory>
#include <vector>

#include "CPort/platform/PosixDrive.h"
#include "CPort/platform/PosixHandles.h"

namespace ComPlatform::Posix {

// A manual- or auto-reset event. All events share one lock, which keeps a wait on several
// of them simple and exact. Setting an event wakes only its waiters; a waiter whose event
// will be set by a device's pending operation drives that device while it waits.
class TEvent : public TObject {
public:
  static constexpr TKind ObjectKind = TKind::Event;
  TEvent(bool manualReset, bool initialState)
      : TObject(ObjectKind), FManualReset(manualReset), FSignalled(initialState) {}
  void Set();
  void Reset();
  // Sets the event for the end of the operation it had a source for, which it forgets.
  void Finish();
  // While source's operation is pending it will set this event; its waiters drive the
  // source for what interest names.
  void SetSource(const std::shared_ptr<TEventSource>& source, unsigned interest);
  void ClearSource();
  // The device whose event wait last had to wait for this event (LineEvents): the thread
  // that waits for the event is likely to wait for that device again.
  std::shared_ptr<TEventSource> Origin() const;

private:
  friend int TakeSignalled(const std::shared_ptr<TEvent>*, DWORD, bool);
  friend DWORD WaitForEvents(const std::shared_ptr<TEvent>*, DWORD, bool, DWORD);
  friend class TEventWaiters;
  const bool FManualReset;
  bool FSignalled;
  std::vector<const TWaiter*> FWaiters;
  std::weak_ptr<TEventSource> FSource;
  unsigned FInterest = 0;
  std::weak_ptr<TEventSource> FOrigin;
};

// A thread's registration as the waiter of some events, for as long as it lives: setting
// any of them wakes the thread.
class TEventWaiters {
public:
  TEventWaiters(const std::shared_ptr<TEvent>* events, DWORD count, const TWaiter& waiter);
  ~TEventWaiters();
  TEventWaiters(const TEventWaiters&) = delete;
  TEventWaiters& operator=(const TEventWaiters&) = delete;
  // Whether any of the events is signalled now.
  bool AnySignalled() const;

private:
  const std::shared_ptr<TEvent>* FEvents;
  DWORD FCount;
  const TWaiter& FWaiter;
};

// Index of the event that satisfies the wait, or -1; consumes auto-reset events. Under the
// events' lock.
int TakeSignalled(const std::shared_ptr<TEvent>* events, DWORD count, bool waitAll);

// Waits until one (or, with waitAll, every) of count events is signalled or the time is up,
// driving the devices whose pending operations will set them. Returns WAIT_OBJECT_0 plus the
// lowest signalled index, or WAIT_TIMEOUT. A satisfied wait resets the auto-reset events it
// consumed.
DWORD WaitForEvents(const std::shared_ptr<TEvent>* events, DWORD count, bool waitAll,
                    DWORD milliseconds);

}  // namespace ComPlatform::Posix
