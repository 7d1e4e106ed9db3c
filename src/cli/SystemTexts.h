#pragma once

// The parts of tolvane-cli's help that differ between the systems it is built for.
namespace Cli {

extern const char* const PortHelp;       // --port
extern const char* const PortsHelp;      // the ports command
extern const char* const SystemHelpNote;  // after the exit statuses; may be empty

}  // namespace Cli
