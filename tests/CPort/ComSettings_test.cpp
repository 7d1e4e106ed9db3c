#include "CPort/ComSettings.h"
#include "CPort/EComPort.h"

#include "FakePortFixture.h"

namespace {

using namespace ComPlatform;

TEST(ComConversions, ReverseLookupFoldsOnlyAsciiLettersAndFallsBackToTheDefault) {
  EXPECT_EQ(BaudRateFromText("57600"), br57600);
  EXPECT_EQ(BaudRateFromText("custom"), brCustom);
  EXPECT_EQ(BaudRateFromText(" 57600"), br9600);
  EXPECT_EQ(BaudRateFromText("576 00"), br9600);
  EXPECT_EQ(BaudRateFromText(""), br9600);
  EXPECT_EQ(FlowControlFromText("none"), fcNone);
  EXPECT_EQ(FlowControlFromText("Hardware "), fcCustom);
  EXPECT_EQ(StopBitsFromText("1,5"), sbOneStopBit);
  EXPECT_EQ(StopBitsFromText("1.5"), sbOne5StopBits);
  EXPECT_EQ(DataBitsFromText("9"), dbEight);
  EXPECT_EQ(ParityFromText("SPACE"), prSpace);
  EXPECT_EQ(ParityFromText("\xC9ven"), prNone);  // no folding beyond a-z
  EXPECT_EQ(DTRControlFromText("handshake"), dtrHandshake);
  EXPECT_EQ(RTSControlFromText("toggle"), rtsToggle);
  EXPECT_EQ(RTSControlFromText("x"), rtsDisable);
}

TEST(ComConversions, EveryTextConvertsBackToItsValue) {
  for (int i = brCustom; i <= br256000; ++i)
    EXPECT_EQ(BaudRateFromText(BaudRateText(TBaudRate(i))), i);
  for (int i = sbOneStopBit; i <= sbTwoStopBits; ++i)
    EXPECT_EQ(StopBitsFromText(StopBitsText(TStopBits(i))), i);
  for (int i = dbFive; i <= dbEight; ++i) EXPECT_EQ(DataBitsFromText(DataBitsText(TDataBits(i))), i);
  for (int i = prNone; i <= prSpace; ++i) EXPECT_EQ(ParityFromText(ParityText(TParityBits(i))), i);
  for (int i = fcHardware; i <= fcCustom; ++i)
    EXPECT_EQ(FlowControlFromText(FlowControlText(TFlowControl(i))), i);
  for (int i = rtsDisable; i <= rtsToggle; ++i)
    EXPECT_EQ(RTSControlFromText(RTSControlText(TRTSFlowControl(i))), i);
  EXPECT_EQ(ParityText(prNone), "None");
  EXPECT_EQ(FlowControlText(fcNone), "None");
  EXPECT_EQ(BaudRateValue(br56000), 56000);
  EXPECT_EQ(BaudRateValue(br256000), 256000);
}

TEST(ComConversions, YesNoAndCharacters) {
  EXPECT_EQ(YesNoText(true), "Yes");
  EXPECT_TRUE(YesNoFromText("yes"));
  for (const char* no : {"Y", "1", "true", "", "yes "}) EXPECT_FALSE(YesNoFromText(no)) << no;

  EXPECT_EQ(CharText(13), "#13");
  EXPECT_EQ(CharText(32), "#32");
  EXPECT_EQ(CharText('A'), "A");
  EXPECT_EQ(CharText(127), "\x7f");
  EXPECT_EQ(CharText(static_cast<char>(200)), "#200");
  EXPECT_EQ(CharText(0), "#0");

  EXPECT_EQ(CharFromText("#65"), 'A');
  EXPECT_EQ(CharFromText("AB"), 'A');
  EXPECT_EQ(CharFromText("#"), '#');
  EXPECT_EQ(CharFromText(""), 0);
  EXPECT_EQ(CharFromText("#321"), 'A');  // low 8 bits
  EXPECT_EQ(CharFromText("#x"), 0);
  EXPECT_EQ(CharFromText("#$41"), 'A');
  for (int code = 0; code < 256; ++code)  // every character survives the round trip
    EXPECT_EQ(static_cast<unsigned char>(CharFromText(CharText(static_cast<char>(code)))), code);
}

TEST(ComSettingsObjects, FlowControlShortcutReadsFourFieldsAndSetsOnlyThose) {
  TComFlowControl flow;
  EXPECT_EQ(flow.FlowControl(), fcNone);
  flow.SetOutDSRFlow(true);
  flow.SetControlDTR(dtrEnable);
  flow.SetFlowControl(fcHardware);
  EXPECT_TRUE(flow.OutDSRFlow());
  EXPECT_EQ(flow.ControlDTR(), dtrEnable);
  EXPECT_EQ(flow.FlowControl(), fcHardware);
  flow.SetFlowControl(fcSoftware);
  EXPECT_EQ(flow.ControlRTS(), rtsDisable);
  EXPECT_FALSE(flow.OutCTSFlow());
  EXPECT_EQ(flow.FlowControl(), fcSoftware);
  flow.SetXonXoffIn(false);
  EXPECT_EQ(flow.FlowControl(), fcCustom);
  flow.SetFlowControl(fcCustom);  // changes nothing
  EXPECT_FALSE(flow.XonXoffIn());
  EXPECT_TRUE(flow.XonXoffOut());
  flow.SetControlRTS(rtsEnable);
  EXPECT_EQ(flow.FlowControl(), fcCustom);
}

TEST(ComSettingsObjects, BufferSizesRoundOddPositiveValuesDown) {
  TComBuffer buffer;
  buffer.SetInputSize(1025);
  EXPECT_EQ(buffer.InputSize(), 1024);
  buffer.SetOutputSize(1);
  EXPECT_EQ(buffer.OutputSize(), 0);
  buffer.SetInputSize(-3);
  EXPECT_EQ(buffer.InputSize(), -3);
  buffer.SetInputSize(0);
  EXPECT_EQ(buffer.InputSize(), 0);
}

TEST(ComSettingsObjects, AssignCopiesWithinAClassAndRefusesOthers) {
  TComParity a, b;
  a.SetBits(prMark);
  a.SetCheck(true);
  a.SetReplaceChar('?');
  b.Assign(a);
  EXPECT_EQ(b.Bits(), prMark);
  EXPECT_TRUE(b.Check());
  EXPECT_EQ(b.ReplaceChar(), '?');

  TComTimeouts timeouts;
  try {
    timeouts.Assign(a);
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TComParity to a TComTimeouts");
  }
  EXPECT_EQ(timeouts.ReadInterval(), -1);  // unchanged
}

// With an open port, a changed value reaches the device once; an equal value does nothing.
using ComSettingsReapply = FakePortTest;

TEST_F(ComSettingsReapply, ChangedValuesAskTheirPortToReapplyTheirGroup) {
  TComPort port(nullptr);
  port.SetEvents({});
  port.OpenPort();
  auto count = [&](const std::string& name) {
    int n = 0;
    for (const auto& call : Fake.CallNames()) n += call == name;
    return n;
  };
  Fake.ClearCalls();

  port.Buffer().SetInputSize(1025);
  port.Buffer().SetInputSize(1025);  // differs from the stored 1024: applied again
  EXPECT_EQ(count("SetupComm"), 2);
  EXPECT_EQ(Fake.Calls().back().Args, (std::vector<std::uint64_t>{1024, 1024}));
  port.Buffer().SetInputSize(1024);
  EXPECT_EQ(count("SetupComm"), 2);

  port.Timeouts().SetWriteTotalConstant(1000);  // unchanged
  EXPECT_EQ(count("SetCommTimeouts"), 0);
  port.Timeouts().SetWriteTotalConstant(500);
  EXPECT_EQ(count("SetCommTimeouts"), 1);

  port.FlowControl().SetFlowControl(fcCustom);  // no field changes, still reapplied
  port.Parity().SetCheck(true);
  port.SetBaudRate(br9600);  // unchanged
  port.SetCustomBaudRate(31250);
  EXPECT_EQ(count("SetCommState"), 3);

  TComParity parity;  // whole objects: copied without comparison, applied once
  port.SetParity(parity);
  EXPECT_EQ(count("SetCommState"), 4);
  EXPECT_FALSE(port.Parity().Check());
}

TEST_F(ComSettingsReapply, AFailedReapplyKeepsTheNewValueAndRaises) {
  TComPort port(nullptr);
  port.SetEvents({});
  port.OpenPort();
  Fake.Fail("SetCommState", ERROR_INVALID_PARAMETER);
  try {
    port.FlowControl().SetXonXoffIn(true);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 7);
    EXPECT_EQ(e.WinErrorCode(), 87);
  }
  EXPECT_TRUE(port.FlowControl().XonXoffIn());
  EXPECT_TRUE(port.Connected());
  Fake.Succeed("SetCommState");
}

}  // namespace
