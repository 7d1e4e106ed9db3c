#pragma once
#include "CPort/ComPort.h"
#include "CPort/platform/SerialPlatform.h"
#include "framework/Thread.h"

// Platform event mask of a set of line events and back; bits of no event are ignored.
ComPlatform::DWORD EventsToMask(TComEvents events);
TComEvents MaskToEvents(ComPlatform::DWORD mask);

// The window message that carries one line event to the port's message window.
constexpr unsigned CM_COMPORTEVENT = 0x0401;

// Waits for the line events of one open port and hands each batch to the port, by the
// port's SyncMethod. Made by OpenPort, destroyed by ClosePort: destroying it asks the thread
// to stop and waits for it, running the deliveries already queued for the main thread.
class TComThread : public TThread {
public:
  explicit TComThread(TCustomComPort* port);  // sets the event mask and starts the thread
  ~TComThread() override;

  TCustomComPort* OwnerPort() const { return FOwnerPort; }

protected:
  void Execute() override;

private:
  void SignalStop();
  void DispatchEvents();
  void DeliverEvents();
  void SendEventMessages();

  TCustomComPort* FOwnerPort;
  ComPlatform::TSerialPlatform& FPlatform;
  ComPlatform::HANDLE FShutdownEvent;
  TComEvents FOccurredEvents;
};
