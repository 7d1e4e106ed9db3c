#include "link/ComPortChannel.h"

namespace {
constexpr std::string_view ReadyMarker = "Ready";
}

int TComPortChannel::WriteText(const std::string& text) { return FPort.WriteText(text); }

int TComPortChannel::ReadText(std::string& text, int count) {
  const int read = FPort.ReadText(text, count);
  if (FWatching && !FReadySeen) {
    FTail += text;
    if (FTail.find(ReadyMarker) != std::string::npos)
      FReadySeen = true;
    else if (FTail.size() >= ReadyMarker.size())
      FTail.erase(0, FTail.size() - (ReadyMarker.size() - 1));
  }
  return read;
}

void TComPortChannel::WatchForReady() {
  FWatching = true;
  FReadySeen = false;
  FTail.clear();
}
