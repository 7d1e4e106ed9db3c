#include "CPort/ComSettings.h"

#include <array>

#include "CPort/ComPort.h"
#include "framework/Convert.h"

namespace {

constexpr std::array<int, 16> BaudRates = {0,     110,   300,   600,   1200,   2400,   4800,   9600,
                                           14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr std::array<const char*, 16> BaudRateTexts = {
    "Custom", "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",
    "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
constexpr std::array<const char*, 3> StopBitsTexts = {"1", "1.5", "2"};
constexpr std::array<const char*, 4> DataBitsTexts = {"5", "6", "7", "8"};
constexpr std::array<const char*, 5> ParityTexts = {"None", "Odd", "Even", "Mark", "Space"};
constexpr std::array<const char*, 4> FlowControlTexts = {"Hardware", "Software", "None", "Custom"};
constexpr std::array<const char*, 3> DTRControlTexts = {"Disable", "Enable", "Handshake"};
constexpr std::array<const char*, 4> RTSControlTexts = {"Disable", "Enable", "Handshake", "Toggle"};

template <typename E, std::size_t N>
std::string TextOf(const std::array<const char*, N>& texts, E value) {
  auto index = static_cast<std::size_t>(value);
  return index < N ? texts[index] : std::string();
}

template <typename E, std::size_t N>
E FromText(const std::array<const char*, N>& texts, std::string_view text, E fallback) {
  for (std::size_t i = 0; i < N; ++i)
    if (SameTextAscii(texts[i], text)) return static_cast<E>(i);
  return fallback;
}

}  // namespace

int BaudRateValue(TBaudRate rate) {
  auto index = static_cast<std::size_t>(rate);
  return index < BaudRates.size() ? BaudRates[index] : 0;
}

std::string BaudRateText(TBaudRate value) { return TextOf(BaudRateTexts, value); }
TBaudRate BaudRateFromText(std::string_view text) { return FromText(BaudRateTexts, text, br9600); }
std::string StopBitsText(TStopBits value) { return TextOf(StopBitsTexts, value); }
TStopBits StopBitsFromText(std::string_view text) {
  return FromText(StopBitsTexts, text, sbOneStopBit);
}
std::string DataBitsText(TDataBits value) { return TextOf(DataBitsTexts, value); }
TDataBits DataBitsFromText(std::string_view text) { return FromText(DataBitsTexts, text, dbEight); }
std::string ParityText(TParityBits value) { return TextOf(ParityTexts, value); }
TParityBits ParityFromText(std::string_view text) { return FromText(ParityTexts, text, prNone); }
std::string FlowControlText(TFlowControl value) { return TextOf(FlowControlTexts, value); }
TFlowControl FlowControlFromText(std::string_view text) {
  return FromText(FlowControlTexts, text, fcCustom);
}
std::string DTRControlText(TDTRFlowControl value) { return TextOf(DTRControlTexts, value); }
TDTRFlowControl DTRControlFromText(std::string_view text) {
  return FromText(DTRControlTexts, text, dtrDisable);
}
std::string RTSControlText(TRTSFlowControl value) { return TextOf(RTSControlTexts, value); }
TRTSFlowControl RTSControlFromText(std::string_view text) {
  return FromText(RTSControlTexts, text, rtsDisable);
}

std::string YesNoText(bool value) { return value ? "Yes" : "No"; }
bool YesNoFromText(std::string_view text) { return SameTextAscii(text, "Yes"); }

std::string CharText(char value) {
  auto code = static_cast<unsigned char>(value);
  if (code >= 33 && code <= 127) return std::string(1, value);
  return "#" + std::to_string(code);
}

char CharFromText(std::string_view text) {
  if (text.empty()) return 0;
  if (text[0] == '#' && text.size() > 1) {
    auto number = TryStrToInt(text.substr(1));
    return number ? static_cast<char>(static_cast<unsigned char>(*number & 0xFF)) : char{0};
  }
  return text[0];
}

// Timeouts ---------------------------------------------------------------------------------

void TComTimeouts::Assign(const TPersistent& source) {
  auto* other = dynamic_cast<const TComTimeouts*>(&source);
  if (!other) AssignError(source);
  FReadInterval = other->FReadInterval;
  FReadTotalMultiplier = other->FReadTotalMultiplier;
  FReadTotalConstant = other->FReadTotalConstant;
  FWriteTotalMultiplier = other->FWriteTotalMultiplier;
  FWriteTotalConstant = other->FWriteTotalConstant;
}

void TComTimeouts::Changed() {
  if (FComPort) FComPort->ApplyTimeoutSettings();
}

#define COM_SETTER(Class, Name, Type) \
  void Class::Set##Name(Type value) {  \
    if (value == F##Name) return;      \
    F##Name = value;                   \
    Changed();                         \
  }

COM_SETTER(TComTimeouts, ReadInterval, int)
COM_SETTER(TComTimeouts, ReadTotalMultiplier, int)
COM_SETTER(TComTimeouts, ReadTotalConstant, int)
COM_SETTER(TComTimeouts, WriteTotalMultiplier, int)
COM_SETTER(TComTimeouts, WriteTotalConstant, int)

// Flow control -----------------------------------------------------------------------------

void TComFlowControl::Assign(const TPersistent& source) {
  auto* other = dynamic_cast<const TComFlowControl*>(&source);
  if (!other) AssignError(source);
  FOutCTSFlow = other->FOutCTSFlow;
  FOutDSRFlow = other->FOutDSRFlow;
  FControlDTR = other->FControlDTR;
  FControlRTS = other->FControlRTS;
  FXonXoffOut = other->FXonXoffOut;
  FXonXoffIn = other->FXonXoffIn;
  FDSRSensitivity = other->FDSRSensitivity;
  FTxContinueOnXoff = other->FTxContinueOnXoff;
  FXonChar = other->FXonChar;
  FXoffChar = other->FXoffChar;
}

void TComFlowControl::Changed() {
  if (FComPort) FComPort->ApplyLineSettings();
}

TFlowControl TComFlowControl::FlowControl() const {
  if (FControlRTS == rtsHandshake && FOutCTSFlow && !FXonXoffIn && !FXonXoffOut) return fcHardware;
  if (FControlRTS == rtsDisable && !FOutCTSFlow && FXonXoffIn && FXonXoffOut) return fcSoftware;
  if (FControlRTS == rtsDisable && !FOutCTSFlow && !FXonXoffIn && !FXonXoffOut) return fcNone;
  return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
  if (value != fcCustom) {
    FControlRTS = rtsDisable;
    FOutCTSFlow = false;
    FXonXoffIn = false;
    FXonXoffOut = false;
    if (value == fcHardware) {
      FControlRTS = rtsHandshake;
      FOutCTSFlow = true;
    } else if (value == fcSoftware) {
      FXonXoffIn = true;
      FXonXoffOut = true;
    }
  }
  Changed();
}

COM_SETTER(TComFlowControl, OutCTSFlow, bool)
COM_SETTER(TComFlowControl, OutDSRFlow, bool)
COM_SETTER(TComFlowControl, ControlDTR, TDTRFlowControl)
COM_SETTER(TComFlowControl, ControlRTS, TRTSFlowControl)
COM_SETTER(TComFlowControl, XonXoffOut, bool)
COM_SETTER(TComFlowControl, XonXoffIn, bool)
COM_SETTER(TComFlowControl, DSRSensitivity, bool)
COM_SETTER(TComFlowControl, TxContinueOnXoff, bool)
COM_SETTER(TComFlowControl, XonChar, char)
COM_SETTER(TComFlowControl, XoffChar, char)

// Parity -----------------------------------------------------------------------------------

void TComParity::Assign(const TPersistent& source) {
  auto* other = dynamic_cast<const TComParity*>(&source);
  if (!other) AssignError(source);
  FBits = other->FBits;
  FCheck = other->FCheck;
  FReplace = other->FReplace;
  FReplaceChar = other->FReplaceChar;
}

void TComParity::Changed() {
  if (FComPort) FComPort->ApplyLineSettings();
}

COM_SETTER(TComParity, Bits, TParityBits)
COM_SETTER(TComParity, Check, bool)
COM_SETTER(TComParity, Replace, bool)
COM_SETTER(TComParity, ReplaceChar, char)

// Buffer -----------------------------------------------------------------------------------

void TComBuffer::Assign(const TPersistent& source) {
  auto* other = dynamic_cast<const TComBuffer*>(&source);
  if (!other) AssignError(source);
  FInputSize = other->FInputSize;
  FOutputSize = other->FOutputSize;
}

void TComBuffer::Changed() {
  if (FComPort) FComPort->ApplyBufferSizes();
}

// Drivers want even queue sizes; the comparison is made with the size as given.
void TComBuffer::SetInputSize(int value) {
  if (value == FInputSize) return;
  FInputSize = value > 0 && value % 2 != 0 ? value - 1 : value;
  Changed();
}

void TComBuffer::SetOutputSize(int value) {
  if (value == FOutputSize) return;
  FOutputSize = value > 0 && value % 2 != 0 ? value - 1 : value;
  Changed();
}

#undef COM_SETTER
