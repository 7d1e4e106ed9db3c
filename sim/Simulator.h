#pragma once
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "ChipMemory.h"
#include "DeviceProtocol.h"
#include "framework/Exception.h"

namespace Sim {

// A system call the simulated programmer depends on failed.
class ESimulator : public Exception {
public:
  using Exception::Exception;
};

// The simulated programmer on the master side of a pseudo-terminal: any program that opens the
// slave talks to it as to the real device on its serial port.
class TSimulator {
public:
  // Opens the pseudo-terminal and puts its slave in raw mode; baud 0 leaves the line unpaced.
  // A latency holds what is sent for up to that long and then hands it over at once, as a
  // USB serial bridge's latency timer does; zero hands each character over when it is sent.
  TSimulator(TChipMemory memory, TDeviceOptions options, unsigned baud,
             std::chrono::milliseconds latency = {});
  ~TSimulator();
  TSimulator(const TSimulator&) = delete;
  TSimulator& operator=(const TSimulator&) = delete;

  const std::string& SlavePath() const { return FSlavePath; }

  // Serves programs opening and closing the slave until Stop(); throws ESimulator when the
  // pseudo-terminal fails.
  void Run();
  // Runs on a thread of its own until Stop() or destruction.
  void Start();
  // Safe from any thread and from a signal handler.
  void Stop() noexcept;

  // The chip's contents, taken between two bytes of the line.
  TChipMemory Memory() const;

  // How often a program closed the port and what was under way was dropped.
  unsigned HangUps() const { return FHangUps.load(); }

  // The operator's hands, between two bytes of the line. Insert puts a chip into the socket
  // (what was there is gone: take it out first to keep it); Remove takes it out, if any.
  void Insert(TChipMemory chip);
  std::optional<TChipMemory> Remove();
  bool Occupied() const;
  // Erase commands taken so far: each chip a host programs begins with one.
  unsigned Erases() const;

  // Lines arriving on fd (the operator's commands) are handed to onLine on the thread that
  // serves the line, also while no program has the port open. Set before Run or Start.
  void SetOperatorInput(int fd, std::function<void(const std::string&)> onLine);

private:
  void HangUp();
  // Takes what the operator typed; false at the end of the input.
  bool TakeOperatorInput();

  int FMaster = -1;
  int FStopEvent = -1;
  std::string FSlavePath;
  unsigned FBaud;
  std::chrono::milliseconds FLatency;
  mutable std::mutex FLock;  // guards the chip against Memory() while bytes are taken
  TChipMemory FMemory;
  TDeviceProtocol FProtocol;
  std::atomic<unsigned> FHangUps{0};
  int FOperator = -1;
  std::function<void(const std::string&)> FOnOperatorLine;
  std::string FOperatorLine;  // an operator's line until its end arrives
  std::thread FThread;
};

}  // namespace Sim
