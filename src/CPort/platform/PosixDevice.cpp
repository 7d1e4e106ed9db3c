#include "CPort/platform/PosixDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "CPort/platform/PosixEvent.h"
#include "CPort/platform/PosixLineSettings.h"

namespace ComPlatform::Posix {

namespace {

constexpr std::uintptr_t StatusPending = 0x103;
constexpr DWORD DefaultInQueue = 4096;
constexpr DWORD LargestInQueue = 64u << 20;
// A vanished device fails every transfer with this code.
constexpr DWORD DeviceGone = ERROR_BAD_COMMAND;
// Modem lines and error counters cannot be waited on abortably, so they are sampled.
constexpr auto SampleInterval = std::chrono::milliseconds(100);
constexpr auto DrainInterval = std::chrono::milliseconds(10);
constexpr DWORD ModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr DWORD InputEvents = EV_RXCHAR | EV_RXFLAG | EV_RX80FULL;
constexpr DWORD CounterEvents = EV_ERR | EV_BREAK;

DWORD OpenError(int err) {
  switch (err) {
    case EACCES: case EPERM: case EBUSY: case EWOULDBLOCK:
      return ERROR_ACCESS_DENIED;
    case ENOENT: case ENOTDIR: case ENXIO: case ENODEV: case ENAMETOOLONG: case EISDIR:
      return ERROR_FILE_NOT_FOUND;
    default:
      return ERROR_GEN_FAILURE;
  }
}

// "\\.\NAME" and "NAME" both name /dev/NAME; an absolute path is taken as it is.
std::string DevicePath(const char* name) {
  std::string path = name ? name : "";
  if (path.rfind("\\\\.\\", 0) == 0) path.erase(0, 4);
  if (path.empty() || path[0] == '/') return path;
  return "/dev/" + path;
}

void SetEventOf(OVERLAPPED* overlapped) {
  if (auto event = Find<TEvent>(overlapped->hEvent)) event->Set();
}

void ResetEventOf(OVERLAPPED* overlapped) {
  if (auto event = Find<TEvent>(overlapped->hEvent)) event->Reset();
}

// A total time-out of mult * count + constant milliseconds; both 0 means none, and so
// does one too long for the clock to count (decades).
std::chrono::steady_clock::time_point Deadline(std::chrono::steady_clock::time_point now,
                                               DWORD multiplier, DWORD constant, DWORD count) {
  const std::uint64_t ms = std::uint64_t{multiplier} * count + constant;
  if (ms == 0 || ms > (std::uint64_t{1} << 40)) return std::chrono::steady_clock::time_point::max();
  return now + std::chrono::milliseconds(ms);
}

// The kernel's close waits until the driver has sent what it holds, for up to 30 s while
// the far end holds CTS off. So nothing may be left to wait for: what is still queued is
// discarded, and output flow control is switched off so that what a USB bridge holds in
// its own buffer goes out at once.
void ReleaseOutput(int fd) {
  ioctl(fd, TCFLSH, TCOFLUSH);  // tcflush, as the ioctl that the tests can watch
  termios t{};
  if (tcgetattr(fd, &t) == 0 && ((t.c_cflag & CRTSCTS) || (t.c_iflag & IXON))) {
    t.c_cflag &= ~CRTSCTS;
    t.c_iflag &= ~IXON;
    tcsetattr(fd, TCSANOW, &t);
  }
}

}  // namespace

std::shared_ptr<TDevice> TDevice::Open(const char* name) {
  const std::string path = DevicePath(name);
  if (path.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    SetLastError(OpenError(errno));
    return nullptr;
  }
  auto fail = [fd](DWORD code) {
    ::close(fd);
    SetLastError(code);
    return nullptr;
  };
  if (!isatty(fd)) return fail(ERROR_FILE_NOT_FOUND);
  // The lock keeps every second opener out, root included; TIOCEXCL keeps out others
  // that do not ask for the lock. It is taken only once the lock is ours.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(ERROR_ACCESS_DENIED);
  ioctl(fd, TIOCEXCL);

  // Raw from the start, so nothing the device sends is cooked or echoed before the
  // port's own settings arrive; what was waiting before the open is not ours.
  termios t{};
  if (tcgetattr(fd, &t) == 0) {
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd, TCSANOW, &t);
  }
  tcflush(fd, TCIOFLUSH);

