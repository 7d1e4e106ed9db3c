#pragma once
#include <cstdio>
#include <functional>
#include <string>

#include "station/WorkerProtocol.h"

namespace Station {

// What a worker does with its programmer. The command line implements it with the link; each
// call reports through `report` and ends with one final event.
class ISocketProgrammer {
public:
  using TReport = std::function<void(const TWorkerEvent&)>;
  virtual ~ISocketProgrammer() = default;
  // The image every chip gets, and the name messages give it.
  virtual void Load(const std::string& imageText, const std::string& name) = 0;
  // Opens the port and asks the programmer for its chip: ends with ekChip (the port stays
  // open for Program), ekEmpty or ekError.
  virtual void Identify(const TReport& report) = 0;
  // Erases, writes and verifies the chip the last identification found, then lets the port
  // go: reports ekStep and ekProgress as it goes and ends with ekPass, ekFail or ekError.
  virtual void Program(const TReport& report) = 0;
};

// The worker's side of the line protocol: takes the image and then the station's commands
// from `in` until it ends, and writes the events to `out`. Returns 0, or 2 when the input is
// not the protocol.
int ServeStation(ISocketProgrammer& programmer, std::FILE* in, std::FILE* out);

}  // namespace Station
