#include "Simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "Pacer.h"

namespace Sim {

namespace {

using TClock = std::chrono::steady_clock;

// While nobody has the slave open the master reports a hang-up without end; look again this
// often. A real programmer answers a port just opened at once; a host that opens the port for
// each chip should not wait for the simulator.
constexpr int HangUpRecheckMs = 10;
constexpr std::size_t ChunkSize = 4096;

[[noreturn]] void Fail(const std::string& what) {
  throw ESimulator(what + ": " + std::strerror(errno));
}

int Milliseconds(std::chrono::microseconds us) {
  return static_cast<int>((us.count() + 999) / 1000);
}

}  // namespace

TSimulator::TSimulator(TChipMemory memory, TDeviceOptions options, unsigned baud,
                       std::chrono::milliseconds latency)
    : FBaud(baud), FLatency(latency), FMemory(std::move(memory)), FProtocol(FMemory, std::move(options)) {
  FStopEvent = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (FStopEvent < 0) Fail("eventfd");
  FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (FMaster < 0) {
    const int e = errno;
    close(FStopEvent);
    errno = e;
    Fail("posix_openpt");
  }
  try {
    char name[128];
    if (grantpt(FMaster) != 0) Fail("grantpt");
    if (unlockpt(FMaster) != 0) Fail("unlockpt");
    if (ptsname_r(FMaster, name, sizeof name) != 0) Fail("ptsname_r");
    FSlavePath = name;

    // Raw 8N1 at the programmer's speed; the setting stays with the terminal for later openers.
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) Fail("open " + FSlavePath);
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
      cfmakeraw(&tio);
      cfsetspeed(&tio, B57600);
      tcsetattr(slave, TCSANOW, &tio);
    }
    close(slave);
  } catch (...) {
    close(FMaster);
    close(FStopEvent);
    throw;
  }
}

TSimulator::~TSimulator() {
  Stop();
  if (FThread.joinable()) FThread.join();
  close(FMaster);
  close(FStopEvent);
}

void TSimulator::Start() {
  FThread = std::thread([this] {
    try {
      Run();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tolvane-sim: %s\n", e.what());
    }
  });
}

void TSimulator::Stop() noexcept {
  const std::uint64_t one = 1;
  [[maybe_unused]] auto n = write(FStopEvent, &one, sizeof one);
}

TChipMemory TSimulator::Memory() const {
  std::lock_guard lock(FLock);
  return FMemory;
}

void TSimulator::Insert(TChipMemory chip) {
  std::lock_guard lock(FLock);
  FMemory = std::move(chip);
  FProtocol.SetChipPresent(true);
}

std::optional<TChipMemory> TSimulator::Remove() {
  std::lock_guard lock(FLock);
  if (!FProtocol.ChipPresent()) return std::nullopt;
  FProtocol.SetChipPresent(false);
  return FMemory;
}

bool TSimulator::Occupied() const {
  std::lock_guard lock(FLock);
  return FProtocol.ChipPresent();
}

unsigned TSimulator::Erases() const {
  std::lock_guard lock(FLock);
  return FProtocol.Erases();
}

void TSimulator::SetOperatorInput(int fd, std::function<void(const std::string&)> onLine) {
  FOperator = fd;
  FOnOperatorLine = std::move(onLine);
}

bool TSimulator::TakeOperatorInput() {
  char chunk[512];
  const ssize_t n = read(FOperator, chunk, sizeof chunk);
  if (n < 0) return errno == EAGAIN || errno == EINTR;
  FOperatorLine.append(chunk, std::size_t(n));
  std::size_t end;
  while ((end = FOperatorLine.find('\n')) != std::string::npos) {
    std::string line = FOperatorLine.substr(0, end);
    FOperatorLine.erase(0, end + 1);
    FOnOperatorLine(line);
  }
  if (n > 0) return true;
  if (!FOperatorLine.empty()) FOnOperatorLine(std::exchange(FOperatorLine, {}));  // a last line without its end
  return false;
}

void TSimulator::HangUp() {
  {
    std::lock_guard lock(FLock);
    FProtocol.Reset();
  }
  // Answers still queued for the program that left must not reach the next one. Only that
  // direction is flushed: a program that has just opened the port may already have written.
  const int slave = open(FSlavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave >= 0) {
    tcflush(slave, TCIFLUSH);
    close(slave);
  }
  ++FHangUps;
}

