// The production commands left out (a build without the production station).
#include "cli/ProductionCommands.h"

namespace Cli {

void AddProductionCommands(CLI::App&, TOptions&) {}

std::optional<int> RunProductionCommand(const TOptions&) { return std::nullopt; }

}  // namespace Cli
