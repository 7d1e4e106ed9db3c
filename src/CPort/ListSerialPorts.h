#pragma once
#include <string>
#include <vector>

// Where the machine's serial port names come from. On Windows, the registry key whose values
// name the serial devices. On Linux the tty devices that a driver backs stand in for it, joined
// by the ports that running simulated programmers publish. Tests point the sources at trees and
// keys of their own.
struct TSerialPortSources {
  std::string TtyClassDir = "/sys/class/tty";  // one entry per tty device the kernel knows
  std::string DevDir = "/dev";                 // where the device nodes live
  std::string SimDir;                          // published simulator ports; empty: none
  // Windows: the key, with its root (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER); the data of each
  // value is a port name, its name the system's device (\Device\Serial0).
  std::string RegistryKey = "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM";

  // The machine's own sources; the simulator folder is $TOLVANE_SIM_DIR, else
  // /tmp/tolvane-sim.
  static TSerialPortSources Machine();
  // What the system's port list is read from, for messages: the tty folder or the key.
  std::string ListOrigin() const;
};

// Replaces target with the serial port names, sorted as text with letter case ignored
// (COM1, COM10, com2, COM3); equal names are all kept. Windows ports are named as the registry
// gives them (COM3); device ports on Linux as in the device folder (ttyUSB0, ttyS0), simulator
// ports by the absolute path of their link. Raises EComPort 23 ("Registry error") with the
// platform code when the registry key or the tty folder cannot be read (2 when it is missing);
// target is then left as it was. A simulator folder that cannot be read holds no simulators.
void ListSerialPorts(std::vector<std::string>& target, const TSerialPortSources& sources);
// The same from the sources in use: the machine's unless others are installed.
void ListSerialPorts(std::vector<std::string>& target);

// Installs the sources that ListSerialPorts(target) reads from now on (a test's fake tree);
// nullptr returns to the machine's. The caller keeps the object alive while installed.
void SetSerialPortSources(const TSerialPortSources* sources);
