#include <sched.h>

#include <chrono>
#include <thread>

#include "CPort/platform/PosixDevice.h"
#include "CPort/platform/PosixEvent.h"
#include "CPort/platform/PosixHandles.h"
#include "CPort/platform/PosixIdle.h"
#include "CPort/platform/SerialPlatform.h"
#include "framework/Thread.h"

namespace ComPlatform {

namespace {

using namespace Posix;

// The calls on Linux: devices are ttys driven by the threads that wait for them, events live
// in this process. A handle that names nothing, or an object of the wrong kind, fails with
// ERROR_INVALID_HANDLE.
class TPosixSerialPlatform final : public TSerialPlatform {
public:
  // An event thread that hands a delivery to the main thread drives on its device until its
  // next wait has something: the delivery's end need not wake it.
  TPosixSerialPlatform() { SynchronizeIdle = &IdleAfterWait; }

  HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                     DWORD creationDisposition, DWORD flagsAndAttributes) override {
    // Serial devices are always opened for both directions, overlapped and exclusively;
    // the arguments the layer passes ask for exactly that.
    auto device = TDevice::Open(fileName);
    if (!device) return INVALID_HANDLE_VALUE;
    return AddHandle(std::move(device));
  }

  bool CloseHandle(HANDLE handle) override {
    auto object = RemoveHandle(handle);
    if (!object) return Fail(ERROR_INVALID_HANDLE);
    if (object->Kind() == TObject::TKind::Device) static_cast<TDevice&>(*object).Close();
    return true;
  }

  bool SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) override {
    auto d = Find<TDevice>(device);
    return d ? d->Setup(inQueue, outQueue) : Fail(ERROR_INVALID_HANDLE);
  }
  bool SetCommState(HANDLE device, const DCB& dcb) override {
    auto d = Find<TDevice>(device);
    return d ? d->SetState(dcb) : Fail(ERROR_INVALID_HANDLE);
  }
  bool SetCommTimeouts(HANDLE device, const COMMTIMEOUTS& timeouts) override {
    auto d = Find<TDevice>(device);
    return d ? d->SetTimeouts(timeouts) : Fail(ERROR_INVALID_HANDLE);
  }
  bool ClearCommError(HANDLE device, DWORD* errors, COMSTAT* stat) override {
    auto d = Find<TDevice>(device);
    return d ? d->ClearError(errors, stat) : Fail(ERROR_INVALID_HANDLE);
  }
  bool GetCommModemStatus(HANDLE device, DWORD* modemStatus) override {
    auto d = Find<TDevice>(device);
    return d ? d->ModemStatus(modemStatus) : Fail(ERROR_INVALID_HANDLE);
  }
  bool PurgeComm(HANDLE device, DWORD flags) override {
    auto d = Find<TDevice>(device);
    return d ? d->Purge(flags) : Fail(ERROR_INVALID_HANDLE);
  }
  bool SetCommMask(HANDLE device, DWORD mask) override {
    auto d = Find<TDevice>(device);
    return d ? d->SetMask(mask) : Fail(ERROR_INVALID_HANDLE);
  }
  bool WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) override {
    auto d = Find<TDevice>(device);
    return d ? d->WaitEvent(mask, overlapped) : Fail(ERROR_INVALID_HANDLE);
  }
  bool ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                OVERLAPPED* overlapped) override {
    auto d = Find<TDevice>(device);
    return d ? d->Read(buffer, count, read, overlapped) : Fail(ERROR_INVALID_HANDLE);
  }
  bool WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                 OVERLAPPED* overlapped) override {
    auto d = Find<TDevice>(device);
    return d ? d->Write(buffer, count, written, overlapped) : Fail(ERROR_INVALID_HANDLE);
  }
  bool GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                           bool wait) override {
    auto d = Find<TDevice>(device);
    return d ? d->Result(overlapped, transferred, wait) : Fail(ERROR_INVALID_HANDLE);
  }

  HANDLE CreateEventA(bool manualReset, bool initialState) override {
    return AddHandle(std::make_shared<TEvent>(manualReset, initialState));
  }
  bool SetEvent(HANDLE event) override {
    auto e = Find<TEvent>(event);
    if (!e) return Fail(ERROR_INVALID_HANDLE);
    e->Set();
    return true;
  }
  bool ResetEvent(HANDLE event) override {
    auto e = Find<TEvent>(event);
    if (!e) return Fail(ERROR_INVALID_HANDLE);
    e->Reset();
    return true;
  }
  DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override {
    std::shared_ptr<TEvent> event = Find<TEvent>(handle);
    if (!event) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    NoteWait(&handle, 1);
    return WaitForEvents(&event, 1, false, milliseconds);
  }
  DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, bool waitAll,
                               DWORD milliseconds) override {
    if (count == 0 || count > MaxWaitObjects || !handles) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return WAIT_FAILED;
    }
    NoteWait(handles, count);
    TWaitList<std::shared_ptr<TEvent>> events;
    for (DWORD i = 0; i < count; ++i) {
      events.Add(Find<TEvent>(handles[i]));
      if (!events[i]) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
      }
    }
    return WaitForEvents(events.begin(), count, waitAll, milliseconds);
  }
  void Sleep(DWORD milliseconds) override {
    if (milliseconds == 0) {
      sched_yield();
    } else if (milliseconds == INFINITE) {
      for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
  }

  DWORD GetLastError() override { return LastError(); }
};

}  // namespace

TSerialPlatform& NativeSerialPlatform() {
  static TPosixSerialPlatform platform;
  return platform;
}

}  // namespace ComPlatform
