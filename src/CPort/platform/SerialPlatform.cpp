#include "CPort/platform/SerialPlatform.h"

#include <atomic>

namespace ComPlatform {

namespace {
std::atomic<TSerialPlatform*> installed{nullptr};
}

TSerialPlatform& SerialPlatform() {
  TSerialPlatform* platform = installed.load(std::memory_order_acquire);
  return platform ? *platform : NativeSerialPlatform();
}

void SetSerialPlatform(TSerialPlatform* platform) {
  installed.store(platform, std::memory_order_release);
}

}  // namespace ComPlatform
