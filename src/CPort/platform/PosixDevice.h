#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "CPort/platform/PosixByteQueue.h"
#include "CPort/platform/PosixEvent.h"
#include "CPort/platform/PosixHandles.h"
#include "CPort/platform/PosixReceiveFilter.h"

namespace ComPlatform::Posix {

// An open serial device. The calls of the layer above work on its state under one lock.
//
// Who moves the bytes: the thread that waits for a line event drives the device itself
// while it waits (it is the wait's event source): it sleeps in poll() on the tty, takes the
// bytes that arrive into the device's input queue and completes its own wait, so arrival
// costs one wake-up. Bytes that arrive while nobody waits stay with the kernel until the
// next wait, count or read takes them. A helper thread of the device's own moves the
// transfers that have to wait (a write the tty cannot take yet, a read waiting for bytes)
// and ends them at their time-outs; with none under way it sleeps.
// Every call sets the thread's error code when it fails.
class TDevice : public TObject, public TEventSource {
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

  // The pending event wait, driven by the thread that waits for it.
  void PrepareWait(pollfd& fd, TTime& due) override;
  void Serve(short revents) override;
  bool Ready() override;

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
  // One reading of the modem lines, made without the lock.
  struct TModemReading {
    bool ok = false;
    int error = 0;
    int lines = 0;
  };

  void Run();
  void Wake();
  void ReceiveLocked(bool hungUp);
  void TakeArrivedLocked();
  void SendLocked();
  void ServeReadsLocked();
  void ExpireLocked(TClock::time_point now);
  void ServeLineLocked(std::unique_lock<std::mutex>& lock);
  static TModemReading ReadModemLines(int fd);
  void NoteModemLinesLocked(const TModemReading& reading);
  void SampleCountersLocked();
  void RecordLocked(DWORD events);
  void EndWaitLocked(DWORD mask, DWORD status);
  void RoomMadeLocked();
  void WakeDriverLocked();
  void TxHandedOverLocked();
  void MarkDeadLocked();
  void StartPendingLocked(OVERLAPPED* overlapped, DWORD count);
  void CompleteLocked(OVERLAPPED* overlapped, DWORD status, DWORD count);
  int PollTimeoutLocked(TClock::time_point now) const;
  bool SamplingLocked() const;
  bool WantsInputLocked() const;
  bool FinishSynchronous(OVERLAPPED& local, DWORD* transferred, bool started);
  DWORD PopLocked(std::uint8_t* buffer, DWORD count);

  const int FFd;
  const int FWakeFd;
  std::weak_ptr<TDevice> FSelf;
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
  std::shared_ptr<TEvent> FWaitEvent;  // the pending wait's event, which its waiter drives
  std::weak_ptr<TEvent> FLastWaitEvent;  // the last wait's, whose waiter may drive on

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
