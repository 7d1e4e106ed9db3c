#include "cli/SerialOptions.h"

#include <CLI/CLI.hpp>

namespace Cli {

void AddSerialOptions(CLI::App& command, TOptions& options, const char* each) {
  CLI::Option* at =
      command
          .add_option("--serial-at", options.SerialAt,
                      std::string("Put a serial number into the chip at eeprom:ADDR, program:ADDR (a RETLW per "
                                  "byte) or id (four ID words, a digit each); ") +
                          each)
          ->option_text("PLACE");
  command.add_option("--serial-format", options.SerialFormat, "bin (big-endian), le, dec, hex or bcd; default bin")
      ->option_text("FORMAT")
      ->needs(at);
  command.add_option("--serial-width", options.SerialWidth, "Bytes (bin, le, bcd) or characters (dec, hex); default 4")
      ->option_text("N")
      ->needs(at);
  command.add_option("--serial-start", options.SerialStart, "The first number (default 1)")
      ->option_text("N")
      ->needs(at);
  command.add_option("--serial-step", options.SerialStep, "From one number to the next (default 1)")
      ->option_text("K")
      ->needs(at);
  command
          .add_option("--serial-file", options.SerialFile,
                      "Take the numbers from an SQTP list (Intel HEX, one data record a chip, at the "
                      "address it gives)")
          ->option_text("FILE.num")
          ->excludes(at);
  command.add_flag("--serial-overwrite", options.SerialOverwrite, "Let a number replace data the file sets at its place");
}

}  // namespace Cli
