#include "cli/ProductionCommands.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <climits>
#include <filesystem>
#include <set>

#include "cli/Commands.h"
#include "cli/Failure.h"
#include "cli/MainLoop.h"
#include "cli/PortChoice.h"
#include "cli/SocketProgrammer.h"
#include "image/ImageFile.h"
#include "record/SqliteRecord.h"
#include "station/Station.h"

namespace Cli {

namespace {

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || !name[0]) return "localhost";
  return name;
}

std::string SameFile(const std::string& path) {
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::canonical(path, error);
  return error ? std::string() : canonical.string();
}

// The USB serial number of the programmer's bridge on a port, when the machine tells it.
std::string PortSerial(const std::vector<TSerialPortDetails>& ports, const std::string& port) {
  const std::string device = SameFile(port.find('/') == std::string::npos ? "/dev/" + port : port);
  for (const TSerialPortDetails& details : ports)
    if (details.Name == port || details.ById == port || (!device.empty() && SameFile(details.DevicePath) == device))
      return details.Serial;
  return {};
}

Station::TStationSetup Setup(const TOptions& options) {
  Station::TStationSetup setup;
  try {
    setup.Image = Image::LoadImage(options.File, &setup.ImageText);
  } catch (const Hex::EHexFormat& e) {
    throw ECommand(ecBadFile, e.Message());
  }
  if (setup.Image.Bytes.empty()) throw ECommand(ecBadFile, options.File + ": the file holds no data to program");

  std::vector<TSerialPortDetails> machine;
  try {
    machine = MachinePorts();
  } catch (const EComPort&) {
    // Without the list the serial numbers stay unknown.
  }
  std::vector<std::string> ports = options.Ports;
  if (!options.Port.empty()) ports.insert(ports.begin(), options.Port);  // given before the command
  if (ports.empty()) throw ECommand(ecUsage, "production: name each programmer with --port PORT");
  std::set<std::string> seen;
  for (const std::string& port : ports) {
    const std::string same = SameFile(port);
    if (!seen.insert(same.empty() ? port : same).second) throw ECommand(ecUsage, port + ": given twice with --port");
    setup.Sockets.push_back({port, PortSerial(machine, port)});
  }
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const bool noErase = options.NoErase;
  setup.WorkerCommand = [self, noErase](const std::string& port) {
    // The port layer takes a name without a folder from /dev, and so also "./prog1": a
    // relative path is made whole for it.
    const bool relative = port.find('/') != std::string::npos && port.front() != '/';
    std::vector<std::string> command{self, "--port", relative ? std::filesystem::absolute(port).string() : port,
                                     "socket-worker"};
    if (noErase) command.push_back("--no-erase");
    return command;
  };
  setup.Auto = options.Auto;
  setup.Poll = std::chrono::milliseconds(options.PollMs);
  setup.Count = options.Count;
  setup.Expect = ExpectedChip(options);
  setup.OperatorFd = STDIN_FILENO;
  setup.OperatorTerminal = ::isatty(STDIN_FILENO);
  return setup;
}

int Production(const TOptions& options) {
  const Station::TStationSetup setup = Setup(options);
  Station::TScreen screen(stdout, ::isatty(STDOUT_FILENO));
  try {
    Record::TSqliteRecord record(options.Log, HostName());
    if (record.Abandoned() > 0)
      screen.Event(options.Log + ": " + std::to_string(record.Abandoned()) +
                       " chips left open by an earlier run are now on record as aborted",
                   true);
    return Station::RunStation(setup, record, screen);
  } catch (const Station::EStart& e) {
    throw ECommand(TExitCode(e.Code()), e.Message());
  } catch (const Record::ERecord& e) {
    throw ECommand(ecBadFile, e.Message());
  }
}

int Log(const TOptions& options) {
  try {
    Record::WriteCsv(options.Log, stdout);
  } catch (const Record::ERecord& e) {
    throw ECommand(ecBadFile, e.Message());
  }
  return ecSuccess;
}

// A worker of a production run: one programmer, commands on standard input, events on
// standard output.
int SocketWorker(const TOptions& options) {
  InstallMainLoop();
  TLinkSocketProgrammer programmer(options.Port, !options.NoErase);
  return Station::ServeStation(programmer, stdin, stdout);
}

}  // namespace

void AddProductionCommands(CLI::App& app, TOptions& options) {
  CLI::App* production = app.add_subcommand(
      "production", "Program chip after chip on one or more programmers, every chip on record");
  production->add_option("FILE", options.File, "Intel HEX image")->required()->option_text(" ");
  production->add_option("--port", options.Ports, "A programmer's port; once for each programmer")
      ->option_text("PORT")
      ->allow_extra_args(false);
  production->add_option("--log", options.Log, "The record, an SQLite database (default tolvane-production.db)")
      ->option_text("DB");
  production->add_flag("--auto", options.Auto,
                       "Each socket on its own: start as soon as a chip is in, wait until it is out");
  production->add_option("--poll-ms", options.PollMs, "How often --auto asks a programmer for its chip, in ms (default 500)")
      ->option_text("N")
      ->check(CLI::Range(50, 60000));
  production->add_option("--count", options.Count, "End after N chips in all")->option_text("N")->check(CLI::PositiveNumber);
  production->add_flag("--no-erase", options.NoErase, "Write without erasing the chip first");
  production->group("Commands");

  CLI::App* log = app.add_subcommand("log", "Print the production record as CSV");
  log->add_option("--log", options.Log, "The record (default tolvane-production.db)")->option_text("DB");
  log->group("Commands");

  CLI::App* worker = app.add_subcommand("socket-worker", "");
  worker->add_flag("--no-erase", options.NoErase);
  worker->group("");  // started by production, not by people
}

std::optional<int> RunProductionCommand(const TOptions& options) {
  if (options.Command == "production") return Production(options);
  if (options.Command == "log") return Log(options);
  if (options.Command == "socket-worker") return SocketWorker(options);
  return std::nullopt;
}

}  // namespace Cli
