#include "CPort/ComPort.h"

#include "CPort/ComThread.h"
#include "CPort/EComPort.h"
#include "CPort/EventWindow.h"

using namespace ComPlatform;

TCustomComPort::TCustomComPort(TComponent* AOwner)
    : TComponent(AOwner), FPlatform(&SerialPlatform()) {
  FParity = std::make_unique<TComParity>();
  FFlowControl = std::make_unique<TComFlowControl>();
  FTimeouts = std::make_unique<TComTimeouts>();
  FBuffer = std::make_unique<TComBuffer>();
  FParity->SetComPort(this);
  FFlowControl->SetComPort(this);
  FTimeouts->SetComPort(this);
  FBuffer->SetComPort(this);
}

TCustomComPort::~TCustomComPort() {
  try {
    ClosePort();
  } catch (...) {
    // A destructor cannot raise: the failure goes where the program shows such errors, and
    // the device is released all the same.
    HandleApplicationException(std::current_exception());
    FEventThread.reset();
    FWindow.reset();
    CloseDevice();
    FConnected = false;
  }
  FBuffer.reset();
  FFlowControl.reset();
  FTimeouts.reset();
  FParity.reset();
}

void TCustomComPort::Loaded() {
  TComponent::Loaded();
  if (FConnected && !Designing()) {
    FConnected = false;
    try {
      OpenPort();
    } catch (...) {
      HandleApplicationException(std::current_exception());
    }
  }
}

void TCustomComPort::RaiseSystemError(int portErrorCode) {
  throw EComPort::CreateFromSystemError(portErrorCode, static_cast<int>(FPlatform->GetLastError()));
}

bool TCustomComPort::ApplyAllowed() const { return FConnected && !Loading() && !Designing(); }

// Settings ---------------------------------------------------------------------------------

void TCustomComPort::SetConnected(bool value) {
  if (value == FConnected) return;
  if (Loading() || Designing()) {
    FConnected = value;  // the after-loading step opens it
  } else if (value) {
    OpenPort();
  } else {
    ClosePort();
  }
}

void TCustomComPort::SetBaudRate(TBaudRate value) {
  if (value == FBaudRate) return;
  FBaudRate = value;
  ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(int value) {
  if (value == FCustomBaudRate) return;
  FCustomBaudRate = value;
  ApplyLineSettings();
}

void TCustomComPort::SetPort(const std::string& value) {
  if (value == FPort) return;
  FPort = value;
  if (FConnected && !Loading() && !Designing()) {
    ClosePort();
    OpenPort();
  }
}

void TCustomComPort::SetParity(const TComParity& value) {
  FParity->Assign(value);
  ApplyLineSettings();
}

void TCustomComPort::SetStopBits(TStopBits value) {
  if (value == FStopBits) return;
  FStopBits = value;
  ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits value) {
  if (value == FDataBits) return;
  FDataBits = value;
  ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool value) {
  if (value == FDiscardNull) return;
  FDiscardNull = value;
  ApplyLineSettings();
}

void TCustomComPort::SetEventChar(char value) {
  if (value == FEventChar) return;
  FEventChar = value;
  ApplyLineSettings();
}

void TCustomComPort::SetBuffer(const TComBuffer& value) {
  FBuffer->Assign(value);
  ApplyBufferSizes();
}

void TCustomComPort::SetFlowControl(const TComFlowControl& value) {
  FFlowControl->Assign(value);
  ApplyLineSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& value) {
  FTimeouts->Assign(value);
  ApplyTimeoutSettings();
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
  if (value == FSyncMethod) return;
  if (FConnected && !Loading() && !Designing()) throw EComPort::CreateFromCode(14);
  FSyncMethod = value;
}

// Opening and closing ----------------------------------------------------------------------

void TCustomComPort::OpenPort() {
  if (FConnected || Designing()) return;
  DoBeforeOpen();
  OpenDevice();
  FConnected = true;
  try {
    ApplyAllSettings();
  } catch (...) {
    CloseDevice();
    FConnected = false;
    throw;
  }
  if (FEvents.Empty()) {
    FThreadCreated = false;
  } else {
    if (FSyncMethod == smWindowSync)
      FWindow = std::make_unique<TEventWindow>(
          [this](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
            return EventWindowProc(message, wParam, lParam);
          });
    FEventThread = std::make_unique<TComThread>(this);
    FThreadCreated = true;
  }
  DoAfterOpen();
  DoCTSChange(LineSignals().Contains(lsCTS));
  DoDSRChange(LineSignals().Contains(lsDSR));
  DoRLSDChange(LineSignals().Contains(lsRLSD));
}

void TCustomComPort::ClosePort() {
  if (!FConnected || Designing()) return;
  DoCTSChange(false);
  DoDSRChange(false);
  DoRLSDChange(false);
  DoBeforeClose();
  AbortAllTransfers();
  if (FThreadCreated) {
    FEventThread.reset();  // asks the thread to stop and waits for it
    FThreadCreated = false;
    if (FSyncMethod == smWindowSync) FWindow.reset();
  }
  CloseDevice();
  FConnected = false;
  DoAfterClose();
}

void TCustomComPort::OpenDevice() {
  std::string path = "\\\\.\\" + FPort;
  FHandle = FPlatform->CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED);
  if (FHandle == INVALID_HANDLE_VALUE) RaiseSystemError(1);
}

