#pragma once
#include <cstdint>

// The serial port layer's view of the operating system: the Win32 communications and
// synchronisation calls, with their results and error codes. Each backend gives these
// calls the same observable results on its platform; the port above never sees which.
// No platform types appear here, so every backend fits behind it unchanged.
namespace ComPlatform {

using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using HANDLE = void*;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

// Error codes carried by GetLastError.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;  // also: the device is in use
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_BAD_COMMAND = 22;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_DEVICE_REMOVED = 1617;

// CreateFileA
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

// Waits
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD MAXDWORD = 0xFFFFFFFF;

// PurgeComm
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// Event mask bits of SetCommMask and WaitCommEvent
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_RXFLAG = 0x0002;
constexpr DWORD EV_TXEMPTY = 0x0004;
constexpr DWORD EV_CTS = 0x0008;
constexpr DWORD EV_DSR = 0x0010;
constexpr DWORD EV_RLSD = 0x0020;
constexpr DWORD EV_BREAK = 0x0040;
constexpr DWORD EV_ERR = 0x0080;
constexpr DWORD EV_RING = 0x0100;
constexpr DWORD EV_PERR = 0x0200;
constexpr DWORD EV_RX80FULL = 0x0400;

// ClearCommError flags
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;
constexpr DWORD CE_TXFULL = 0x0100;
constexpr DWORD CE_IOE = 0x0400;
constexpr DWORD CE_MODE = 0x8000;

// GetCommModemStatus bits
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;

// DCB flag word bits
constexpr DWORD DCB_fBinary = 0x0001;
constexpr DWORD DCB_fParity = 0x0002;
constexpr DWORD DCB_fOutxCtsFlow = 0x0004;
constexpr DWORD DCB_fOutxDsrFlow = 0x0008;
constexpr DWORD DCB_fDtrControlShift = 4;   // 2 bits: 0 disable, 1 enable, 2 handshake
constexpr DWORD DCB_fDsrSensitivity = 0x0040;
constexpr DWORD DCB_fTXContinueOnXoff = 0x0080;
constexpr DWORD DCB_fOutX = 0x0100;
constexpr DWORD DCB_fInX = 0x0200;
constexpr DWORD DCB_fErrorChar = 0x0400;
constexpr DWORD DCB_fNull = 0x0800;
constexpr DWORD DCB_fRtsControlShift = 12;  // 2 bits: 0 disable, 1 enable, 2 handshake, 3 toggle
constexpr DWORD DCB_fAbortOnError = 0x4000;

// The 28-byte device control block.
struct DCB {
  DWORD DCBlength = 0;
  DWORD BaudRate = 0;
  DWORD Flags = 0;
  WORD wReserved = 0;
  WORD XonLim = 0;
  WORD XoffLim = 0;
  BYTE ByteSize = 0;
  BYTE Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  BYTE StopBits = 0;  // 0 one, 1 one and a half, 2 two
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  WORD wReserved1 = 0;
};
static_assert(sizeof(DCB) == 28, "the device control block is 28 bytes");

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout = 0;
  DWORD ReadTotalTimeoutMultiplier = 0;
  DWORD ReadTotalTimeoutConstant = 0;
  DWORD WriteTotalTimeoutMultiplier = 0;
  DWORD WriteTotalTimeoutConstant = 0;
};

struct COMSTAT {
  DWORD Flags = 0;
  DWORD cbInQue = 0;
  DWORD cbOutQue = 0;
};

// Status words filled by the platform, the (unused) file offset and the completion event.
struct OVERLAPPED {
  std::uintptr_t Internal = 0;      // completion status
  std::uintptr_t InternalHigh = 0;  // bytes transferred
  DWORD Offset = 0;
  DWORD OffsetHigh = 0;
  HANDLE hEvent = nullptr;
};

// The calls. Each returns as its Win32 namesake does; a failing call leaves its code for
// GetLastError on the calling thread.
class TSerialPlatform {
public:
  virtual ~TSerialPlatform() = default;

  virtual HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                             DWORD creationDisposition, DWORD flagsAndAttributes) = 0;
  virtual bool CloseHandle(HANDLE handle) = 0;

  virtual bool SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) = 0;
  virtual bool SetCommState(HANDLE device, const DCB& dcb) = 0;
  virtual bool SetCommTimeouts(HANDLE device, const COMMTIMEOUTS& timeouts) = 0;
  virtual bool ClearCommError(HANDLE device, DWORD* errors, COMSTAT* stat) = 0;
  virtual bool GetCommModemStatus(HANDLE device, DWORD* modemStatus) = 0;
  virtual bool PurgeComm(HANDLE device, DWORD flags) = 0;
  virtual bool SetCommMask(HANDLE device, DWORD mask) = 0;
  virtual bool WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) = 0;

  virtual bool ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                        OVERLAPPED* overlapped) = 0;
  virtual bool WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                         OVERLAPPED* overlapped) = 0;
  virtual bool GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                                   bool wait) = 0;

  // Events: no security attributes and no name, as the layer always asks.
  virtual HANDLE CreateEventA(bool manualReset, bool initialState) = 0;
  virtual bool SetEvent(HANDLE event) = 0;
  virtual bool ResetEvent(HANDLE event) = 0;
  virtual DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) = 0;
  virtual DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, bool waitAll,
                                       DWORD milliseconds) = 0;
  virtual void Sleep(DWORD milliseconds) = 0;

  virtual DWORD GetLastError() = 0;
};

// The backend of the platform this program runs on.
TSerialPlatform& NativeSerialPlatform();

// The platform that ports made from now on use: the native one unless a test installs
// another (nullptr restores the native one).
TSerialPlatform& SerialPlatform();
void SetSerialPlatform(TSerialPlatform* platform);

}  // namespace ComPlatform
