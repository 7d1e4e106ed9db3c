#include "Unit1/ComPortChannel.h"

int TComPortChannel::WriteText(const std::string& text) { return FPort.WriteText(text); }

int TComPortChannel::ReadText(std::string& text, int count) { return FPort.ReadText(text, count); }
