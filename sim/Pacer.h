#pragma once
#include <chrono>
#include <cstddef>

namespace Sim {

// Holds one direction of the line to a character rate: credit grows with time and each
// character spends one. A little credit may build up so the line moves in small bursts.
class TPacer {
public:
  using TClock = std::chrono::steady_clock;

  // charsPerSecond 0 means no pacing at all.
  explicit TPacer(double charsPerSecond);

  bool Paced() const { return FRate > 0; }
  // Characters that may go now.
  std::size_t Available(TClock::time_point now);
  void Consume(std::size_t count) { FCredit -= double(count); }
  // Time until the next character may go.
  std::chrono::microseconds UntilNext(TClock::time_point now);

private:
  void Refill(TClock::time_point now);

  double FRate;
  double FBurst;
  double FCredit = 0;
  TClock::time_point FLast;
};

}  // namespace Sim
