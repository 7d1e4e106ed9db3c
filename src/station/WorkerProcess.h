#pragma once
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace Station {

// A socket's worker: a child process that runs the programmer link, reading commands on its
// standard input and writing events on its standard output. It runs in a process group of its
// own, so that the terminal's Ctrl-C reaches the station alone, and it is sent SIGTERM when
// the station dies.
class TWorkerProcess {
public:
  // Starts argv[0] with these arguments; throws Exception when it cannot.
  explicit TWorkerProcess(const std::vector<std::string>& argv);
  // Ends it as Stop does.
  ~TWorkerProcess();
  TWorkerProcess(const TWorkerProcess&) = delete;
  TWorkerProcess& operator=(const TWorkerProcess&) = delete;

  // Its events' descriptor, for poll.
  int EventFd() const { return FEvents; }

  // Sends text (whole lines); false when the worker is gone.
  bool Send(const std::string& text);
  // Appends the complete lines that have arrived; false once the worker's output has ended.
  bool Take(std::vector<std::string>& lines);

  // Closes its input: it ends once the job under way, if any, is done.
  void EndInput();
  // Asks it to stop what it does at once (SIGTERM: a write stops at its next character).
  void Interrupt();
  // Closes its input, which ends it, waits up to `grace` for it to go, then kills it.
  void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));

private:
  pid_t FPid = -1;
  int FCommands = -1;  // its standard input
  int FEvents = -1;    // its standard output
  std::string FPartial;  // the start of a line still arriving
};

}  // namespace Station
