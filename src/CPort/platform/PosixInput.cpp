#include "CPort/platform/PosixInput.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace ComPlatform::Posix {

bool TInput::Take(int fd, bool hungUp, DWORD& events) {
  std::uint8_t raw[4096];
  std::uint8_t kept[sizeof raw];
  for (;;) {
    const std::size_t room = std::min(sizeof raw, FQueue.Free());
    // A hang-up with a full queue cannot be read past; the device is gone.
    if (room == 0) return !hungUp;
    const ssize_t n = ::read(fd, raw, room);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return !hungUp;
    if (n <= 0) return false;  // 0 after a hang-up, EIO once the other side is gone
    bool sawEventChar = false;
    const std::size_t k = FFilter.Filter(raw, static_cast<std::size_t>(n), kept, sawEventChar);
    if (k > 0) {
      const std::size_t threshold = (FQueue.Capacity() * 4 + 4) / 5;
      const std::size_t before = FQueue.Size();
      FQueue.Push(kept, k);
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
