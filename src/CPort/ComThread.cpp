#include "CPort/ComThread.h"

#include "CPort/EventWindow.h"

using namespace ComPlatform;

namespace {

// Platform event bit of each line event, by ordinal.
constexpr DWORD EventBits[] = {EV_RXCHAR, EV_TXEMPTY, EV_RXFLAG, EV_RING,  EV_BREAK,
                               EV_CTS,    EV_DSR,     EV_ERR,    EV_RLSD,  EV_RX80FULL};

// The order in which one batch reaches the port: errors are taken before the received-bytes
// count is read, because reading that count clears the same error state.
constexpr TComEvent DeliveryOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                       evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};

}  // namespace

DWORD EventsToMask(TComEvents events) {
  DWORD mask = 0;
  for (unsigned i = 0; i < std::size(EventBits); ++i)
    if (events.Contains(static_cast<TComEvent>(i))) mask |= EventBits[i];
  return mask;
}

TComEvents MaskToEvents(DWORD mask) {
  TComEvents events;
  for (unsigned i = 0; i < std::size(EventBits); ++i)
    if (mask & EventBits[i]) events.Include(static_cast<TComEvent>(i));
  return events;
}

TComThread::TComThread(TCustomComPort* port)
    : FOwnerPort(port),
      FPlatform(port->Platform()),
      FShutdownEvent(FPlatform.CreateEventA(true, false)) {
  // The thread runs at normal priority, as every thread starts.
  FPlatform.SetCommMask(port->Handle(), EventsToMask(port->Events()));
  try {
    Start();
  } catch (...) {
    // No destructor runs for a thread that could not start: its event goes here.
    FPlatform.CloseHandle(FShutdownEvent);
    throw;
  }
}

TComThread::~TComThread() {
  SignalStop();
  WaitFor();
  // Closed only now: the stop request must always find the event valid, also when the loop
  // ended on its own before.
  FPlatform.CloseHandle(FShutdownEvent);
}

void TComThread::SignalStop() {
  FPlatform.SetEvent(FShutdownEvent);
  FPlatform.Sleep(0);
}

void TComThread::Execute() {
  HANDLE device = FOwnerPort->Handle();
  OVERLAPPED overlapped;
  overlapped.hEvent = FPlatform.CreateEventA(true, true);
  // The wait's event is released on every way out, a failing delivery included.
  struct TEventCloser {
    TSerialPlatform& Platform;
    HANDLE Event;
    ~TEventCloser() { Platform.CloseHandle(Event); }
  } closer{FPlatform, overlapped.hEvent};

  const HANDLE handles[2] = {FShutdownEvent, overlapped.hEvent};
  // Lives as long as the block: a wait still pending at the stop writes into it when the
  // mask is cleared below.
  DWORD mask = 0;
  DWORD result;
  do {
    mask = 0;
    // A wait that cannot even start (the device is gone) must not leave its event signalled:
    // the loop would spin. Then only the stop request ends the wait, as it would on a wait
    // that never completes.
    if (!FPlatform.WaitCommEvent(device, &mask, &overlapped) &&
        FPlatform.GetLastError() != ERROR_IO_PENDING)
      FPlatform.ResetEvent(overlapped.hEvent);
    // The stop request comes first, so it wins over a line event signalled at the same time.
    result = FPlatform.WaitForMultipleObjects(2, handles, false, INFINITE);
    DWORD unused = 0;
    if (result == WAIT_OBJECT_0 + 1 && FPlatform.GetOverlappedResult(device, &overlapped, &unused, false)) {
      FOccurredEvents = MaskToEvents(mask);
      DispatchEvents();
    }
  } while (result == WAIT_OBJECT_0 + 1);

  // Mask 0 also ends the pending wait, so the platform is done with the block and the mask.
  FPlatform.SetCommMask(device, 0);
  FPlatform.PurgeComm(device, PURGE_TXCLEAR | PURGE_RXCLEAR);
}

void TComThread::DispatchEvents() {
  switch (FOwnerPort->SyncMethod()) {
    case smThreadSync: Synchronize([this] { DeliverEvents(); }); break;
    case smWindowSync: SendEventMessages(); break;
    case smNone: DeliverEvents(); break;
  }
}

void TComThread::DeliverEvents() {
  TCustomComPort& port = *FOwnerPort;
  for (TComEvent event : DeliveryOrder) {
    if (!FOccurredEvents.Contains(event)) continue;
    switch (event) {
      case evError: port.HandleError(); break;
      case evRxChar: port.HandleRxChar(); break;
      case evTxEmpty: port.HandleTxEmpty(); break;
      case evBreak: port.HandleBreak(); break;
      case evRing: port.HandleRing(); break;
      case evCTS: port.HandleCTSChange(); break;
      case evDSR: port.HandleDSRChange(); break;
      case evRxFlag: port.HandleRxFlag(); break;
      case evRLSD: port.HandleRLSDChange(); break;
      case evRx80Full: port.HandleRx80Full(); break;
    }
  }
}

void TComThread::SendEventMessages() {
  TEventWindow& window = *FOwnerPort->FWindow;
  for (TComEvent event : DeliveryOrder)
    if (FOccurredEvents.Contains(event))
      window.SendMessageA(CM_COMPORTEVENT, EventBits[event], 0);
}
