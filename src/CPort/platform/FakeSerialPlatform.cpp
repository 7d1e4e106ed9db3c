#include "CPort/platform/FakeSerialPlatform.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace ComPlatform {

thread_local DWORD TFakeSerialPlatform::LastError = ERROR_SUCCESS;

// Scripting ----------------------------------------------------------------------------------

void TFakeSerialPlatform::Fail(const std::string& name, DWORD code) {
  std::lock_guard lock(FLock);
  FFailures[name] = code;
}

void TFakeSerialPlatform::Succeed(const std::string& name) {
  std::lock_guard lock(FLock);
  FFailures.erase(name);
}

void TFakeSerialPlatform::LimitWrite(DWORD bytes) {
  std::lock_guard lock(FLock);
  FWriteLimit = bytes;
}

void TFakeSerialPlatform::HoldWrites(bool hold) {
  std::lock_guard lock(FLock);
  FHoldWrites = hold;
}

void TFakeSerialPlatform::HoldWaits(bool hold) {
  {
    std::lock_guard lock(FLock);
    FHoldWaits = hold;
  }
  FChanged.notify_all();
}

void TFakeSerialPlatform::SetModemStatus(DWORD status) {
  std::lock_guard lock(FLock);
  FModemStatus = status;
}

void TFakeSerialPlatform::SetOutputQueue(DWORD bytes) {
  std::lock_guard lock(FLock);
  FOutputQueue = bytes;
}

void TFakeSerialPlatform::Receive(const std::string& bytes, DWORD events, DWORD errors) {
  {
    std::lock_guard lock(FLock);
    FInput += bytes;
  }
  RaiseLineEvents(EV_RXCHAR | events, errors);
}

void TFakeSerialPlatform::RaiseLineEvents(DWORD events, DWORD errors) {
  std::lock_guard lock(FLock);
  FErrors |= errors;
  FOccurred |= events & FMask;
  if (FWaitOverlapped && FOccurred) {
    CompleteEventWait(FOccurred);
    FOccurred = 0;
  }
}

void TFakeSerialPlatform::Unplug() {
  std::lock_guard lock(FLock);
  FUnplugged = true;
  // Whatever was pending ends in error, as a removed device ends it.
  if (FWaitOverlapped) {
    *FWaitMask = 0;
    Complete(FWaitOverlapped, ERROR_DEVICE_REMOVED, 0);
    FWaitOverlapped = nullptr;
  }
  for (auto& write : FPendingWrites) Complete(write.Overlapped, ERROR_DEVICE_REMOVED, 0);
  FPendingWrites.clear();
}

// Inspection -------------------------------------------------------------------------------

std::vector<TFakeSerialPlatform::TCall> TFakeSerialPlatform::Calls() const {
  std::lock_guard lock(FLock);
  return FCalls;
}

std::vector<std::string> TFakeSerialPlatform::CallNames() const {
  std::lock_guard lock(FLock);
  std::vector<std::string> names;
  for (const auto& call : FCalls) names.push_back(call.Name);
  return names;
}

void TFakeSerialPlatform::ClearCalls() {
  std::lock_guard lock(FLock);
  FCalls.clear();
}

void TFakeSerialPlatform::Note(const std::string& text) { Record({text, {}, {}}); }

std::vector<DCB> TFakeSerialPlatform::States() const {
  std::lock_guard lock(FLock);
  return FStates;
}

std::vector<COMMTIMEOUTS> TFakeSerialPlatform::TimeoutRecords() const {
  std::lock_guard lock(FLock);
  return FTimeouts;
}

std::string TFakeSerialPlatform::Written() const {
  std::lock_guard lock(FLock);
  return FWritten;
}

std::string TFakeSerialPlatform::PendingInput() const {
  std::lock_guard lock(FLock);
  return FInput;
}

int TFakeSerialPlatform::OpenEvents() const {
  std::lock_guard lock(FLock);
  return static_cast<int>(FEvents.size());
}

bool TFakeSerialPlatform::DeviceOpen() const {
  std::lock_guard lock(FLock);
  return FDevice != nullptr;
}

bool TFakeSerialPlatform::WaitForEventWait(int timeoutMs) const {
  TLock lock(FLock);
  return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return FWaitOverlapped != nullptr; });
}

// Helpers ----------------------------------------------------------------------------------

void TFakeSerialPlatform::Record(TCall call) {
  std::lock_guard lock(FLock);
  FCalls.push_back(std::move(call));
}

