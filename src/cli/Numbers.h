#pragma once
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "serial/Stamp.h"

namespace Cli {

// The serial numbers that --serial-at or --serial-file ask for, and the name a production
// record counts them under: "from 1000 step 1", or "list 0001 .. 0014 (20 numbers)".
struct TNumberPlan {
  Serial::TNumberSource Source;
  std::string Sequence;
};

// None when the options ask for no number. Throws ECommand: ecUsage for options that do not
// go together or a layout that holds no number, ecBadFile for a list that cannot be read.
std::optional<TNumberPlan> NumberPlan(const TOptions& options);

}  // namespace Cli