  const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    ioctl(fd, TIOCNXCL);
    return fail(ERROR_GEN_FAILURE);
  }
  std::shared_ptr<TDevice> device;
  try {
    device = std::make_shared<TDevice>(fd, wakeFd);
    device->FSelf = device;
  } catch (...) {
    ioctl(fd, TIOCNXCL);
    ::close(wakeFd);
    return fail(ERROR_GEN_FAILURE);
  }
  try {
    std::lock_guard guard(device->FLock);
    device->SampleCountersLocked();  // the starting point; nothing is watched yet
    device->FHelper = std::thread([raw = device.get()] { raw->Run(); });
  } catch (...) {
    device.reset();  // releases both descriptors
    SetLastError(ERROR_GEN_FAILURE);
    return nullptr;
  }
  return device;
}

TDevice::TDevice(int fd, int wakeFd) : FFd(fd), FWakeFd(wakeFd), FQueue(DefaultInQueue) {
  FTimeouts.ReadIntervalTimeout = MAXDWORD;
}

TDevice::~TDevice() {
  Close();
  ioctl(FFd, TIOCNXCL);
  ::close(FFd);
  ::close(FWakeFd);
}

void TDevice::Close() {
  {
    std::lock_guard guard(FLock);
    if (FClosed) return;
    FClosed = true;
    for (TRead& r : FReads) CompleteLocked(r.overlapped, ERROR_OPERATION_ABORTED, r.done);
    for (TWrite& w : FWrites) CompleteLocked(w.overlapped, ERROR_OPERATION_ABORTED, w.done);
    FReads.clear();
    FWrites.clear();
    if (FWait) EndWaitLocked(0, ERROR_OPERATION_ABORTED);
    WakeDriverLocked();
  }
  Wake();
  if (FHelper.joinable()) FHelper.join();
  if (!FDead) ReleaseOutput(FFd);
}

void TDevice::Wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(FWakeFd, &one, sizeof one);
}

// A transfer that has to wait: its event is reset here rather than on entry, which saves
// the transfers that finish at once a round trip; nothing can complete it before the
// lock is released.
void TDevice::StartPendingLocked(OVERLAPPED* overlapped, DWORD count) {
  overlapped->Internal = StatusPending;
  overlapped->InternalHigh = count;
  ResetEventOf(overlapped);
}

void TDevice::CompleteLocked(OVERLAPPED* overlapped, DWORD status, DWORD count) {
  overlapped->InternalHigh = count;
  overlapped->Internal = status;
  SetEventOf(overlapped);
  FDone.notify_all();
}

// The helper thread: moves the transfers that have to wait and ends them at their
// time-outs. With none under way it sleeps in poll() on its wake descriptor alone.
void TDevice::Run() {
  std::unique_lock lock(FLock);
  while (!FClosed) {
    const bool wantIn = !FDead && !FReads.empty() && FQueue.Free() > 0;
    const bool wantOut = !FDead && !FWrites.empty();
    pollfd fds[2] = {{FWakeFd, POLLIN, 0},
                     {wantIn || wantOut ? FFd : -1,
                      static_cast<short>((wantIn ? POLLIN : 0) | (wantOut ? POLLOUT : 0)), 0}};
    const int timeout = PollTimeoutLocked(TClock::now());
    lock.unlock();
    const int ready = ::poll(fds, 2, timeout);
    lock.lock();
    if (FClosed) break;
    if (ready > 0 && (fds[0].revents & POLLIN)) {
      std::uint64_t count;
      [[maybe_unused]] ssize_t n = ::read(FWakeFd, &count, sizeof count);
    }
    const short events = ready > 0 ? fds[1].revents : 0;
    if (events & POLLNVAL) MarkDeadLocked();
    if ((events & (POLLIN | POLLHUP | POLLERR)) && !FDead)
      ReceiveLocked(events & (POLLHUP | POLLERR));
    if ((events & POLLOUT) && !FDead) SendLocked();
    ExpireLocked(TClock::now());
  }
}

