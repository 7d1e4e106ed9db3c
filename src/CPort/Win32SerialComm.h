#pragma once
#include <string>
#include <vector>

#include "CPort/ListSerialPorts.h"

// One value of the registry's list of serial devices.
struct TSerialCommEntry {
  std::string Device;  // the value's name: the system's device (\Device\VCP0)
  std::string Port;    // its data: the port name (COM3)
};

// The values of the sources' registry key, sorted by port name as ListSerialPorts gives them.
// Raises EComPort 23 with the registry's code when the key cannot be opened or read.
std::vector<TSerialCommEntry> ReadSerialComm(const TSerialPortSources& sources);
