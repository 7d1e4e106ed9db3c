#pragma once
#include <string>

#include "framework/Exception.h"

namespace Cli {

// The exit status of tolvane-cli, as the help, the README and the manual page list them.
enum TExitCode {
  ecSuccess = 0,
  ecNotHeld = 1,       // the chip does not hold the image, or is not blank
  ecUsage = 2,
  ecBadFile = 3,       // unreadable, not Intel HEX, or does not fit the chip
  ecPort = 4,          // the port is missing, in use or not permitted
  ecProgrammer = 5,    // no answer in time, an unknown chip, or not the expected one
  ecInterrupted = 130,
  ecBrokenPipe = 141,  // standard output's reader has gone: the program ends as SIGPIPE ends it
};

// A command ends with this status and message.
class ECommand : public Exception {
public:
  ECommand(TExitCode code, std::string message) : Exception(std::move(message)), FCode(code) {}
  TExitCode Code() const { return FCode; }

private:
  TExitCode FCode;
};

}  // namespace Cli
