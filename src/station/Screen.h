#pragma once
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace Station {

// What the operator sees. On a terminal a block of lines (one a socket, the running total,
// the prompt) is redrawn in place, and lasting news (failures, the summary) is printed above
// it; elsewhere (a log, a pipe) every event is a line of its own and the block is not shown.
class TScreen {
public:
  TScreen(std::FILE* out, bool terminal);
  bool Terminal() const { return FTerminal; }

  // A line of news: always kept elsewhere; on a terminal only when `lasting`.
  void Event(const std::string& text, bool lasting = false);
  // The block's lines; the last stays without a line end, for the prompt.
  void SetBlock(std::vector<std::string> lines);
  // Draws the block when it changed and the last drawing is old enough, or at once with
  // `now`. Returns the milliseconds until a drawing is due, or -1 when none is.
  int Draw(bool now = false);
  // The operator's Enter, echoed by the terminal, moved the cursor down a line.
  void OperatorLine() { ++FHeight; }
  // The block stays as drawn; what comes next goes below it.
  void Close();

private:
  using TClock = std::chrono::steady_clock;
  void Erase();
  std::size_t Width() const;

  std::FILE* FOut;
  bool FTerminal;
  std::vector<std::string> FBlock;
  bool FChanged = false;
  int FHeight = 0;  // lines between the top of the drawn block and the cursor
  bool FDrawn = false;
  TClock::time_point FLastDraw;
};

}  // namespace Station
