// The simulated programmer's command interpreter takes any byte stream, with hang-ups between,
// without failing: programming times stay sane and its answers stay plain text.
#include <cstdlib>
#include <string>

#include "ChipMemory.h"
#include "ChipModel.h"
#include "DeviceProtocol.h"

namespace {
const char* const Chips[] = {"PIC16F84A", "PIC16F877", "PIC16F877A", "PIC16F630", "PIC16F870"};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const Sim::TChipModel* model = Sim::FindChip(Chips[data[0] % 5]);
  if (!model) std::abort();
  Sim::TChipMemory memory(*model);
  Sim::TDeviceOptions options;
  if (data[1] & 1) options.FailAt = {0x0000, 0x0012, 0x2007};
  Sim::TDeviceProtocol protocol(memory, options);
  std::string answers;
  for (std::size_t i = 2; i < size; ++i) {
    // A byte 0xFF 0xFE pair stands for the line hanging up.
    if (data[i] == 0xFF && i + 1 < size && data[i + 1] == 0xFE) {
      protocol.Reset();
      ++i;
      continue;
    }
    const auto busy = protocol.Feed(char(data[i]), answers);
    if (busy.count() < 0 || busy.count() > 60'000'000) std::abort();
  }
  for (char c : answers)
    if (c == '\0') std::abort();
  return 0;
}
