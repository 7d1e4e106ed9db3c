// The recording fake's events and waits.
#include <chrono>
#include <thread>

#include "CPort/platform/FakeSerialPlatform.h"

namespace ComPlatform {

HANDLE TFakeSerialPlatform::CreateEventA(bool manualReset, bool initialState) {
  Record({"CreateEventA", {manualReset, initialState}, {}});
  if (Scripted("CreateEventA")) return nullptr;
  std::lock_guard lock(FLock);
  HANDLE event = MakeHandle(FNextHandle++);
  FEvents[event] = TEvent{manualReset, initialState};
  return event;
}

bool TFakeSerialPlatform::SetEvent(HANDLE event) {
  Record({"SetEvent", {Num(event)}, {}});
  std::lock_guard lock(FLock);
  if (!FEvents.count(event)) {
    LastError = ERROR_INVALID_HANDLE;
    return false;
  }
  Signal(event);
  return true;
}

bool TFakeSerialPlatform::ResetEvent(HANDLE event) {
  Record({"ResetEvent", {Num(event)}, {}});
  std::lock_guard lock(FLock);
  auto it = FEvents.find(event);
  if (it == FEvents.end()) {
    LastError = ERROR_INVALID_HANDLE;
    return false;
  }
  it->second.Signalled = false;
  return true;
}

DWORD TFakeSerialPlatform::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, false, milliseconds);
}

DWORD TFakeSerialPlatform::WaitForMultipleObjects(DWORD count, const HANDLE* handles, bool waitAll,
                                                  DWORD milliseconds) {
  Record({count == 1 ? "WaitForSingleObject" : "WaitForMultipleObjects", {count, milliseconds}, {}});
  if (Scripted(count == 1 ? "WaitForSingleObject" : "WaitForMultipleObjects")) return WAIT_FAILED;
  TLock lock(FLock);
  DWORD result = WAIT_FAILED;
  auto ready = [&] {
    if (FHoldWaits && count > 1) return false;
    for (DWORD i = 0; i < count; ++i) {
      auto it = FEvents.find(handles[i]);
      if (it == FEvents.end()) {
        LastError = ERROR_INVALID_HANDLE;
        result = WAIT_FAILED;
        return true;
      }
      if (it->second.Signalled) {
        if (!it->second.ManualReset) it->second.Signalled = false;
        result = WAIT_OBJECT_0 + i;
        return true;
      }
    }
    return false;
  };
  (void)waitAll;  // the layer always waits for any one
  if (milliseconds == INFINITE) {
    FChanged.wait(lock, ready);
    return result;
  }
  if (FChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) return result;
  return WAIT_TIMEOUT;
}

void TFakeSerialPlatform::Sleep(DWORD milliseconds) {
  Record({"Sleep", {milliseconds}, {}});
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD TFakeSerialPlatform::GetLastError() { return LastError; }

}  // namespace ComPlatform
