#include "link/ProgrammerLine.h"

#include "CPort/ComPort.h"

void ConfigureProgrammerLine(TCustomComPort& port) {
  port.SetBaudRate(br57600);
  port.Parity().SetBits(prNone);
  port.SetStopBits(sbOneStopBit);
  port.SetDataBits(dbEight);
  port.Buffer().SetInputSize(8192);
  port.Buffer().SetOutputSize(8192);
  port.FlowControl().SetOutCTSFlow(true);
  port.FlowControl().SetOutDSRFlow(false);
  port.FlowControl().SetControlDTR(dtrDisable);
  port.FlowControl().SetControlRTS(rtsHandshake);
  port.FlowControl().SetXonXoffOut(false);
  port.FlowControl().SetXonXoffIn(false);
}
