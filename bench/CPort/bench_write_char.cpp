// What one blocking write of one character costs on a real tty (a pseudo-terminal whose
// other side a thread drains), the ceiling in characters per second that follows, and what
// an idle open port costs in processor time.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "CPort/ComPort.h"
#include "framework/Thread.h"
#include "link/ProgrammerLine.h"

namespace {

// The line rate the programmer uses: 57600 bit/s, ten bits per character.
constexpr double LineCharsPerSecond = 5760.0;

class TDrainedPty {
public:
  TDrainedPty() {
    int slave = -1;
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&FMaster, &slave, nullptr, &raw, nullptr) != 0)
      throw std::runtime_error("openpty failed");
    FSlavePath = ttyname(slave);
    ::close(slave);
    if (::pipe(FStop) != 0) throw std::runtime_error("pipe failed");
    // Sleeps in poll until bytes come or the stop pipe is written: no cost of its own.
    FDrain = std::thread([this] {
      char buffer[4096];
      for (;;) {
        pollfd p[2] = {{FMaster, POLLIN, 0}, {FStop[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 || p[1].revents) break;
        if ((p[0].revents & POLLIN) && ::read(FMaster, buffer, sizeof buffer) <= 0) break;
      }
    });
  }
  ~TDrainedPty() {
    char stop = 0;
    (void)!::write(FStop[1], &stop, 1);
    FDrain.join();
    ::close(FStop[0]);
    ::close(FStop[1]);
    ::close(FMaster);
  }
  const std::string& SlavePath() const { return FSlavePath; }

private:
  int FMaster = -1;
  std::string FSlavePath;
  int FStop[2] = {-1, -1};
  std::thread FDrain;
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The programmer's line on the given device.
void Configure(TComPort& port, const std::string& path) {
  port.SetPort(path);
  ConfigureProgrammerLine(port);
}

void BM_WriteTextOneChar(benchmark::State& state) {
  TDrainedPty pty;
  TComPort port(nullptr);
  Configure(port, pty.SlavePath());
  port.OpenPort();
  const std::string one = ":";
  for (auto _ : state) benchmark::DoNotOptimize(port.WriteText(one));
  state.SetItemsProcessed(state.iterations());
  state.counters["chars_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
  // The ceiling as a multiple of the line rate (shown with a rate's "/s").
  state.counters["x_line_rate"] = benchmark::Counter(
      static_cast<double>(state.iterations()) / LineCharsPerSecond, benchmark::Counter::kIsRate);
  port.ClosePort();
}
BENCHMARK(BM_WriteTextOneChar)->UseRealTime();

void BM_IdleOpenPort(benchmark::State& state) {
  TDrainedPty pty;
  TComPort port(nullptr);
  Configure(port, pty.SlavePath());
  port.OpenPort();
  for (auto _ : state) {
    double before = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    CheckSynchronize();
    state.counters["cpu_ms_per_s"] = (CpuSeconds() - before) * 1000.0 / 3.0;
  }
  port.ClosePort();
}
BENCHMARK(BM_IdleOpenPort)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
