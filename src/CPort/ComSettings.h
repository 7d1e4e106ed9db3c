#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/Component.h"

class TCustomComPort;

// Line settings and their fixed text forms.

enum TBaudRate : std::uint8_t {
  brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400,
  br56000, br57600, br115200, br128000, br256000
};
enum TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };

// Bits per second of a rate; brCustom has none of its own (the port's CustomBaudRate).
int BaudRateValue(TBaudRate rate);

// Forward conversions are table lookups; the reverse ones compare with the letters a-z
// upper-cased and give a fixed default when nothing matches.
std::string BaudRateText(TBaudRate value);
TBaudRate BaudRateFromText(std::string_view text);      // default br9600
std::string StopBitsText(TStopBits value);
TStopBits StopBitsFromText(std::string_view text);      // default sbOneStopBit
std::string DataBitsText(TDataBits value);
TDataBits DataBitsFromText(std::string_view text);      // default dbEight
std::string ParityText(TParityBits value);
TParityBits ParityFromText(std::string_view text);      // default prNone
std::string FlowControlText(TFlowControl value);
TFlowControl FlowControlFromText(std::string_view text);  // default fcCustom
std::string DTRControlText(TDTRFlowControl value);
TDTRFlowControl DTRControlFromText(std::string_view text);  // default dtrDisable
std::string RTSControlText(TRTSFlowControl value);
TRTSFlowControl RTSControlFromText(std::string_view text);  // default rtsDisable

std::string YesNoText(bool value);
bool YesNoFromText(std::string_view text);  // true only for "YES" in any letter case
// Printable characters 33-127 stand as themselves, every other code as "#" and its number.
std::string CharText(char value);
char CharFromText(std::string_view text);

// The four settings groups of a port. Each keeps a back-reference to the port that owns it
// and asks that port to reapply its group when a value changes.

class TComTimeouts : public TPersistent {
public:
  std::string ClassName() const override { return "TComTimeouts"; }
  void Assign(const TPersistent& source) override;

  TCustomComPort* ComPort() const { return FComPort; }
  void SetComPort(TCustomComPort* port) { FComPort = port; }

  // Milliseconds; -1 stands for the largest unsigned 32-bit value.
  int ReadInterval() const { return FReadInterval; }
  void SetReadInterval(int value);
  int ReadTotalMultiplier() const { return FReadTotalMultiplier; }
  void SetReadTotalMultiplier(int value);
  int ReadTotalConstant() const { return FReadTotalConstant; }
  void SetReadTotalConstant(int value);
  int WriteTotalMultiplier() const { return FWriteTotalMultiplier; }
  void SetWriteTotalMultiplier(int value);
  int WriteTotalConstant() const { return FWriteTotalConstant; }
  void SetWriteTotalConstant(int value);

private:
  void Changed();

  TCustomComPort* FComPort = nullptr;
  int FReadInterval = -1;
  int FReadTotalMultiplier = 0;
  int FReadTotalConstant = 0;
  int FWriteTotalMultiplier = 100;
  int FWriteTotalConstant = 1000;
};

class TComFlowControl : public TPersistent {
public:
  std::string ClassName() const override { return "TComFlowControl"; }
  void Assign(const TPersistent& source) override;

  TCustomComPort* ComPort() const { return FComPort; }
  void SetComPort(TCustomComPort* port) { FComPort = port; }

  // A shortcut over ControlRTS, OutCTSFlow, XonXoffIn and XonXoffOut. Assigning always asks
  // the port to reapply, fcCustom included.
  TFlowControl FlowControl() const;
  void SetFlowControl(TFlowControl value);

  bool OutCTSFlow() const { return FOutCTSFlow; }
  void SetOutCTSFlow(bool value);
  bool OutDSRFlow() const { return FOutDSRFlow; }
  void SetOutDSRFlow(bool value);
  TDTRFlowControl ControlDTR() const { return FControlDTR; }
  void SetControlDTR(TDTRFlowControl value);
  TRTSFlowControl ControlRTS() const { return FControlRTS; }
  void SetControlRTS(TRTSFlowControl value);
  bool XonXoffOut() const { return FXonXoffOut; }
  void SetXonXoffOut(bool value);
  bool XonXoffIn() const { return FXonXoffIn; }
  void SetXonXoffIn(bool value);
  bool DSRSensitivity() const { return FDSRSensitivity; }
  void SetDSRSensitivity(bool value);
  bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
  void SetTxContinueOnXoff(bool value);
  char XonChar() const { return FXonChar; }
  void SetXonChar(char value);
  char XoffChar() const { return FXoffChar; }
  void SetXoffChar(char value);

private:
  void Changed();

  TCustomComPort* FComPort = nullptr;
  bool FOutCTSFlow = false;
  bool FOutDSRFlow = false;
  TDTRFlowControl FControlDTR = dtrDisable;
  TRTSFlowControl FControlRTS = rtsDisable;
  bool FXonXoffOut = false;
  bool FXonXoffIn = false;
  bool FDSRSensitivity = false;
  bool FTxContinueOnXoff = false;
  char FXonChar = 17;
  char FXoffChar = 19;
};

class TComParity : public TPersistent {
public:
  std::string ClassName() const override { return "TComParity"; }
  void Assign(const TPersistent& source) override;

  TCustomComPort* ComPort() const { return FComPort; }
  void SetComPort(TCustomComPort* port) { FComPort = port; }

  TParityBits Bits() const { return FBits; }
  void SetBits(TParityBits value);
  bool Check() const { return FCheck; }
  void SetCheck(bool value);
  bool Replace() const { return FReplace; }
  void SetReplace(bool value);
  char ReplaceChar() const { return FReplaceChar; }
  void SetReplaceChar(char value);

private:
  void Changed();

  TCustomComPort* FComPort = nullptr;
  TParityBits FBits = prNone;
  bool FCheck = false;
  bool FReplace = false;
  char FReplaceChar = 0;
};

class TComBuffer : public TPersistent {
public:
  std::string ClassName() const override { return "TComBuffer"; }
  void Assign(const TPersistent& source) override;

  TCustomComPort* ComPort() const { return FComPort; }
  void SetComPort(TCustomComPort* port) { FComPort = port; }

  // Bytes. A positive odd size is lowered by one once stored; the comparison with the old
  // size uses the size as given.
  int InputSize() const { return FInputSize; }
  void SetInputSize(int value);
  int OutputSize() const { return FOutputSize; }
  void SetOutputSize(int value);

private:
  void Changed();

  TCustomComPort* FComPort = nullptr;
  int FInputSize = 1024;
  int FOutputSize = 1024;
};
