// tolvane-cli: the Tolvane II programmer from the command line, for scripts and benches.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "CPort/EComPort.h"
#include "cli/Commands.h"
#include "cli/Failure.h"
#include "cli/InfoOptions.h"
#include "cli/MainLoop.h"

namespace {

constexpr const char* Usage =
    "tolvane-cli [--port PORT] [--expect CHIP] [--quiet] COMMAND\n"
    "Reads, writes, verifies and erases PIC16 chips in a Tolvane II programmer.";

constexpr const char* ExitStatus =
    "Exit status:\n"
    "  0    success\n"
    "  1    the chip does not hold the image: the programmer reported failed locations,\n"
    "       verify found differences, or blank-check found data\n"
    "  2    usage\n"
    "  3    the file is unreadable, not valid Intel HEX, or does not fit the chip (without --force)\n"
    "  4    the port is missing, in use, or not permitted\n"
    "  5    the programmer does not answer in time, the chip is not recognised, or it is not\n"
    "       the --expect-ed one\n"
    "  130  interrupted";

int Fail(int code, const char* message) {
  std::fprintf(stderr, "tolvane-cli: %s\n", message);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{Usage, "tolvane-cli"};
  app.set_version_flag("--version", "tolvane-cli " TOLVANE_VERSION);
  app.require_subcommand(1, 1);
  app.fallthrough();
  app.get_formatter()->label("SUBCOMMAND", "COMMAND");

  Cli::TOptions options;
  app.add_option("--port", options.Port,
                 "A port name from 'ports' or any device path, such as /dev/serial/by-id/...; "
                 "default: the port the window saved, else the only USB serial port")
      ->option_text("PORT");
  app.add_option("--expect", options.Expect, "Go on only when the programmer holds this chip")
      ->option_text("CHIP");
  app.add_flag("--quiet", options.Quiet, "No progress");

  app.add_subcommand("ports",
                     "List ports: name, device path, USB vendor:product, product, serial number, "
                     "/dev/serial/by-id name; running simulators too")
      ->add_flag("--json", options.Json, "JSON on standard output");
  app.add_subcommand("identify", "Print the chip's name (and its ID word)")
      ->add_flag("--json", options.Json, "JSON on standard output");
  Cli::AddInfoCommand(app, options);
  CLI::App* read = app.add_subcommand("read", "Read the chip as Intel HEX to FILE, or to standard output");
  read->add_option("-o", options.Output, "The file to write")->option_text("FILE");
  CLI::App* write = app.add_subcommand(
      "write", "Check FILE against the chip, write it, read it back and compare");
  write->add_option("FILE", options.File, "Intel HEX image")->required()->option_text(" ");
  write->add_flag("--no-verify", options.NoVerify, "Do not read back and compare");
  write->add_flag("--force", options.Force,
                  "Write an image with data outside the chip (never one that is not valid HEX)");
  write->add_option("--config", options.Config,
                    "Change a setting of the configuration word, by its device header name "
                    "(WDTE_OFF); repeatable")
      ->option_text("SETTING");
  CLI::App* verify = app.add_subcommand("verify", "Read the chip and compare with FILE");
  verify->add_option("FILE", options.File, "Intel HEX image")->required()->option_text(" ");
  app.add_subcommand("erase", "Erase the chip (the command is the confirmation; no question)");
  app.add_subcommand("blank-check", "Exit 0 when the chip is blank, 1 when not");
  for (CLI::App* command : app.get_subcommands({})) command->group("Commands");
  app.footer(ExitStatus);  // the commands' own help leaves it out

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? Cli::ecSuccess : Cli::ecUsage;
  }
  options.Command = app.get_subcommands().front()->get_name();

  Cli::InstallMainLoop();
  try {
    Cli::RunCommand(options);
    return Cli::ecSuccess;
  } catch (const Cli::ECommand& e) {
    // Ended by a signal: the shell's 128 + its number, 130 for Ctrl-C.
    if (e.Code() == Cli::ecInterrupted && Cli::InterruptSignal()) return Fail(128 + Cli::InterruptSignal(), e.what());
    return Fail(e.Code(), e.what());
  } catch (const EComPort& e) {
    return Fail(Cli::ecPort, e.what());  // the port failed under a job: unplugged, say
  } catch (const std::exception& e) {
    return Fail(Cli::ecProgrammer, e.what());
  }
}
