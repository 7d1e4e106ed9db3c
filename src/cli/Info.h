#pragma once
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "config/ImagePreparation.h"

namespace Cli {

// The info command's report: what the file sets, memory by memory; with a chip (--chip, or
// identified through --port) its configuration word setting by setting and the warnings;
// the digest; a serial number where --serial-at says. Text, or JSON with --json.
std::string InfoReport(const TOptions& options);

// The image a write sends: the --config settings applied (ecUsage for one the chip does not
// have); its warnings are shown on standard error, so call it before anything is sent.
ChipConfig::TPreparedImage PrepareWrite(const Hex::THexImage& image, const Image::TChipLayout& chip,
                                        const std::vector<std::string>& config);

}  // namespace Cli
