#pragma once
#include <cstddef>
#include <cstdint>

namespace ComPlatform::Posix {

// Turns bytes as the tty delivers them into bytes for the port's input queue: errored
// bytes arrive marked (0xFF 0x00 byte, a real 0xFF doubled) and are passed on as they came
// or replaced; NUL bytes may be dropped. The marking state carries over between reads.
class TReceiveFilter {
public:
  struct TRules {
    bool markErrors = false;
    bool replaceErrors = false;
    bool discardNull = false;
    std::uint8_t errorChar = 0;
    std::uint8_t eventChar = 0;
  };

  void Configure(const TRules& rules);
  // Writes at most n bytes to out and returns their number; sawEventChar tells whether
  // the event character was among them. out may be in itself: no byte is written before
  // the byte it comes from has been read.
  std::size_t Filter(const std::uint8_t* in, std::size_t n, std::uint8_t* out,
                     bool& sawEventChar);

private:
  enum class TMark { None, Escape, Errored };
  TRules FRules;
  TMark FMark = TMark::None;
};

}  // namespace ComPlatform::Posix
