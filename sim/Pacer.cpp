#include "Pacer.h"

#include <algorithm>
#include <limits>

namespace Sim {

TPacer::TPacer(double charsPerSecond)
    : FRate(charsPerSecond), FBurst(std::max(1.0, charsPerSecond / 100.0)), FLast(TClock::now()) {}

void TPacer::Refill(TClock::time_point now) {
  const double seconds = std::chrono::duration<double>(now - FLast).count();
  FLast = now;
  if (seconds > 0) FCredit = std::min(FBurst, FCredit + seconds * FRate);
}

std::size_t TPacer::Available(TClock::time_point now) {
  if (!Paced()) return std::numeric_limits<std::size_t>::max();
  Refill(now);
  return FCredit >= 1 ? static_cast<std::size_t>(FCredit) : 0;
}

std::chrono::microseconds TPacer::UntilNext(TClock::time_point now) {
  if (!Paced()) return std::chrono::microseconds(0);
  Refill(now);
  if (FCredit >= 1) return std::chrono::microseconds(0);
  return std::chrono::microseconds(static_cast<long long>((1 - FCredit) / FRate * 1e6) + 1);
}

}  // namespace Sim