void TSimulator::Run() {
  TPacer inPacer(FBaud / 10.0), outPacer(FBaud / 10.0);
  std::string input, output, held;  // held: answer due when the programming time is over
  std::size_t inputPos = 0, outputPos = 0;  // taken from input, sent from output
  std::string bridge;                        // sent, but held by the latency timer
  bool timing = false;                       // the timer runs while there is output
  TClock::time_point bridgeDue;              // when it next hands the bridge's bytes over
  bool busy = false;
  bool hungUp = true;  // until a program opens the slave, nothing can be served
  // What a program that has left sent but the line had not carried yet still waits in the
  // pseudo-terminal, ahead of what the next program sends. A USB bridge drops it when the
  // port is closed, so it is dropped here unheard: everything up to the next program's first
  // command (which its "zzzz" preamble begins).
  bool stale = false;
  TClock::time_point busyUntil;
  char chunk[ChunkSize];

  for (;;) {
    auto now = TClock::now();
    if (busy && now >= busyUntil) {
      busy = false;
      output += held;
      held.clear();
    }
    if (!busy && inputPos < input.size()) {
      std::lock_guard lock(FLock);
      while (inputPos < input.size()) {
        std::string answer;
        const auto t = FProtocol.Feed(input[inputPos++], answer);
        if (t.count() > 0) {
          busy = true;
          busyUntil = now + t;
          held = std::move(answer);
          break;
        }
        output += answer;
      }
    }
    if (inputPos == input.size()) {
      input.clear();
      inputPos = 0;
    }

    if (hungUp) {
      pollfd probe{FMaster, 0, 0};
      if (poll(&probe, 1, 0) < 0 && errno != EINTR) Fail("poll");
      hungUp = (probe.revents & POLLHUP) != 0;
    }

    if (FLatency.count() > 0 && !hungUp && outputPos < output.size()) {
      // The line carries the answer to the bridge at its own pace, without the terminal.
      const std::size_t n = std::min(output.size() - outputPos, outPacer.Available(now));
      // The timer starts with the first character; while characters keep coming it runs
      // on, handing over once each period.
      if (n > 0 && !timing) {
        timing = true;
        bridgeDue = now + FLatency;
      }
      bridge.append(output, outputPos, n);
      outputPos += n;
      if (outPacer.Paced()) outPacer.Consume(n);
      if (outputPos == output.size()) {
        output.clear();
        outputPos = 0;
      }
    }

    // The master takes no part while nobody has the slave open; poll passes over a negative fd.
    pollfd fds[3] = {{FStopEvent, POLLIN, 0}, {hungUp ? -1 : FMaster, 0, 0}, {FOperator, POLLIN, 0}};
    int timeout = -1;
    auto wait = [&](std::chrono::microseconds us) {
      const int ms = Milliseconds(us);
      timeout = timeout < 0 ? ms : std::min(timeout, ms);
    };
    if (hungUp) {
      wait(std::chrono::milliseconds(HangUpRecheckMs));
    } else {
      if (!busy && input.empty()) {
        if (stale || inPacer.Available(now) > 0) fds[1].events |= POLLIN;
        else wait(inPacer.UntilNext(now));
      }
      if (outputPos < output.size()) {
        if (FLatency.count() == 0 && outPacer.Available(now) > 0) fds[1].events |= POLLOUT;
        else wait(outPacer.UntilNext(now));
      }
      if (!bridge.empty()) {
        if (now >= bridgeDue) fds[1].events |= POLLOUT;
        else wait(std::chrono::duration_cast<std::chrono::microseconds>(bridgeDue - now));
      }
      if (busy) wait(std::chrono::duration_cast<std::chrono::microseconds>(busyUntil - now));
    }

    if (poll(fds, 3, timeout) < 0) {
      if (errno == EINTR) continue;
      Fail("poll");
    }
    if (fds[0].revents & POLLIN) return;
    if ((fds[2].revents & (POLLIN | POLLHUP | POLLERR)) && !TakeOperatorInput()) FOperator = -1;

    if (hungUp) continue;
    if (fds[1].revents & (POLLHUP | POLLERR)) {
      input.clear();
      inputPos = 0;
      output.clear();
      outputPos = 0;
      bridge.clear();
      timing = false;
      held.clear();
      busy = false;
      HangUp();
      hungUp = true;
      stale = true;
      continue;
    }
    now = TClock::now();
    if (fds[1].revents & POLLIN) {
      // Stale bytes never cross the line, so they are taken as fast as they come.
      const std::size_t want = stale ? ChunkSize : std::min(ChunkSize, inPacer.Available(now));
      const ssize_t n = read(FMaster, chunk, want);
      if (n > 0) {
        std::size_t from = 0;
        if (stale) {
          while (from < std::size_t(n) && !TDeviceProtocol::StartsCommand(chunk[from])) ++from;
          stale = from == std::size_t(n);
        }
        input.assign(chunk + from, std::size_t(n) - from);
        if (inPacer.Paced()) inPacer.Consume(input.size());
      } else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
        Fail("read " + FSlavePath);
      }
    }
    if ((fds[1].revents & POLLOUT) && !bridge.empty()) {
      const ssize_t n = write(FMaster, bridge.data(), bridge.size());
      if (n > 0) {
        bridge.erase(0, std::size_t(n));
        if (bridge.empty()) {
          bridgeDue += FLatency;
          if (bridgeDue <= now) bridgeDue = now + FLatency;  // a whole period late
          timing = outputPos < output.size();
        }
      } else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
        Fail("write " + FSlavePath);
      }
    } else if (fds[1].revents & POLLOUT) {
      const std::size_t want = std::min(output.size() - outputPos, outPacer.Available(now));
      const ssize_t n = write(FMaster, output.data() + outputPos, want);
      if (n > 0) {
        outputPos += std::size_t(n);
        if (outputPos == output.size()) {
          output.clear();
          outputPos = 0;
        }
        if (outPacer.Paced()) outPacer.Consume(std::size_t(n));
      } else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
        Fail("write " + FSlavePath);
      }
    }
  }
}

}  // namespace Sim
