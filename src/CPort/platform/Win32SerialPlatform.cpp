// The seam first: windows.h then turns its names (ERROR_IO_PENDING, EV_RXCHAR, DCB ...) into
// macros and types of its own, with the same values, which the code below uses.
#include "CPort/platform/SerialPlatform.h"

#include <windows.h>

#include <cstddef>
#include <map>
#include <mutex>

namespace ComPlatform {

namespace {

// Blocks the system fills in later, after the call has returned, are handed over as they
// are: they must have the system's own layout.
static_assert(sizeof(ComPlatform::DWORD) == sizeof(::DWORD));
static_assert(sizeof(ComPlatform::OVERLAPPED) == sizeof(::OVERLAPPED));
static_assert(offsetof(ComPlatform::OVERLAPPED, Internal) == offsetof(::OVERLAPPED, Internal));
static_assert(offsetof(ComPlatform::OVERLAPPED, InternalHigh) == offsetof(::OVERLAPPED, InternalHigh));
static_assert(offsetof(ComPlatform::OVERLAPPED, Offset) == offsetof(::OVERLAPPED, Offset));
static_assert(offsetof(ComPlatform::OVERLAPPED, hEvent) == offsetof(::OVERLAPPED, hEvent));
static_assert(sizeof(ComPlatform::DCB) == sizeof(::DCB));

::OVERLAPPED* Native(ComPlatform::OVERLAPPED* overlapped) {
  return reinterpret_cast<::OVERLAPPED*>(overlapped);
}

::DCB NativeState(const ComPlatform::DCB& from) {
  ::DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = from.BaudRate;
  const auto flag = [&](ComPlatform::DWORD bit) { return (from.Flags & bit) ? 1u : 0u; };
  dcb.fBinary = flag(DCB_fBinary);
  dcb.fParity = flag(DCB_fParity);
  dcb.fOutxCtsFlow = flag(DCB_fOutxCtsFlow);
  dcb.fOutxDsrFlow = flag(DCB_fOutxDsrFlow);
  dcb.fDtrControl = (from.Flags >> DCB_fDtrControlShift) & 3;
  dcb.fDsrSensitivity = flag(DCB_fDsrSensitivity);
  dcb.fTXContinueOnXoff = flag(DCB_fTXContinueOnXoff);
  dcb.fOutX = flag(DCB_fOutX);
  dcb.fInX = flag(DCB_fInX);
  dcb.fErrorChar = flag(DCB_fErrorChar);
  dcb.fNull = flag(DCB_fNull);
  dcb.fRtsControl = (from.Flags >> DCB_fRtsControlShift) & 3;
  dcb.fAbortOnError = flag(DCB_fAbortOnError);
  dcb.XonLim = from.XonLim;
  dcb.XoffLim = from.XoffLim;
  dcb.ByteSize = from.ByteSize;
  dcb.Parity = from.Parity;
  dcb.StopBits = from.StopBits;
  dcb.XonChar = from.XonChar;
  dcb.XoffChar = from.XoffChar;
  dcb.ErrorChar = from.ErrorChar;
  dcb.EofChar = from.EofChar;
  dcb.EvtChar = from.EvtChar;
  return dcb;
}

// The calls on Windows are the real ones. One thing is added: the port's event thread clears
// the event mask to end its pending event wait and then lets go of the wait's block and mask.
// Windows ends the wait with mask 0, Wine with ERROR_OPERATION_ABORTED, but either may write
// the block after SetCommMask has returned (a USB bridge's driver completes it on a thread of
// its own), so a changed mask waits here until the pending wait has really ended.
class TWin32SerialPlatform final : public TSerialPlatform {
public:
  HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                     DWORD creationDisposition, DWORD flagsAndAttributes) override {
    return ::CreateFileA(fileName, desiredAccess, shareMode, nullptr, creationDisposition,
                         flagsAndAttributes, nullptr);
  }
  bool CloseHandle(HANDLE handle) override {
    ForgetEventWait(handle);
    return ::CloseHandle(handle);
  }

