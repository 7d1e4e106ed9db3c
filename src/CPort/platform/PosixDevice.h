#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "CPort/platform/PosixByteQueue.h"
#include "CPort/platform/PosixHandles.h"
#include "CPort/platform/PosixReceiveFilter.h"

namespace ComPlatform::Posix {

// An open serial device. Like a serial driver, a helper thread of its own drains the tty
// into the device's input queue, finishes transfers that had to wait, and notes line
// events as they happen; the calls of the layer above work on that state under one lock.
// Every call sets the thread's error code when it fails.
class TDevice : public TObject {
public:
  // Opens the named device exclusively; nullptr with the error code when it cannot.
  static std::shared_ptr<TDevice> Open(const char* name);
  TDevice(int fd, int wakeFd);
  ~TDevice() override;

  // Ends every transfer and the helper thread and releases the tty.
  void Close();

  bool Setup(DWORD inQueue, DWORD outQueue);
  bool SetState(const DCB& dcb);
  bool SetTimeouts(const COMMTIMEOUTS& timeouts);
  bool ClearError(DWORD* errors, COMSTAT* stat);
  bool ModemStatus(DWORD* status);
  bool Purge(DWORD flags);
  bool SetMask(DWORD mask);
  bool WaitEvent(DWORD* mask, OVERLAPPED* overlapped);
  bool Read(void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped);
  bool Write(const void* buffer, DWORD count, DWORD* written, OVERLAPPED* overlapped);
  bool Result(OVERLAPPED* overlapped, DWORD* transferred, bool wait);

private:
  using TClock = std::chrono::steady_clock;
  struct TRead {
    OVERLAPPED* overlapped;
    std::uint8_t* buffer;
    DWORD count;
    DWORD done;
    TClock::time_point deadline;  // max(): none
    TClock::duration interval;    // zero: none
    TClock::time_point lastByte;
    bool anyByte;                 // the first bytes end the read
  };
  struct TWrite {
    OVERLAPPED* overlapped;
    const std::uint8_t* data;
    DWORD count;
    DWORD done;
    TClock::time_point deadline;
  };
  struct TCounters {
    int cts = 0, dsr = 0, rng = 0, dcd = 0, frame = 0, overrun = 0, parity = 0, brk = 0,
        bufOverrun = 0;
  };

  void Run();
  void Wake();
  void ReceiveLocked(bool hungUp);
  void SendLocked();
  void ServeReadsLocked();
  void ExpireLocked(TClock::time_point now);
  // One reading of the modem lines, made without the lock.
  struct TModemReading {
    bool ok = false;
    int error = 0;
    int lines = 0;
  };
  static TModemReading ReadModemLines(int fd);
  void NoteModemLinesLocked(const TModemReading& reading);
  void SampleCountersLocked();
  void RecordLocked(DWORD events);
  void TxHandedOverLocked();
  void MarkDeadLocked();
  void StartPendingLocked(OVERLAPPED* overlapped, DWORD count);
  void CompleteLocked(OVERLAPPED* overlapped, DWORD status, DWORD count);
  int PollTimeoutLocked(TClock::time_point now) const;
  bool SamplingLocked() const;
  bool FinishSynchronous(OVERLAPPED& local, DWORD* transferred, bool started);
  DWORD PopLocked(std::uint8_t* buffer, DWORD count);

  const int FFd;
  const int FWakeFd;
  std::mutex FLock;
  std::condition_variable FDone;  // a transfer or wait has completed
  std::thread FHelper;
  bool FClosed = false;
  bool FDead = false;

  TByteQueue FQueue;
  TReceiveFilter FFilter;
  COMMTIMEOUTS FTimeouts;
  std::deque<TRead> FReads;
  std::deque<TWrite> FWrites;

  DWORD FMask = 0;
  DWORD FRecord = 0;  // events since the last completed wait
  DWORD* FWaitMask = nullptr;
  OVERLAPPED* FWait = nullptr;

  DWORD FErrors = 0;  // CE_ flags since the last ClearCommError
  bool FCountersWork = true;
  bool FModemWorks = true;
  TCounters FCounters;
  bool FCountersKnown = false;
  int FModemLines = 0;
  bool FTxDraining = false;
  TClock::time_point FNextSample;
  TClock::time_point FNextDrain;
};

}  // namespace ComPlatform::Posix
