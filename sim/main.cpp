// tolvane-sim: a simulated Tolvane II programmer on a pseudo-terminal.
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

#include "ChipMemory.h"
#include "PublishedLink.h"
#include "Simulator.h"
#include "SocketOperator.h"
#include "hex/HexImage.h"
#include "os/Console.h"

namespace {

Sim::TSimulator* RunningSimulator = nullptr;

void OnSignal(int) {
  if (RunningSimulator) RunningSimulator->Stop();
}

void InstallSignalHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // A simulator started in the background of a terminal must not be stopped for reading it.
  signal(SIGTTIN, SIG_IGN);
}

// The operator's commands come on standard input, unless that is the terminal of a shell
// that runs the simulator in the background (the terminal's keys are the shell's then).
bool TakesOperatorCommands() {
  return !::isatty(STDIN_FILENO) || ::tcgetpgrp(STDIN_FILENO) == ::getpgrp();
}

std::uint32_t ParseWordAddress(const std::string& option, const std::string& text) {
  std::size_t used = 0;
  unsigned long value = 0;
  try {
    value = std::stoul(text, &used, 16);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || value > 0xFFFF)
    throw CLI::ValidationError(option, "'" + text + "' is not a hex word address");
  return static_cast<std::uint32_t>(value);
}

std::string ChipNames() {
  std::string names;
  for (const auto& chip : Sim::AllChips()) names += (names.empty() ? "" : ", ") + std::string(chip.Name);
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  Os::KeepStandardStreamsOpen();
  CLI::App app{"Simulated Tolvane II programmer. Prints the pseudo-terminal's slave path on its "
               "first line and serves it until interrupted."};
  std::string chipName = "PIC16F877A";
  std::string linkPath, loadPath, dumpPath, idText, socket = "full", dumpEach;
  std::vector<std::string> failAt, keepAt;
  unsigned baud = 57600;
  double progMs = -1;
  bool silent = false, noPublish = false;

  app.add_option("--chip", chipName, "Chip in the socket: " + ChipNames())->capture_default_str();
  app.add_option("--link", linkPath, "Also reach the port through a symbolic link at this path");
  app.add_option("--load", loadPath, "Initial chip contents from an Intel HEX file")->check(CLI::ExistingFile);
  app.add_option("--dump", dumpPath, "Write the chip's contents as Intel HEX to this file on exit");
  app.add_option("--fail-at", failAt, "Word addresses (hex) that fail to program")->delimiter(',');
  app.add_option("--keep-at", keepAt,
                 "Word addresses (hex) that silently keep their old value when programmed")
      ->delimiter(',');
  app.add_option("--baud", baud, "Line speed in bit/s, 10 bits a character; 0 for no pacing")
      ->capture_default_str();
  unsigned latencyMs = 0;
  app.add_option("--latency-ms", latencyMs,
                 "Hold what is sent for up to this many ms, then hand it over at once, as a USB "
                 "serial bridge's latency timer does; 0 hands over each character as it goes")
      ->capture_default_str();
  auto* idOption = app.add_option("--id", idText,
                                  "Answer identification with this text (empty: \"Ready\" alone)");
  app.add_option("--prog-ms", progMs,
                 "Programming time of each word (each 8-word block on the PIC16F87xA), EEPROM "
                 "byte and erase, in ms; default: the chip's own")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--silent", silent, "Take every byte and never answer");
  app.add_option("--socket", socket,
                 "Start with a chip in the socket (full) or none (empty); the operator's commands "
                 "on standard input put chips in and take them out: insert, insert FILE, remove, "
                 "dump FILE")
      ->check(CLI::IsMember({"full", "empty"}))
      ->capture_default_str();
  app.add_option("--dump-each", dumpEach,
                 "Write every chip that leaves the socket, and the one in it at exit, to this "
                 "folder as chip-0001.hex, chip-0002.hex, ...")
      ->check(CLI::ExistingDirectory);
  app.set_version_flag("--version", "tolvane-sim " TOLVANE_VERSION);
  app.add_flag("--no-publish", noPublish,
               "Do not announce the port in $TOLVANE_SIM_DIR (default /tmp/tolvane-sim)");

  Sim::TDeviceOptions options;
  try {
    app.parse(argc, argv);
    for (const auto& text : failAt) options.FailAt.insert(ParseWordAddress("--fail-at", text));
    for (const auto& text : keepAt) options.KeepAt.insert(ParseWordAddress("--keep-at", text));
  } catch (const CLI::ParseError& e) {
    // --help and --version end well; a wrong command line is a usage error, as an unknown chip.
    return app.exit(e) == 0 ? 0 : 2;
  }

  const Sim::TChipModel* chip = Sim::FindChip(chipName);
  if (!chip) {
    std::cerr << "tolvane-sim: unknown chip '" << chipName << "'; known: " << ChipNames() << "\n";
    return 2;
  }
  if (*idOption) options.IdText = idText;
  if (progMs >= 0) options.ProgMs = progMs;
  options.Silent = silent;
  options.EmptySocket = socket == "empty";

  try {
    Sim::TChipMemory memory(*chip);
    if (!loadPath.empty()) memory.Load(Hex::LoadHexFile(loadPath));

    Sim::TSimulator simulator(std::move(memory), std::move(options), baud,
                              std::chrono::milliseconds(latencyMs));
    RunningSimulator = &simulator;
    InstallSignalHandlers();
    Sim::TSocketOperator hands(simulator, *chip, dumpEach);
    if (TakesOperatorCommands())
      simulator.SetOperatorInput(STDIN_FILENO, [&hands](const std::string& line) {
        std::cout << hands.Execute(line) << std::endl;
      });
    std::optional<Sim::TPublishedLink> link, published;
    if (!linkPath.empty()) link.emplace(linkPath, simulator.SlavePath());
    if (!noPublish)
      published.emplace(Sim::PublishDirectory() + "/ttySIM" + std::to_string(getpid()),
                        simulator.SlavePath());
    // Whoever waits for this line may use the links at once.
    std::cout << simulator.SlavePath() << std::endl;

    std::cerr << "tolvane-sim: " << chip->Name << " on " << simulator.SlavePath()
              << (link ? " (" + link->Path() + ")" : std::string()) << "\n";
    simulator.Run();
    RunningSimulator = nullptr;

    if (!dumpPath.empty()) {
      // An empty socket gives a file with no data.
      Hex::SaveHexFile(dumpPath, simulator.Occupied() ? simulator.Memory().Image() : Hex::THexImage{});
    }
    if (!dumpEach.empty()) hands.Finish();
  } catch (const std::exception& e) {
    RunningSimulator = nullptr;
    std::cerr << "tolvane-sim: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
