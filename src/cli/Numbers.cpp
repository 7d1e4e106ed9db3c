#include "cli/Numbers.h"

#include "cli/Failure.h"

namespace Cli {

std::optional<TNumberPlan> NumberPlan(const TOptions& options) {
  if (!options.SerialFile.empty()) {
    if (!options.SerialAt.empty())
      throw ECommand(ecUsage, "--serial-file gives each number's place itself; leave out --serial-at");
    std::vector<Serial::TNumRecord> list;
    try {
      list = Serial::LoadNumList(options.SerialFile);
    } catch (const Serial::ESerial& e) {
      throw ECommand(ecBadFile, e.Message());
    }
    Serial::TNumberSource source(std::move(list));
    const std::uint64_t count = *source.Count();
    const std::string name = "list " + source.StampFor(0).Number + " .. " + source.StampFor(count - 1).Number +
                             " (" + std::to_string(count) + " numbers)";
    return TNumberPlan{std::move(source), name};
  }
  if (options.SerialAt.empty()) {
    if (options.SerialOverwrite) throw ECommand(ecUsage, "--serial-overwrite needs --serial-at or --serial-file");
    return std::nullopt;
  }
  try {
    const Serial::TSerialLayout layout = Serial::MakeLayout(options.SerialAt, options.SerialFormat, options.SerialWidth);
    const std::uint64_t start = Serial::ParseNumber(options.SerialStart, "--serial-start");
    const std::uint64_t step = Serial::ParseNumber(options.SerialStep, "--serial-step");
    if (step == 0) throw Serial::ESerial("--serial-step 0 gives every chip the same number");
    Serial::StampOf(start, layout);  // the first number fits the layout
    return TNumberPlan{Serial::TNumberSource(layout, start, step),
                       "from " + std::to_string(start) + " step " + std::to_string(step)};
  } catch (const Serial::ESerial& e) {
    throw ECommand(ecUsage, e.Message());
  }
}

}  // namespace Cli
