#pragma once
#include <cstdint>

namespace ComPlatform::Posix {

// Terminal attributes in a form both the C library's and the kernel's records can take.
struct TRawAttributes {
  std::uint32_t iflag = 0, oflag = 0, cflag = 0, lflag = 0;
  unsigned char cc[19] = {};
};

// Sets the attributes together with a bit rate outside the constant table, and reads back
// the rate the driver took. Returns false with errno set.
bool SetCustomRate(int fd, const TRawAttributes& attributes, std::uint32_t rate,
                   std::uint32_t& actual);

}  // namespace ComPlatform::Posix
