#include "CPort/platform/PosixEvent.h"

#include <algorithm>
#include <mutex>

namespace ComPlatform::Posix {

namespace {

std::mutex& EventLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

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
  for (const TWaiter* waiter : FWaiters) waiter->Wake();
}

void TEvent::Finish() {
  std::lock_guard guard(EventLock());
  FSource.reset();
  FSignalled = true;
  for (const TWaiter* waiter : FWaiters) waiter->Wake();
}

void TEvent::Reset() {
  std::lock_guard guard(EventLock());
  FSignalled = false;
}

void TEvent::SetSource(const std::shared_ptr<TEventSource>& source, unsigned interest) {
  std::lock_guard guard(EventLock());
  FSource = source;
  FInterest = interest;
  if (interest & TEventSource::LineEvents) FOrigin = source;
  for (const TWaiter* waiter : FWaiters) waiter->Wake();  // they start to drive it
}

void TEvent::ClearSource() {
  std::lock_guard guard(EventLock());
  FSource.reset();
}

std::shared_ptr<TEventSource> TEvent::Origin() const {
  std::lock_guard guard(EventLock());
  return FOrigin.lock();
}

TEventWaiters::TEventWaiters(const std::shared_ptr<TEvent>* events, DWORD count,
                             const TWaiter& waiter)
    : FEvents(events), FCount(count), FWaiter(waiter) {
  std::lock_guard guard(EventLock());
  for (DWORD i = 0; i < count; ++i) events[i]->FWaiters.push_back(&waiter);
}

TEventWaiters::~TEventWaiters() {
  std::lock_guard guard(EventLock());
  for (DWORD i = 0; i < FCount; ++i) {
    auto& list = FEvents[i]->FWaiters;
    list.erase(std::find(list.begin(), list.end(), &FWaiter));
  }
}

bool TEventWaiters::AnySignalled() const {
  std::lock_guard guard(EventLock());
  for (DWORD i = 0; i < FCount; ++i)
    if (FEvents[i]->FSignalled) return true;
  return false;
}

DWORD WaitForEvents(const std::shared_ptr<TEvent>* events, DWORD count, bool waitAll,
                    DWORD milliseconds) {
  int index;
  {
    std::lock_guard guard(EventLock());
    index = TakeSignalled(events, count, waitAll);
  }
  if (index >= 0) return WAIT_OBJECT_0 + index;

  const TTime deadline = milliseconds == INFINITE
                             ? TTime::max()
                             : TClock::now() + std::chrono::milliseconds(milliseconds);
  TWaiter waiter;
  TEventWaiters registration(events, count, waiter);
  TDriveRounds rounds(waiter);
  Drive(
      rounds,
      [&](TDriven& driven) {
        std::lock_guard guard(EventLock());
        index = TakeSignalled(events, count, waitAll);
        if (index >= 0) return true;
        for (DWORD i = 0; i < count; ++i)
          if (auto source = events[i]->FSource.lock()) driven.Add(std::move(source), events[i]->FInterest);
        return false;
      },
      deadline);
  return index >= 0 ? WAIT_OBJECT_0 + index : WAIT_TIMEOUT;
}

}  // namespace ComPlatform::Posix
