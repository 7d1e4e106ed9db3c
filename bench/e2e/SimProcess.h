#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

// The simulated programmer as a process of its own, so that its processor time is never
// counted as the program's. It is stopped and reaped on destruction.
class TSimProcess {
public:
  // Runs tolvane-sim from the folder of this program with the given options and waits for the
  // path of its port. Throws std::runtime_error when it cannot be started.
  explicit TSimProcess(const std::vector<std::string>& options);
  ~TSimProcess();
  TSimProcess(const TSimProcess&) = delete;
  TSimProcess& operator=(const TSimProcess&) = delete;

  const std::string& SlavePath() const { return FSlavePath; }

private:
  void Stop() noexcept;

  pid_t FPid = -1;
  std::string FSlavePath;
};
