#pragma once
#include "CPort/ComPort.h"
#include "link/ByteChannel.h"

// The link's road to the programmer: the port's blocking string write and read.
class TComPortChannel : public IByteChannel {
public:
  explicit TComPortChannel(TCustomComPort& port) : FPort(port) {}
  int WriteText(const std::string& text) override;
  int ReadText(std::string& text, int count) override;

private:
  TCustomComPort& FPort;
};
