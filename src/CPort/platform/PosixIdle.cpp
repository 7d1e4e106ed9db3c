#include "CPort/platform/PosixIdle.h"

#include <algorithm>
#include <chrono>

#include "CPort/platform/PosixEvent.h"

namespace ComPlatform::Posix {

namespace {

struct TLastWait {
  HANDLE Handles[MaxWaitObjects];
  DWORD Count = 0;
};

thread_local TLastWait LastWait;

// Only a bound: what ends the idling is the device, or an event of the wait.
constexpr auto IdleLimit = std::chrono::seconds(1);

}  // namespace

void NoteWait(const HANDLE* handles, DWORD count) {
  TLastWait& last = LastWait;
  last.Count = std::min(count, MaxWaitObjects);
  std::copy(handles, handles + last.Count, last.Handles);
}

void IdleAfterWait() {
  DriveStep(TDriveStep::IdleBegins);
  const TLastWait& last = LastWait;
  // The devices whose event waits the latest wait was for, and the other events of that wait:
  // the first end their waits with their own events, which stay signalled and say nothing now.
  std::shared_ptr<TEventSource> devices[MaxWaitObjects];
  std::shared_ptr<TEvent> others[MaxWaitObjects];
  DWORD deviceCount = 0, otherCount = 0;
  for (DWORD i = 0; i < last.Count; ++i) {
    std::shared_ptr<TEvent> event = Find<TEvent>(last.Handles[i]);
    if (!event) continue;
    if (std::shared_ptr<TEventSource> device = event->Origin()) {
      if (std::find(devices, devices + deviceCount, device) == devices + deviceCount)
        devices[deviceCount++] = std::move(device);
    } else {
      others[otherCount++] = std::move(event);
    }
  }
  if (deviceCount == 0) return;

  TWaiter waiter;
  TEventWaiters registration(others, otherCount, waiter);
  Drive(
      waiter,
      [&](TDriven& driven) {
        if (registration.AnySignalled()) return true;
        for (DWORD k = 0; k < deviceCount; ++k)
          if (devices[k]->Ready(waiter)) return true;
        for (DWORD k = 0; k < deviceCount; ++k) driven.Add(devices[k], TEventSource::LineEvents);
        return false;
      },
      TClock::now() + IdleLimit);
  for (DWORD k = 0; k < deviceCount; ++k) devices[k]->Release(waiter);
}

}  // namespace ComPlatform::Posix
