#include "CPort/platform/PosixLineSettings.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "CPort/platform/PosixCustomRate.h"

namespace ComPlatform::Posix {

namespace {

struct TRate {
  DWORD rate;
  speed_t speed;
};

constexpr TRate Rates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

constexpr DWORD DtrDisable = 0, RtsDisable = 0, RtsHandshake = 2;

// A device that has gone away answers with these; anything else is a refusal.
DWORD CodeFor(int err) {
  return err == EIO || err == ENXIO || err == ENODEV ? ERROR_BAD_COMMAND
                                                     : ERROR_INVALID_PARAMETER;
}

// Drivers may round a rate to what their clock divides to; beyond this it is not the rate.
bool CloseEnough(DWORD actual, DWORD wanted) {
  const std::uint64_t diff = actual > wanted ? actual - wanted : wanted - actual;
  return diff * 100 <= std::uint64_t{wanted} * 2;
}

}  // namespace

speed_t StandardSpeed(DWORD rate) {
  for (const TRate& r : Rates)
    if (r.rate == rate) return r.speed;
  return B0;
}

bool MakeLineSettings(const DCB& dcb, const termios& current, TLineSettings& settings,
                      DWORD& error) {
  const DWORD dtrControl = (dcb.Flags >> DCB_fDtrControlShift) & 3;
  const DWORD rtsControl = (dcb.Flags >> DCB_fRtsControlShift) & 3;
  const bool outX = dcb.Flags & DCB_fOutX, inX = dcb.Flags & DCB_fInX;
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 ||
      dcb.StopBits > 2 || ((outX || inX) && dcb.XonChar == dcb.XoffChar) || dtrControl == 3) {
    error = ERROR_INVALID_PARAMETER;
    return false;
  }

  TLineSettings s;
  termios& t = s.attributes;
  t = current;
  cfmakeraw(&t);
  // Breaks reach the port through the driver's counters, not as NUL bytes in the data.
  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | BRKINT);
  t.c_iflag |= IGNBRK;
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= CLOCAL | CREAD;
  static constexpr tcflag_t Sizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= Sizes[dcb.ByteSize - 5];
  switch (dcb.Parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  // The line knows only one or two stop bits; one and a half is sent as two.
  if (dcb.StopBits != 0) t.c_cflag |= CSTOPB;

  // Linux has one switch for both directions of hardware handshake.
  const bool hardwareFlow = (dcb.Flags & DCB_fOutxCtsFlow) || rtsControl == RtsHandshake;
  if (hardwareFlow) t.c_cflag |= CRTSCTS;
  if (outX) t.c_iflag |= IXON;
  if (inX) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;

  if (dcb.Flags & DCB_fParity) {
    t.c_iflag |= INPCK | PARMRK;
    s.markErrors = true;
    s.replaceErrors = dcb.Flags & DCB_fErrorChar;
    s.errorChar = dcb.ErrorChar;
  }
  s.discardNull = dcb.Flags & DCB_fNull;
  s.eventChar = dcb.EvtChar;

  (dtrControl == DtrDisable ? s.dropLines : s.raiseLines) |= TIOCM_DTR;
  // Under hardware handshake the driver drives RTS itself; toggle mode holds it on.
  if (!hardwareFlow) (rtsControl == RtsDisable ? s.dropLines : s.raiseLines) |= TIOCM_RTS;

  s.speed = StandardSpeed(dcb.BaudRate);
  if (s.speed == B0) {
    s.customRate = dcb.BaudRate;
  } else {
    cfsetispeed(&t, s.speed);
    cfsetospeed(&t, s.speed);
  }
  settings = s;
  return true;
}

bool ApplyLineSettings(int fd, const TLineSettings& settings, DWORD& error) {
  const termios& t = settings.attributes;
  if (settings.speed != B0) {
    // tcsetattr fails only when no part took, and succeeds when any did; so what the
    // line holds afterwards decides. A line may fix its character format (a
    // pseudo-terminal is always 8N); the rest must be as asked.
    const bool set = tcsetattr(fd, TCSANOW, &t) == 0;
    const int setError = errno;
    termios back{};
    if (tcgetattr(fd, &back) != 0) {
      error = CodeFor(errno);
      return false;
    }
    if (!set && setError != EINVAL) {
      error = CodeFor(setError);
      return false;
    }
    constexpr tcflag_t Format = CSIZE | PARENB | PARODD | CMSPAR;
    const bool restAsAsked = back.c_iflag == t.c_iflag && back.c_oflag == t.c_oflag &&
                             back.c_lflag == t.c_lflag &&
                             (back.c_cflag & ~Format) == (t.c_cflag & ~Format);
    if ((!set && !restAsAsked) || cfgetospeed(&back) != settings.speed) {
      error = ERROR_INVALID_PARAMETER;
      return false;
    }
  } else {
    TRawAttributes raw;
    raw.iflag = t.c_iflag;
    raw.oflag = t.c_oflag;
    raw.cflag = t.c_cflag;
    raw.lflag = t.c_lflag;
    std::memcpy(raw.cc, t.c_cc, sizeof(raw.cc));
    std::uint32_t actual = 0;
    if (!SetCustomRate(fd, raw, settings.customRate, actual)) {
      error = CodeFor(errno);
      return false;
    }
    if (!CloseEnough(actual, settings.customRate)) {
      error = ERROR_INVALID_PARAMETER;
      return false;
    }
  }
  // A line without modem controls (a pseudo-terminal) has nothing to hold.
  for (auto [request, lines] : {std::pair{TIOCMBIS, settings.raiseLines},
                                std::pair{TIOCMBIC, settings.dropLines}}) {
    if (lines != 0 && ioctl(fd, request, &lines) != 0 && errno != ENOTTY && errno != EINVAL) {
      error = CodeFor(errno);
      return false;
    }
  }
  return true;
}

}  // namespace ComPlatform::Posix
