#pragma once
#include <string>
#include <vector>

namespace Cli {

struct TOptions {
  std::string Port;    // empty: the saved port, else the only USB serial port
  std::string Expect;  // empty: any known chip
  bool Quiet = false;
  std::string Command;  // ports, identify, read, write, verify, erase, blank-check
  std::string File;     // the image of write and verify
  std::string Output;   // read: the file to write, empty for standard output
  bool NoVerify = false;
  bool Force = false;
  // production and log
  std::vector<std::string> Ports;  // one programmer a port
  std::string Log = "tolvane-production.db";
  bool Auto = false;
  int PollMs = 500;
  long Count = 0;  // 0: no limit
  bool NoErase = false;
};

// Runs the command: data on standard output, progress and news on standard error. Throws
// ECommand with the exit status and the message when it fails.
void RunCommand(const TOptions& options);

}  // namespace Cli
