#pragma once
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "CPort/platform/SerialPlatform.h"

namespace ComPlatform {

// A platform for tests: one simulated serial device and in-memory events. Every call is
// recorded with its arguments, in order; any call can be made to fail with a chosen code.
// Writes complete at once into Written; reads take what Receive put into the input queue
// and never wait for more. Event waits end when the test raises line events.
class TFakeSerialPlatform : public TSerialPlatform {
public:
  struct TCall {
    std::string Name;
    std::vector<std::uint64_t> Args;  // numbers and flags as passed; texts go to Text
    std::string Text;
  };

  // Scripting -----------------------------------------------------------------------------
  // Every later call of name fails with code, until Succeed(name).
  void Fail(const std::string& name, DWORD code);
  void Succeed(const std::string& name);
  // Writes complete with at most this many bytes written (the rest timed out).
  void LimitWrite(DWORD bytes);
  // Writes stay pending until the test completes them or they are aborted.
  void HoldWrites(bool hold);
  void SetModemStatus(DWORD status);
  // The driver reports this many written bytes as not sent yet (ClearCommError's cbOutQue).
  void SetOutputQueue(DWORD bytes);
  // Bytes arrive: they join the input queue and raise EV_RXCHAR, with any further events and
  // errors in the same moment.
  void Receive(const std::string& bytes, DWORD events = EV_RXCHAR, DWORD errors = 0);
  // Line events and errors occur; a pending event wait completes with those that are watched.
  void RaiseLineEvents(DWORD events, DWORD errors = 0);
  // While held, waits on more than one object do not end, signalled or not.
  void HoldWaits(bool hold);
  // The device disappears: every later device call fails with ERROR_DEVICE_REMOVED.
  void Unplug();

  // Inspection -----------------------------------------------------------------------------
  std::vector<TCall> Calls() const;
  std::vector<std::string> CallNames() const;  // without the event thread's wait calls
  void ClearCalls();
  // The test's own entries in the same journal, to check order against platform calls.
  void Note(const std::string& text);
  std::vector<DCB> States() const;
  std::vector<COMMTIMEOUTS> TimeoutRecords() const;
  std::string Written() const;
  std::string PendingInput() const;
  int OpenEvents() const;  // events made and not closed yet
  bool DeviceOpen() const;
  // Blocks until an event wait is pending on the device (the event thread is in its wait).
  bool WaitForEventWait(int timeoutMs = 5000) const;

  // The platform --------------------------------------------------------------------------
  HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                     DWORD creationDisposition, DWORD flagsAndAttributes) override;
  bool CloseHandle(HANDLE handle) override;
  bool SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) override;
  bool SetCommState(HANDLE device, const DCB& dcb) override;
  bool SetCommTimeouts(HANDLE device, const COMMTIMEOUTS& timeouts) override;
  bool ClearCommError(HANDLE device, DWORD* errors, COMSTAT* stat) override;
  bool GetCommModemStatus(HANDLE device, DWORD* modemStatus) override;
  bool PurgeComm(HANDLE device, DWORD flags) override;
  bool SetCommMask(HANDLE device, DWORD mask) override;
  bool WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) override;
  bool ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                OVERLAPPED* overlapped) override;
  bool WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                 OVERLAPPED* overlapped) override;
  bool GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                           bool wait) override;
  HANDLE CreateEventA(bool manualReset, bool initialState) override;
  bool SetEvent(HANDLE event) override;
  bool ResetEvent(HANDLE event) override;
  DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override;
  DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, bool waitAll,
                               DWORD milliseconds) override;
  void Sleep(DWORD milliseconds) override;
  DWORD GetLastError() override;

private:
  using TLock = std::unique_lock<std::mutex>;
  struct TEvent {
    bool ManualReset = true;
    bool Signalled = false;
  };
  struct TPendingWrite {
    OVERLAPPED* Overlapped;
    DWORD Count;
  };

  static HANDLE MakeHandle(std::uintptr_t value) { return reinterpret_cast<HANDLE>(value); }
  static std::uint64_t Num(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }
  static thread_local DWORD LastError;

  void Record(TCall call);
  // Fails the call when scripted; leaves the code for GetLastError.
  bool Scripted(const std::string& name);
  bool IsDevice(HANDLE handle) const;
  bool DeviceCall(const std::string& name, HANDLE device);
  void Complete(OVERLAPPED* overlapped, DWORD status, DWORD bytes);  // lock held
  void Signal(HANDLE event);                                          // lock held
  void CompleteEventWait(DWORD events);                               // lock held

  mutable std::mutex FLock;
  mutable std::condition_variable FChanged;
  std::vector<TCall> FCalls;
  std::map<std::string, DWORD> FFailures;
  std::map<HANDLE, TEvent> FEvents;
  std::uintptr_t FNextHandle = 0x1000;
  HANDLE FDevice = nullptr;
  bool FUnplugged = false;
  std::vector<DCB> FStates;
  std::vector<COMMTIMEOUTS> FTimeouts;
  std::string FInput;
  std::string FWritten;
  DWORD FWriteLimit = MAXDWORD;
  bool FHoldWrites = false;
  bool FHoldWaits = false;
  std::vector<TPendingWrite> FPendingWrites;
  DWORD FModemStatus = 0;
  DWORD FOutputQueue = 0;
  DWORD FErrors = 0;
  DWORD FMask = 0;
  DWORD FOccurred = 0;  // watched events not reported yet
  DWORD* FWaitMask = nullptr;
  OVERLAPPED* FWaitOverlapped = nullptr;
};

}  // namespace ComPlatform
