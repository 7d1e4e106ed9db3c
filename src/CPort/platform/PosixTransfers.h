#pragma once
#include <cstdint>
#include <deque>
#include <memory>

#include "CPort/platform/PosixDrive.h"
#include "CPort/platform/PosixEvent.h"
#include "CPort/platform/PosixInput.h"

namespace ComPlatform::Posix {

constexpr std::uintptr_t StatusPending = 0x103;

// An operation that has to wait: marked pending, its event reset. The event is reset here
// rather than on entry, which saves the operations that finish at once a round trip.
void StartPending(OVERLAPPED* overlapped, DWORD count, TEvent* event);
// Ends an operation: its status and count, then its event.
void Complete(OVERLAPPED* overlapped, TEvent* event, DWORD status, DWORD count);

// What the time-out record makes of a read.
struct TReadRules {
  bool AtOnce = false;   // it returns what is there, at once
  bool AnyByte = false;  // it waits for the first bytes, which end it
  static TReadRules Of(const COMMTIMEOUTS& t);
};

// The reads that wait for bytes and the writes that wait for room in the tty, in the order
// they came; each ends when done, at its time-out (successfully, with what it moved), or
// when aborted. The device's lock covers them.
class TTransfers {
public:
  // Transfers already under way keep the time-outs they started with.
  void SetTimeouts(const COMMTIMEOUTS& timeouts) { FTimeouts = timeouts; }
  const COMMTIMEOUTS& Timeouts() const { return FTimeouts; }
  bool ReadsWaiting() const { return !FReads.empty(); }
  bool WritesWaiting() const { return !FWrites.empty(); }

  // A read of count bytes that has done bytes so far and waits for the rest.
  void QueueRead(OVERLAPPED* overlapped, std::shared_ptr<TEvent> event, std::uint8_t* buffer,
                 DWORD count, DWORD done, TTime now);
  // A write of count bytes that has handed done bytes over and waits for room.
  void QueueWrite(OVERLAPPED* overlapped, std::shared_ptr<TEvent> event,
                  const std::uint8_t* data, DWORD count, DWORD done, TTime now);

  // Hands queued input to the waiting reads in order and ends those that are done. Returns
  // whether a full input queue got room.
  bool ServeReads(TInput& input, TTime now);
  // Writes what the tty takes, in order. Returns false when the tty is gone; finished: the
  // last waiting write has just been handed over.
  bool ServeWrites(int fd, bool& finished);
  // Ends the transfers whose time is up.
  void Expire(TTime now);
  // When the waiting reads or writes must be looked at next (TTime::max(): never).
  TTime ReadsDue() const;
  TTime WritesDue() const;

  // Ends every waiting read with status; with keepBytes, a read that has bytes ends
  // successfully with them.
  void EndReads(DWORD status, bool keepBytes);
  void EndWrites(DWORD status);
  // Bytes of waiting writes not yet handed to the tty.
  DWORD Unsent() const;

private:
  struct TRead {
    OVERLAPPED* Overlapped;
    std::shared_ptr<TEvent> Event;
    std::uint8_t* Buffer;
    DWORD Count;
    DWORD Done;
    TTime Deadline;             // max(): none
    TClock::duration Interval;  // zero: none
    TTime LastByte;
    bool AnyByte;
  };
  struct TWrite {
    OVERLAPPED* Overlapped;
    std::shared_ptr<TEvent> Event;
    const std::uint8_t* Data;
    DWORD Count;
    DWORD Done;
    TTime Deadline;
  };

  COMMTIMEOUTS FTimeouts{MAXDWORD, 0, 0, 0, 0};
  std::deque<TRead> FReads;
  std::deque<TWrite> FWrites;
};

}  // namespace ComPlatform::Posix
