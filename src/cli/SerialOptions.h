#pragma once
#include "cli/Commands.h"

namespace CLI {
class App;
}

namespace Cli {

// The options of a command that puts serial numbers into chips (write, production). `each`
// tells how the command chooses a chip's number, for the help.
void AddSerialOptions(CLI::App& command, TOptions& options, const char* each);

}  // namespace Cli
