#include "CPort/platform/PosixByteQueue.h"

#include <algorithm>
#include <cstring>

namespace ComPlatform::Posix {

std::size_t TByteQueue::Push(const std::uint8_t* bytes, std::size_t n) {
  n = std::min(n, Free());
  const std::size_t cap = FData.size();
  std::size_t tail = (FHead + FSize) % (cap ? cap : 1);
  const std::size_t first = std::min(n, cap - tail);
  std::memcpy(FData.data() + tail, bytes, first);
  std::memcpy(FData.data(), bytes + first, n - first);
  FSize += n;
  return n;
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
