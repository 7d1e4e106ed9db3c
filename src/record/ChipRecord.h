#pragma once
#include <cstdint>
#include <string>

#include "framework/Exception.h"

namespace Record {

// The record cannot be opened, read or written; the message names the file.
class ERecord : public Exception {
public:
  using Exception::Exception;
};

// How a chip ended.
enum TChipResult { crPass, crFail, crAborted, crError };

// "pass", "fail", "aborted", "error": the record's own words.
const char* ResultText(TChipResult result);

// What is known of a chip when its programming begins.
struct TChipStart {
  std::string Port;         // as the operator named it
  std::string PortSerial;   // the USB serial number of the programmer's bridge; empty when unknown
  std::string Chip;         // "PIC16F877A"; empty when the chip was not recognised
  std::string IdWord;       // "0E28"; empty when there was none
  std::string Image;        // the image file's name
  std::string ImageDigest;  // Image::ImageDigest of its contents
};

using TChipKey = std::int64_t;

// The record of every chip a station programs, one row a chip. Each call is one transaction
// and is durable when it returns; a row that a run leaves open (the program was killed, the
// power failed) is closed as aborted when the record is next opened.
class IChipRecord {
public:
  virtual ~IChipRecord() = default;
  // A chip begins; its row exists before the call returns, so before the chip's first byte.
  virtual TChipKey Begin(const TChipStart& chip) = 0;
  // The chip enters a step: "erase", "write", "verify".
  virtual void Step(TChipKey chip, const std::string& step) = 0;
  // The chip ends; the detail says what failed, or is empty.
  virtual void Finish(TChipKey chip, TChipResult result, const std::string& detail) = 0;
};

// Now as ISO 8601 in UTC, to the millisecond: "2026-12-09T09:18:07.123Z".
std::string UtcNow();

}  // namespace Record
