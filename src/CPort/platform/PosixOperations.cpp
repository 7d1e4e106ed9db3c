// The device's overlapped operations: the event wait, reads and writes, started at once where
// they can be and otherwise left pending for whoever waits for them to drive; and their results.
#include <unistd.h>

#include <cerrno>

#include "CPort/platform/PosixDevice.h"

namespace ComPlatform::Posix {

namespace {

constexpr DWORD DeviceGone = ERROR_BAD_COMMAND;
// Waits for an operation that has no event of its own look again this often.
constexpr auto UnsignalledRecheck = std::chrono::milliseconds(10);

std::shared_ptr<TEvent> EventOf(const OVERLAPPED* overlapped) {
  return overlapped->hEvent ? Find<TEvent>(overlapped->hEvent) : nullptr;
}

}  // namespace

bool TDevice::WaitEvent(DWORD* mask, OVERLAPPED* overlapped) {
  if (!mask) return Fail(ERROR_INVALID_PARAMETER);
  if (!overlapped) {
    OVERLAPPED local;
    auto event = std::make_shared<TEvent>(true, false);
    DWORD ignored;
    if (StartWait(mask, &local, event)) return true;
    return LastError() == ERROR_IO_PENDING && Await(local, event, &ignored);
  }
  return StartWait(mask, overlapped, EventOf(overlapped));
}

bool TDevice::StartWait(DWORD* mask, OVERLAPPED* overlapped, std::shared_ptr<TEvent> event) {
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  if (FDead || FLine.Mask() == 0 || FLine.Waiting()) {
    // A failed wait leaves its event reset, so a caller that waits on it anyway sleeps
    // instead of spinning.
    if (event) event->Reset();
    return Fail(FDead ? DeviceGone : ERROR_INVALID_PARAMETER);
  }
  if (FLine.Start(mask, overlapped, event)) return true;
  // Whoever waits for the event drives the device until the wait ends; bytes already with
  // the kernel end it at once.
  if (event) event->SetSource(shared_from_this(), LineEvents);
  return Fail(ERROR_IO_PENDING);
}

bool TDevice::Read(void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped) {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  if (!overlapped) {
    OVERLAPPED local;
    auto event = std::make_shared<TEvent>(true, false);
    if (StartRead(bytes, count, read, &local, event)) return true;
    return LastError() == ERROR_IO_PENDING && Await(local, event, read);
  }
  return StartRead(bytes, count, read, overlapped, EventOf(overlapped));
}

bool TDevice::StartRead(std::uint8_t* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped,
                        std::shared_ptr<TEvent> event) {
  if (read) *read = 0;  // the count at the start, 0 for a read that has to wait
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  auto finish = [&](DWORD got) {
    if (read) *read = got;
    Complete(overlapped, event.get(), ERROR_SUCCESS, got);
    return true;
  };
  if (count == 0) return finish(0);

  const TReadRules rules = TReadRules::Of(FTransfers.Timeouts());
  DWORD got = 0;
  if (!FTransfers.ReadsWaiting()) {
    // What the kernel holds counts, when the queue alone cannot fill the read.
    if (FInput.Size() < count) TakeArrivedLocked();
    if (FDead && FInput.Size() == 0) return Fail(DeviceGone);
    bool roomMade = false;
    got = FInput.Pop(buffer, count, roomMade);
    if (roomMade) WakeDriversLocked();
    if (got == count || rules.AtOnce || FDead || (rules.AnyByte && got > 0)) return finish(got);
  } else if (FDead) {
    return Fail(DeviceGone);
  } else if (rules.AtOnce) {
    return finish(0);  // what is there belongs to the reads already waiting
  }
  FTransfers.QueueRead(overlapped, event, buffer, count, got, TClock::now());
  if (event) event->SetSource(shared_from_this(), Input);
  return Fail(ERROR_IO_PENDING);
}

bool TDevice::Write(const void* buffer, DWORD count, DWORD* written, OVERLAPPED* overlapped) {
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  if (!overlapped) {
    OVERLAPPED local;
    auto event = std::make_shared<TEvent>(true, false);
    if (StartWrite(bytes, count, written, &local, event)) return true;
    return LastError() == ERROR_IO_PENDING && Await(local, event, written);
  }
  return StartWrite(bytes, count, written, overlapped, EventOf(overlapped));
}

bool TDevice::StartWrite(const std::uint8_t* data, DWORD count, DWORD* written,
                         OVERLAPPED* overlapped, std::shared_ptr<TEvent> event) {
  if (written) *written = 0;  // the count at the start, 0 for a write that has to wait
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  if (FDead) return Fail(DeviceGone);
  DWORD done = 0;
  // Straight to the driver when nothing is queued before it: most writes end here.
  while (!FTransfers.WritesWaiting() && done < count) {
    const ssize_t n = ::write(FFd, data + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) break;
    if (n < 0) {
      MarkDeadLocked();
      return Fail(DeviceGone);
    }
    FOutputIdle = false;
    done += static_cast<DWORD>(n);
  }
  if (done == count) {
    if (written) *written = done;
    Complete(overlapped, event.get(), ERROR_SUCCESS, done);
    if (count > 0) TxHandedOverLocked();
    return true;
  }
  FTransfers.QueueWrite(overlapped, event, data, count, done, TClock::now());
  if (event) event->SetSource(shared_from_this(), Output);
  return Fail(ERROR_IO_PENDING);
}

bool TDevice::Result(OVERLAPPED* overlapped, DWORD* transferred, bool wait) {
  if (!overlapped) return Fail(ERROR_INVALID_PARAMETER);
  bool pending;
  {
    std::lock_guard guard(FLock);
    pending = overlapped->Internal == StatusPending;
  }
  if (pending && !wait) {
    // An operation moves only while someone drives it: asking for its result does.
    DriveOnce();
  } else if (pending) {
    if (std::shared_ptr<TEvent> event = EventOf(overlapped)) {
      WaitForEvents(&event, 1, false, INFINITE);
    } else {
      // Without an event nothing wakes this thread when another completes the operation.
      TWaiter waiter;
      TDriveRounds rounds(waiter);
      while (!Drive(
          rounds,
          [&](TDriven& driven) {
            std::lock_guard guard(FLock);
            if (overlapped->Internal != StatusPending) return true;
            driven.Add(shared_from_this(), LineEvents | Input | Output);
            return false;
          },
          TClock::now() + UnsignalledRecheck)) {
      }
    }
  }
  return Outcome(overlapped, transferred);
}

bool TDevice::Await(OVERLAPPED& local, const std::shared_ptr<TEvent>& event, DWORD* transferred) {
  WaitForEvents(&event, 1, false, INFINITE);
  return Outcome(&local, transferred);
}

bool TDevice::Outcome(OVERLAPPED* overlapped, DWORD* transferred) {
  std::lock_guard guard(FLock);
  if (overlapped->Internal == StatusPending) return Fail(ERROR_IO_INCOMPLETE);
  if (transferred) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  const auto status = static_cast<DWORD>(overlapped->Internal);
  return status == ERROR_SUCCESS ? true : Fail(status);
}

void TDevice::DriveOnce() {
  TWaiter waiter;
  TDriveRounds rounds(waiter);
  TDriven driven;
  driven.Add(shared_from_this(), LineEvents | Input | Output);
  rounds.Run(driven, TTime::min());
}

}  // namespace ComPlatform::Posix
