#include "CPort/ComPort.h"
#include "CPort/EComPort.h"

using namespace ComPlatform;

// Every transfer is overlapped: started on the device, then awaited through the record's
// own completion event.

TTransferRecord* TCustomComPort::CreateTransfer() {
  auto record = std::make_unique<TTransferRecord>();
  // Signalled at first, so awaiting a record on which nothing was started ends at once.
  record->IoBlock.hEvent = FPlatform->CreateEventA(true, true);
  return record.release();
}

void TCustomComPort::ReleaseTransfer(TTransferRecord* record) {
  if (!record) return;
  if (record->IoBlock.hEvent) FPlatform->CloseHandle(record->IoBlock.hEvent);
  delete record;
}

namespace {

// Releases the record on every way out of a blocking transfer.
struct TTransferGuard {
  TCustomComPort& Port;
  TTransferRecord* Record;
  ~TTransferGuard() { Port.ReleaseTransfer(Record); }
};

}  // namespace

int TCustomComPort::StartWrite(const void* buffer, int count, TTransferRecord* record) {
  if (!record) throw EComPort::CreateFromCode(4);
  record->Direction = tdWrite;
  record->Started = true;
  DWORD written = 0;
  if (!FPlatform->WriteFile(FHandle, buffer, static_cast<DWORD>(count), &written, &record->IoBlock) &&
      FPlatform->GetLastError() != ERROR_IO_PENDING)
    RaiseSystemError(2);
  return static_cast<int>(written);
}

int TCustomComPort::StartWriteText(const std::string& text, TTransferRecord* record) {
  if (text.empty()) return 0;
  return StartWrite(text.data(), static_cast<int>(text.size()), record);
}

int TCustomComPort::StartRead(void* buffer, int count, TTransferRecord* record) {
  if (!record) throw EComPort::CreateFromCode(4);
  record->Direction = tdRead;
  record->Started = true;
  DWORD read = 0;
  if (!FPlatform->ReadFile(FHandle, buffer, static_cast<DWORD>(count), &read, &record->IoBlock) &&
      FPlatform->GetLastError() != ERROR_IO_PENDING)
    RaiseSystemError(3);
  return static_cast<int>(read);
}

int TCustomComPort::StartReadText(std::string& text, int count, TTransferRecord* record) {
  text.assign(count > 0 ? static_cast<std::size_t>(count) : 0, '\0');
  if (count <= 0) return 0;
  return StartRead(text.data(), count, record);
}

int TCustomComPort::AwaitTransfer(TTransferRecord* record) {
  if (!record) throw EComPort::CreateFromCode(4);
  // Nothing to wait for: the record's event is signalled and its counts are zero, and the
  // device, which may be closed, has no part in it.
  if (!record->Started) return 0;
  int code = record->Direction == tdWrite ? 2 : 3;
  if (FPlatform->WaitForSingleObject(record->IoBlock.hEvent, INFINITE) != WAIT_OBJECT_0)
    RaiseSystemError(code);
  DWORD transferred = 0;
  if (!FPlatform->GetOverlappedResult(FHandle, &record->IoBlock, &transferred, false))
    RaiseSystemError(code);
  return static_cast<int>(transferred);
}

void TCustomComPort::AbortAllTransfers() {
  if (!FPlatform->PurgeComm(FHandle, PURGE_TXABORT | PURGE_RXABORT)) RaiseSystemError(5);
}

int TCustomComPort::WriteText(const std::string& text) {
  TTransferGuard guard{*this, CreateTransfer()};
  StartWriteText(text, guard.Record);
  return AwaitTransfer(guard.Record);
}

int TCustomComPort::ReadText(std::string& text, int count) {
  TTransferGuard guard{*this, CreateTransfer()};
  StartReadText(text, count, guard.Record);
  int read = AwaitTransfer(guard.Record);
  text.resize(static_cast<std::size_t>(read));
  return read;
}
