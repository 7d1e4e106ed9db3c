#pragma once
#include <string>
#include <vector>

#include "CPort/ListSerialPorts.h"

// What the machine tells of a serial port beyond its name, for people choosing one.
struct TSerialPortDetails {
  std::string Name;        // as ListSerialPorts names it
  std::string DevicePath;  // the device node; for a simulator, the terminal its link points to;
                           // on Windows the system's device (\Device\VCP0)
  std::string UsbId;       // vendor:product in hex ("0403:6001") when the port is on USB
  std::string Product;     // the USB device's product text
  std::string Serial;      // the USB device's serial number
  std::string ById;        // the node's stable name under <dev>/serial/by-id, as a full path;
                           // on Windows the USB device's instance (USB\VID_0403&PID_6001\A5...)
  bool Simulator = false;  // published by a running simulated programmer

  bool OnUsb() const { return !UsbId.empty(); }
};

// The ports ListSerialPorts finds in these sources, in its order, with their details; what
// cannot be read stays empty. Raises EComPort as ListSerialPorts does.
std::vector<TSerialPortDetails> DescribeSerialPorts(const TSerialPortSources& sources);
