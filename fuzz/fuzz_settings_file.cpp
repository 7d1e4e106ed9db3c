// The settings file as the window reads it at start-up: loaded into a text box, its first line
// is the port name, given to the (closed) port. Any file gives a name without breaks, no longer
// than a line may be, and the INI reader of the port's settings store takes the same bytes
// without harm. The bytes go to both readers in memory, as their file forms pass them on.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "CPort/ComPort.h"
#include "framework/IniFile.h"
#include "framework/TextBox.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TTextBox cnvn;
  cnvn.LoadFromText(bytes);
  const std::string port = cnvn.Line(0);
  if (port.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) std::abort();
  if (port.size() > TTextBox::MaxLineLength) std::abort();
  if (!cnvn.Text().starts_with(port)) std::abort();
  TComPort comPort(nullptr);
  comPort.SetPort(port);
  if (comPort.Port() != port || comPort.Connected()) std::abort();

  const TIniFile ini = TIniFile::FromText(bytes);
  // A key that exists reads the same whatever the fallback; a missing one gives the fallback.
  const std::string one = ini.ReadString("ComPort", "Port", "\x01");
  const std::string two = ini.ReadString("ComPort", "Port", "\x02");
  if (ini.ValueExists("ComPort", "Port") ? one != two : (one != "\x01" || two != "\x02"))
    std::abort();
  (void)ini.ReadInteger("ComPort", "CustomBaudRate", 0);
  return 0;
}
