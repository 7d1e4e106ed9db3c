#pragma once
#include "cli/Commands.h"

namespace CLI {
class App;
}

namespace Cli {

// The info command and its options.
void AddInfoCommand(CLI::App& app, TOptions& options);

}  // namespace Cli
