#pragma once
#include <memory>
#include <mutex>
#include <vector>

#include "CPort/platform/PosixDrive.h"
#include "CPort/platform/PosixEvent.h"
#include "CPort/platform/PosixHandles.h"
#include "CPort/platform/PosixInput.h"
#include "CPort/platform/PosixLineEvents.h"
#include "CPort/platform/PosixTransfers.h"
#include "CPort/platform/PosixTty.h"

namespace ComPlatform::Posix {

// An open serial device: the calls of the layer above, on the device's state under one lock.
//
// Nobody moves the device's bytes in the background. Whoever waits for one of its operations
// drives it (TEventSource): a thread waiting for the line event polls the tty for input and
// completes its own wait; a thread waiting for a read or a write polls for bytes or room and
// moves them; time-outs are kept by the waiter too. So arrival costs the waiting thread one
// wake-up, and a device nobody waits on costs nothing: bytes that arrive then stay with the
// kernel until the next wait, count or read takes them. Every change made by a thread that
// does not drive the device wakes the threads that do.
// Every call sets the thread's error code when it fails.
class TDevice : public TObject, public TEventSource, public std::enable_shared_from_this<TDevice> {
public:
  static constexpr TKind ObjectKind = TKind::Device;
  // Opens the named device exclusively; nullptr with the error code when it cannot.
  static std::shared_ptr<TDevice> Open(const char* name);
  explicit TDevice(int fd);
  ~TDevice() override;

  // Ends every operation and lets the tty go.
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

  void PrepareWait(unsigned interest, const TWaiter& driver, pollfd& fd, TTime& due) override;
  void Serve(short revents) override;
  bool Ready(const TWaiter& driver) override;
  void Release(const TWaiter& driver) override;

private:
  // The calls with the event their operation sets (nullptr: none).
  bool StartWait(DWORD* mask, OVERLAPPED* overlapped, std::shared_ptr<TEvent> event);
  bool StartRead(std::uint8_t* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped,
                 std::shared_ptr<TEvent> event);
  bool StartWrite(const std::uint8_t* data, DWORD count, DWORD* written, OVERLAPPED* overlapped,
                  std::shared_ptr<TEvent> event);
  // Waits for an operation started without an overlapped record of the caller's.
  bool Await(OVERLAPPED& local, const std::shared_ptr<TEvent>& event, DWORD* transferred);
  bool Outcome(OVERLAPPED* overlapped, DWORD* transferred);
  void DriveOnce();

  void RegisterLocked(const TWaiter& driver);
  void WakeDriversLocked();
  void RecordLocked(DWORD events);
  void ReceiveLocked(bool hungUp);
  void TakeArrivedLocked();
  void SendLocked();
  void TxHandedOverLocked();
  void ServeLineLocked(std::unique_lock<std::mutex>& lock, TTime now);
  void SampleCountersLocked();
  bool SamplingLocked() const;
  DWORD OutputQueueLocked();
  void MarkDeadLocked();

  const int FFd;
  std::mutex FLock;
  bool FClosed = false;
  bool FDead = false;
  std::vector<const TWaiter*> FDrivers;

  TInput FInput;
  TTransfers FTransfers;
  TLineEvents FLine;
  TLineWatch FWatch;
  DWORD FErrors = 0;         // CE_ flags since the last ClearCommError
  bool FOutputIdle = true;   // nothing written since the driver's output queue was seen empty
  bool FTxDraining = false;  // all handed over, the driver still sending: looked at shortly
  TTime FNextDrain;
  TTime FNextSample;
};

}  // namespace ComPlatform::Posix
