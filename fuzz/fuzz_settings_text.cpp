// The settings' text forms: any text converts to a valid value, letter case of a-z does not
// matter, and every value's text converts back to that value. A port loads its settings from
// an INI file of any content without failing.
#include <cctype>
#include <cstdlib>
#include <string>

#include "CPort/ComPort.h"
#include "CPort/ComSettings.h"
#include "framework/IniFile.h"

namespace {

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return text;
}

template <typename E>
void Check(std::string_view text, std::string_view upper, E (*from)(std::string_view),
           std::string (*to)(E), int count) {
  const E value = from(text);
  if (int(value) < 0 || int(value) >= count) std::abort();
  if (from(upper) != value) std::abort();
  if (from(to(value)) != value) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string upper = Upper(text);
  Check(text, upper, BaudRateFromText, BaudRateText, 16);
  Check(text, upper, StopBitsFromText, StopBitsText, 3);
  Check(text, upper, DataBitsFromText, DataBitsText, 4);
  Check(text, upper, ParityFromText, ParityText, 5);
  Check(text, upper, FlowControlFromText, FlowControlText, 4);
  Check(text, upper, DTRControlFromText, DTRControlText, 3);
  Check(text, upper, RTSControlFromText, RTSControlText, 4);
  if (YesNoFromText(text) != YesNoFromText(upper)) std::abort();
  if (YesNoFromText(YesNoText(YesNoFromText(text))) != YesNoFromText(text)) std::abort();
  const char c = CharFromText(text);
  if (CharFromText(CharText(c)) != c) std::abort();

  // The same bytes as the port's section of a settings file.
  TIniFile ini = TIniFile::FromText("[ComPort]\n" + text);
  TComPort port(nullptr);
  port.SetName("ComPort");
  port.SetStoredProps(TStoredProps::FromBits(0x3F));
  port.LoadFromIniFile(ini);
  if (port.Connected()) std::abort();
  return 0;
}