bool TFakeSerialPlatform::Scripted(const std::string& name) {
  std::lock_guard lock(FLock);
  auto it = FFailures.find(name);
  if (it == FFailures.end()) return false;
  LastError = it->second;
  return true;
}

bool TFakeSerialPlatform::IsDevice(HANDLE handle) const { return handle && handle == FDevice; }

// Common checks of a device call: scripted failure, a handle that is not the device, a device
// that is gone. True when the call may go on.
bool TFakeSerialPlatform::DeviceCall(const std::string& name, HANDLE device) {
  if (Scripted(name)) return false;
  std::lock_guard lock(FLock);
  if (!IsDevice(device)) {
    LastError = ERROR_INVALID_HANDLE;
    return false;
  }
  if (FUnplugged) {
    LastError = ERROR_DEVICE_REMOVED;
    return false;
  }
  return true;
}

void TFakeSerialPlatform::Complete(OVERLAPPED* overlapped, DWORD status, DWORD bytes) {
  overlapped->Internal = status;
  overlapped->InternalHigh = bytes;
  Signal(overlapped->hEvent);
}

void TFakeSerialPlatform::Signal(HANDLE event) {
  auto it = FEvents.find(event);
  if (it != FEvents.end()) it->second.Signalled = true;
  FChanged.notify_all();
}

void TFakeSerialPlatform::CompleteEventWait(DWORD events) {
  *FWaitMask = events;
  Complete(FWaitOverlapped, ERROR_SUCCESS, 0);
  FWaitOverlapped = nullptr;
  FWaitMask = nullptr;
}

// The platform -----------------------------------------------------------------------------

HANDLE TFakeSerialPlatform::CreateFileA(const char* fileName, DWORD desiredAccess,
                                        DWORD shareMode, DWORD creationDisposition,
                                        DWORD flagsAndAttributes) {
  Record({"CreateFileA", {desiredAccess, shareMode, creationDisposition, flagsAndAttributes},
          fileName});
  if (Scripted("CreateFileA")) return INVALID_HANDLE_VALUE;
  std::lock_guard lock(FLock);
  if (FDevice) {
    LastError = ERROR_ACCESS_DENIED;  // one opener at a time
    return INVALID_HANDLE_VALUE;
  }
  FDevice = MakeHandle(FNextHandle++);
  FUnplugged = false;
  FMask = 0;
  FOccurred = 0;
  return FDevice;
}

bool TFakeSerialPlatform::CloseHandle(HANDLE handle) {
  std::lock_guard lock(FLock);
  if (IsDevice(handle)) {
    FCalls.push_back({"CloseHandle", {Num(handle)}, "device"});
    FDevice = nullptr;
    FWaitOverlapped = nullptr;
    FPendingWrites.clear();
    return true;
  }
  FCalls.push_back({"CloseHandle", {Num(handle)}, "event"});
  if (FEvents.erase(handle) == 0) {
    LastError = ERROR_INVALID_HANDLE;
    return false;
  }
  return true;
}

bool TFakeSerialPlatform::SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) {
  Record({"SetupComm", {inQueue, outQueue}, {}});
  return DeviceCall("SetupComm", device);
}

bool TFakeSerialPlatform::SetCommState(HANDLE device, const DCB& dcb) {
  Record({"SetCommState", {dcb.BaudRate, dcb.Flags}, {}});
  if (!DeviceCall("SetCommState", device)) return false;
  std::lock_guard lock(FLock);
  FStates.push_back(dcb);
  return true;
}

bool TFakeSerialPlatform::SetCommTimeouts(HANDLE device, const COMMTIMEOUTS& timeouts) {
  Record({"SetCommTimeouts",
          {timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
           timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
           timeouts.WriteTotalTimeoutConstant},
          {}});
  if (!DeviceCall("SetCommTimeouts", device)) return false;
  std::lock_guard lock(FLock);
  FTimeouts.push_back(timeouts);
  return true;
}

bool TFakeSerialPlatform::ClearCommError(HANDLE device, DWORD* errors, COMSTAT* stat) {
  Record({"ClearCommError", {}, {}});
  if (!DeviceCall("ClearCommError", device)) return false;
  std::lock_guard lock(FLock);
  if (errors) *errors = FErrors;
  FErrors = 0;
  if (stat) {
    *stat = COMSTAT{};
    stat->cbInQue = static_cast<DWORD>(FInput.size());
    stat->cbOutQue = FOutputQueue;
  }
  return true;
}

