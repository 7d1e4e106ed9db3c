#pragma once
#include <optional>

#include "cli/Commands.h"

namespace CLI {
class App;
}

namespace Cli {

// The production commands: `production` (a station of several programmers with a record of
// every chip), `log` (the record as CSV) and the hidden `socket-worker` that a production run
// starts for each programmer. A build without the production station links NoProduction.cpp,
// which adds none.
void AddProductionCommands(CLI::App& app, TOptions& options);

// Runs the command when it is one of them and returns its exit status; throws ECommand as
// RunCommand does.
std::optional<int> RunProductionCommand(const TOptions& options);

}  // namespace Cli
