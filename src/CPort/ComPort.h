#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "CPort/ComSettings.h"
#include "CPort/platform/SerialPlatform.h"
#include "framework/Component.h"
#include "framework/Set.h"

class TComThread;
class TEventWindow;
class TIniFile;
class TRegistryKey;

// Line events the event thread watches, bit n for ordinal n.
enum TComEvent : std::uint8_t {
  evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
using TComEvents = TSet<TComEvent, std::uint16_t>;
inline constexpr TComEvents AllComEvents = TComEvents::FromBits(0x3FF);

enum TComError : std::uint8_t {
  ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull
};
using TComErrors = TSet<TComError, std::uint8_t>;

// How line events reach the handlers: through the main thread's queue (the caller waits),
// through the port's message window, or directly on the event thread.
enum TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };

enum TLineSignal : std::uint8_t { lsCTS, lsDSR, lsRing, lsRLSD };
using TLineSignals = TSet<TLineSignal, std::uint8_t>;

// Setting groups handled by the settings store and load.
enum TStoredProp : std::uint8_t {
  spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers
};
using TStoredProps = TSet<TStoredProp, std::uint8_t>;

using TRxCharEvent = std::function<void(TObject* Sender, int Count)>;
using TComErrorEvent = std::function<void(TObject* Sender, TComErrors Errors)>;
using TComSignalEvent = std::function<void(TObject* Sender, bool OnOff)>;

enum TTransferDirection : std::uint8_t { tdWrite = 0, tdRead = 1 };

// One overlapped transfer: the platform's status block with its completion event, which
// way the bytes go (it picks the error code of a failed await), and whether a transfer was
// started on the device at all (an empty text starts none).
struct TTransferRecord {
  ComPlatform::OVERLAPPED IoBlock;
  TTransferDirection Direction = tdWrite;
  bool Started = false;
};

// A serial device and its connection: the line settings, opening and closing, transfers,
// and the events the device reports.
class TCustomComPort : public TComponent {
public:
  explicit TCustomComPort(TComponent* AOwner);
  ~TCustomComPort() override;

  std::string ClassName() const override { return "TCustomComPort"; }
  void Loaded() override;

  // Settings. A changed value reaches the device at once while the port is open.
  bool Connected() const { return FConnected; }
  void SetConnected(bool value);
  TBaudRate BaudRate() const { return FBaudRate; }
  void SetBaudRate(TBaudRate value);
  int CustomBaudRate() const { return FCustomBaudRate; }
  void SetCustomBaudRate(int value);
  const std::string& Port() const { return FPort; }
  void SetPort(const std::string& value);  // an open port is closed and opened again
  TComParity& Parity() { return *FParity; }
  void SetParity(const TComParity& value);
  TStopBits StopBits() const { return FStopBits; }
  void SetStopBits(TStopBits value);
  TDataBits DataBits() const { return FDataBits; }
  void SetDataBits(TDataBits value);
  bool DiscardNull() const { return FDiscardNull; }
  void SetDiscardNull(bool value);
  char EventChar() const { return FEventChar; }
  void SetEventChar(char value);
  TComEvents Events() const { return FEvents; }
  void SetEvents(TComEvents value) { FEvents = value; }  // used by the next opening
  TComBuffer& Buffer() { return *FBuffer; }
  void SetBuffer(const TComBuffer& value);
  TComFlowControl& FlowControl() { return *FFlowControl; }
  void SetFlowControl(const TComFlowControl& value);
  TComTimeouts& Timeouts() { return *FTimeouts; }
  void SetTimeouts(const TComTimeouts& value);
  TSyncMethod SyncMethod() const { return FSyncMethod; }
  void SetSyncMethod(TSyncMethod value);  // refused (code 14) while open
  TStoredProps StoredProps() const { return FStoredProps; }
  void SetStoredProps(TStoredProps value) { FStoredProps = value; }

  // Event slots; an empty slot is skipped.
  TNotifyEvent OnAfterOpen, OnAfterClose, OnBeforeOpen, OnBeforeClose;
  TRxCharEvent OnRxChar;
  TNotifyEvent OnTxEmpty, OnBreak, OnRing;
  TComSignalEvent OnCTSChange, OnDSRChange, OnRLSDChange;
  TNotifyEvent OnRxFlag;
  TComErrorEvent OnError;
  TNotifyEvent OnRx80Full;

