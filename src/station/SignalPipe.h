#pragma once
#include <vector>

namespace Station {

// SIGINT, SIGTERM and SIGHUP as bytes on a pipe that poll waits for with everything else;
// while it lives, none of them ends the program by itself.
class TSignalPipe {
public:
  TSignalPipe();
  ~TSignalPipe();
  TSignalPipe(const TSignalPipe&) = delete;
  TSignalPipe& operator=(const TSignalPipe&) = delete;

  int Fd() const;
  // The signals that came since the last call, in order.
  std::vector<int> Take();
};

}  // namespace Station
