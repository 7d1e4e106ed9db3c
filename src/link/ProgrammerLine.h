#pragma once

class TCustomComPort;

// The Tolvane II's line: 57600 bit/s, 8 data bits, no parity, one stop bit, CTS output flow,
// RTS handshake, DTR off, no software flow, 8192-byte queues each way. Events and handlers
// are left as they are.
void ConfigureProgrammerLine(TCustomComPort& port);
