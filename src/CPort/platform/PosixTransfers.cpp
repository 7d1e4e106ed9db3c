#include "CPort/platform/PosixTransfers.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace ComPlatform::Posix {

namespace {

// A total time-out of multiplier * count + constant milliseconds; both 0 means none, and so
// does one too long for the clock to count (decades).
TTime Deadline(TTime now, DWORD multiplier, DWORD constant, DWORD count) {
  const std::uint64_t ms = std::uint64_t{multiplier} * count + constant;
  if (ms == 0 || ms > (std::uint64_t{1} << 40)) return TTime::max();
  return now + std::chrono::milliseconds(ms);
}

}  // namespace

void StartPending(OVERLAPPED* overlapped, DWORD count, TEvent* event) {
  overlapped->Internal = StatusPending;
  overlapped->InternalHigh = count;
  if (event) event->Reset();
}

void Complete(OVERLAPPED* overlapped, TEvent* event, DWORD status, DWORD count) {
  overlapped->InternalHigh = count;
  overlapped->Internal = status;
  if (event) event->Finish();
}

TReadRules TReadRules::Of(const COMMTIMEOUTS& t) {
  TReadRules rules;
  rules.AtOnce = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                 t.ReadTotalTimeoutConstant == 0;
  rules.AnyByte = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
                  t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
  return rules;
}

void TTransfers::QueueRead(OVERLAPPED* overlapped, std::shared_ptr<TEvent> event,
                           std::uint8_t* buffer, DWORD count, DWORD done, TTime now) {
  const COMMTIMEOUTS& t = FTimeouts;
  TRead r{overlapped, std::move(event), buffer, count, done, TTime::max(),
          TClock::duration::zero(), now, TReadRules::Of(t).AnyByte};
  if (r.AnyByte) {
    r.Deadline = now + std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
  } else {
    r.Deadline = Deadline(now, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, count);
    if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD)
      r.Interval = std::chrono::milliseconds(t.ReadIntervalTimeout);
  }
  StartPending(overlapped, done, r.Event.get());
  FReads.push_back(std::move(r));
}

void TTransfers::QueueWrite(OVERLAPPED* overlapped, std::shared_ptr<TEvent> event,
                            const std::uint8_t* data, DWORD count, DWORD done, TTime now) {
  const COMMTIMEOUTS& t = FTimeouts;
  TWrite w{overlapped, std::move(event), data, count, done,
           Deadline(now, t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, count)};
  StartPending(overlapped, done, w.Event.get());
  FWrites.push_back(std::move(w));
}

bool TTransfers::ServeReads(TInput& input, TTime now) {
  bool roomMade = false;
  while (!FReads.empty() && input.Size() > 0) {
    TRead& r = FReads.front();
    bool made = false;
    r.Done += input.Pop(r.Buffer + r.Done, r.Count - r.Done, made);
    roomMade = roomMade || made;
    r.LastByte = now;
    if (r.Done < r.Count && !r.AnyByte) break;
    Complete(r.Overlapped, r.Event.get(), ERROR_SUCCESS, r.Done);
    FReads.pop_front();
  }
  return roomMade;
}

bool TTransfers::ServeWrites(int fd, bool& finished) {
  finished = false;
  while (!FWrites.empty()) {
    TWrite& w = FWrites.front();
    const ssize_t n = ::write(fd, w.Data + w.Done, w.Count - w.Done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return true;
    if (n < 0) return false;
    w.Done += static_cast<DWORD>(n);
    if (w.Done < w.Count) continue;
    Complete(w.Overlapped, w.Event.get(), ERROR_SUCCESS, w.Done);
    FWrites.pop_front();
    finished = FWrites.empty();
  }
  return true;
}

void TTransfers::Expire(TTime now) {
  for (auto it = FReads.begin(); it != FReads.end();) {
    const bool intervalOver = it->Interval != TClock::duration::zero() && it->Done > 0 &&
                              now >= it->LastByte + it->Interval;
    if (now >= it->Deadline || intervalOver) {
      Complete(it->Overlapped, it->Event.get(), ERROR_SUCCESS, it->Done);
      it = FReads.erase(it);
    } else {
      ++it;
    }
  }
  for (auto it = FWrites.begin(); it != FWrites.end();) {
    if (now >= it->Deadline) {
      Complete(it->Overlapped, it->Event.get(), ERROR_SUCCESS, it->Done);
      it = FWrites.erase(it);
    } else {
      ++it;
    }
  }
}

TTime TTransfers::ReadsDue() const {
  TTime next = TTime::max();
  for (const TRead& r : FReads) {
    next = std::min(next, r.Deadline);
    if (r.Interval != TClock::duration::zero() && r.Done > 0)
      next = std::min(next, r.LastByte + r.Interval);
  }
  return next;
}

TTime TTransfers::WritesDue() const {
  TTime next = TTime::max();
  for (const TWrite& w : FWrites) next = std::min(next, w.Deadline);
  return next;
}

void TTransfers::EndReads(DWORD status, bool keepBytes) {
  for (TRead& r : FReads)
    Complete(r.Overlapped, r.Event.get(), keepBytes && r.Done > 0 ? ERROR_SUCCESS : status, r.Done);
  FReads.clear();
}

void TTransfers::EndWrites(DWORD status) {
  for (TWrite& w : FWrites) Complete(w.Overlapped, w.Event.get(), status, w.Done);
  FWrites.clear();
}

DWORD TTransfers::Unsent() const {
  DWORD unsent = 0;
  for (const TWrite& w : FWrites) unsent += w.Count - w.Done;
  return unsent;
}

}  // namespace ComPlatform::Posix
