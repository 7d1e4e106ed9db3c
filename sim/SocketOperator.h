#pragma once
#include <string>

#include "Simulator.h"

namespace Sim {

// The operator at the simulated programmer's socket, one command a line:
//   insert        a blank chip of the simulator's kind goes in
//   insert FILE   a chip that holds the Intel HEX file FILE goes in
//   remove        the chip comes out
//   dump FILE     the chip's contents are written to FILE as Intel HEX
// A chip put into an occupied socket takes the place of the one there, which leaves first.
// With a dump folder, every chip that leaves is written there as chip-0001.hex, chip-0002.hex
// and so on, in the order they leave.
class TSocketOperator {
public:
  TSocketOperator(TSimulator& simulator, const TChipModel& chip, std::string dumpFolder = {});

  // Carries out one command; returns the line that answers it: what happened, or "error: "
  // and why nothing did.
  std::string Execute(const std::string& line);
  // The program ends: the chip still in the socket leaves with it. Returns the file it was
  // written to, or empty.
  std::string Finish();

private:
  // Takes the chip out; the name of its dump, or empty.
  std::string TakeOut();

  TSimulator& FSimulator;
  const TChipModel& FChip;
  std::string FDumpFolder;
  unsigned FLeft = 0;  // chips that have left the socket
};

}  // namespace Sim
