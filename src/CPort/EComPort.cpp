#include "CPort/EComPort.h"


#include "framework/Translate.h"

namespace {

constexpr const char* PortErrorTexts[PortErrorCount + 1] = {
    "",
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

constexpr const char* Domain = "cport";

const std::string& MessageOf(int code) {
  static const std::string none;
  return code >= 1 && code <= PortErrorCount ? PortErrorMessages[static_cast<std::size_t>(code)]
                                             : none;
}

}  // namespace

std::array<std::string, PortErrorCount + 1> PortErrorMessages;

namespace {
// The table is filled while the program starts, before any port exists.
[[maybe_unused]] const bool TableFilled = (LoadPortErrorMessages(), true);
}  // namespace

void LoadPortErrorMessages() {
  Translation::RegisterDomain(Domain);
  for (int code = 1; code <= PortErrorCount; ++code)
    PortErrorMessages[static_cast<std::size_t>(code)] = Translate(PortErrorTexts[code], Domain);
}

EComPort EComPort::CreateFromSystemError(int portErrorCode, int winErrorCode) {
  // The code goes in place of %d by hand: a translated text is never used as a format.
  std::string suffix = Translate(" (win error code: %d)", Domain);
  if (auto at = suffix.find("%d"); at != std::string::npos)
    suffix.replace(at, 2, std::to_string(winErrorCode));
  return EComPort(MessageOf(portErrorCode) + suffix, winErrorCode, portErrorCode);
}

EComPort EComPort::CreateFromCode(int portErrorCode) {
  return EComPort(MessageOf(portErrorCode), -1, portErrorCode);
}
