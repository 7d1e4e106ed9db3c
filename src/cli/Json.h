#pragma once
#include <string>
#include <vector>

#include "CPort/SerialPortDetails.h"

namespace Cli {

// What ports and identify print with --json: one JSON document, a line feed at its end.
// Details the machine does not give are null.
std::string PortsJson(const std::vector<TSerialPortDetails>& ports);
std::string IdentifyJson(const std::string& chip, const std::string& idWord);

}  // namespace Cli
