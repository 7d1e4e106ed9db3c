#pragma once
#include <cstddef>
#include <cstdint>

#include "CPort/platform/PosixByteQueue.h"
#include "CPort/platform/PosixReceiveFilter.h"
#include "CPort/platform/SerialPlatform.h"

namespace ComPlatform::Posix {

// The device's input queue: bytes taken from the tty through the receive filter, and the
// line events their arrival makes. Bytes the queue has no room for stay with the kernel,
// whose flow control holds the rest back.
class TInput {
public:
  explicit TInput(std::size_t capacity) : FQueue(capacity) {}

  // Takes what the tty has, as far as the queue has room, and adds the events of what came
  // (EV_RXCHAR, EV_RXFLAG, EV_RX80FULL) to events. hungUp: poll() reported a hang-up or an
  // error, so a read that finds nothing means the device is gone. Returns false when the
  // device is gone.
  bool Take(int fd, bool hungUp, DWORD& events);
  // Moves up to count bytes to buffer; returns how many. roomMade: the queue was full.
  DWORD Pop(std::uint8_t* buffer, DWORD count, bool& roomMade);

  std::size_t Size() const { return FQueue.Size(); }
  std::size_t Capacity() const { return FQueue.Capacity(); }
  bool Full() const { return FQueue.Free() == 0; }
  // Both report, in roomMade, a full queue that now has room.
  void Resize(std::size_t capacity, bool& roomMade);
  void Clear(bool& roomMade);
  void Configure(const TReceiveFilter::TRules& rules) { FFilter.Configure(rules); }

private:
  TByteQueue FQueue;
  TReceiveFilter FFilter;
};

}  // namespace ComPlatform::Posix
