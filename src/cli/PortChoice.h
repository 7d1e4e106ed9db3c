#pragma once
#include <string>
#include <vector>

#include "CPort/EComPort.h"
#include "CPort/SerialPortDetails.h"
#include "cli/Failure.h"

namespace Cli {

// The machine's serial ports with their details, simulators included.
std::vector<TSerialPortDetails> MachinePorts();

// The table the ports command prints: name, device, USB vendor:product, product, serial
// number and stable name, one port a line under a heading.
std::string PortTable(const std::vector<TSerialPortDetails>& ports);

// The port a command uses: the one given, else the one the window saved, else the only USB
// serial port present. Throws ECommand(ecPort) listing the ports when that leaves none or
// several.
std::string ChoosePort(const std::string& given);

// What keeps a port from opening, put so that the user can act on it (ecPort).
ECommand OpenFailure(const std::string& port, const EComPort& error);

}  // namespace Cli
