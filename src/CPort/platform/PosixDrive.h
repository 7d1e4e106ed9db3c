#pragma once
#include <poll.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <new>
#include <thread>
#include <utility>

#include "CPort/platform/SerialPlatform.h"

namespace ComPlatform::Posix {

using TClock = std::chrono::steady_clock;
using TTime = TClock::time_point;

// The most events one wait takes, as elsewhere.
constexpr DWORD MaxWaitObjects = 64;

// Up to MaxWaitObjects items in place, for the lists of one wait: only the items held are
// made and destroyed, since a wait is mostly for one or two.
template <typename T>
class TWaitList {
public:
  TWaitList() = default;
  ~TWaitList() {
    for (DWORD i = 0; i < FCount; ++i) (*this)[i].~T();
  }
  TWaitList(const TWaitList&) = delete;
  TWaitList& operator=(const TWaitList&) = delete;

  void Add(T item) { new (FStorage + FCount++ * sizeof(T)) T(std::move(item)); }
  DWORD Size() const { return FCount; }
  T& operator[](DWORD i) { return *std::launder(reinterpret_cast<T*>(FStorage + i * sizeof(T))); }
  const T& operator[](DWORD i) const {
    return *std::launder(reinterpret_cast<const T*>(FStorage + i * sizeof(T)));
  }
  T* begin() { return FCount ? &(*this)[0] : nullptr; }
  T* end() { return begin() + FCount; }

private:
  alignas(T) unsigned char FStorage[MaxWaitObjects * sizeof(T)];
  DWORD FCount = 0;
};

// A thread waiting for something to change. It sleeps only in poll() on its own wake
// descriptor (and on what it drives); whoever changes what it waits for calls Wake
// afterwards, and the thread empties the descriptor before it looks again. So a change made
// at any moment is either seen when the thread looks or makes its next poll() return at
// once: no wake-up can be lost, whenever it comes.
class TWaiter {
public:
  TWaiter();  // for the calling thread
  TWaiter(const TWaiter&) = delete;
  TWaiter& operator=(const TWaiter&) = delete;

  // Makes the waiter look again. Nothing to do when the calling thread is the waiter: it is
  // awake and looks before it sleeps.
  void Wake() const;

private:
  friend class TDriveRounds;
  int FFd;  // -1 when the thread could get none: it then looks again every few ms
  std::thread::id FThread;
};

// What a waiting thread drives itself: a device whose pending operations set events. The
// thread polls the device's descriptor and does the device's work when it is ready, so the
// event is set on the waiting thread itself and no other thread has to be woken for it.
class TEventSource {
public:
  // What a driver waits for: line events, bytes for a read, room for a write.
  enum : unsigned { LineEvents = 1, Input = 2, Output = 4 };
  virtual ~TEventSource() = default;
  // Registers the driver, whom every later change of the source wakes, and says what to poll
  // for what it waits for (fd -1: nothing) and the time by which Serve must run at the latest.
  virtual void PrepareWait(unsigned interest, const TWaiter& driver, pollfd& fd, TTime& due) = 0;
  // Does the work that the poll found ready (revents 0: the time came, or the thread woke).
  virtual void Serve(short revents) = 0;
  // Whether the next event wait would end at once; registers the driver as PrepareWait does.
  virtual bool Ready(const TWaiter& driver) = 0;
  // Forgets the driver.
  virtual void Release(const TWaiter& driver) = 0;
};

// The sources one round drives, each with what it is driven for.
class TDriven {
public:
  struct TItem {
    std::shared_ptr<TEventSource> Source;
    unsigned Interest;
  };
  void Add(std::shared_ptr<TEventSource> source, unsigned interest);
  DWORD Size() const { return FItems.Size(); }
  TItem& operator[](DWORD k) { return FItems[k]; }

private:
  TWaitList<TItem> FItems;
};

// The rounds of one thread's drive; every source it has driven (or adopted) is released at
// the end.
class TDriveRounds {
public:
  explicit TDriveRounds(const TWaiter& waiter) : FWaiter(waiter) {}
  ~TDriveRounds();
  TDriveRounds(const TDriveRounds&) = delete;
  TDriveRounds& operator=(const TDriveRounds&) = delete;
  const TWaiter& Waiter() const { return FWaiter; }
  // A source the caller has registered the waiter with itself, to be released at the end.
  void Adopt(const std::shared_ptr<TEventSource>& source);
  // Polls the wake descriptor and the sources until one is ready or the time is until
  // (TTime::min(): no sleep), then lets each source do its work.
  void Run(TDriven& driven, TTime until);

private:
  const TWaiter& FWaiter;
  TWaitList<std::shared_ptr<TEventSource>> FSeen;
};

// For tests: the steps of a thread that drives, so that a test can hold the thread at one
// while another thread changes what it waits for. Unset in the program.
enum class TDriveStep {
  IdleBegins,  // a thread has handed work to the main thread and is about to drive on
  Checked,     // it has looked and found nothing to end its wait; it is about to sleep
  Woken,       // poll() has returned; the sources have not been served yet
};
extern std::atomic<void (*)(TDriveStep)> DriveStepHook;
inline void DriveStep(TDriveStep step) {
  if (auto hook = DriveStepHook.load(std::memory_order_relaxed)) hook(step);
}

// Drives until check says the wait is over, or until the deadline. Each round check looks
// (nothing locked) and either returns true or fills in what to drive; then one round runs.
// A deadline already passed gives one round without sleeping. Returns check's last verdict.
template <typename Check>
bool Drive(TDriveRounds& rounds, Check&& check, TTime deadline) {
  for (bool last = false; !last;) {
    TDriven driven;
    if (check(driven)) return true;
    last = TClock::now() >= deadline;
    rounds.Run(driven, last ? TTime::min() : deadline);
  }
  TDriven ignored;
  return check(ignored);
}

}  // namespace ComPlatform::Posix
