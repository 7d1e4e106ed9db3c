#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ChipMemory.h"

namespace Sim {

struct TDeviceOptions {
  std::set<std::uint32_t> FailAt;      // word addresses whose programming fails
  std::set<std::uint32_t> KeepAt;      // word addresses that silently keep their old value
  std::optional<std::string> IdText;   // answers identification instead of the device ID
  std::optional<double> ProgMs;        // replaces every programming and erase time
  bool Silent = false;                 // takes every byte and never answers
  bool EmptySocket = false;            // starts with no chip in the socket
};

// The programmer's command interpreter: bytes in, answer text out. It knows nothing of the
// line; the caller delivers the answers and honours the programming time each byte costs.
class TDeviceProtocol {
public:
  TDeviceProtocol(TChipMemory& memory, TDeviceOptions options);

  // Takes one byte from the line and appends its answer, if any, to `answer`. Returns how long
  // the chip now programs: the answer is due after that time, and the programmer takes no
  // further byte before it.
  std::chrono::microseconds Feed(char c, std::string& answer);

  // The line hung up: a half-received command or record and the write in progress are dropped.
  void Reset();

  // A chip goes into the socket or comes out. An empty socket identifies as 0000, takes
  // nothing it is sent (every data record fails) and reads as zeros.
  void SetChipPresent(bool present);
  bool ChipPresent() const { return FPresent; }

  // Erase commands taken so far: each chip a host programs begins with one.
  unsigned Erases() const { return FErases; }
  // Whether the byte begins a command (its "zzzz" preamble included); no byte of HEX text
  // does.
  static bool StartsCommand(char c);

private:
  enum TState { stIdle, stReadCommand, stRecord };

  std::chrono::microseconds FeedIdle(char c, std::string& answer);
  std::chrono::microseconds FinishRecord(std::string& answer);
  std::chrono::microseconds ProgramData(std::uint32_t byteAddress,
                                        const std::vector<std::uint8_t>& data, std::string& answer);
  std::chrono::microseconds ProgramWordTime(std::uint32_t wordAddress);
  std::chrono::microseconds EndWrite();
  std::uint32_t PendingWordAddress() const;
  void AnswerRead(std::string& answer) const;
  void AnswerIdentify(std::string& answer) const;
  static void AnswerError(std::uint32_t wordAddress, std::string& answer);

  TChipMemory& FMemory;
  TDeviceOptions FOptions;
  TProgrammingTimes FTimes;
  TState FState = stIdle;
  std::string FPending;      // the read command or record being received
  bool FWriting = false;     // records are arriving; the end-of-file record completes them
  std::uint32_t FBase = 0;   // from the last extended address record of this write
  std::uint32_t FNextByte = 0;
  std::optional<std::uint32_t> FOpenBlock;  // program memory block latched but not yet burnt
  bool FPresent = true;
  unsigned FErases = 0;
};

}  // namespace Sim
