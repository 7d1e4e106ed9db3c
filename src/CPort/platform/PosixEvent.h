#pragma once
#include <memory>
#include <vector>

#include "CPort/platform/PosixHandles.h"

namespace ComPlatform::Posix {

struct TWaiter;

// A manual- or auto-reset event. All events share one lock, which keeps a wait on several
// of them simple and exact; each waiting thread sleeps on its own condition, so setting an
// event wakes only the threads waiting on it.
class TEvent : public TObject {
public:
  TEvent(bool manualReset, bool initialState)
      : FManualReset(manualReset), FSignalled(initialState) {}
  void Set();
  void Reset();

private:
  friend int TakeSignalled(const std::shared_ptr<TEvent>*, DWORD, bool);
  friend DWORD WaitForEvents(const std::shared_ptr<TEvent>*, DWORD, bool, DWORD);
  const bool FManualReset;
  bool FSignalled;
  std::vector<TWaiter*> FWaiters;
};

// The most events one wait takes, as elsewhere.
constexpr DWORD MaxWaitObjects = 64;

// Waits until one (or, with waitAll, every) of count events is signalled or the time is
// up. Returns WAIT_OBJECT_0 plus the lowest signalled index, or WAIT_TIMEOUT. A satisfied
// wait resets the auto-reset events it consumed.
DWORD WaitForEvents(const std::shared_ptr<TEvent>* events, DWORD count, bool waitAll,
                    DWORD milliseconds);

}  // namespace ComPlatform::Posix
