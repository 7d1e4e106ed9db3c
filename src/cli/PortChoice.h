#pragma once
#include <string>
#include <vector>

#include "CPort/EComPort.h"
#include "CPort/SerialPortDetails.h"
#include "cli/Failure.h"

namespace Cli {

// The serial ports these sources list, with their details, simulators included. Throws
// ECommand(ecPort) when the system's port list cannot be read.
std::vector<TSerialPortDetails> PortsIn(const TSerialPortSources& sources);
// The same on this machine.
std::vector<TSerialPortDetails> MachinePorts();

// The table the ports command prints: name, device, USB vendor:product, product, serial
// number and stable name, one port a line under a heading.
std::string PortTable(const std::vector<TSerialPortDetails>& ports);

// The port a command uses, and where it came from.
struct TPortChoice {
  std::string Name;
  std::string SavedIn;  // the settings file that named it, or empty
};

// The port a command uses: the one given, else the one the window saved, else the only USB
// serial port present. Throws ECommand(ecPort) listing the ports when that leaves none or
// several.
TPortChoice ChoosePort(const std::string& given);

// What keeps a port from opening, put so that the user can act on it (ecPort).
ECommand OpenFailure(const TPortChoice& port, const EComPort& error);

}  // namespace Cli
