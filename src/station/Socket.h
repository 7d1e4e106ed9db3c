#pragma once
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "record/ChipRecord.h"
#include "station/Station.h"
#include "station/WorkerProcess.h"

namespace Station {

enum TSocketState {
  ssIdle,         // nothing asked of its worker
  ssIdentifying,  // asked for its chip
  ssProgramming,  // its chip is on record and being programmed
  ssGone,         // out of the run: its port or its worker is gone
};

// A socket as the station keeps it.
struct TSocket {
  explicit TSocket(TSocketPort port) : Port(std::move(port)) {}

  TSocketPort Port;
  std::unique_ptr<TWorkerProcess> Worker;
  TSocketState State = ssIdle;
  bool AwaitEmpty = false;               // unattended: the last chip is still in the socket
  std::optional<Record::TChipKey> Chip;  // its row, while it is being programmed
  std::string ChipName;                  // what the socket held when last asked
  std::string Step;                      // of the chip being programmed
  int Percent = -1;                      // of the step, when known
  std::string Last;                      // how the last chip ended
  std::string Note;                      // what the socket is waiting for, or why it is out
  std::chrono::steady_clock::time_point ChipStarted, NextPoll;
};

// A line per socket for the terminal: port, chip, step and progress, last result, aligned.
std::vector<std::string> SocketLines(const std::vector<TSocket>& sockets);

// "chip 17: pass (14.2 s)"
std::string ResultLine(Record::TChipKey chip, Record::TChipResult result, double seconds);

// A text of several lines with every line after the first indented, for a line of news.
std::string Indented(const std::string& text);

}  // namespace Station
