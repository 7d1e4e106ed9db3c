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
  TWaitList<std::shared_ptr<TEventSource>> devices;
  TWaitList<std::shared_ptr<TEvent>> others;
  for (DWORD i = 0; i < last.Count; ++i) {
    std::shared_ptr<TEvent> event = Find<TEvent>(last.Handles[i]);
    if (!event) continue;
    if (std::shared_ptr<TEventSource> device = event->Origin()) {
      if (std::find(devices.begin(), devices.end(), device) == devices.end())
        devices.Add(std::move(device));
    } else {
      others.Add(std::move(event));
    }
  }
  if (devices.Size() == 0) return;

  TWaiter waiter;
  TEventWaiters registration(others.begin(), others.Size(), waiter);
  TDriveRounds rounds(waiter);
  for (auto& device : devices) rounds.Adopt(device);  // Ready registers the waiter
  Drive(
      rounds,
      [&](TDriven& driven) {
        for (auto& device : devices)
          if (device->Ready(waiter)) return true;
        if (registration.AnySignalled()) return true;
        for (auto& device : devices) driven.Add(device, TEventSource::LineEvents);
        return false;
      },
      TClock::now() + IdleLimit);
}

}  // namespace ComPlatform::Posix