  void OpenPort();
  void ClosePort();

  // Status of an open port.
  int PendingInputCount();
  int PendingOutputCount();  // written, but not yet on the line
  TLineSignals LineSignals();
  TComErrors TakeLineErrors();  // clears them in the device

  // Blocking transfers on the main thread.
  int WriteText(const std::string& text);
  int ReadText(std::string& text, int count);

  // The steps of a transfer: make a record, start one transfer on it, await it, release it.
  TTransferRecord* CreateTransfer();
  void ReleaseTransfer(TTransferRecord* record);
  int StartWrite(const void* buffer, int count, TTransferRecord* record);
  int StartWriteText(const std::string& text, TTransferRecord* record);
  int StartRead(void* buffer, int count, TTransferRecord* record);
  int StartReadText(std::string& text, int count, TTransferRecord* record);
  int AwaitTransfer(TTransferRecord* record);
  void AbortAllTransfers();

  // Settings store and load: an INI-style file (section Name) or a registry key.
  virtual void StoreToRegistry(TRegistryKey& key);
  virtual void StoreToIniFile(const std::string& fileName);
  virtual void LoadFromRegistry(TRegistryKey& key);
  virtual void LoadFromIniFile(const std::string& fileName);
  // Loading from a settings file already read; the file form reads it, then calls this.
  void LoadFromIniFile(TIniFile& file);

  ComPlatform::HANDLE Handle() const { return FHandle; }
  ComPlatform::TSerialPlatform& Platform() const { return *FPlatform; }

protected:
  virtual void OpenDevice();
  virtual void CloseDevice();
  virtual void ApplyAllSettings();

  virtual void DoAfterClose();
  virtual void DoAfterOpen();
  virtual void DoBeforeClose();
  virtual void DoBeforeOpen();
  virtual void DoRxChar(int count);
  virtual void DoTxEmpty();
  virtual void DoBreak();
  virtual void DoRing();
  virtual void DoRxFlag();
  virtual void DoCTSChange(bool onOff);
  virtual void DoDSRChange(bool onOff);
  virtual void DoError(TComErrors errors);
  virtual void DoRLSDChange(bool onOff);
  virtual void DoRx80Full();

  virtual void ApplyLineSettings();
  virtual void ApplyTimeoutSettings();
  virtual void ApplyBufferSizes();

private:
  friend class TComThread;
  friend class TComTimeouts;
  friend class TComFlowControl;
  friend class TComParity;
  friend class TComBuffer;

  // The per-event handling that the event thread's deliveries run.
  void HandleRxChar();
  void HandleTxEmpty();
  void HandleRxFlag();
  void HandleRing();
  void HandleBreak();
  void HandleCTSChange();
  void HandleDSRChange();
  void HandleError();
  void HandleRLSDChange();
  void HandleRx80Full();
  // The message window's procedure (deliveries by message).
  std::intptr_t EventWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

  bool ApplyAllowed() const;
  [[noreturn]] void RaiseSystemError(int portErrorCode);

  ComPlatform::TSerialPlatform* FPlatform;
  std::unique_ptr<TComThread> FEventThread;
  bool FThreadCreated = false;
  ComPlatform::HANDLE FHandle = ComPlatform::INVALID_HANDLE_VALUE;
  std::unique_ptr<TEventWindow> FWindow;
  bool FConnected = false;
  TBaudRate FBaudRate = br9600;
  int FCustomBaudRate = 9600;
  std::string FPort = "COM1";
  TStopBits FStopBits = sbOneStopBit;
  TDataBits FDataBits = dbEight;
  bool FDiscardNull = false;
  char FEventChar = 0;
  TComEvents FEvents = AllComEvents;
  std::unique_ptr<TComBuffer> FBuffer;
  std::unique_ptr<TComParity> FParity;
  std::unique_ptr<TComTimeouts> FTimeouts;
  std::unique_ptr<TComFlowControl> FFlowControl;
  TSyncMethod FSyncMethod = smThreadSync;
  TStoredProps FStoredProps{spBasic};
};

// The port as a window carries it: every setting and event of TCustomComPort.
class TComPort : public TCustomComPort {
public:
  using TCustomComPort::TCustomComPort;
  std::string ClassName() const override { return "TComPort"; }
};
