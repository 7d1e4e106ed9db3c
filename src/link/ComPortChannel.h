#pragma once
#include <string>

#include "CPort/ComPort.h"
#include "link/ByteChannel.h"

// The link's road to the programmer: the port's blocking string write and read. It can also
// watch what is read for the programmer's completion marker.
class TComPortChannel : public IByteChannel {
public:
  explicit TComPortChannel(TCustomComPort& port) : FPort(port) {}
  int WriteText(const std::string& text) override;
  int ReadText(std::string& text, int count) override;

  // From now on, note whether "Ready" arrives (also when split across reads).
  void WatchForReady();
  bool ReadySeen() const { return FReadySeen; }

private:
  TCustomComPort& FPort;
  bool FWatching = false;
  bool FReadySeen = false;
  std::string FTail;  // the last characters read, for a marker split across reads
};
