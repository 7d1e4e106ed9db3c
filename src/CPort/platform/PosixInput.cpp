#include "CPort/platform/PosixInput.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace ComPlatform::Posix {

bool TInput::Take(int fd, bool hungUp, DWORD& events) {
  for (;;) {
    // Read straight into the queue and filtered there: the filter never writes more bytes
    // than it reads.
    std::size_t room = 0;
    std::uint8_t* tail = FQueue.Tail(room);
    // A hang-up with a full queue cannot be read past; the device is gone.
    if (room == 0) return !hungUp;
    const ssize_t n = ::read(fd, tail, room);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return !hungUp;
    if (n <= 0) return false;  // 0 after a hang-up, EIO once the other side is gone
    bool sawEventChar = false;
    const std::size_t k = FFilter.Filter(tail, static_cast<std::size_t>(n), tail, sawEventChar);
    if (k > 0) {
      const std::size_t threshold = (FQueue.Capacity() * 4 + 4) / 5;
      const std::size_t before = FQueue.Size();
      FQueue.Commit(k);
      events |= EV_RXCHAR;
      if (sawEventChar) events |= EV_RXFLAG;
      if (before < threshold && FQueue.Size() >= threshold) events |= EV_RX80FULL;
    }
    if (static_cast<std::size_t>(n) < room) return true;
  }
}

DWORD TInput::Pop(std::uint8_t* buffer, DWORD count, bool& roomMade) {
  const bool wasFull = Full();
  const auto got = static_cast<DWORD>(FQueue.Pop(buffer, count));
  roomMade = wasFull && got > 0;
  return got;
}

void TInput::Resize(std::size_t capacity, bool& roomMade) {
  const bool wasFull = Full();
  FQueue.Resize(capacity);
  roomMade = wasFull && !Full();
}

void TInput::Clear(bool& roomMade) {
  roomMade = Full();
  FQueue.Clear();
}

}  // namespace ComPlatform::Posix
