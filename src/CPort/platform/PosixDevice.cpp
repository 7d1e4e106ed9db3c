#include "CPort/platform/PosixDevice.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "CPort/platform/PosixLineSettings.h"

namespace ComPlatform::Posix {

namespace {

constexpr DWORD DefaultInQueue = 4096;
constexpr DWORD LargestInQueue = 64u << 20;
// A vanished device fails every operation with this code.
constexpr DWORD DeviceGone = ERROR_BAD_COMMAND;
// Modem lines and error counters cannot be waited on, so they are sampled while watched;
// the driver cannot say when it has sent its output, so that is looked at shortly.
constexpr auto SampleInterval = std::chrono::milliseconds(100);
constexpr auto DrainInterval = std::chrono::milliseconds(10);

}  // namespace

std::shared_ptr<TDevice> TDevice::Open(const char* name) {
  const int fd = OpenTty(name);
  if (fd < 0) return nullptr;
  std::shared_ptr<TDevice> device;
  try {
    device = std::make_shared<TDevice>(fd);
  } catch (...) {
    ReleaseTty(fd, false);
    ::close(fd);
    SetLastError(ERROR_GEN_FAILURE);
    return nullptr;
  }
  std::lock_guard guard(device->FLock);
  device->SampleCountersLocked();  // the starting point; nothing is watched yet
  return device;
}

TDevice::TDevice(int fd) : TObject(ObjectKind), FFd(fd), FInput(DefaultInQueue) {}

TDevice::~TDevice() {
  Close();
  ::close(FFd);
}

void TDevice::Close() {
  std::lock_guard guard(FLock);
  if (FClosed) return;
  FClosed = true;
  FTransfers.EndReads(ERROR_OPERATION_ABORTED, false);
  FTransfers.EndWrites(ERROR_OPERATION_ABORTED);
  if (FLine.Waiting()) FLine.End(0, ERROR_OPERATION_ABORTED);
  WakeDriversLocked();
  ReleaseTty(FFd, FDead);
}

// Drivers ------------------------------------------------------------------------------

void TDevice::RegisterLocked(const TWaiter& driver) {
  if (std::find(FDrivers.begin(), FDrivers.end(), &driver) == FDrivers.end())
    FDrivers.push_back(&driver);
}

void TDevice::WakeDriversLocked() {
  for (const TWaiter* driver : FDrivers) driver->Wake();
}

void TDevice::PrepareWait(unsigned interest, const TWaiter& driver, pollfd& fd, TTime& due) {
  std::lock_guard guard(FLock);
  RegisterLocked(driver);
  if (FClosed || FDead) return;
  short events = 0;
  bool watch = false;  // polled even when nothing is wanted: a hang-up ends the wait
  if ((interest & LineEvents) && FLine.Mask() != 0) {
    watch = true;
    if ((FLine.Mask() & InputEvents) && !FInput.Full()) events |= POLLIN;
    if (SamplingLocked()) due = std::min(due, FNextSample);
    if (FTxDraining) due = std::min(due, FNextDrain);
  }
  if ((interest & Input) && FTransfers.ReadsWaiting()) {
    watch = true;
    if (!FInput.Full()) events |= POLLIN;
    due = std::min(due, FTransfers.ReadsDue());
  }
  if ((interest & Output) && FTransfers.WritesWaiting()) {
    watch = true;
    events |= POLLOUT;
    due = std::min(due, FTransfers.WritesDue());
  }
  if (watch) fd = {FFd, events, 0};
}

void TDevice::Serve(short revents) {
  std::unique_lock lock(FLock);
  if (FClosed) return;
  if (revents & POLLNVAL) MarkDeadLocked();
  if ((revents & (POLLIN | POLLHUP | POLLERR)) && !FDead)
    ReceiveLocked(revents & (POLLHUP | POLLERR));
  if ((revents & POLLOUT) && !FDead) SendLocked();
  const TTime now = TClock::now();
  FTransfers.Expire(now);
  if (!FDead) ServeLineLocked(lock, now);
}

bool TDevice::Ready(const TWaiter& driver) {
  std::lock_guard guard(FLock);
  RegisterLocked(driver);
  return FClosed || FDead || FLine.Mask() == 0 || FLine.Ready();
}

void TDevice::Release(const TWaiter& driver) {
  std::lock_guard guard(FLock);
  auto it = std::find(FDrivers.begin(), FDrivers.end(), &driver);
  if (it != FDrivers.end()) FDrivers.erase(it);
}

// Moving bytes ---------------------------------------------------------------------------

void TDevice::RecordLocked(DWORD events) {
  if (FLine.Record(events)) WakeDriversLocked();  // their next wait would end at once
}

void TDevice::ReceiveLocked(bool hungUp) {
  for (;;) {
    DWORD events = 0;
    const bool alive = FInput.Take(FFd, hungUp, events);
    if (events) RecordLocked(events);
    const bool roomMade = FTransfers.ServeReads(FInput, TClock::now());
    if (!alive) return MarkDeadLocked();
    if (!roomMade) return;
    WakeDriversLocked();  // a full queue had stopped their polling for input
  }
}

// Takes what the kernel holds into the queue. Asked first: a read that finds nothing waits
// for the kernel's own hand-over of bytes in flight, a switch of threads.
void TDevice::TakeArrivedLocked() {
  if (FDead || FInput.Full() || KernelInputCount(FFd) == 0) return;
  ReceiveLocked(false);
}

void TDevice::SendLocked() {
  FOutputIdle = false;
  bool finished = false;
  if (!FTransfers.ServeWrites(FFd, finished)) return MarkDeadLocked();
  if (finished) TxHandedOverLocked();
}

// All bytes are with the driver; the transmit queue is empty once it has sent them.
void TDevice::TxHandedOverLocked() {
  if (!(FLine.Mask() & EV_TXEMPTY)) {
    FTxDraining = false;
    return;
  }
  if (OutputQueueLocked() == 0) {
    FTxDraining = false;
    RecordLocked(EV_TXEMPTY);
  } else {
    // Checked again shortly by whoever drives the line events.
    if (!FTxDraining) WakeDriversLocked();
    FTxDraining = true;
    FNextDrain = TClock::now() + DrainInterval;
  }
}

DWORD TDevice::OutputQueueLocked() {
  if (FOutputIdle || FDead) return 0;
  const int pending = KernelOutputCount(FFd);
  FOutputIdle = pending == 0;
  return static_cast<DWORD>(pending);
}

// What cannot be waited on is looked at while a wait asks for it: the transmit queue
// running empty, and the sampled counters and modem lines.
void TDevice::ServeLineLocked(std::unique_lock<std::mutex>& lock, TTime now) {
  if (FTxDraining && now >= FNextDrain) TxHandedOverLocked();
  if (!SamplingLocked() || now < FNextSample) return;
  FNextSample = now + SampleInterval;
  SampleCountersLocked();
  if ((FLine.Mask() & ModemEvents) && FWatch.ModemWorks()) {
    lock.unlock();
    const TLineWatch::TReading lines = TLineWatch::ReadModemLines(FFd);
    lock.lock();
    if (!FClosed && !FDead) RecordLocked(FWatch.NoteModemLines(lines) & FLine.Mask());
  }
}

bool TDevice::SamplingLocked() const {
  if (FDead) return false;
  const DWORD mask = FLine.Mask();
  return ((mask & ModemEvents) && (FWatch.ModemWorks() || FWatch.CountersWork())) ||
         ((mask & CounterEvents) && FWatch.CountersWork());
}

void TDevice::SampleCountersLocked() {
  RecordLocked(FWatch.SampleCounters(FFd, FErrors) & FLine.Mask());
}

void TDevice::MarkDeadLocked() {
  if (FDead) return;
  FDead = true;
  FTxDraining = false;
  // Bytes a read has already taken are handed over; everything else fails.
  FTransfers.EndReads(DeviceGone, true);
  FTransfers.EndWrites(DeviceGone);
  // The event thread moves on, and its next wait fails without spinning.
  if (FLine.Waiting()) FLine.End(0, DeviceGone);
  WakeDriversLocked();
}

// Settings and status ------------------------------------------------------------------

bool TDevice::Setup(DWORD inQueue, DWORD outQueue) {
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  if (FDead) return Fail(DeviceGone);
  if (inQueue > LargestInQueue) return Fail(ERROR_INVALID_PARAMETER);
  // The kernel's own buffer is the transmit queue; only the receive side is ours.
  if (inQueue != 0 && inQueue != FInput.Capacity()) {
    bool roomMade = false;
    FInput.Resize(inQueue, roomMade);
    if (roomMade) WakeDriversLocked();
  }
  return true;
}

bool TDevice::SetState(const DCB& dcb) {
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  if (FDead) return Fail(DeviceGone);
  termios current{};
  if (tcgetattr(FFd, &current) != 0) return Fail(DeviceGone);
  TLineSettings settings;
  DWORD error = ERROR_SUCCESS;
  if (!MakeLineSettings(dcb, current, settings, error) || !ApplyLineSettings(FFd, settings, error))
    return Fail(error);
  FInput.Configure({settings.markErrors, settings.replaceErrors, settings.discardNull,
                    static_cast<std::uint8_t>(settings.errorChar),
                    static_cast<std::uint8_t>(settings.eventChar)});
  return true;
}

bool TDevice::SetTimeouts(const COMMTIMEOUTS& timeouts) {
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  if (FDead) return Fail(DeviceGone);
  FTransfers.SetTimeouts(timeouts);
  return true;
}

bool TDevice::ClearError(DWORD* errors, COMSTAT* stat) {
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  // The count covers what the kernel holds too. Bytes that arrived before the device went
  // away can still be taken.
  TakeArrivedLocked();
  if (FDead && FInput.Size() == 0) return Fail(DeviceGone);
  if (!FDead) SampleCountersLocked();
  if (errors) *errors = FErrors;
  FErrors = 0;
  if (stat) {
    stat->Flags = 0;
    stat->cbInQue = static_cast<DWORD>(FInput.Size());
    stat->cbOutQue = OutputQueueLocked() + FTransfers.Unsent();
  }
  return true;
}

bool TDevice::ModemStatus(DWORD* status) {
  bool works;
  {
    std::lock_guard guard(FLock);
    if (FClosed) return Fail(ERROR_INVALID_HANDLE);
    if (FDead) return Fail(DeviceGone);
    works = FWatch.ModemWorks();
  }
  // Outside the lock: on a USB bridge this is a request to the device.
  TLineWatch::TReading reading = works ? TLineWatch::ReadModemLines(FFd) : TLineWatch::TReading{true, 0, 0};
  if (!reading.Ok) {
    // A line without modem signals (a pseudo-terminal) reads as all lines off.
    if (!TLineWatch::Unsupported(reading.Error)) return Fail(DeviceGone);
    std::lock_guard guard(FLock);
    FWatch.ModemUnsupported();
    reading.Lines = 0;
  }
  DWORD s = 0;
  if (reading.Lines & TIOCM_CTS) s |= MS_CTS_ON;
  if (reading.Lines & TIOCM_DSR) s |= MS_DSR_ON;
  if (reading.Lines & TIOCM_RI) s |= MS_RING_ON;
  if (reading.Lines & TIOCM_CD) s |= MS_RLSD_ON;
  if (status) *status = s;
  return true;
}

bool TDevice::Purge(DWORD flags) {
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  if (flags & ~DWORD{PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR})
    return Fail(ERROR_INVALID_PARAMETER);
  // Works on a vanished device too, so a port can always be closed.
  if (flags & PURGE_TXABORT) FTransfers.EndWrites(ERROR_OPERATION_ABORTED);
  if (flags & PURGE_RXABORT) FTransfers.EndReads(ERROR_OPERATION_ABORTED, false);
  if ((flags & PURGE_TXCLEAR) && !FDead) {
    tcflush(FFd, TCOFLUSH);
    FOutputIdle = true;
  }
  if (flags & PURGE_RXCLEAR) {
    bool roomMade = false;
    FInput.Clear(roomMade);
    FLine.ForgetInput();
    if (!FDead) tcflush(FFd, TCIFLUSH);
  }
  WakeDriversLocked();
  return true;
}

bool TDevice::SetMask(DWORD mask) {
  // Lines watched from now on are compared with their state now, not at some earlier time;
  // read outside the lock, as sampling reads them.
  const TLineWatch::TReading lines =
      (mask & ModemEvents) ? TLineWatch::ReadModemLines(FFd) : TLineWatch::TReading{};
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  // Changes so far count for the old mask.
  if (!FDead) {
    SampleCountersLocked();
    if (mask & ModemEvents) RecordLocked(FWatch.NoteModemLines(lines) & FLine.Mask());
  }
  FLine.SetMask(mask);
  FNextSample = TClock::now() + SampleInterval;
  WakeDriversLocked();
  return true;
}

}  // namespace ComPlatform::Posix
