#pragma once
#include <string>
#include <vector>

namespace Cli {

struct TOptions {
  std::string Port;    // empty: the saved port, else the only USB serial port
  std::string Expect;  // empty: any known chip
  bool Quiet = false;  // no progress; notices and warnings still go out
  std::string Command;  // ports, identify, info, read, write, verify, erase, blank-check
  std::string File;     // the image of info, write and verify; "-" for standard input
  std::string Output;   // read: the file to write; empty or "-" for standard output
  bool NoVerify = false;
  bool NoErase = false;
  bool Force = false;
  bool Json = false;                // ports, identify, info: JSON on standard output
  std::string Chip;                 // info: the chip to read the file for
  std::vector<std::string> Config;  // write, info: configuration settings by header name
  // info: where and how the image holds a serial number
  std::string SerialAt;
  std::string SerialFormat = "bin";
  unsigned SerialWidth = 0;
  // production and log
  std::vector<std::string> Ports;  // one programmer a port
  std::string Log = "tolvane-production.db";
  bool Auto = false;
  int PollMs = 500;
  long Count = 0;  // 0: no limit
};

// Runs the command: data on standard output, progress and news on standard error. Throws
// ECommand with the exit status and the message when it fails.
void RunCommand(const TOptions& options);

// The --expect-ed chip as the chip table names it ("16f877a" is "PIC16F877A"); empty when none
// is. Throws ECommand(ecUsage) for a name the table does not know.
std::string ExpectedChip(const TOptions& options);

}  // namespace Cli
