#pragma once
#include "CPort/platform/SerialPlatform.h"

// The block the programmer's connection uses: 57600 8N1, CTS output flow, RTS handshake,
// DTR off.
inline ComPlatform::DCB ProgrammerBlock() {
  ComPlatform::DCB dcb;
  dcb.DCBlength = sizeof(ComPlatform::DCB);
  dcb.BaudRate = 57600;
  dcb.Flags = 0x2005;
  dcb.XonLim = dcb.XoffLim = 2048;
  dcb.ByteSize = 8;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  return dcb;
}