bool TFakeSerialPlatform::GetCommModemStatus(HANDLE device, DWORD* modemStatus) {
  Record({"GetCommModemStatus", {}, {}});
  if (!DeviceCall("GetCommModemStatus", device)) return false;
  std::lock_guard lock(FLock);
  *modemStatus = FModemStatus;
  return true;
}

bool TFakeSerialPlatform::PurgeComm(HANDLE device, DWORD flags) {
  Record({"PurgeComm", {flags}, {}});
  if (!DeviceCall("PurgeComm", device)) return false;
  std::lock_guard lock(FLock);
  if (flags & PURGE_TXABORT) {
    for (auto& write : FPendingWrites) Complete(write.Overlapped, ERROR_OPERATION_ABORTED, 0);
    FPendingWrites.clear();
  }
  if (flags & PURGE_RXCLEAR) FInput.clear();
  return true;
}

bool TFakeSerialPlatform::SetCommMask(HANDLE device, DWORD mask) {
  Record({"SetCommMask", {mask}, {}});
  if (!DeviceCall("SetCommMask", device)) return false;
  std::lock_guard lock(FLock);
  FMask = mask;
  FOccurred &= mask;
  if (FWaitOverlapped) CompleteEventWait(0);  // a new mask ends the pending wait
  return true;
}

bool TFakeSerialPlatform::WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) {
  Record({"WaitCommEvent", {}, {}});
  if (!DeviceCall("WaitCommEvent", device)) return false;
  std::lock_guard lock(FLock);
  if (FOccurred) {
    *mask = FOccurred;
    FOccurred = 0;
    Complete(overlapped, ERROR_SUCCESS, 0);
    return true;
  }
  auto it = FEvents.find(overlapped->hEvent);
  if (it != FEvents.end()) it->second.Signalled = false;
  overlapped->Internal = ERROR_IO_PENDING;
  FWaitMask = mask;
  FWaitOverlapped = overlapped;
  FChanged.notify_all();
  LastError = ERROR_IO_PENDING;
  return false;
}

bool TFakeSerialPlatform::ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                                   OVERLAPPED* overlapped) {
  Record({"ReadFile", {count}, {}});
  if (!DeviceCall("ReadFile", device)) return false;
  std::lock_guard lock(FLock);
  // Reads never wait: they end at once with what is waiting.
  DWORD n = std::min<DWORD>(count, static_cast<DWORD>(FInput.size()));
  std::memcpy(buffer, FInput.data(), n);
  FInput.erase(0, n);
  if (read) *read = n;
  Complete(overlapped, ERROR_SUCCESS, n);
  return true;
}

bool TFakeSerialPlatform::WriteFile(HANDLE device, const void* buffer, DWORD count,
                                    DWORD* written, OVERLAPPED* overlapped) {
  Record({"WriteFile", {count}, std::string(static_cast<const char*>(buffer), count)});
  if (!DeviceCall("WriteFile", device)) return false;
  std::lock_guard lock(FLock);
  if (FHoldWrites) {
    auto it = FEvents.find(overlapped->hEvent);
    if (it != FEvents.end()) it->second.Signalled = false;
    overlapped->Internal = ERROR_IO_PENDING;
    FPendingWrites.push_back({overlapped, count});
    FChanged.notify_all();
    LastError = ERROR_IO_PENDING;
    return false;
  }
  DWORD n = std::min(count, FWriteLimit);
  FWritten.append(static_cast<const char*>(buffer), n);
  if (written) *written = n;
  Complete(overlapped, ERROR_SUCCESS, n);
  return true;
}

bool TFakeSerialPlatform::GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped,
                                              DWORD* transferred, bool wait) {
  Record({"GetOverlappedResult", {wait}, {}});
  if (Scripted("GetOverlappedResult")) return false;
  std::lock_guard lock(FLock);
  if (!IsDevice(device)) {
    LastError = ERROR_INVALID_HANDLE;
    return false;
  }
  if (overlapped->Internal == ERROR_IO_PENDING) {
    LastError = ERROR_IO_INCOMPLETE;
    return false;
  }
  if (overlapped->Internal != ERROR_SUCCESS) {
    LastError = static_cast<DWORD>(overlapped->Internal);
    return false;
  }
  if (transferred) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  return true;
}

}  // namespace ComPlatform
