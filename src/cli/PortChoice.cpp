#include "cli/PortChoice.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "link/SettingsFile.h"
#include "os/Files.h"

namespace Cli {

namespace {

constexpr int FileNotFound = 2;  // the platform's code for a port that is not there
constexpr int AccessDenied = 5;  // and for one in use or not permitted

std::string ListedPorts() {
  std::vector<TSerialPortDetails> ports;
  try {
    ports = DescribeSerialPorts(TSerialPortSources::Machine());
  } catch (const EComPort&) {
  }
  if (ports.empty()) return "There are no serial ports on this machine.";
  return "Serial ports:\n" + PortTable(ports);
}

// A port name without a folder names a device in /dev, as the port takes it.
std::string DevicePathOf(const std::string& port) {
  return port.find('/') == std::string::npos ? "/dev/" + port : port;
}

// A path in the home folder as people write it: ~/.config/tolvane/Tolvane.ini.
std::string Shown(const std::string& path) {
  const char* home = std::getenv("HOME");
  const std::string prefix = home && *home ? std::string(home) + "/" : std::string();
  return !prefix.empty() && path.starts_with(prefix) ? "~/" + path.substr(prefix.size()) : path;
}

// What a path that does not open as a serial port is instead, or empty when it is not there.
std::string WhatIsThere(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) return {};
  if (std::filesystem::is_directory(status)) return "a folder";
  if (std::filesystem::is_regular_file(status)) return "a file";
  return "a device";
}

}  // namespace

std::vector<TSerialPortDetails> PortsIn(const TSerialPortSources& sources) {
  try {
    return DescribeSerialPorts(sources);
  } catch (const EComPort&) {
    throw ECommand(ecPort, "cannot list the serial ports: the system's port list, " + sources.ListOrigin() +
                               ", could not be read");
  }
}

std::vector<TSerialPortDetails> MachinePorts() { return PortsIn(TSerialPortSources::Machine()); }

std::string PortTable(const std::vector<TSerialPortDetails>& ports) {
  std::vector<std::vector<std::string>> rows = {{"PORT", "DEVICE", "USB", "PRODUCT", "SERIAL", "BY-ID"}};
  for (const TSerialPortDetails& p : ports) {
    const std::string product = p.Simulator ? "simulated Tolvane II" : p.Product;
    rows.push_back({p.Name, p.DevicePath, p.UsbId, product, p.Serial, p.ById});
    for (std::string& cell : rows.back())
      if (cell.empty()) cell = "-";
  }
  std::vector<std::size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows)
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  std::string table;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    table += line + "\n";
  }
  return table;
}

TPortChoice ChoosePort(const std::string& given) {
  if (!given.empty()) return {given, {}};
  const std::string settings = DefaultSettingsFilePath();
  const std::string saved = ReadSavedPort(settings);
  if (!saved.empty()) return {saved, settings};
  std::vector<TSerialPortDetails> usb;
  try {
    for (TSerialPortDetails& port : DescribeSerialPorts(TSerialPortSources::Machine()))
      if (port.OnUsb()) usb.push_back(std::move(port));
  } catch (const EComPort&) {
  }
  if (usb.size() == 1) return {usb.front().Name, {}};
  const std::string why = usb.empty() ? "no port given, none saved, and no USB serial port present"
                                      : "no port given, none saved, and several USB serial ports present";
  throw ECommand(ecPort, why + "; choose one with --port.\n" + ListedPorts());
}

ECommand OpenFailure(const TPortChoice& port, const EComPort& error) {
  const std::string device = DevicePathOf(port.Name);
  switch (error.WinErrorCode()) {
    case FileNotFound: {
      const std::string there = WhatIsThere(device);
      if (!there.empty())
        return ECommand(ecPort, port.Name + ": not a serial port (" + device + " is " + there + ")");
      if (!port.SavedIn.empty())
        return ECommand(ecPort, "the port saved in " + Shown(port.SavedIn) + ", " + port.Name +
                                    ", is not present; choose one with --port.\n" + ListedPorts());
      return ECommand(ecPort, port.Name + ": no such port.\n" + ListedPorts());
    }
    case AccessDenied: {
      if (Os::PermissionDenied(device))
        return ECommand(ecPort, device + ": permission denied. Serial devices belong to the group "
                                         "dialout; join it and log in again:\n"
                                         "  sudo usermod -aG dialout \"$USER\"");
      return ECommand(ecPort, port.Name + ": in use by another program.");
    }
    default:
      return ECommand(ecPort, port.Name + ": " + error.Message());
  }
}

}  // namespace Cli
