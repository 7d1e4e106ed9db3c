#include "CPort/platform/PosixTty.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "CPort/platform/PosixHandles.h"

namespace ComPlatform::Posix {

namespace {

DWORD OpenError(int err) {
  switch (err) {
    case EACCES: case EPERM: case EBUSY: case EWOULDBLOCK:
      return ERROR_ACCESS_DENIED;
    case ENOENT: case ENOTDIR: case ENXIO: case ENODEV: case ENAMETOOLONG: case EISDIR:
      return ERROR_FILE_NOT_FOUND;
    default:
      return ERROR_GEN_FAILURE;
  }
}

std::string DevicePath(const char* name) {
  std::string path = name ? name : "";
  if (path.rfind("\\\\.\\", 0) == 0) path.erase(0, 4);
  if (path.empty() || path[0] == '/') return path;
  return "/dev/" + path;
}

}  // namespace

int OpenTty(const char* name) {
  const std::string path = DevicePath(name);
  if (path.empty()) return Fail(ERROR_FILE_NOT_FOUND), -1;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Fail(OpenError(errno)), -1;
  auto fail = [fd](DWORD code) {
    ::close(fd);
    return Fail(code), -1;
  };
  if (!isatty(fd)) return fail(ERROR_FILE_NOT_FOUND);
  // The lock keeps every second opener out, root included; TIOCEXCL keeps out others
  // that do not ask for the lock. It is taken only once the lock is ours.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(ERROR_ACCESS_DENIED);
  ioctl(fd, TIOCEXCL);

  // Raw from the start, so nothing the device sends is cooked or echoed before the
  // port's own settings arrive; what was waiting before the open is not ours.
  termios t{};
  if (tcgetattr(fd, &t) == 0) {
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd, TCSANOW, &t);
  }
  tcflush(fd, TCIOFLUSH);
  return fd;
}

void ReleaseTty(int fd, bool gone) {
  if (!gone) {
    // The kernel's close waits until the driver has sent what it holds, for up to 30 s
    // while the far end holds CTS off. So what is still queued is discarded, and output
    // flow control is switched off so that what a USB bridge holds itself goes out at once.
    ioctl(fd, TCFLSH, TCOFLUSH);  // tcflush, as the ioctl that the tests can watch
    termios t{};
    if (tcgetattr(fd, &t) == 0 && ((t.c_cflag & CRTSCTS) || (t.c_iflag & IXON))) {
      t.c_cflag &= ~CRTSCTS;
      t.c_iflag &= ~IXON;
      tcsetattr(fd, TCSANOW, &t);
    }
  }
  ioctl(fd, TIOCNXCL);
  flock(fd, LOCK_UN);
}

int KernelInputCount(int fd) {
  int waiting = 0;
  return ioctl(fd, TIOCINQ, &waiting) == 0 ? waiting : -1;
}

int KernelOutputCount(int fd) {
  int pending = 0;
  return ioctl(fd, TIOCOUTQ, &pending) == 0 && pending > 0 ? pending : 0;
}

bool TLineWatch::Unsupported(int error) { return error == ENOTTY || error == EINVAL; }

TLineWatch::TReading TLineWatch::ReadModemLines(int fd) {
  int lines = 0;
  if (ioctl(fd, TIOCMGET, &lines) != 0) return {false, errno, 0};
  return {true, 0, lines};
}

DWORD TLineWatch::NoteModemLines(const TReading& reading) {
  if (!reading.Ok) {
    if (Unsupported(reading.Error)) FModemWorks = false;
    return 0;
  }
  // Not every driver counts line changes, so levels are compared as well.
  const int changed = reading.Lines ^ FModemLines;
  DWORD events = 0;
  if (changed & TIOCM_CTS) events |= EV_CTS;
  if (changed & TIOCM_DSR) events |= EV_DSR;
  if (changed & TIOCM_CD) events |= EV_RLSD;
  if (changed & reading.Lines & TIOCM_RI) events |= EV_RING;
  FModemLines = reading.Lines;
  return events;
}

// The counters live in the kernel's memory, so reading them is cheap enough for every
// ClearCommError.
DWORD TLineWatch::SampleCounters(int fd, DWORD& errors) {
  if (!FCountersWork) return 0;
  serial_icounter_struct c{};
  if (ioctl(fd, TIOCGICOUNT, &c) != 0) {
    if (Unsupported(errno)) FCountersWork = false;
    return 0;
  }
  const TCounters now{c.cts,   c.dsr,     c.rng,    c.dcd, c.frame,
                      c.overrun, c.parity, c.brk, c.buf_overrun};
  const TCounters was = FCountersKnown ? FCounters : now;
  FCountersKnown = true;
  FCounters = now;
  DWORD events = 0;
  if (now.frame != was.frame) errors |= CE_FRAME;
  if (now.parity != was.parity) errors |= CE_RXPARITY;
  if (now.overrun != was.overrun) errors |= CE_OVERRUN;
  if (now.bufOverrun != was.bufOverrun) errors |= CE_RXOVER;
  if (now.brk != was.brk) errors |= CE_BREAK;
  if (now.frame != was.frame || now.parity != was.parity || now.overrun != was.overrun ||
      now.bufOverrun != was.bufOverrun)
    events |= EV_ERR;
  if (now.brk != was.brk) events |= EV_BREAK;
  if (now.cts != was.cts) events |= EV_CTS;
  if (now.dsr != was.dsr) events |= EV_DSR;
  if (now.dcd != was.dcd) events |= EV_RLSD;
  if (now.rng != was.rng) events |= EV_RING;
  return events;
}

}  // namespace ComPlatform::Posix
