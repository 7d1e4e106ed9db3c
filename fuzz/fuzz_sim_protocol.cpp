// The simulated programmer's command interpreter takes any byte stream, with hang-ups between,
// without failing: programming times stay sane and its answers stay plain text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ChipMemory.h"
#include "ChipModel.h"
#include "DeviceProtocol.h"

namespace {

const char* const Chips[] = {"PIC16F84A", "PIC16F877", "PIC16F877A", "PIC16F630", "PIC16F870"};

// A read answers with as much as its size code asks, as HEX text: up to 9K words of program
// memory, about a millisecond for every 1K words under the sanitizers, and 50 microseconds for
// an EEPROM block, so that reads took most of the fuzzing time. That text comes from the
// chip's read-out and the HEX writer, which their own tests and fuzz_hex_reader cover, and a
// read changes nothing, so the reads here are cut down: '#' begins a size code whatever the
// programmer is doing; of its four digits the second (K words) becomes 0, and the fourth
// (EEPROM blocks) 0 or 1 in the input's first read and 0 in later ones.
class TReadSizeLimit {
public:
  char Next(char c) {
    if (c == '#') {
      FDigits = 0;
    } else if (FDigits >= 0 && FDigits < 4 && c >= '0' && c <= '9') {
      ++FDigits;
      if (FDigits == 2) c = '0';
      if (FDigits == 4) c = FReads++ == 0 ? char('0' + (c - '0') % 2) : '0';
    } else {
      FDigits = -1;
    }
    return c;
  }
  // A hang-up drops a half-received size code.
  void HangUp() { FDigits = -1; }

private:
  int FDigits = -1;  // size code digits seen since the last '#', or -1 outside a size code
  int FReads = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // Fresh chips are made once: filling their memories took a quarter of the time.
  static const std::vector<Sim::TChipMemory> blank = [] {
    std::vector<Sim::TChipMemory> chips;
    for (const char* name : Chips) {
      const Sim::TChipModel* model = Sim::FindChip(name);
      if (!model) std::abort();
      chips.emplace_back(*model);
    }
    return chips;
  }();
  Sim::TChipMemory memory = blank[data[0] % blank.size()];
  Sim::TDeviceOptions options;
  if (data[1] & 1) options.FailAt = {0x0000, 0x0012, 0x2007};
  if (data[1] & 2) options.KeepAt = {0x0001, 0x0012, 0x2100};
  Sim::TDeviceProtocol protocol(memory, options);
  TReadSizeLimit limit;
  std::string answers;
  for (std::size_t i = 2; i < size; ++i) {
    // A byte 0xFF 0xFE pair stands for the line hanging up.
    if (data[i] == 0xFF && i + 1 < size && data[i + 1] == 0xFE) {
      protocol.Reset();
      limit.HangUp();
      ++i;
      continue;
    }
    const auto busy = protocol.Feed(limit.Next(char(data[i])), answers);
    if (busy.count() < 0 || busy.count() > 60'000'000) std::abort();
  }
  if (answers.find('\0') != std::string::npos) std::abort();
  return 0;
}
