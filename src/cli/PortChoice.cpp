#include "cli/PortChoice.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>

#include "link/SettingsFile.h"

namespace Cli {

namespace {

constexpr int FileNotFound = 2;  // the platform's code for a port that is not there
constexpr int AccessDenied = 5;  // and for one in use or not permitted

std::string ListedPorts() {
  std::vector<TSerialPortDetails> ports;
  try {
    ports = MachinePorts();
  } catch (const EComPort&) {
  }
  if (ports.empty()) return "There are no serial ports on this machine.";
  return "Serial ports:\n" + PortTable(ports);
}

// A port name without a folder names a device in /dev, as the port takes it.
std::string DevicePathOf(const std::string& port) {
  return port.find('/') == std::string::npos ? "/dev/" + port : port;
}

}  // namespace

std::vector<TSerialPortDetails> MachinePorts() {
  return DescribeSerialPorts(TSerialPortSources::Machine());
}

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

std::string ChoosePort(const std::string& given) {
  if (!given.empty()) return given;
  const std::string saved = ReadSavedPort(DefaultSettingsFilePath());
  if (!saved.empty()) return saved;
  std::vector<TSerialPortDetails> usb;
  try {
    for (TSerialPortDetails& port : MachinePorts())
      if (port.OnUsb()) usb.push_back(std::move(port));
  } catch (const EComPort&) {
  }
  if (usb.size() == 1) return usb.front().Name;
  const std::string why = usb.empty() ? "no port given, none saved, and no USB serial port present"
                                      : "no port given, none saved, and several USB serial ports present";
  throw ECommand(ecPort, why + "; choose one with --port.\n" + ListedPorts());
}

ECommand OpenFailure(const std::string& port, const EComPort& error) {
  switch (error.WinErrorCode()) {
    case FileNotFound:
      return ECommand(ecPort, port + ": no such port.\n" + ListedPorts());
    case AccessDenied: {
      const std::string device = DevicePathOf(port);
      if (::access(device.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
        return ECommand(ecPort, device + ": permission denied. Serial devices belong to the group "
                                         "dialout; join it and log in again:\n"
                                         "  sudo usermod -aG dialout \"$USER\"");
      return ECommand(ecPort, port + ": in use by another program.");
    }
    default:
      return ECommand(ecPort, port + ": " + error.Message());
  }
}

}  // namespace Cli
