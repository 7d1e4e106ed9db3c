#include "CPort/platform/PosixByteQueue.h"

#include <algorithm>
#include <cstring>

namespace ComPlatform::Posix {

std::uint8_t* TByteQueue::Tail(std::size_t& room) {
  const std::size_t cap = FData.size();
  if (FSize == cap) {
    room = 0;
    return nullptr;
  }
  const std::size_t tail = (FHead + FSize) % cap;
  room = tail >= FHead ? cap - tail : FHead - tail;
  return FData.data() + tail;
}

std::size_t TByteQueue::Push(const std::uint8_t* bytes, std::size_t n) {
  std::size_t pushed = 0;
  while (pushed < n) {
    std::size_t room = 0;
    std::uint8_t* tail = Tail(room);
    if (room == 0) break;
    const std::size_t part = std::min(room, n - pushed);
    std::memcpy(tail, bytes + pushed, part);
    Commit(part);
    pushed += part;
  }
  return pushed;
}

std::size_t TByteQueue::Pop(std::uint8_t* bytes, std::size_t n) {
  n = std::min(n, FSize);
  const std::size_t cap = FData.size();
  const std::size_t first = std::min(n, cap - FHead);
  std::memcpy(bytes, FData.data() + FHead, first);
  std::memcpy(bytes + first, FData.data(), n - first);
  FHead = cap ? (FHead + n) % cap : 0;
  FSize -= n;
  if (FSize == 0) FHead = 0;
  return n;
}

void TByteQueue::Resize(std::size_t capacity) {
  std::vector<std::uint8_t> data(std::max(capacity, FSize));
  const std::size_t size = FSize;
  Pop(data.data(), size);
  FData = std::move(data);
  FHead = 0;
  FSize = size;
}

}  // namespace ComPlatform::Posix
