#include "cli/SystemTexts.h"

namespace Cli {

const char* const PortHelp =
    "A port name from 'ports' or any device path, such as /dev/serial/by-id/...; "
    "default: the port the window saved, else the only USB serial port";
const char* const PortsHelp =
    "List ports: name, device path, USB vendor:product, product, serial number, "
    "/dev/serial/by-id name; running simulators too";
const char* const SystemHelpNote = "";

}  // namespace Cli
