#pragma once
#include <string>

namespace Cli {

struct TOptions {
  std::string Port;    // empty: the saved port, else the only USB serial port
  std::string Expect;  // empty: any known chip
  bool Quiet = false;  // no progress; notices and warnings still go out
  std::string Command;  // ports, identify, read, write, verify, erase, blank-check
  std::string File;     // the image of write and verify; "-" for standard input
  std::string Output;   // read: the file to write; empty or "-" for standard output
  bool NoVerify = false;
  bool NoErase = false;
  bool Force = false;
};

// Runs the command: data on standard output, progress and news on standard error. Throws
// ECommand with the exit status and the message when it fails.
void RunCommand(const TOptions& options);

}  // namespace Cli
