#include "CPort/platform/PosixLineEvents.h"

#include "CPort/platform/PosixTransfers.h"

namespace ComPlatform::Posix {

bool TLineEvents::Record(DWORD events) {
  const bool wasReady = Ready();
  FRecord |= events;
  if (!Ready()) return false;
  if (FWait) {
    const DWORD occurred = FRecord & FMask;
    FRecord = 0;
    End(occurred, ERROR_SUCCESS);
    return false;
  }
  return !wasReady;
}

bool TLineEvents::Start(DWORD* mask, OVERLAPPED* overlapped, std::shared_ptr<TEvent> event) {
  if (Ready()) {
    *mask = FRecord & FMask;
    FRecord = 0;
    Complete(overlapped, event.get(), ERROR_SUCCESS, 0);
    return true;
  }
  StartPending(overlapped, 0, event.get());
  FWait = overlapped;
  FWaitMask = mask;
  FWaitEvent = std::move(event);
  return false;
}

void TLineEvents::End(DWORD mask, DWORD status) {
  *FWaitMask = mask;
  OVERLAPPED* wait = FWait;
  FWait = nullptr;
  FWaitMask = nullptr;
  std::shared_ptr<TEvent> event = std::move(FWaitEvent);
  Complete(wait, event.get(), status, 0);
}

void TLineEvents::SetMask(DWORD mask) {
  FMask = mask;
  if (FWait) End(0, ERROR_SUCCESS);
}

}  // namespace ComPlatform::Posix
