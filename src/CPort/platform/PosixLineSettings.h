#pragma once
#include <termios.h>

#include "CPort/platform/SerialPlatform.h"

namespace ComPlatform::Posix {

// What a device control block asks of a tty: the terminal attributes, the bit rate (a
// rate without a constant of its own goes through the custom-rate call), the modem lines
// the port holds itself, and the receive-side rules the device applies to incoming bytes.
struct TLineSettings {
  termios attributes{};
  speed_t speed = B0;       // B0: use customRate
  DWORD customRate = 0;
  int raiseLines = 0;       // TIOCM_DTR / TIOCM_RTS to switch on
  int dropLines = 0;        // and to switch off
  bool discardNull = false;
  bool markErrors = false;  // errored bytes come marked (PARMRK) and are passed on or replaced
  bool replaceErrors = false;
  char errorChar = 0;
  char eventChar = 0;
};

// Builds the settings from the control block on top of the tty's current attributes.
// Returns false with a platform code when the block asks for something no line can do.
bool MakeLineSettings(const DCB& dcb, const termios& current, TLineSettings& settings,
                      DWORD& error);

// The speed constant for a rate, or B0 when the table has none.
speed_t StandardSpeed(DWORD rate);

// Applies the attributes and the bit rate, and reads back what the driver took. Returns
// false with a platform code when the device refuses them.
bool ApplyLineSettings(int fd, const TLineSettings& settings, DWORD& error);

}  // namespace ComPlatform::Posix
