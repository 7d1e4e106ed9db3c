// tolvane-cli: the Tolvane II programmer from the command line, for scripts and benches.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <optional>

#include "CPort/EComPort.h"
#include "cli/Commands.h"
#include "cli/Failure.h"
#include "cli/InfoOptions.h"
#include "cli/MainLoop.h"
#include "cli/ProductionCommands.h"
#include "cli/SerialOptions.h"
#include "cli/SystemTexts.h"
#include "os/Console.h"

namespace {

constexpr const char* Usage =
    "tolvane-cli [--port PORT] [--expect CHIP] [--quiet] COMMAND [ARGUMENTS]\n"
    "Reads, writes, verifies and erases PIC16 chips in a Tolvane II programmer.";

constexpr const char* ExitStatus =
    "A FILE of - is standard input; read -o - writes to standard output.\n\n"
    "Exit status:\n"
    "  0    success\n"
    "  1    the chip does not hold the image: the programmer reported failed locations,\n"
    "       verify found differences, or blank-check found data\n"
    "  2    usage\n"
    "  3    the file is unreadable, holds no data, is not valid Intel HEX, or does not fit the\n"
    "       chip (without --force); or the output cannot be written\n"
    "  4    the port is missing, not a serial port, in use, not permitted, or failed (the\n"
    "       programmer was unplugged)\n"
    "  5    the programmer does not answer in time, the chip is not recognised, or it is not\n"
    "       the --expect-ed one\n"
    "  130  interrupted (Ctrl-C)\n"
    "  143  terminated (SIGTERM)";

// The command list shows what each command takes: "write [--no-erase] ... FILE".
class THelpFormatter : public CLI::Formatter {
public:
  std::string make_subcommand(const CLI::App* command) const override {
    std::string synopsis = command->get_name(), positionals;
    for (const CLI::Option* option : command->get_options()) {
      if (option == command->get_help_ptr()) continue;
      const std::string& value = option->get_option_text();
      if (option->get_positional())
        positionals += " " + option->get_name(true);
      else
        synopsis += " [" + option->get_name() + (value.empty() ? "" : " " + value) + "]" +
                    (option->get_items_expected_max() > 1 ? "..." : "");
    }
    std::stringstream out;
    CLI::detail::format_help(out, synopsis + positionals, command->get_description(), column_width_);
    return out.str();
  }
};

int Fail(int code, const char* message) {
  std::fprintf(stderr, "tolvane-cli: %s\n", message);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  Os::KeepStandardStreamsOpen();
  CLI::App app{Usage, "tolvane-cli"};
  app.set_version_flag("--version", "tolvane-cli " TOLVANE_VERSION);
  app.require_subcommand(1, 1);
  app.fallthrough();
  app.allow_windows_style_options(false);  // /dev/... and C:/... are paths, not options
  app.formatter(std::make_shared<THelpFormatter>());
  app.get_formatter()->label("SUBCOMMAND", "COMMAND");

  Cli::TOptions options;
  app.add_option("--port", options.Port, Cli::PortHelp)
      ->option_text("PORT");
  app.add_option("--expect", options.Expect,
                 "Go on only when the programmer holds this chip (PIC16F877A, 16f877a, ...)")
      ->option_text("CHIP");
  app.add_flag("--quiet", options.Quiet, "No progress; notices and warnings still go to standard error");

  app.add_subcommand("ports", Cli::PortsHelp)
      ->add_flag("--json", options.Json, "JSON on standard output");
  app.add_subcommand("identify", "Print the chip's name (and its ID word)")
      ->add_flag("--json", options.Json, "JSON on standard output");
  Cli::AddInfoCommand(app, options);
  CLI::App* read = app.add_subcommand("read", "Read the chip as Intel HEX to FILE, or to standard output");
  read->add_option("-o", options.Output, "The file to write; - for standard output")->option_text("FILE");
  CLI::App* write = app.add_subcommand(
      "write", "Check FILE against the chip, erase the chip, write FILE, read it back and compare");
  write->add_flag("--no-erase", options.NoErase,
                  "Do not erase first: what FILE does not set keeps its old contents");
  write->add_flag("--no-verify", options.NoVerify, "Do not read back and compare");
  write->add_flag("--force", options.Force,
                  "Write an image with data outside the chip, leaving that out (never one that is "
                  "not valid HEX)");
  write->add_option("--config", options.Config,
                    "Change a setting of the configuration word, by its device header name "
                    "(WDTE_OFF); repeatable")
      ->option_text("SETTING");
  Cli::AddSerialOptions(*write, options,
                        "write keeps no count: the chip gets --serial-start itself, or the list's first "
                        "number (production takes each chip's from its record)");
  write->add_option("FILE", options.File, "Intel HEX image; - for standard input")->required()->option_text(" ");
  CLI::App* verify = app.add_subcommand("verify", "Read the chip and compare with FILE");
  verify->add_flag("--force", options.Force, "Compare an image with data outside the chip, leaving that out");
  verify->add_option("FILE", options.File, "Intel HEX image; - for standard input")->required()->option_text(" ");
  app.add_subcommand("erase", "Erase the chip (the command is the confirmation; no question)");
  app.add_subcommand("blank-check", "Exit 0 when the chip is blank, 1 when not");
  for (CLI::App* command : app.get_subcommands({})) command->group("Commands");
  Cli::AddProductionCommands(app, options);
  app.footer(std::string(ExitStatus) + Cli::SystemHelpNote);  // the commands' own help leaves it out

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help, --version
  } catch (const CLI::ParseError& e) {
    std::string message = e.what();
    const std::vector<std::string> rest = app.remaining();
    if (app.get_subcommands().empty())
      message = !rest.empty() && !rest.front().starts_with("-") ? "unknown command '" + rest.front() + "'"
                                                                 : "no command given";
    std::fprintf(stderr, "tolvane-cli: %s\nTry 'tolvane-cli --help' for more information.\n", message.c_str());
    return Cli::ecUsage;
  }
  options.Command = app.get_subcommands().front()->get_name();

  Os::UseBinaryStandardStreams();
  try {
    if (const std::optional<int> status = Cli::RunProductionCommand(options)) return *status;
    Cli::InstallMainLoop();
    Cli::RunCommand(options);
    return Cli::ecSuccess;
  } catch (const Cli::ECommand& e) {
    // Standard output's reader has gone, as `read | head -1` does: end quietly, as SIGPIPE
    // ends other tools.
    if (e.Code() == Cli::ecBrokenPipe) {
      Os::EndAsBrokenPipe();
      return Cli::ecBrokenPipe;
    }
    // Ended by a signal: the shell's 128 + its number, 130 for Ctrl-C.
    if (e.Code() == Cli::ecInterrupted && Cli::InterruptSignal()) return Fail(128 + Cli::InterruptSignal(), e.what());
    return Fail(e.Code(), e.what());
  } catch (const EComPort& e) {
    return Fail(Cli::ecPort, e.what());  // the port failed under a job: unplugged, say
  } catch (const std::exception& e) {
    return Fail(Cli::ecProgrammer, e.what());
  }
}
