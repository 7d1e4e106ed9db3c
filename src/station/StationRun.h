#pragma once
// Inside the station: the run's state, shared by Station.cpp and StationChips.cpp.
#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "station/SignalPipe.h"
#include "station/Socket.h"
#include "station/Station.h"
#include "station/Tally.h"
#include "station/WorkerProtocol.h"

namespace Station {

using TClock = std::chrono::steady_clock;

constexpr int PortStatus = 4;  // the command line's status for a port that is missing or gone
constexpr const char* Prompt = "Load the chips and press Enter (q and Enter to stop)";
constexpr const char* AutoWaiting = "Waiting for chips (q and Enter, or Ctrl-C, to stop)";

// A production run: the sockets, their workers and chips, the operator, the screen and the
// record. Station.cpp holds the run and its waiting, StationChips.cpp the life of a chip.
class TStation {
public:
  TStation(const TStationSetup& setup, Record::IChipRecord& record, TScreen& screen);
  int Run();

private:
  void Start();
  void Serve();
  void Finish();

  // One round of waiting: signals, the operator, the workers, due polls, the screen.
  void Wait();
  void TakeSignals();
  void TakeOperator();
  void TakeWorker(TSocket& socket);
  void OnEvent(TSocket& socket, const TWorkerEvent& event);
  void OnIdentified(TSocket& socket, const TWorkerEvent& event);
  void BeginChip(TSocket& socket, const TWorkerEvent& chip);
  void EndChip(TSocket& socket, Record::TChipResult result, const std::string& detail);
  // Takes the socket out of the run; at the start, the run does not begin (`status` is the
  // command line's exit status for it).
  void Lose(TSocket& socket, const std::string& why, int status = 5);
  void Send(TSocket& socket, const std::string& command);

  void StartRound();
  void EndRound();
  void PollDue();
  void NoMoreChips(const std::string& why);
  void Abort(int signal);

  bool MayStart() const { return !FStopping && (FSetup.Count == 0 || FBegun < FSetup.Count); }
  bool Busy() const;
  bool Live() const;
  void Show();
  void News(const std::string& text, bool lasting = false) { FScreen.Event(text, lasting); }

  const TStationSetup& FSetup;
  Record::IChipRecord& FRecord;
  TScreen& FScreen;
  const std::string FDigest;
  TSignalPipe FSignals;
  std::vector<TSocket> FSockets;
  TTally FTally;
  long FBegun = 0;  // chips whose row was written
  bool FStarting = true;
  std::optional<EStart> FStartFailure;
  bool FStopping = false;
  int FAbort = 0;         // the signal that aborted the run
  bool FInRound = false;  // rounds: every socket was asked for its chip and not all are done
  bool FPrompted = false;
  int FRound = 0;
  std::deque<std::string> FLines;  // the operator's lines not yet taken
  std::string FInput;              // the start of a line still arriving
  bool FInputEnded = false;
  TClock::time_point FStarted;
};


}  // namespace Station
