#pragma once
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace Cli {

// Progress of a long job on standard error: a bar with the share done and the time left on a
// terminal, fitted to its width, a line at each tenth elsewhere (a log, a pipe), or nothing.
class TProgress {
public:
  enum TMode { pmBar, pmTenths, pmQuiet };

  TProgress(TMode mode, std::FILE* out) : FMode(mode), FOut(out) {}
  // Bar on a terminal, tenths elsewhere; quiet wins.
  static TMode ModeFor(std::FILE* out, bool quiet);

  // A step without a measure of its own ("Erasing PIC16F877A"), one line.
  void Step(const std::string& label);
  void Begin(const std::string& label);
  void SetMax(long maximum) { FMax = maximum; }
  void SetPosition(long position);
  // Ends the bar's line; a job that stopped short leaves its last state shown.
  void End();

  // Told each whole percent a job reaches, whatever the mode.
  std::function<void(int percent)> OnPercent;

private:
  using TClock = std::chrono::steady_clock;
  void DrawBar(long permille);
  // The terminal's width in characters, 80 when it does not say.
  int Columns() const;

  TMode FMode;
  std::FILE* FOut;
  std::string FLabel;
  long FMax = 0;
  long FShown = -1;  // last tenth printed, or the last bar drawn in permille
  int FPercent = -1;  // last told to OnPercent
  std::size_t FDrawnWidth = 0;
  bool FActive = false;
  TClock::time_point FStart;
  TClock::time_point FDrawn;
};

}  // namespace Cli
