#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "framework/Exception.h"
#include "image/ImageFile.h"
#include "record/ChipRecord.h"
#include "station/Screen.h"

namespace Station {

// One socket: a programmer on a port.
struct TSocketPort {
  std::string Port;    // as the operator named it
  std::string Serial;  // the USB serial number of its bridge; empty when unknown
};

struct TStationSetup {
  Image::TImageFile Image;  // read by the programmer's rules; its Name is the file as given
  std::string ImageText;    // the file's bytes, as they are sent
  std::vector<TSocketPort> Sockets;
  // The command line of a worker for a port.
  std::function<std::vector<std::string>(const std::string& port)> WorkerCommand;
  // Rounds by the operator, or each socket on its own as chips come and go.
  bool Auto = false;
  std::chrono::milliseconds Poll{500};  // how often an idle socket is asked for its chip (auto)
  long Count = 0;          // the run ends after this many chips in all; 0 for no limit
  std::string Expect;      // the chip every socket must hold; empty for any known chip
  int OperatorFd = 0;      // the operator's lines
  bool OperatorTerminal = false;  // they come from a terminal, which echoes them
};

// A socket failed at the start; the code is the command line's exit status for it.
class EStart : public Exception {
public:
  EStart(int code, std::string message) : Exception(std::move(message)), FCode(code) {}
  int Code() const { return FCode; }

private:
  int FCode;
};

// Runs production until the operator, the count, a signal or the loss of every socket ends
// it, and prints the summary. Returns the exit status: 0 when every chip passed, 1 when any
// did not, 128 + the signal when the chips in progress were aborted. Throws EStart when a
// socket cannot be used at the start, Record::ERecord when the record fails (the run stops
// at once: no chip goes unrecorded).
int RunStation(const TStationSetup& setup, Record::IChipRecord& record, TScreen& screen);

}  // namespace Station
