#include "CPort/platform/PosixReceiveFilter.h"

#include <cstring>

namespace ComPlatform::Posix {

void TReceiveFilter::Configure(const TRules& rules) {
  FRules = rules;
  if (!rules.markErrors) FMark = TMark::None;
}

std::size_t TReceiveFilter::Filter(const std::uint8_t* in, std::size_t n, std::uint8_t* out,
                                   bool& sawEventChar) {
  std::size_t kept = 0;
  if (!FRules.markErrors && !FRules.discardNull) {
    // What the line mostly does: every byte as it came, looked at once for the event
    // character.
    if (out != in) std::memmove(out, in, n);
    sawEventChar = std::memchr(out, FRules.eventChar, n) != nullptr;
    return n;
  }
  sawEventChar = false;
  auto keep = [&](std::uint8_t byte) {
    if (byte == 0 && FRules.discardNull) return;
    if (byte == FRules.eventChar) sawEventChar = true;
    out[kept++] = byte;
  };
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t byte = in[i];
    if (!FRules.markErrors) {
      keep(byte);
      continue;
    }
    switch (FMark) {
      case TMark::None:
        if (byte == 0xFF) FMark = TMark::Escape;
        else keep(byte);
        break;
      case TMark::Escape:
        if (byte == 0x00) {
          FMark = TMark::Errored;
        } else {
          // 0xFF 0xFF is a real 0xFF; a lone marker cannot come from the driver and is
          // dropped, which also keeps the output no longer than the input.
          keep(byte);
          FMark = TMark::None;
        }
        break;
      case TMark::Errored:
        keep(FRules.replaceErrors ? FRules.errorChar : byte);
        FMark = TMark::None;
        break;
    }
  }
  return kept;
}

}  // namespace ComPlatform::Posix
