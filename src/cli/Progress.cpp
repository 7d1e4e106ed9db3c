#include "cli/Progress.h"

#include <algorithm>

#include "os/Console.h"

namespace Cli {

namespace {

constexpr int BarWidth = 30;
// A narrower bar says too little: the line goes on without one.
constexpr int NarrowestBar = 10;
// A terminal is redrawn at most this often, whatever the job's pace.
constexpr auto RedrawInterval = std::chrono::milliseconds(100);

}  // namespace

TProgress::TMode TProgress::ModeFor(std::FILE* out, bool quiet) {
  if (quiet) return pmQuiet;
  return Os::IsTerminal(out) ? pmBar : pmTenths;
}

void TProgress::Step(const std::string& label) {
  if (FActive) End();
  if (FMode == pmQuiet) return;
  std::fprintf(FOut, "%s\n", label.c_str());
  std::fflush(FOut);
}

void TProgress::Begin(const std::string& label) {
  if (FActive) End();
  FLabel = label;
  FMax = 0;
  FShown = -1;
  FPercent = -1;
  FDrawnWidth = 0;
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

int TProgress::Columns() const {
  const int columns = Os::TerminalColumns(FOut);
  return columns > 0 ? columns : 80;
}

void TProgress::DrawBar(long permille) {
  FShown = permille;
  FDrawn = TClock::now();
  // Time left from the pace so far, once there is a pace to go by.
  const double elapsed = std::chrono::duration<double>(FDrawn - FStart).count();
  std::string left = "--:--";
  if (permille >= 10 && elapsed >= 0.5) {
    const long seconds = static_cast<long>(elapsed * double(1000 - permille) / double(permille) + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", seconds / 60, seconds % 60);
    left = text;
  }
  char figures[64];
  std::snprintf(figures, sizeof figures, " %3ld %% %s left", permille / 10, left.c_str());

  // A line as wide as the terminal would wrap, and every redraw would add one: the bar
  // shrinks to fit, then goes, then the label is cut.
  const std::size_t room = static_cast<std::size_t>(std::max(Columns() - 1, 1));
  const std::size_t fixed = FLabel.size() + 3 + std::char_traits<char>::length(figures);
  const long barWidth = std::min<long>(BarWidth, static_cast<long>(room) - static_cast<long>(fixed));
  std::string line = FLabel;
  if (barWidth >= NarrowestBar) {
    std::string bar(static_cast<std::size_t>(barWidth), ' ');
    std::fill_n(bar.begin(), permille * barWidth / 1000, '#');
    line += " [" + bar + "]";
  }
  line += figures;
  if (line.size() > room) line.erase(0, line.size() - room);
  // What the last, longer line showed beyond this one is blanked.
  const std::size_t width = line.size();
  if (width < FDrawnWidth) line.append(std::min(FDrawnWidth, room) - width, ' ');
  FDrawnWidth = width;
  std::fprintf(FOut, "\r%s", line.c_str());
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