  bool SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) override {
    return ::SetupComm(device, inQueue, outQueue);
  }
  bool SetCommState(HANDLE device, const ComPlatform::DCB& dcb) override {
    ::DCB native = NativeState(dcb);
    return ::SetCommState(device, &native);
  }
  bool SetCommTimeouts(HANDLE device, const ComPlatform::COMMTIMEOUTS& timeouts) override {
    ::COMMTIMEOUTS native{timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                          timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
                          timeouts.WriteTotalTimeoutConstant};
    return ::SetCommTimeouts(device, &native);
  }
  bool ClearCommError(HANDLE device, DWORD* errors, ComPlatform::COMSTAT* stat) override {
    ::DWORD nativeErrors = 0;
    ::COMSTAT native{};
    if (!::ClearCommError(device, &nativeErrors, &native)) return false;
    if (errors) *errors = nativeErrors;
    if (stat) {
      stat->Flags = (native.fCtsHold << 0) | (native.fDsrHold << 1) | (native.fRlsdHold << 2) |
                    (native.fXoffHold << 3) | (native.fXoffSent << 4) | (native.fEof << 5) |
                    (native.fTxim << 6);
      stat->cbInQue = native.cbInQue;
      stat->cbOutQue = native.cbOutQue;
    }
    return true;
  }
  bool GetCommModemStatus(HANDLE device, DWORD* modemStatus) override {
    ::DWORD status = 0;
    if (!::GetCommModemStatus(device, &status)) return false;
    *modemStatus = status;
    return true;
  }
  bool PurgeComm(HANDLE device, DWORD flags) override { return ::PurgeComm(device, flags); }
  bool SetCommMask(HANDLE device, DWORD mask) override {
    const bool done = ::SetCommMask(device, mask);
    // A new mask ends a pending wait on Windows; under Wine only mask 0 does.
    if (mask == 0) AwaitEventWaitEnd(device);
    return done;
  }
  bool WaitCommEvent(HANDLE device, DWORD* mask, ComPlatform::OVERLAPPED* overlapped) override {
    // The system writes the mask when the wait completes: the caller's own place, as is.
    if (::WaitCommEvent(device, reinterpret_cast<::DWORD*>(mask), Native(overlapped))) return true;
    const ::DWORD error = ::GetLastError();
    if (error == ERROR_IO_PENDING && overlapped) NoteEventWait(device, overlapped->hEvent);
    ::SetLastError(error);
    return false;
  }

  // An overlapped transfer's count comes from GetOverlappedResult; the call's own is asked
  // for only without a block, as Windows advises.
  bool ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                ComPlatform::OVERLAPPED* overlapped) override {
    ::DWORD done = 0;
    const bool result = ::ReadFile(device, buffer, count, overlapped ? nullptr : &done, Native(overlapped));
    if (read) *read = done;
    return result;
  }
  bool WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                 ComPlatform::OVERLAPPED* overlapped) override {
    ::DWORD done = 0;
    const bool result = ::WriteFile(device, buffer, count, overlapped ? nullptr : &done, Native(overlapped));
    if (written) *written = done;
    return result;
  }
  bool GetOverlappedResult(HANDLE device, ComPlatform::OVERLAPPED* overlapped,
                           DWORD* transferred, bool wait) override {
    ::DWORD done = 0;
    const bool result = ::GetOverlappedResult(device, Native(overlapped), &done, wait);
    if (transferred) *transferred = done;
    return result;
  }

  HANDLE CreateEventA(bool manualReset, bool initialState) override {
    return ::CreateEventA(nullptr, manualReset, initialState, nullptr);
  }
  bool SetEvent(HANDLE event) override { return ::SetEvent(event); }
  bool ResetEvent(HANDLE event) override { return ::ResetEvent(event); }
  DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override {
    return ::WaitForSingleObject(handle, milliseconds);
  }
  DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, bool waitAll,
                               DWORD milliseconds) override {
    return ::WaitForMultipleObjects(count, handles, waitAll, milliseconds);
  }
  void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }

  DWORD GetLastError() override { return ::GetLastError(); }

private:
  // A driver that never ends the wait must not hang the close for good.
  static constexpr ::DWORD WaitEndLimitMs = 2000;

  void NoteEventWait(HANDLE device, HANDLE completion) {
    std::lock_guard lock(FLock);
    FEventWaits[device] = completion;
  }
  void ForgetEventWait(HANDLE device) {
    std::lock_guard lock(FLock);
    FEventWaits.erase(device);
  }
  // Waits until the event wait last started on device has ended: the system sets the wait's
  // completion event when it is done with the block. Keeps the caller's last error.
  void AwaitEventWaitEnd(HANDLE device) {
    HANDLE completion = nullptr;
    {
      std::lock_guard lock(FLock);
      auto it = FEventWaits.find(device);
      if (it == FEventWaits.end()) return;
      completion = it->second;
      FEventWaits.erase(it);
    }
    const ::DWORD error = ::GetLastError();
    if (completion) ::WaitForSingleObject(completion, WaitEndLimitMs);
    ::SetLastError(error);
  }

  std::mutex FLock;
  std::map<HANDLE, HANDLE> FEventWaits;  // device: the completion event of its latest wait
};

}  // namespace

TSerialPlatform& NativeSerialPlatform() {
  static TWin32SerialPlatform platform;
  return platform;
}

}  // namespace ComPlatform
