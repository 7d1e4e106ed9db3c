#include "station/Socket.h"

#include <algorithm>
#include <cstdio>

namespace Station {

namespace {

constexpr int BarWidth = 20;

std::string Padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string Bar(int percent) {
  std::string bar(BarWidth, '.');
  std::fill_n(bar.begin(), std::clamp(percent, 0, 100) * BarWidth / 100, '#');
  char text[48];
  std::snprintf(text, sizeof text, "[%s] %3d %%", bar.c_str(), std::clamp(percent, 0, 100));
  return text;
}

}  // namespace

std::vector<std::string> SocketLines(const std::vector<TSocket>& sockets) {
  std::size_t portWidth = 0, chipWidth = 12;
  for (const TSocket& socket : sockets) {
    portWidth = std::max(portWidth, socket.Port.Port.size());
    chipWidth = std::max(chipWidth, socket.ChipName.size());
  }
  std::vector<std::string> lines;
  for (const TSocket& socket : sockets) {
    std::string line = Padded(socket.Port.Port, portWidth) + "  " + Padded(socket.ChipName, chipWidth) + "  ";
    std::string doing;
    if (socket.State == ssProgramming) {
      doing = Padded(socket.Step, 8) + (socket.Percent >= 0 ? Bar(socket.Percent) : std::string(BarWidth + 8, ' '));
    } else {
      doing = socket.Note;
    }
    line += Padded(doing, BarWidth + 16);
    if (!socket.Last.empty()) line += "  last: " + socket.Last;
    lines.push_back(line);
  }
  return lines;
}

std::string ResultLine(Record::TChipKey chip, Record::TChipResult result, double seconds) {
  char text[96];
  std::snprintf(text, sizeof text, "chip %lld: %s (%.1f s)", static_cast<long long>(chip),
                Record::ResultText(result), seconds);
  return text;
}

std::string Indented(const std::string& text) {
  std::string indented;
  for (const char c : text) {
    indented += c;
    if (c == '\n') indented += "    ";
  }
  return indented;
}

}  // namespace Station
