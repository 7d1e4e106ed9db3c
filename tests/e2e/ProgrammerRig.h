#pragma once
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CPort/ComPort.h"
#include "CPort/EComPort.h"
#include "CPort/platform/ProcessUsage.h"
#include "Simulator.h"
#include "framework/Thread.h"
#include "link/LinkFakes.h"
#include "link/ProgrammerLine.h"
#include "link/ProgrammerLink.h"

using Clock = std::chrono::steady_clock;

// Processor time the whole process uses over the next `ms` milliseconds, while the main
// thread only sleeps: near zero unless some thread is spinning.
inline double CpuSecondsWhileIdle(int ms) {
  const double before = ProcessCpuSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return ProcessCpuSeconds() - before;
}

inline int ElapsedMs(Clock::time_point since) {
  return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// The link's road to a real port, timing every blocking call the main thread makes.
class TPortChannel : public IByteChannel {
public:
  explicit TPortChannel(TComPort& port) : FPort(port) {}
  int LongestWriteMs = 0;

  int WriteText(const std::string& text) override {
    const auto start = Clock::now();
    struct TTimer {
      TPortChannel& C;
      Clock::time_point S;
      ~TTimer() { C.LongestWriteMs = std::max(C.LongestWriteMs, ElapsedMs(S)); }
    } timer{*this, start};
    return FPort.WriteText(text);
  }
  int ReadText(std::string& text, int count) override { return FPort.ReadText(text, count); }

private:
  TComPort& FPort;
};

// A simulated programmer on its own thread, unpaced unless a baud rate is given.
inline std::unique_ptr<Sim::TSimulator> StartSimulator(const char* chip,
                                                       Sim::TDeviceOptions options = {},
                                                       unsigned baud = 0) {
  if (!options.ProgMs && baud == 0) options.ProgMs = 0;
  auto sim = std::make_unique<Sim::TSimulator>(Sim::TChipMemory(*Sim::FindChip(chip)), options, baud);
  sim->Start();
  return sim;
}

// The program's side of the line without its window: the port configured as the program
// configures it, the link, a recording stand-in for the window, and the top-level handler
// that shows what a button handler raised.
class TProgrammerRig {
public:
  TComPort Port{nullptr};
  TPortChannel Channel{Port};
  TFakeView View;
  TProgrammerLink Link{View, Channel};
  std::vector<std::string> Shown;  // messages of the top-level handler
  long long BytesReported = 0;      // sum of the counts of received-bytes events
  int LongestDeliveryMs = 0;        // longest single delivery of queued main-thread work

  TProgrammerRig() {
    View.Link = &Link;
    ConfigureProgrammerLine(Port);
    Port.OnAfterOpen = [this](TObject*) { Link.ComPortAfterOpen(); };
    Port.OnRxChar = [this](TObject*, int count) {
      BytesReported += count;
      Link.ComPortRxChar(count);
    };
  }
  ~TProgrammerRig() { Port.ClosePort(); }

  // Picking a port in the selector: close, set the name, open (which identifies); a failure
  // to open is shown, as the selector's handler does.
  void PickPort(const std::string& path) {
    Port.ClosePort();
    Port.SetPort(path);
    Handle([&] { Port.OpenPort(); });
  }

  // A button handler under the program's top-level handler.
  void Handle(const std::function<void()>& handler) {
    try {
      handler();
    } catch (const Exception& e) {
      Shown.push_back(e.Message());
    }
  }

  // Runs the main thread's queued work until done() holds; false after the time limit, which
  // only keeps a broken exchange from hanging the suite.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      if (Clock::now() > deadline) return false;
      RunQueued();
    }
    return true;
  }
  // Keeps handling the main thread's work for a while.
  void RunFor(int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) RunQueued();
  }

  bool Identified(const std::string& chip) const {
    return View.Connection == std::string(TProgrammerLink::RecognizedText) + chip &&
           !Link.IdentifyPending;
  }
  // Waits for the completion of a command: the link shows " Ready" again.
  bool CommandDone(int timeoutMs = 20000) {
    return RunUntil([&] { return View.Panels[0] == " Ready"; }, timeoutMs);
  }

private:
  void RunQueued() {
    const auto start = Clock::now();
    const bool ran = CheckSynchronize();
    LongestDeliveryMs = std::max(LongestDeliveryMs, ElapsedMs(start));
    if (!ran) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
};

// The longest a single blocking write may hold the main thread: the write time-out of one
// byte (100 ms per byte plus 1000 ms), with room for a loaded build machine's scheduling.
constexpr int WriteTimeoutMs = 100 + 1000;
constexpr int MainThreadBoundMs = WriteTimeoutMs + 1000;
// More processor time than this over an idle 300 ms means a thread is going round.
constexpr double IdleCpuLimit = 0.1;
