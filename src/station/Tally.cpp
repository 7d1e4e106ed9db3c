#include "station/Tally.h"

#include <cstdio>

namespace Station {

namespace {

// A text of several lines, its lines run together; cut short when long.
std::string OneLine(const std::string& text) {
  constexpr std::size_t Longest = 160;
  std::string line;
  for (std::size_t i = 0; i < text.size() && line.size() < Longest; ++i) {
    if (text[i] != '\n') {
      line += text[i];
      continue;
    }
    while (i + 1 < text.size() && text[i + 1] == ' ') ++i;
    line += ' ';
  }
  return line.size() < Longest ? line : line + "...";
}

}  // namespace

void TTally::Add(const std::string& port, Record::TChipKey chip, Record::TChipResult result,
                 const std::string& detail) {
  ++FChips;
  if (result == Record::crPass) {
    ++FPassed;
    return;
  }
  std::string line = "chip " + std::to_string(chip) + " " + Record::ResultText(result);
  if (!detail.empty()) line += ": " + OneLine(detail);
  FFailed[port].push_back(line);
}

std::string TTally::Total() const {
  std::string text = std::to_string(FChips) + (FChips == 1 ? " chip, " : " chips, ") +
                     std::to_string(FPassed) + " passed, " + std::to_string(FChips - FPassed) + " failed";
  if (FChips > 0) {
    char yield[32];
    std::snprintf(yield, sizeof yield, ", yield %.1f %%", 100.0 * double(FPassed) / double(FChips));
    text += yield;
  }
  return text;
}

std::string TTally::Summary(double seconds) const {
  char pace[96];
  const long whole = long(seconds + 0.5);
  std::snprintf(pace, sizeof pace, ", %.0f chips per hour (%ld:%02ld:%02ld)",
                seconds > 0 ? double(FChips) * 3600.0 / seconds : 0.0, whole / 3600, whole / 60 % 60, whole % 60);
  std::string text = "Production ended: " + Total() + pace + "\n";
  for (const auto& [port, chips] : FFailed) {
    text += port + " failed " + std::to_string(chips.size()) + (chips.size() == 1 ? " chip:\n" : " chips:\n");
    for (const std::string& chip : chips) text += "  " + chip + "\n";
  }
  return text;
}

}  // namespace Station