void TCustomComPort::CloseDevice() {
  if (FHandle == INVALID_HANDLE_VALUE) return;
  FPlatform->CloseHandle(FHandle);
  FHandle = INVALID_HANDLE_VALUE;
}

void TCustomComPort::ApplyAllSettings() {
  ApplyBufferSizes();
  ApplyLineSettings();
  ApplyTimeoutSettings();
}

// The device control block is built from nothing each time; the device is never read back.
void TCustomComPort::ApplyLineSettings() {
  if (!ApplyAllowed()) return;
  DCB dcb;
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = static_cast<DWORD>(FBaudRate == brCustom ? FCustomBaudRate : BaudRateValue(FBaudRate));
  const TComFlowControl& flow = *FFlowControl;
  const TComParity& parity = *FParity;
  bool errorChar = parity.Check() && parity.Replace();
  DWORD flags = DCB_fBinary;
  if (parity.Check()) flags |= DCB_fParity;
  if (flow.OutCTSFlow()) flags |= DCB_fOutxCtsFlow;
  if (flow.OutDSRFlow()) flags |= DCB_fOutxDsrFlow;
  flags |= static_cast<DWORD>(flow.ControlDTR()) << DCB_fDtrControlShift;
  if (flow.DSRSensitivity()) flags |= DCB_fDsrSensitivity;
  if (flow.TxContinueOnXoff()) flags |= DCB_fTXContinueOnXoff;
  if (flow.XonXoffOut()) flags |= DCB_fOutX;
  if (flow.XonXoffIn()) flags |= DCB_fInX;
  if (errorChar) flags |= DCB_fErrorChar;
  if (FDiscardNull) flags |= DCB_fNull;
  flags |= static_cast<DWORD>(flow.ControlRTS()) << DCB_fRtsControlShift;
  dcb.Flags = flags;
  dcb.XonLim = static_cast<WORD>(FBuffer->InputSize() / 4);
  dcb.XoffLim = dcb.XonLim;
  dcb.ByteSize = static_cast<BYTE>(5 + FDataBits);
  dcb.Parity = static_cast<BYTE>(parity.Bits());
  dcb.StopBits = static_cast<BYTE>(FStopBits);
  dcb.XonChar = flow.XonChar();
  dcb.XoffChar = flow.XoffChar();
  dcb.ErrorChar = errorChar ? parity.ReplaceChar() : char{0};
  dcb.EvtChar = FEventChar;
  if (!FPlatform->SetCommState(FHandle, dcb)) RaiseSystemError(7);
}

void TCustomComPort::ApplyTimeoutSettings() {
  if (!ApplyAllowed()) return;
  // -1 passes as MAXDWORD: every value keeps its bits.
  COMMTIMEOUTS timeouts;
  timeouts.ReadIntervalTimeout = static_cast<DWORD>(FTimeouts->ReadInterval());
  timeouts.ReadTotalTimeoutMultiplier = static_cast<DWORD>(FTimeouts->ReadTotalMultiplier());
  timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(FTimeouts->ReadTotalConstant());
  timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(FTimeouts->WriteTotalMultiplier());
  timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(FTimeouts->WriteTotalConstant());
  if (!FPlatform->SetCommTimeouts(FHandle, timeouts)) RaiseSystemError(8);
}

void TCustomComPort::ApplyBufferSizes() {
  if (!ApplyAllowed()) return;
  if (!FPlatform->SetupComm(FHandle, static_cast<DWORD>(FBuffer->InputSize()),
                            static_cast<DWORD>(FBuffer->OutputSize())))
    RaiseSystemError(9);
}

// Status -----------------------------------------------------------------------------------

int TCustomComPort::PendingInputCount() {
  DWORD errors = 0;
  COMSTAT stat;
  if (!FPlatform->ClearCommError(FHandle, &errors, &stat)) RaiseSystemError(10);
  return static_cast<int>(stat.cbInQue);
}

int TCustomComPort::PendingOutputCount() {
  DWORD errors = 0;
  COMSTAT stat;
  if (!FPlatform->ClearCommError(FHandle, &errors, &stat)) RaiseSystemError(10);
  return static_cast<int>(stat.cbOutQue);
}

