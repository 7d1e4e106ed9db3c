#pragma once
#include <memory>

#include "CPort/platform/PosixDrive.h"
#include "CPort/platform/PosixEvent.h"

namespace ComPlatform::Posix {

constexpr DWORD ModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr DWORD InputEvents = EV_RXCHAR | EV_RXFLAG | EV_RX80FULL;
constexpr DWORD CounterEvents = EV_ERR | EV_BREAK;

// The event wait of a device: the mask, the events recorded since the last completed wait,
// and the wait that is pending, if one is. The device's lock covers it.
class TLineEvents {
public:
  DWORD Mask() const { return FMask; }
  bool Waiting() const { return FWait != nullptr; }
  bool IsWait(const OVERLAPPED* overlapped) const { return overlapped == FWait; }
  // The next wait would end at once.
  bool Ready() const { return (FRecord & FMask) != 0; }

  // Adds events. A pending wait that watches any of them ends with them. Returns whether the
  // next wait has become one that ends at once (so whoever drives the device may stop).
  bool Record(DWORD events);
  // Starts a wait. With events recorded that the mask watches it ends at once with them
  // (true); otherwise it stays pending until one comes, its event reset (false).
  bool Start(DWORD* mask, OVERLAPPED* overlapped, std::shared_ptr<TEvent> event);
  // Ends the pending wait with mask and status.
  void End(DWORD mask, DWORD status);
  // A new mask ends the pending wait with no events.
  void SetMask(DWORD mask);
  // Discarded input says nothing any more.
  void ForgetInput() { FRecord &= ~InputEvents; }

private:
  DWORD FMask = 0;
  DWORD FRecord = 0;
  DWORD* FWaitMask = nullptr;
  OVERLAPPED* FWait = nullptr;
  std::shared_ptr<TEvent> FWaitEvent;
};

}  // namespace ComPlatform::Posix
