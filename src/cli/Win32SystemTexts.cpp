#include "cli/SystemTexts.h"

namespace Cli {

const char* const PortHelp =
    "A port name from 'ports', such as COM3; default: the port saved beside this program or "
    "in %APPDATA%\\Tolvane, else the only USB serial port";
const char* const PortsHelp =
    "List the COM ports: name, the system's device, USB vendor:product, product, serial "
    "number, USB instance ID";
const char* const SystemHelpNote =
    "\n\nOn Windows tolvane-cli has the commands for one chip at a time; production and log\n"
    "(chip after chip, on several programmers, with a record) run on Linux only.";

}  // namespace Cli
