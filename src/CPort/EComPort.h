#pragma once
#include <array>
#include <string>

#include "framework/Exception.h"

// The one exception of the serial layer: a numbered failure, and the platform's error code
// of the call that failed when there is one.
class EComPort : public Exception {
public:
  // Message: the table text and " (win error code: N)".
  static EComPort CreateFromSystemError(int portErrorCode, int winErrorCode);
  // Message: the table text alone; WinErrorCode is -1.
  static EComPort CreateFromCode(int portErrorCode);

  int WinErrorCode() const { return FWinErrorCode; }
  int PortErrorCode() const { return FPortErrorCode; }

private:
  EComPort(std::string message, int winErrorCode, int portErrorCode)
      : Exception(std::move(message)), FWinErrorCode(winErrorCode), FPortErrorCode(portErrorCode) {}

  int FWinErrorCode;
  int FPortErrorCode;
};

// The failure texts, rows 1 to 23 (row 0 is unused). Filled through the translation facility
// when the program starts; read-only afterwards.
constexpr int PortErrorCount = 23;
extern std::array<std::string, PortErrorCount + 1> PortErrorMessages;

// Fills PortErrorMessages again, for a program that installs a catalog after start-up.
void LoadPortErrorMessages();
