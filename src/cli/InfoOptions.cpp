#include "cli/InfoOptions.h"

#include <CLI/CLI.hpp>

namespace Cli {

void AddInfoCommand(CLI::App& app, TOptions& options) {
  CLI::App* info = app.add_subcommand(
      "info", "Tell what FILE sets; for a chip (--chip, or the one at --port) what its "
              "configuration word means and what to beware of");
  info->add_option("FILE", options.File, "Intel HEX image")->required()->option_text(" ");
  info->add_option("--chip", options.Chip, "The chip to read FILE for, such as PIC16F877A")->option_text("CHIP");
  info->add_option("--config", options.Config,
                   "Change a setting of the configuration word first, by its device header name "
                   "(WDTE_OFF); repeatable")
      ->option_text("SETTING");
  info->add_flag("--json", options.Json, "JSON on standard output");
  CLI::Option* at =
      info->add_option("--serial-at", options.SerialAt,
                       "Show the serial number the image holds at eeprom:ADDR, program:ADDR (a RETLW "
                       "per byte) or id (four ID words, a digit each)")
          ->option_text("PLACE");
  info->add_option("--serial-format", options.SerialFormat,
                   "bin (big-endian), le, dec, hex or bcd; default bin")
      ->option_text("FORMAT")
      ->needs(at);
  info->add_option("--serial-width", options.SerialWidth,
                   "Bytes (bin, le, bcd) or characters (dec, hex); default 4")
      ->option_text("N")
      ->needs(at);
}

}  // namespace Cli
