#pragma once
#include <string>

// The link's road to the programmer: the serial port's blocking string write and read.
class IByteChannel {
public:
  virtual ~IByteChannel() = default;
  // Sends the bytes; returns how many the port reports sent (fewer after a write time-out).
  virtual int WriteText(const std::string& text) = 0;
  // Replaces text with up to count received bytes; returns their number.
  virtual int ReadText(std::string& text, int count) = 0;
};