TLineSignals TCustomComPort::LineSignals() {
  DWORD status = 0;
  if (!FPlatform->GetCommModemStatus(FHandle, &status)) RaiseSystemError(11);
  TLineSignals signals;
  if (status & MS_CTS_ON) signals.Include(lsCTS);
  if (status & MS_DSR_ON) signals.Include(lsDSR);
  if (status & MS_RING_ON) signals.Include(lsRing);
  if (status & MS_RLSD_ON) signals.Include(lsRLSD);
  return signals;
}

TComErrors TCustomComPort::TakeLineErrors() {
  DWORD flags = 0;
  COMSTAT stat;
  if (!FPlatform->ClearCommError(FHandle, &flags, &stat)) RaiseSystemError(10);
  TComErrors errors;
  if (flags & CE_FRAME) errors.Include(ceFrame);
  if ((flags & CE_RXPARITY) && FParity->Check()) errors.Include(ceRxParity);
  if (flags & CE_OVERRUN) errors.Include(ceOverrun);
  if (flags & CE_BREAK) errors.Include(ceBreak);
  if (flags & CE_IOE) errors.Include(ceIO);
  if (flags & CE_MODE) errors.Include(ceMode);
  if (flags & CE_RXOVER) errors.Include(ceRxOver);
  if (flags & CE_TXFULL) errors.Include(ceTxFull);
  return errors;
}

// Notifications ----------------------------------------------------------------------------

void TCustomComPort::DoAfterClose() { if (OnAfterClose) OnAfterClose(this); }
void TCustomComPort::DoAfterOpen() { if (OnAfterOpen) OnAfterOpen(this); }
void TCustomComPort::DoBeforeClose() { if (OnBeforeClose) OnBeforeClose(this); }
void TCustomComPort::DoBeforeOpen() { if (OnBeforeOpen) OnBeforeOpen(this); }
void TCustomComPort::DoRxChar(int count) { if (OnRxChar) OnRxChar(this, count); }
void TCustomComPort::DoTxEmpty() { if (OnTxEmpty) OnTxEmpty(this); }
void TCustomComPort::DoBreak() { if (OnBreak) OnBreak(this); }
void TCustomComPort::DoRing() { if (OnRing) OnRing(this); }
void TCustomComPort::DoRxFlag() { if (OnRxFlag) OnRxFlag(this); }
void TCustomComPort::DoCTSChange(bool onOff) { if (OnCTSChange) OnCTSChange(this, onOff); }
void TCustomComPort::DoDSRChange(bool onOff) { if (OnDSRChange) OnDSRChange(this, onOff); }
void TCustomComPort::DoError(TComErrors errors) { if (OnError) OnError(this, errors); }
void TCustomComPort::DoRLSDChange(bool onOff) { if (OnRLSDChange) OnRLSDChange(this, onOff); }
void TCustomComPort::DoRx80Full() { if (OnRx80Full) OnRx80Full(this); }

// Per-event handling of a delivery ---------------------------------------------------------

void TCustomComPort::HandleRxChar() {
  int count = PendingInputCount();
  if (count > 0) DoRxChar(count);
}

void TCustomComPort::HandleError() {
  TComErrors errors = TakeLineErrors();
  if (!errors.Empty()) DoError(errors);
}

void TCustomComPort::HandleCTSChange() { DoCTSChange(LineSignals().Contains(lsCTS)); }
void TCustomComPort::HandleDSRChange() { DoDSRChange(LineSignals().Contains(lsDSR)); }
void TCustomComPort::HandleRLSDChange() { DoRLSDChange(LineSignals().Contains(lsRLSD)); }
void TCustomComPort::HandleTxEmpty() { DoTxEmpty(); }
void TCustomComPort::HandleBreak() { DoBreak(); }
void TCustomComPort::HandleRing() { DoRing(); }
void TCustomComPort::HandleRxFlag() { DoRxFlag(); }
void TCustomComPort::HandleRx80Full() { DoRx80Full(); }

std::intptr_t TCustomComPort::EventWindowProc(unsigned message, std::uintptr_t wParam,
                                              std::intptr_t lParam) {
  if (message != CM_COMPORTEVENT) return TEventWindow::DefWindowProcA(message, wParam, lParam);
  try {
    if (FWindow && FWindow->InSendMessage()) FWindow->ReplyMessage(0);
    if (FConnected) {
      switch (wParam) {
        case EV_RXCHAR: HandleRxChar(); break;
        case EV_RXFLAG: HandleRxFlag(); break;
        case EV_TXEMPTY: HandleTxEmpty(); break;
        case EV_CTS: HandleCTSChange(); break;
        case EV_DSR: HandleDSRChange(); break;
        case EV_RLSD: HandleRLSDChange(); break;
        case EV_BREAK: HandleBreak(); break;
        case EV_ERR: HandleError(); break;
        case EV_RING: HandleRing(); break;
        case EV_RX80FULL: HandleRx80Full(); break;
        default: break;
      }
    }
  } catch (...) {
    HandleApplicationException(std::current_exception());
  }
  return 0;
}