int TDevice::PollTimeoutLocked(TClock::time_point now) const {
  auto next = TClock::time_point::max();
  for (const TRead& r : FReads) {
    next = std::min(next, r.deadline);
    if (r.interval != TClock::duration::zero() && r.done > 0)
      next = std::min(next, r.lastByte + r.interval);
  }
  for (const TWrite& w : FWrites) next = std::min(next, w.deadline);
  if (next == TClock::time_point::max()) return -1;
  if (next <= now) return 0;
  // Rounded up, so a wake-up never comes before the time it waits for.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
  return static_cast<int>(std::min<long long>(ms, 60'000));
}

void TDevice::PrepareWait(pollfd& fd, TTime& due) {
  std::lock_guard guard(FLock);
  if (FClosed || FDead || FMask == 0) return;
  // Polled even when no input is wanted: a hang-up ends the wait.
  fd.fd = FFd;
  fd.events = WantsInputLocked() ? POLLIN : 0;
  if (SamplingLocked()) due = std::min(due, FNextSample);
  if (FTxDraining) due = std::min(due, FNextDrain);
}

void TDevice::Serve(short revents) {
  std::unique_lock lock(FLock);
  if (FClosed) return;
  if (revents & POLLNVAL) MarkDeadLocked();
  if ((revents & (POLLIN | POLLHUP | POLLERR)) && !FDead)
    ReceiveLocked(revents & (POLLHUP | POLLERR));
  if (!FDead) ServeLineLocked(lock);
}

// What cannot be waited on is looked at while a wait asks for it: the transmit queue
// running empty, and the sampled counters and modem lines.
void TDevice::ServeLineLocked(std::unique_lock<std::mutex>& lock) {
  if (!FTxDraining && !SamplingLocked()) return;
  const auto now = TClock::now();
  if (FTxDraining && now >= FNextDrain) TxHandedOverLocked();
  if (!SamplingLocked() || now < FNextSample) return;
  FNextSample = now + SampleInterval;
  SampleCountersLocked();
  if ((FMask & ModemEvents) && FModemWorks) {
    lock.unlock();
    const TModemReading lines = ReadModemLines(FFd);
    lock.lock();
    if (!FClosed && !FDead) NoteModemLinesLocked(lines);
  }
}

// Takes what the kernel holds into the queue. Asked first: a read that finds nothing
// waits for the kernel's own hand-over of bytes in flight, a switch of threads.
void TDevice::TakeArrivedLocked() {
  int waiting = 0;
  if (FDead || FQueue.Free() == 0) return;
  if (ioctl(FFd, TIOCINQ, &waiting) == 0 && waiting == 0) return;
  ReceiveLocked(false);
}

bool TDevice::Ready() {
  std::lock_guard guard(FLock);
  return FClosed || FDead || (FRecord & FMask) != 0;
}

bool TDevice::WantsInputLocked() const {
  return !FDead && (FMask & InputEvents) && FQueue.Free() > 0;
}

bool TDevice::SamplingLocked() const {
  if (FDead) return false;
  return ((FMask & ModemEvents) && (FModemWorks || FCountersWork)) ||
         ((FMask & CounterEvents) && FCountersWork);
}

void TDevice::ReceiveLocked(bool hungUp) {
  std::uint8_t raw[4096];
  std::uint8_t kept[sizeof raw];
  while (!FDead) {
    const std::size_t room = std::min(sizeof raw, FQueue.Free());
    if (room == 0) {
      // A hang-up with a full queue cannot be read past; the device is gone.
      if (hungUp) MarkDeadLocked();
      return;
    }
    const ssize_t n = ::read(FFd, raw, room);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      if (hungUp) MarkDeadLocked();
      return;
    }
    if (n <= 0) {  // 0 after a hang-up, EIO once the other side is gone
      MarkDeadLocked();
      return;
    }
    bool sawEventChar = false;
    const std::size_t k = FFilter.Filter(raw, static_cast<std::size_t>(n), kept, sawEventChar);
    if (k > 0) {
      const std::size_t threshold = (FQueue.Capacity() * 4 + 4) / 5;
      const std::size_t before = FQueue.Size();
      FQueue.Push(kept, k);
      DWORD events = EV_RXCHAR;
      if (sawEventChar) events |= EV_RXFLAG;
      if (before < threshold && FQueue.Size() >= threshold) events |= EV_RX80FULL;
      RecordLocked(events);
      ServeReadsLocked();
    }
    if (static_cast<std::size_t>(n) < room) return;
  }
}

void TDevice::ServeReadsLocked() {
  if (FReads.empty()) return;
  const auto now = TClock::now();
  while (!FReads.empty() && FQueue.Size() > 0) {
    TRead& r = FReads.front();
    const DWORD got = PopLocked(r.buffer + r.done, r.count - r.done);
    r.done += got;
    r.lastByte = now;
    if (r.done < r.count && !r.anyByte) return;
    CompleteLocked(r.overlapped, ERROR_SUCCESS, r.done);
    FReads.pop_front();
  }
}

DWORD TDevice::PopLocked(std::uint8_t* buffer, DWORD count) {
  const bool wasFull = FQueue.Free() == 0;
  const DWORD got = static_cast<DWORD>(FQueue.Pop(buffer, count));
  if (wasFull && got > 0) RoomMadeLocked();
  return got;
}

// A full queue had stopped the reading; the kernel's flow control held the rest. Whoever
// polls the tty for input now polls it again.
void TDevice::RoomMadeLocked() {
  if (!FReads.empty()) Wake();
  WakeDriverLocked();
}

// The thread that drives the device looks again at what to poll and when.
void TDevice::WakeDriverLocked() {
  if (auto event = FWaitEvent ? FWaitEvent : FLastWaitEvent.lock()) event->WakeWaiters();
}

void TDevice::SendLocked() {
  while (!FWrites.empty()) {
    TWrite& w = FWrites.front();
    const ssize_t n = ::write(FFd, w.data + w.done, w.count - w.done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    if (n < 0) {
      MarkDeadLocked();
      return;
    }
    w.done += static_cast<DWORD>(n);
    if (w.done < w.count) continue;
    CompleteLocked(w.overlapped, ERROR_SUCCESS, w.done);
    FWrites.pop_front();
    if (FWrites.empty()) TxHandedOverLocked();
  }
}

// All bytes are with the driver; the transmit queue is empty once it has sent them.
void TDevice::TxHandedOverLocked() {
  if (!(FMask & EV_TXEMPTY)) {
    FTxDraining = false;
    return;
  }
  int pending = 0;
  if (ioctl(FFd, TIOCOUTQ, &pending) != 0 || pending <= 0) {
    FTxDraining = false;
    RecordLocked(EV_TXEMPTY);
  } else {
    // Checked again shortly by the thread that waits for line events; the driver cannot
    // tell us when it has finished.
    if (!FTxDraining) WakeDriverLocked();
    FTxDraining = true;
    FNextDrain = TClock::now() + DrainInterval;
  }
}

void TDevice::ExpireLocked(TClock::time_point now) {
  // Time-outs end transfers successfully with what they moved, as the time-out record says.
  for (auto it = FReads.begin(); it != FReads.end();) {
    const bool intervalOver = it->interval != TClock::duration::zero() && it->done > 0 &&
                              now >= it->lastByte + it->interval;
    if (now >= it->deadline || intervalOver) {
      CompleteLocked(it->overlapped, ERROR_SUCCESS, it->done);
      it = FReads.erase(it);
    } else {
      ++it;
    }
  }
  for (auto it = FWrites.begin(); it != FWrites.end();) {
    if (now >= it->deadline) {
      CompleteLocked(it->overlapped, ERROR_SUCCESS, it->done);
      it = FWrites.erase(it);
    } else {
      ++it;
    }
  }
}

// The driver's counters of line errors and line changes live in the kernel's memory, so
// reading them is cheap enough for every ClearCommError.
void TDevice::SampleCountersLocked() {
  if (!FCountersWork) return;
  serial_icounter_struct c{};
  if (ioctl(FFd, TIOCGICOUNT, &c) != 0) {
    if (errno == ENOTTY || errno == EINVAL)
      FCountersWork = false;  // a pseudo-terminal, or a driver that keeps no counts
    return;
  }
  TCounters now{c.cts, c.dsr, c.rng, c.dcd, c.frame, c.overrun, c.parity, c.brk, c.buf_overrun};
  // The driver counts from its own start; the first reading is only the baseline.
  const TCounters was = FCountersKnown ? FCounters : now;
  FCountersKnown = true;
  DWORD events = 0;
  if (now.frame != was.frame) FErrors |= CE_FRAME;
  if (now.parity != was.parity) FErrors |= CE_RXPARITY;
  if (now.overrun != was.overrun) FErrors |= CE_OVERRUN;
  if (now.bufOverrun != was.bufOverrun) FErrors |= CE_RXOVER;
  if (now.brk != was.brk) FErrors |= CE_BREAK;
  if (now.frame != was.frame || now.parity != was.parity || now.overrun != was.overrun ||
      now.bufOverrun != was.bufOverrun)
    events |= EV_ERR;
  if (now.brk != was.brk) events |= EV_BREAK;
  if (now.cts != was.cts) events |= EV_CTS;
  if (now.dsr != was.dsr) events |= EV_DSR;
  if (now.dcd != was.dcd) events |= EV_RLSD;
  if (now.rng != was.rng) events |= EV_RING;
  FCounters = now;
  RecordLocked(events & FMask);
}

TDevice::TModemReading TDevice::ReadModemLines(int fd) {
  int lines = 0;
  if (ioctl(fd, TIOCMGET, &lines) != 0) return {false, errno, 0};
  return {true, 0, lines};
}

void TDevice::NoteModemLinesLocked(const TModemReading& reading) {
  if (!reading.ok) {
    if (reading.error == ENOTTY || reading.error == EINVAL) FModemWorks = false;
    return;
  }
  // Not every driver counts line changes, so levels are compared as well.
  const int changed = reading.lines ^ FModemLines;
  DWORD events = 0;
  if (changed & TIOCM_CTS) events |= EV_CTS;
  if (changed & TIOCM_DSR) events |= EV_DSR;
  if (changed & TIOCM_CD) events |= EV_RLSD;
  if (changed & reading.lines & TIOCM_RI) events |= EV_RING;
  FModemLines = reading.lines;
  RecordLocked(events & FMask);
}

void TDevice::RecordLocked(DWORD events) {
  const bool wasReady = FRecord & FMask;
  FRecord |= events;
  if (FWait && (FRecord & FMask)) {
    const DWORD occurred = FRecord & FMask;
    FRecord = 0;
    EndWaitLocked(occurred, ERROR_SUCCESS);
  } else if (!wasReady && (FRecord & FMask)) {
    WakeDriverLocked();  // its next wait would end at once
  }
}

void TDevice::EndWaitLocked(DWORD mask, DWORD status) {
  *FWaitMask = mask;
  FWait->InternalHigh = 0;
  FWait->Internal = status;
  FWait = nullptr;
  if (FWaitEvent) {
    FWaitEvent->ClearSource();
    FWaitEvent->Set();
    FWaitEvent.reset();
  }
  FDone.notify_all();
}

void TDevice::MarkDeadLocked() {
  if (FDead) return;
  FDead = true;
  FTxDraining = false;
  // Bytes a read has already taken are handed over; everything else fails.
  for (TRead& r : FReads)
    CompleteLocked(r.overlapped, r.done > 0 ? ERROR_SUCCESS : DeviceGone, r.done);
  for (TWrite& w : FWrites) CompleteLocked(w.overlapped, DeviceGone, w.done);
  FReads.clear();
  FWrites.clear();
  // The event thread moves on, and its next wait fails without spinning.
  if (FWait) EndWaitLocked(0, DeviceGone);
  WakeDriverLocked();
}

bool TDevice::FinishSynchronous(OVERLAPPED& local, DWORD* transferred, bool started) {
  if (!started && LastError() != ERROR_IO_PENDING) return false;
  return Result(&local, transferred, true);
}

bool TDevice::Setup(DWORD inQueue, DWORD outQueue) {
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  if (FDead) return Fail(DeviceGone);
  if (inQueue > LargestInQueue) return Fail(ERROR_INVALID_PARAMETER);
  // The kernel's own buffer is the transmit queue; only the receive side is ours.
  if (inQueue != 0 && inQueue != FQueue.Capacity()) {
    const bool wasFull = FQueue.Free() == 0;
    FQueue.Resize(inQueue);
    if (wasFull && FQueue.Free() > 0) RoomMadeLocked();
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
  FFilter.Configure({settings.markErrors, settings.replaceErrors, settings.discardNull,
                     static_cast<std::uint8_t>(settings.errorChar),
                     static_cast<std::uint8_t>(settings.eventChar)});
  return true;
}

bool TDevice::SetTimeouts(const COMMTIMEOUTS& timeouts) {
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  if (FDead) return Fail(DeviceGone);
  // Transfers already under way keep the time-outs they started with.
  FTimeouts = timeouts;
  return true;
}

bool TDevice::ClearError(DWORD* errors, COMSTAT* stat) {
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  // The count covers what the kernel holds too. Bytes that arrived before the device went
  // away can still be taken.
  TakeArrivedLocked();
  if (FDead && FQueue.Size() == 0) return Fail(DeviceGone);
  if (!FDead) SampleCountersLocked();
  if (errors) *errors = FErrors;
  FErrors = 0;
  if (stat) {
    int outQueue = 0;
    if (FDead || ioctl(FFd, TIOCOUTQ, &outQueue) != 0) outQueue = 0;
    DWORD waiting = static_cast<DWORD>(outQueue);
    for (const TWrite& w : FWrites) waiting += w.count - w.done;
    stat->Flags = 0;
    stat->cbInQue = static_cast<DWORD>(FQueue.Size());
    stat->cbOutQue = waiting;
  }
  return true;
}

bool TDevice::ModemStatus(DWORD* status) {
  bool works;
  {
    std::lock_guard guard(FLock);
    if (FClosed) return Fail(ERROR_INVALID_HANDLE);
    if (FDead) return Fail(DeviceGone);
    works = FModemWorks;
  }
  // Outside the lock: on a USB bridge this is a request to the device.
  TModemReading reading = works ? ReadModemLines(FFd) : TModemReading{true, 0, 0};
  if (!reading.ok) {
    // A line without modem signals (a pseudo-terminal) reads as all lines off.
    if (reading.error != ENOTTY && reading.error != EINVAL) return Fail(DeviceGone);
    std::lock_guard guard(FLock);
    FModemWorks = false;
    reading.lines = 0;
  }
  const int lines = reading.lines;
  DWORD s = 0;
  if (lines & TIOCM_CTS) s |= MS_CTS_ON;
  if (lines & TIOCM_DSR) s |= MS_DSR_ON;
  if (lines & TIOCM_RI) s |= MS_RING_ON;
  if (lines & TIOCM_CD) s |= MS_RLSD_ON;
  if (status) *status = s;
  return true;
}

bool TDevice::Purge(DWORD flags) {
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  if (flags & ~DWORD{PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR})
    return Fail(ERROR_INVALID_PARAMETER);
  // Works on a vanished device too, so a port can always be closed.
  if (flags & PURGE_TXABORT) {
    for (TWrite& w : FWrites) CompleteLocked(w.overlapped, ERROR_OPERATION_ABORTED, w.done);
    FWrites.clear();
  }
  if (flags & PURGE_RXABORT) {
    for (TRead& r : FReads) CompleteLocked(r.overlapped, ERROR_OPERATION_ABORTED, r.done);
    FReads.clear();
  }
  if ((flags & PURGE_TXCLEAR) && !FDead) tcflush(FFd, TCOFLUSH);
  if (flags & PURGE_RXCLEAR) {
    const bool wasFull = FQueue.Free() == 0;
    FQueue.Clear();
    FRecord &= ~DWORD{EV_RXCHAR | EV_RXFLAG | EV_RX80FULL};
    if (!FDead) tcflush(FFd, TCIFLUSH);
    if (wasFull) RoomMadeLocked();
  }
  return true;
}

bool TDevice::SetMask(DWORD mask) {
  // Lines watched from now on are compared with their state now, not at some earlier time;
  // read outside the lock, as sampling reads them.
  const TModemReading lines = (mask & ModemEvents) ? ReadModemLines(FFd) : TModemReading{};
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  // Changes so far count for the old mask.
  if (!FDead) {
    SampleCountersLocked();
    if (mask & ModemEvents) NoteModemLinesLocked(lines);
  }
  FMask = mask;
  FNextSample = TClock::now() + SampleInterval;
  if (FWait) EndWaitLocked(0, ERROR_SUCCESS);
  WakeDriverLocked();
  return true;
}

bool TDevice::WaitEvent(DWORD* mask, OVERLAPPED* overlapped) {
  if (!mask) return Fail(ERROR_INVALID_PARAMETER);
  if (!overlapped) {
    // Driven by the calling thread, through an event of the call's own.
    OVERLAPPED local;
    local.hEvent = AddHandle(std::make_shared<TEvent>(true, false));
    DWORD ignored;
    const bool done = FinishSynchronous(local, &ignored, WaitEvent(mask, &local));
    const DWORD error = LastError();
    RemoveHandle(local.hEvent);
    SetLastError(error);
    return done;
  }
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  if (FDead || FMask == 0 || FWait) {
    // A failed wait leaves its event reset, so a caller that waits on it anyway sleeps
    // instead of spinning.
    ResetEventOf(overlapped);
    return Fail(FDead ? DeviceGone : ERROR_INVALID_PARAMETER);
  }
  if (FRecord & FMask) {
    *mask = FRecord & FMask;
    FRecord = 0;
    CompleteLocked(overlapped, ERROR_SUCCESS, 0);
    return true;
  }
  // Whoever waits for the event drives the device until the wait ends; bytes already
  // with the kernel end it at once.
  overlapped->Internal = StatusPending;
  overlapped->InternalHigh = 0;
  FWait = overlapped;
  FWaitMask = mask;
  FWaitEvent = Find<TEvent>(overlapped->hEvent);
  FLastWaitEvent = FWaitEvent;
  if (FWaitEvent) {
    FWaitEvent->Reset();
    FWaitEvent->SetSource(FSelf);
  }
  return Fail(ERROR_IO_PENDING);
}

bool TDevice::Read(void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped) {
  if (!overlapped) {
    OVERLAPPED local;
    return FinishSynchronous(local, read, Read(buffer, count, read, &local));
  }
  if (read) *read = 0;  // the count at the start, 0 for a read that has to wait
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  auto finish = [&](DWORD got) {
    if (read) *read = got;
    CompleteLocked(overlapped, ERROR_SUCCESS, got);
    return true;
  };
  if (count == 0) return finish(0);

  const COMMTIMEOUTS& t = FTimeouts;
  const bool atOnce = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                      t.ReadTotalTimeoutConstant == 0;
  const bool anyByte = t.ReadIntervalTimeout == MAXDWORD &&
                       t.ReadTotalTimeoutMultiplier == MAXDWORD &&
                       t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
  DWORD got = 0;
  if (FReads.empty()) {
    // What the kernel holds counts, when the queue alone cannot fill the read.
    if (FQueue.Size() < count) TakeArrivedLocked();
    if (FDead && FQueue.Size() == 0) return Fail(DeviceGone);
    got = PopLocked(bytes, count);
    if (got == count || atOnce || FDead || (anyByte && got > 0)) return finish(got);
  } else if (FDead) {
    return Fail(DeviceGone);
  } else if (atOnce) {
    return finish(0);  // what is there belongs to the reads already waiting
  }

  const auto now = TClock::now();
  TRead r{overlapped, bytes, count, got, TClock::time_point::max(), TClock::duration::zero(),
          now, anyByte};
  if (anyByte) {
    r.deadline = now + std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
  } else {
    r.deadline = Deadline(now, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, count);
    if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD)
      r.interval = std::chrono::milliseconds(t.ReadIntervalTimeout);
  }
  StartPendingLocked(overlapped, got);
  FReads.push_back(r);
  Wake();
  return Fail(ERROR_IO_PENDING);
}

bool TDevice::Write(const void* buffer, DWORD count, DWORD* written, OVERLAPPED* overlapped) {
  if (!overlapped) {
    OVERLAPPED local;
    return FinishSynchronous(local, written, Write(buffer, count, written, &local));
  }
  if (written) *written = 0;  // the count at the start, 0 for a write that has to wait
  std::lock_guard guard(FLock);
  if (FClosed) return Fail(ERROR_INVALID_HANDLE);
  if (FDead) return Fail(DeviceGone);
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  DWORD done = 0;
  // Straight to the driver when nothing is queued before it: most writes end here.
  while (FWrites.empty() && done < count) {
    const ssize_t n = ::write(FFd, bytes + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) break;
    if (n < 0) {
      MarkDeadLocked();
      return Fail(DeviceGone);
    }
    done += static_cast<DWORD>(n);
  }
  if (done == count) {
    if (written) *written = done;
    CompleteLocked(overlapped, ERROR_SUCCESS, done);
    if (count > 0) TxHandedOverLocked();
    return true;
  }
  const COMMTIMEOUTS& t = FTimeouts;
  StartPendingLocked(overlapped, done);
  FWrites.push_back({overlapped, bytes, count, done,
                     Deadline(TClock::now(), t.WriteTotalTimeoutMultiplier,
                              t.WriteTotalTimeoutConstant, count)});
  Wake();
  return Fail(ERROR_IO_PENDING);
}

bool TDevice::Result(OVERLAPPED* overlapped, DWORD* transferred, bool wait) {
  if (!overlapped) return Fail(ERROR_INVALID_PARAMETER);
  std::unique_lock lock(FLock);
  if (overlapped->Internal == StatusPending && overlapped == FWait) {
    // An event wait moves only while someone drives it: asking for its result does.
    lock.unlock();
    if (wait) {
      std::shared_ptr<TEvent> event = Find<TEvent>(overlapped->hEvent);
      if (event) WaitForEvents(&event, 1, false, INFINITE);
    } else {
      pollfd fd{-1, 0, 0};
      TTime due = TTime::max();
      PrepareWait(fd, due);
      Serve(::poll(&fd, 1, 0) > 0 ? fd.revents : 0);
    }
    lock.lock();
  }
  if (overlapped->Internal == StatusPending) {
    if (!wait) return Fail(ERROR_IO_INCOMPLETE);
    FDone.wait(lock, [&] { return overlapped->Internal != StatusPending; });
  }
  if (transferred) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  const auto status = static_cast<DWORD>(overlapped->Internal);
  return status == ERROR_SUCCESS ? true : Fail(status);
}

}  // namespace ComPlatform::Posix
