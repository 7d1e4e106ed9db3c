#include "CPort/platform/PosixDrive.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

namespace ComPlatform::Posix {

std::atomic<void (*)(TDriveStep)> DriveStepHook{nullptr};

namespace {

// The descriptor that wakes a thread from poll(), one for each thread that ever waits.
class TThreadWake {
public:
  TThreadWake() : FFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~TThreadWake() {
    if (FFd >= 0) ::close(FFd);
  }
  TThreadWake(const TThreadWake&) = delete;
  TThreadWake& operator=(const TThreadWake&) = delete;
  int Fd() const { return FFd; }

private:
  int FFd;
};

int ThreadWakeFd() {
  thread_local TThreadWake wake;
  return wake.Fd();
}

int PollTimeout(TTime due) {
  if (due == TTime::max()) return -1;
  const TTime now = TClock::now();
  if (due <= now) return 0;
  // Rounded up, so a wake-up never comes before the time it waits for.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
  return static_cast<int>(std::min<long long>(ms, 60'000));
}

}  // namespace

TWaiter::TWaiter() : FFd(ThreadWakeFd()), FThread(std::this_thread::get_id()) {}

void TWaiter::Wake() const {
  if (FFd < 0 || FThread == std::this_thread::get_id()) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(FFd, &one, sizeof one);
}

void TDriven::Add(std::shared_ptr<TEventSource> source, unsigned interest) {
  for (TItem& item : FItems) {
    if (item.Source == source) {
      item.Interest |= interest;
      return;
    }
  }
  FItems.Add({std::move(source), interest});
}

TDriveRounds::~TDriveRounds() {
  for (auto& source : FSeen) source->Release(FWaiter);
}

void TDriveRounds::Adopt(const std::shared_ptr<TEventSource>& source) {
  if (std::find(FSeen.begin(), FSeen.end(), source) == FSeen.end()) FSeen.Add(source);
}

void TDriveRounds::Run(TDriven& driven, TTime until) {
  const DWORD n = driven.Size();
  if (n == 0 && until == TTime::min()) return;  // nothing to drive, no time to wait
  pollfd fds[1 + MaxWaitObjects];
  fds[0] = {FWaiter.FFd, POLLIN, 0};
  TTime due = until;
  for (DWORD k = 0; k < n; ++k) {
    const TDriven::TItem& item = driven[k];
    fds[1 + k] = {-1, 0, 0};
    item.Source->PrepareWait(item.Interest, FWaiter, fds[1 + k], due);
    Adopt(item.Source);
  }
  int timeout = until == TTime::min() ? 0 : PollTimeout(due);
  if (FWaiter.FFd < 0 && (timeout < 0 || timeout > 10)) timeout = 10;
  DriveStep(TDriveStep::Checked);
  const int ready = ::poll(fds, 1 + n, timeout);
  DriveStep(TDriveStep::Woken);
  if (ready > 0 && (fds[0].revents & POLLIN)) {
    // Emptied before the next look, never after it.
    std::uint64_t wakes;
    [[maybe_unused]] ssize_t r = ::read(FWaiter.FFd, &wakes, sizeof wakes);
  }
  for (DWORD k = 0; k < n; ++k) driven[k].Source->Serve(ready > 0 ? fds[1 + k].revents : 0);
}

}  // namespace ComPlatform::Posix
