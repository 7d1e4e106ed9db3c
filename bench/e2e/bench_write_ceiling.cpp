// The host's ceiling on the write path: the characters of the largest image, one blocking
// one-character write each as the write job sends them, through the port on a pseudo-terminal
// to a simulated programmer that takes them as fast as they come and programs in no time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>

#include "BenchImage.h"
#include "CPort/ComPort.h"
#include "Measure.h"
#include "Simulator.h"
#include "framework/Thread.h"
#include "link/ProgrammerLine.h"

namespace {

constexpr double LineCharsPerSecond = 5760.0;  // 57600 bit/s, ten bits a character
constexpr int Rounds = 5;

// The programmer's line on the given device.
void Configure(TComPort& port, const std::string& path) {
  port.SetPort(path);
  ConfigureProgrammerLine(port);
}

}  // namespace

int main() try {
  const std::string stream = WriteStream(ReadImageText(FullChip()));
  Sim::TDeviceOptions options;
  options.ProgMs = 0;
  Sim::TSimulator device(Sim::TChipMemory(*Sim::FindChip("PIC16F877A")), options, 0);
  device.Start();

  TComPort port(nullptr);
  Configure(port, device.SlavePath());
  port.OpenPort();
  double best = 0, cpuPerChar = 0;
  std::string piece(1, '\0');
  for (int round = 0; round < Rounds; ++round) {
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (char c : stream) {
      piece[0] = c;
      if (port.WriteText(piece) != 1) throw std::runtime_error("a character was not taken");
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    CheckSynchronize();  // the programmer's "Ready" has no handler here
    const double rate = static_cast<double>(stream.size()) / seconds;
    if (rate > best) {
      best = rate;
      cpuPerChar = (ProcessCpuSeconds() - cpuBefore) / static_cast<double>(stream.size());
    }
    std::printf("round %d: %zu characters in %.3f s: %.0f characters/s\n", round + 1,
                stream.size(), seconds, rate);
  }
  port.ClosePort();

  const double multiple = best / LineCharsPerSecond;
  std::printf("best: %.0f characters/s = %.1f x the line rate; %.2f us of processor time per "
              "character (this process, simulator included)\n",
              best, multiple, cpuPerChar * 1e6);
  PrintRow("1", "Write path ceiling, one-character writes to an unpaced simulator (best of 5)",
           Format("%.0f", best) + " chars/s = " + Format("%.1f", multiple) + " x line rate",
           ">= 20 x", Verdict(multiple >= 20));
  return 0;
} catch (const std::exception& e) {
  std::fprintf(stderr, "bench_write_ceiling: %s\n", e.what());
  return 1;
}
