#include "station/Screen.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace Station {

namespace {

// A terminal is redrawn at most this often, whatever the sockets' pace.
constexpr auto RedrawInterval = std::chrono::milliseconds(100);

}  // namespace

TScreen::TScreen(std::FILE* out, bool terminal) : FOut(out), FTerminal(terminal) {}

std::size_t TScreen::Width() const {
  winsize size{};
  if (::ioctl(::fileno(FOut), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col - 1;
  return 79;
}

void TScreen::Erase() {
  if (!FDrawn) return;
  // Back to the block's first line, and everything below the cursor away.
  std::fputc('\r', FOut);
  if (FHeight > 0) std::fprintf(FOut, "\x1b[%dA", FHeight);
  std::fputs("\x1b[J", FOut);
  FDrawn = false;
  FHeight = 0;
}

void TScreen::Event(const std::string& text, bool lasting) {
  if (FTerminal && !lasting) return;
  if (FTerminal) {
    Erase();
    FChanged = true;
  }
  std::fprintf(FOut, "%s\n", text.c_str());
  std::fflush(FOut);
  if (FTerminal) Draw(true);
}

void TScreen::SetBlock(std::vector<std::string> lines) {
  if (lines == FBlock) return;
  FBlock = std::move(lines);
  FChanged = true;
}

int TScreen::Draw(bool now) {
  if (!FTerminal || !FChanged) return -1;
  const auto since = TClock::now() - FLastDraw;
  if (!now && since < RedrawInterval)
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(RedrawInterval - since).count()) + 1;
  Erase();
  // Lines are cut to the terminal's width: a wrapped line would move the block's top.
  const std::size_t width = Width();
  for (std::size_t i = 0; i < FBlock.size(); ++i) {
    std::fputs(FBlock[i].substr(0, width).c_str(), FOut);
    if (i + 1 < FBlock.size()) std::fputc('\n', FOut);
  }
  std::fflush(FOut);
  FHeight = FBlock.empty() ? 0 : int(FBlock.size()) - 1;
  FDrawn = true;
  FChanged = false;
  FLastDraw = TClock::now();
  return -1;
}

void TScreen::Close() {
  if (!FTerminal) return;
  FChanged = true;
  Draw(true);
  if (FDrawn) std::fputc('\n', FOut);
  std::fflush(FOut);
  FDrawn = false;
  FHeight = 0;
}

}  // namespace Station
