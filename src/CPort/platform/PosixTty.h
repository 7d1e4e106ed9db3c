#pragma once
#include "CPort/platform/SerialPlatform.h"

namespace ComPlatform::Posix {

// The tty itself: opening it for the port alone, reading what its driver knows, and letting
// it go.

// Opens the named device ("\\.\NAME" and "NAME" name /dev/NAME; a path is taken as it is)
// exclusively, non-blocking and raw, and discards what waited before the open. Returns -1
// with the thread's error code when it cannot.
int OpenTty(const char* name);

// Lets the tty go, so that another may open it at once and the kernel's close has nothing
// to wait for: unsent output is discarded and output flow control released (unless the
// device is gone), and the exclusive hold given up. The descriptor stays open (threads may
// still poll it) until ::close.
void ReleaseTty(int fd, bool gone);

// Bytes the kernel holds for reading (-1 when it cannot say), and bytes it has not sent yet
// (0 when it cannot say).
int KernelInputCount(int fd);
int KernelOutputCount(int fd);

// The modem lines and the driver's counters of line errors and line changes, read and
// compared with the previous reading. Not every driver has them: a pseudo-terminal has
// neither, which is remembered, so they are not asked again.
class TLineWatch {
public:
  struct TReading {
    bool Ok = false;
    int Error = 0;
    int Lines = 0;  // TIOCM_ bits
  };
  // A request to the device on USB bridges: made without the device's lock.
  static TReading ReadModemLines(int fd);

  // The line events (EV_) of a reading of the modem lines since the previous one.
  DWORD NoteModemLines(const TReading& reading);
  // Reads the counters: the events since the previous reading; their error flags (CE_) are
  // added to errors. The first reading is the baseline.
  DWORD SampleCounters(int fd, DWORD& errors);

  bool ModemWorks() const { return FModemWorks; }
  bool CountersWork() const { return FCountersWork; }
  // The lines cannot be read on this device (their reading failed as on a pseudo-terminal).
  void ModemUnsupported() { FModemWorks = false; }
  static bool Unsupported(int error);

private:
  struct TCounters {
    int cts = 0, dsr = 0, rng = 0, dcd = 0, frame = 0, overrun = 0, parity = 0, brk = 0,
        bufOverrun = 0;
  };
  bool FModemWorks = true;
  bool FCountersWork = true;
  bool FCountersKnown = false;
  TCounters FCounters;
  int FModemLines = 0;
};

}  // namespace ComPlatform::Posix
