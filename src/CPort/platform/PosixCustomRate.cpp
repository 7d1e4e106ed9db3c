// The kernel's own terminal record carries any bit rate; its header clashes with the C
// library's <termios.h>, so this file keeps to itself.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cstring>

#include "CPort/platform/PosixCustomRate.h"

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace ComPlatform::Posix {

bool SetCustomRate(int fd, const TRawAttributes& attributes, std::uint32_t rate,
                   std::uint32_t& actual) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_iflag = attributes.iflag;
  t.c_oflag = attributes.oflag;
  t.c_lflag = attributes.lflag;
  // An input rate field of 0 means "as the output rate".
  t.c_cflag = (attributes.cflag & ~(CBAUD | CIBAUD)) | BOTHER;
  static_assert(sizeof(t.c_cc) == sizeof(attributes.cc));
  std::memcpy(t.c_cc, attributes.cc, sizeof(t.c_cc));
  t.c_ispeed = rate;
  t.c_ospeed = rate;
  if (ioctl(fd, TCSETS2, &t) != 0) return false;
  termios2 back{};
  if (ioctl(fd, TCGETS2, &back) != 0) return false;
  actual = back.c_ospeed;
  return true;
}

}  // namespace ComPlatform::Posix
