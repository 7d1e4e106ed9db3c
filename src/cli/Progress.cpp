#include "cli/Progress.h"

#include <unistd.h>

#include <algorithm>

namespace Cli {

namespace {

constexpr int BarWidth = 30;
// A terminal is redrawn at most this often, whatever the job's pace.
constexpr auto RedrawInterval = std::chrono::milliseconds(100);

}  // namespace

TProgress::TMode TProgress::ModeFor(std::FILE* out, bool quiet) {
  if (quiet) return pmQuiet;
  return ::isatty(::fileno(out)) ? pmBar : pmTenths;
}

void TProgress::Begin(const std::string& label) {
  if (FActive) End();
  FLabel = label;
  FMax = 0;
  FShown = -1;
  FPercent = -1;
  FActive = true;
  FStart = TClock::now();
  if (FMode == pmBar) DrawBar(0);
}

void TProgress::SetPosition(long position) {
  if (!FActive || FMax <= 0) return;
  const long permille = std::clamp(position, 0L, FMax) * 1000 / FMax;
  if (OnPercent && permille / 10 != FPercent) OnPercent(FPercent = int(permille / 10));
  if (FMode == pmTenths) {
    // Every tenth passed gets its line, also when one step passes several.
    const long tenth = permille / 100;
    if (tenth <= FShown) return;
    for (long t = std::max(FShown + 1, 1L); t <= tenth; ++t)
      std::fprintf(FOut, "%s: %ld %%\n", FLabel.c_str(), t * 10);
    FShown = tenth;
    std::fflush(FOut);
  } else if (FMode == pmBar && permille != FShown &&
             (permille == 1000 || TClock::now() - FDrawn >= RedrawInterval)) {
    DrawBar(permille);
  }
}

void TProgress::DrawBar(long permille) {
  FShown = permille;
  FDrawn = TClock::now();
  std::string bar(BarWidth, ' ');
  std::fill_n(bar.begin(), permille * BarWidth / 1000, '#');
  // Time left from the pace so far, once there is a pace to go by.
  const double elapsed = std::chrono::duration<double>(FDrawn - FStart).count();
  std::string left = "--:--";
  if (permille >= 10 && elapsed >= 0.5) {
    const long seconds = static_cast<long>(elapsed * double(1000 - permille) / double(permille) + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", seconds / 60, seconds % 60);
    left = text;
  }
  std::fprintf(FOut, "\r%s [%s] %3ld %% %s left ", FLabel.c_str(), bar.c_str(), permille / 10,
               left.c_str());
  std::fflush(FOut);
}

void TProgress::End() {
  if (!FActive) return;
  FActive = false;
  if (FMode == pmBar) {
    std::fputc('\n', FOut);
    std::fflush(FOut);
  }
}

}  // namespace Cli
