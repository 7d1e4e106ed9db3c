#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ComPlatform::Posix {

// The device's input queue: a ring of fixed capacity.
class TByteQueue {
public:
  explicit TByteQueue(std::size_t capacity) : FData(capacity) {}
  std::size_t Size() const { return FSize; }
  std::size_t Capacity() const { return FData.size(); }
  std::size_t Free() const { return FData.size() - FSize; }
  // Both copy at most what fits or what is there, and return the count.
  std::size_t Push(const std::uint8_t* bytes, std::size_t n);
  std::size_t Pop(std::uint8_t* bytes, std::size_t n);
  // The free room right after the queued bytes, up to the end of the ring, for filling in
  // place; Commit then adds the first n bytes of it to the queue.
  std::uint8_t* Tail(std::size_t& room);
  void Commit(std::size_t n) { FSize += n; }
  void Clear() { FHead = FSize = 0; }
  // Keeps the queued bytes; the new capacity must hold them.
  void Resize(std::size_t capacity);

private:
  std::vector<std::uint8_t> FData;
  std::size_t FHead = 0;
  std::size_t FSize = 0;
};

}  // namespace ComPlatform::Posix
