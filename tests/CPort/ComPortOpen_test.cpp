#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "CPort/EComPort.h"
#include "FakePortFixture.h"
#include "TempFolder.h"
#include "framework/IniFile.h"
#include "framework/Registry.h"
#include "framework/ShownErrors.h"

namespace {

using namespace ComPlatform;
using Names = std::vector<std::string>;

// The port's own notifications, written into the fake's journal so that their order against
// the platform calls can be checked.
void Journal(TCustomComPort& port, TFakeSerialPlatform& fake) {
  port.OnBeforeOpen = [&](TObject*) { fake.Note("BeforeOpen"); };
  port.OnAfterOpen = [&](TObject*) { fake.Note("AfterOpen"); };
  port.OnBeforeClose = [&](TObject*) { fake.Note("BeforeClose"); };
  port.OnAfterClose = [&](TObject*) { fake.Note("AfterClose"); };
  port.OnCTSChange = [&](TObject*, bool on) { fake.Note(on ? "CTS on" : "CTS off"); };
  port.OnDSRChange = [&](TObject*, bool on) { fake.Note(on ? "DSR on" : "DSR off"); };
  port.OnRLSDChange = [&](TObject*, bool on) { fake.Note(on ? "RLSD on" : "RLSD off"); };
}

// The journal without the calls the event thread makes while it waits.
Names MainCalls(const TFakeSerialPlatform& fake) {
  Names names;
  for (const auto& name : fake.CallNames())
    if (name != "WaitCommEvent" && name != "WaitForMultipleObjects" && name != "CreateEventA" &&
        name != "GetOverlappedResult" && name != "Sleep" && name != "SetEvent")
      names.push_back(name);
  return names;
}

int PortCode(const std::function<void()>& action) {
  try {
    action();
  } catch (const EComPort& e) {
    return e.PortErrorCode();
  }
  return 0;
}

using ComPortOpen = FakePortTest;

TEST_F(ComPortOpen, TheFrontEndConfigurationReachesTheDeviceExactly) {
  TComPort port(nullptr);
  ConfigureProgrammerLine(port);
  port.SetPort("COM3");
  port.OpenPort();
  ASSERT_TRUE(port.Connected());

  auto calls = Fake.Calls();
  EXPECT_EQ(calls[0].Name, "CreateFileA");
  EXPECT_EQ(calls[0].Text, "\\\\.\\COM3");
  EXPECT_EQ(calls[0].Args, (std::vector<std::uint64_t>{0xC0000000, 0, 3, 0x40000000}));
  EXPECT_EQ(MainCalls(Fake), (Names{"CreateFileA", "SetupComm", "SetCommState", "SetCommTimeouts",
                                    "SetCommMask", "GetCommModemStatus", "GetCommModemStatus",
                                    "GetCommModemStatus"}));
  auto setup = std::find_if(calls.begin(), calls.end(), [](auto& c) { return c.Name == "SetupComm"; });
  EXPECT_EQ(setup->Args, (std::vector<std::uint64_t>{8192, 8192}));
  auto mask = std::find_if(calls.begin(), calls.end(), [](auto& c) { return c.Name == "SetCommMask"; });
  EXPECT_EQ(mask->Args, std::vector<std::uint64_t>{0x05FF});

  ASSERT_EQ(Fake.States().size(), 1u);
  DCB dcb = Fake.States()[0];
  EXPECT_EQ(dcb.DCBlength, 28u);
  EXPECT_EQ(dcb.BaudRate, 57600u);
  EXPECT_EQ(dcb.Flags, 0x2005u);
  EXPECT_EQ(dcb.XonLim, 2048);
  EXPECT_EQ(dcb.XoffLim, 2048);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, 0);
  EXPECT_EQ(dcb.StopBits, 0);
  EXPECT_EQ(dcb.XonChar, 17);
  EXPECT_EQ(dcb.XoffChar, 19);
  EXPECT_EQ(dcb.ErrorChar, 0);
  EXPECT_EQ(dcb.EofChar, 0);
  EXPECT_EQ(dcb.EvtChar, 0);
  EXPECT_EQ(dcb.wReserved, 0);

  ASSERT_EQ(Fake.TimeoutRecords().size(), 1u);
  COMMTIMEOUTS t = Fake.TimeoutRecords()[0];
  EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
}

TEST_F(ComPortOpen, EveryLineSettingHasItsPlaceInTheControlBlock) {
  TComPort port(nullptr);
  port.SetEvents({});
  port.SetBaudRate(brCustom);
  port.SetCustomBaudRate(31250);
  port.SetDataBits(dbSeven);
  port.SetStopBits(sbTwoStopBits);
  port.SetDiscardNull(true);
  port.SetEventChar('\n');
  port.Parity().SetBits(prSpace);
  port.Parity().SetReplace(true);  // without Check: no replacement
  port.Parity().SetReplaceChar('?');
  port.FlowControl().SetControlDTR(dtrHandshake);
  port.FlowControl().SetControlRTS(rtsToggle);
  port.FlowControl().SetOutDSRFlow(true);
  port.FlowControl().SetDSRSensitivity(true);
  port.FlowControl().SetTxContinueOnXoff(true);
  port.FlowControl().SetFlowControl(fcSoftware);
  port.FlowControl().SetXonChar('A');
  port.Buffer().SetInputSize(-400);
  port.OpenPort();

  DCB dcb = Fake.States().back();
  EXPECT_EQ(dcb.BaudRate, 31250u);
  // binary, DSR out flow, DTR handshake, DSR sensitivity, continue on XOFF, XON/XOFF both
  // ways, discard NUL; RTS forced off by the software shortcut.
  EXPECT_EQ(dcb.Flags, 0x1u | 0x8u | 0x20u | 0x40u | 0x80u | 0x100u | 0x200u | 0x800u);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.StopBits, 2);
  EXPECT_EQ(dcb.Parity, 4);
  EXPECT_EQ(dcb.ErrorChar, 0);
  EXPECT_EQ(dcb.EvtChar, '\n');
  EXPECT_EQ(dcb.XonChar, 'A');
  EXPECT_EQ(dcb.XonLim, static_cast<WORD>(-100));  // low 16 bits of a truncated quarter

  port.Parity().SetCheck(true);  // now both: parity checked and replaced
  port.FlowControl().SetControlRTS(rtsToggle);
  dcb = Fake.States().back();
  EXPECT_EQ(dcb.Flags & 0x0402u, 0x0402u);
  EXPECT_EQ(dcb.ErrorChar, '?');
  EXPECT_EQ(dcb.Flags >> 12, 3u);
}

TEST_F(ComPortOpen, AFailureAtEachStepLeavesTheStateOfItsTable) {
  struct TStep {
    const char* Call;
    int Code;
  };
  for (TStep step : {TStep{"CreateFileA", 1}, TStep{"SetupComm", 9}, TStep{"SetCommState", 7},
                     TStep{"SetCommTimeouts", 8}}) {
    SCOPED_TRACE(step.Call);
    Fake.ClearCalls();
    Fake.Fail(step.Call, ERROR_GEN_FAILURE);
    {
      TComPort port(nullptr);
      Journal(port, Fake);
      try {
        port.OpenPort();
        FAIL() << "no error";
      } catch (const EComPort& e) {
        EXPECT_EQ(e.PortErrorCode(), step.Code);
        EXPECT_EQ(e.WinErrorCode(), 31);
        EXPECT_EQ(e.Message(), PortErrorMessages[step.Code] + " (win error code: 31)");
      }
      EXPECT_FALSE(port.Connected());
      EXPECT_FALSE(Fake.DeviceOpen());
      port.ClosePort();  // nothing to close: no call, no notice
    }
    Names calls = MainCalls(Fake);
    EXPECT_EQ(calls.front(), "BeforeOpen");
    for (const char* absent : {"AfterOpen", "BeforeClose", "AfterClose", "CTS off", "SetCommMask"})
      EXPECT_EQ(std::count(calls.begin(), calls.end(), absent), 0) << absent;
    Fake.Succeed(step.Call);
  }
  EXPECT_EQ(Fake.OpenEvents(), 0);
}

TEST_F(ComPortOpen, AFailedLineQueryAfterOpeningLeavesThePortOpen) {
  TComPort port(nullptr);
  Fake.Fail("GetCommModemStatus", ERROR_BAD_COMMAND);
  EXPECT_EQ(PortCode([&] { port.OpenPort(); }), 11);
  EXPECT_TRUE(port.Connected());
  Fake.Succeed("GetCommModemStatus");
  port.ClosePort();
  EXPECT_FALSE(Fake.DeviceOpen());
  EXPECT_EQ(Fake.OpenEvents(), 0);
}

TEST_F(ComPortOpen, OpenAndCloseNotifyInOrderAndTheThreadStopsBeforeTheHandleCloses) {
  TComPort port(nullptr);
  Journal(port, Fake);
  Fake.SetModemStatus(MS_CTS_ON | MS_RLSD_ON);
  port.OpenPort();
  port.OpenPort();  // already open: nothing again
  ASSERT_TRUE(Fake.WaitForEventWait());
  Names opened = MainCalls(Fake);
  EXPECT_EQ(Names(opened.end() - 7, opened.end()),
            (Names{"AfterOpen", "GetCommModemStatus", "CTS on", "GetCommModemStatus", "DSR off",
                   "GetCommModemStatus", "RLSD on"}));
  EXPECT_EQ(std::count(opened.begin(), opened.end(), "CreateFileA"), 1);

  Fake.ClearCalls();
  port.ClosePort();
  port.ClosePort();  // already closed: nothing again
  // The event thread ends its wait by mask 0 and empties the queues; only then is the
  // device closed.
  Names closed = MainCalls(Fake);
  Names expected{"CTS off", "DSR off", "RLSD off", "BeforeClose", "PurgeComm", "SetCommMask",
                 "PurgeComm", "CloseHandle", "CloseHandle", "CloseHandle", "AfterClose"};
  EXPECT_EQ(closed, expected);
  auto calls = Fake.Calls();
  std::vector<std::uint64_t> purges;
  for (auto& call : calls)
    if (call.Name == "PurgeComm") purges.push_back(call.Args[0]);
  EXPECT_EQ(purges, (std::vector<std::uint64_t>{0x3, 0xC}));
  EXPECT_EQ(calls[calls.size() - 2].Text, "device");
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(Fake.OpenEvents(), 0);
}

TEST_F(ComPortOpen, AFailedPurgeKeepsThePortOpen) {
  TComPort port(nullptr);
  Journal(port, Fake);
  port.OpenPort();
  Fake.Fail("PurgeComm", ERROR_GEN_FAILURE);
  EXPECT_EQ(PortCode([&] { port.ClosePort(); }), 5);
  EXPECT_TRUE(port.Connected());
  Names calls = MainCalls(Fake);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "BeforeClose"), 1);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "AfterClose"), 0);
  Fake.Succeed("PurgeComm");
  port.ClosePort();
  EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortOpen, WithoutEventsNoThreadIsMadeAndTheLinesAreStillReported) {
  TComPort port(nullptr);
  Journal(port, Fake);
  port.SetEvents({});
  port.OpenPort();
  port.ClosePort();
  Names calls = Fake.CallNames();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetCommMask"), 0);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "WaitCommEvent"), 0);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "RLSD off"), 2);  // after open, before close
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "AfterClose"), 1);
}

TEST_F(ComPortOpen, PortNamesAreComparedExactlyAndAnOpenPortMovesToTheNewName) {
  TComPort port(nullptr);
  port.SetEvents({});
  port.SetPort("COM1");  // unchanged: nothing
  EXPECT_TRUE(Fake.Calls().empty());
  port.OpenPort();
  Fake.ClearCalls();
  port.SetPort("COM1");
  EXPECT_TRUE(Fake.Calls().empty());
  port.SetPort("com1");
  auto calls = Fake.Calls();
  auto closed = std::find_if(calls.begin(), calls.end(), [](auto& c) { return c.Text == "device"; });
  auto opened = std::find_if(calls.begin(), calls.end(), [](auto& c) { return c.Name == "CreateFileA"; });
  ASSERT_NE(closed, calls.end());
  ASSERT_NE(opened, calls.end());
  EXPECT_LT(closed, opened);
  EXPECT_EQ(opened->Text, "\\\\.\\com1");
  EXPECT_TRUE(port.Connected());

  Fake.Fail("CreateFileA", ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(PortCode([&] { port.SetPort("COM9"); }), 1);
  EXPECT_EQ(port.Port(), "COM9");
  EXPECT_FALSE(port.Connected());
  Fake.Succeed("CreateFileA");
}

TEST_F(ComPortOpen, SyncMethodCannotChangeWhileOpen) {
  TComPort port(nullptr);
  port.OpenPort();
  port.SetSyncMethod(smThreadSync);  // same value: nothing
  try {
    port.SetSyncMethod(smNone);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 14);
    EXPECT_EQ(e.WinErrorCode(), -1);
  }
  EXPECT_EQ(port.SyncMethod(), smThreadSync);
  port.ClosePort();
  port.SetSyncMethod(smNone);
  EXPECT_EQ(port.SyncMethod(), smNone);
}

TEST_F(ComPortOpen, StatusQueriesMapTheirFlagsAndFailWithTheirCodes) {
  TComPort port(nullptr);
  EXPECT_EQ(PortCode([&] { port.PendingInputCount(); }), 10);  // closed: invalid handle
  EXPECT_EQ(PortCode([&] { port.LineSignals(); }), 11);
  port.SetEvents({});
  port.OpenPort();

  Fake.SetModemStatus(MS_DSR_ON | MS_RING_ON | 0x1);
  EXPECT_EQ(port.LineSignals(), (TLineSignals{lsDSR, lsRing}));

  Fake.RaiseLineEvents(0, CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_BREAK | CE_IOE | CE_MODE |
                              CE_RXOVER | CE_TXFULL | 0x20);
  EXPECT_EQ(port.TakeLineErrors(), TComErrors::FromBits(0xFF & ~(1 << ceRxParity)));
  EXPECT_TRUE(port.TakeLineErrors().Empty());  // taken means cleared

  port.Parity().SetCheck(true);
  Fake.RaiseLineEvents(0, CE_RXPARITY);
  EXPECT_EQ(port.TakeLineErrors(), TComErrors{ceRxParity});

  Fake.RaiseLineEvents(0, CE_FRAME);
  Fake.Receive("abc");
  EXPECT_EQ(port.PendingInputCount(), 3);
  EXPECT_TRUE(port.TakeLineErrors().Empty());  // the count query swallowed the error
}

TEST_F(ComPortOpen, DestroyingAnOpenPortRunsTheWholeCloseSequence) {
  {
    TComPort port(nullptr);
    Journal(port, Fake);
    port.OpenPort();
    Fake.ClearCalls();
  }
  Names calls = MainCalls(Fake);
  for (const char* step : {"CTS off", "DSR off", "RLSD off", "BeforeClose", "AfterClose"})
    EXPECT_EQ(std::count(calls.begin(), calls.end(), step), 1) << step;
  EXPECT_FALSE(Fake.DeviceOpen());
  EXPECT_EQ(Fake.OpenEvents(), 0);
}

TEST_F(ComPortOpen, DestroyingAPortWhoseAbortFailsStillReleasesEverything) {
  TShownErrors shown;
  {
    TComPort port(nullptr);
    port.OpenPort();
    ASSERT_TRUE(Fake.WaitForEventWait());
    Fake.Fail("PurgeComm", ERROR_GEN_FAILURE);
  }  // a destructor cannot pass the failure on: it is shown, and nothing is left behind
  Fake.Succeed("PurgeComm");
  EXPECT_EQ(shown.Messages, std::vector<std::string>{"PurgeComm function failed (win error code: 31)"});
  EXPECT_FALSE(Fake.DeviceOpen());
  EXPECT_EQ(Fake.OpenEvents(), 0);
}

TEST_F(ComPortOpen, ConnectedRecordedWhileLoadingOpensAfterLoading) {
  TShownErrors shown;
  {
    TComPort port(nullptr);
    port.SetEvents({});
    port.BeginLoading();
    port.SetConnected(true);
    port.SetBaudRate(br115200);  // the apply guard holds while loading
    EXPECT_TRUE(Fake.Calls().empty());
    port.Loaded();
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(Fake.States().back().BaudRate, 115200u);
  }
  {
    Fake.Fail("CreateFileA", ERROR_FILE_NOT_FOUND);
    TComPort port(nullptr);
    port.BeginLoading();
    port.SetConnected(true);
    port.Loaded();  // the failure goes to the application's handler, not to the caller
    EXPECT_FALSE(port.Connected());
    Fake.Succeed("CreateFileA");
  }
  EXPECT_EQ(shown.Messages, std::vector<std::string>{"Unable to open com port (win error code: 2)"});
}

TEST_F(ComPortOpen, ConnectedOpensAndClosesAndOwnerDestroysThePort) {
  TComponent owner(nullptr);
  auto* port = new TComPort(&owner);
  port->SetEvents({});
  port->SetConnected(true);
  EXPECT_TRUE(Fake.DeviceOpen());
  port->SetConnected(false);
  EXPECT_FALSE(Fake.DeviceOpen());
  port->SetConnected(true);
  EXPECT_EQ(owner.ComponentCount(), 1);
}  // the owner's end closes the port it still owns

class ComPortStore : public FakePortTest {
protected:
  void SetUp() override {
    FakePortTest::SetUp();
    FDir = MakeTempFolder("tolvane-store");
  }
  void TearDown() override {
    std::filesystem::remove_all(FDir);
    FakePortTest::TearDown();
  }
  std::string FDir;
};

TEST_F(ComPortStore, IniFileHoldsTheChosenGroupsInOrderAndLoadsBack) {
  std::string path = FDir + "/port.ini";
  TComPort source(nullptr);
  source.SetName("ComPort");
  ConfigureProgrammerLine(source);
  source.SetPort("COM7");
  source.SetBaudRate(brCustom);
  source.SetCustomBaudRate(31250);
  source.SetEventChar('\r');
  source.Parity().SetReplaceChar('*');
  source.Timeouts().SetReadInterval(-1);
  source.SetStoredProps({spBasic, spOthers, spParity, spBuffer, spTimeouts, spFlowControl});
  source.StoreToIniFile(path);

  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "[ComPort]\r\nPort=COM7\r\nBaudRate=Custom\r\nCustomBaudRate=31250\r\nStopBits=1\r\n"
            "DataBits=8\r\nParity=None\r\nFlowControl=Hardware\r\nEventChar=#13\r\n"
            "DiscardNull=No\r\nParity.Check=No\r\nParity.Replace=No\r\nParity.ReplaceChar=*\r\n"
            "Buffer.OutputSize=8192\r\nBuffer.InputSize=8192\r\nTimeouts.ReadInterval=-1\r\n"
            "Timeouts.ReadTotalConstant=0\r\nTimeouts.ReadTotalMultiplier=0\r\n"
            "Timeouts.WriteTotalConstant=1000\r\nTimeouts.WriteTotalMultiplier=100\r\n"
            "FlowControl.ControlRTS=Handshake\r\nFlowControl.ControlDTR=Disable\r\n"
            "FlowControl.DSRSensitivity=No\r\nFlowControl.OutCTSFlow=Yes\r\n"
            "FlowControl.OutDSRFlow=No\r\nFlowControl.TxContinueOnXoff=No\r\n"
            "FlowControl.XonXoffIn=No\r\nFlowControl.XonXoffOut=No\r\nFlowControl.XoffChar=#19\r\n"
            "FlowControl.XonChar=#17\r\n");

  TComPort target(nullptr);
  target.SetName("ComPort");
  target.SetStoredProps(source.StoredProps());
  target.LoadFromIniFile(path);
  EXPECT_EQ(target.Port(), "COM7");
  EXPECT_EQ(target.BaudRate(), brCustom);
  EXPECT_EQ(target.CustomBaudRate(), 31250);
  EXPECT_EQ(target.EventChar(), '\r');
  EXPECT_EQ(target.Parity().ReplaceChar(), '*');
  EXPECT_EQ(target.Buffer().InputSize(), 8192);
  EXPECT_EQ(target.FlowControl().FlowControl(), fcHardware);

  // A hand-edited file: a number that is not one leaves its setting alone.
  TIniFile edited(path);
  edited.WriteString("ComPort", "Buffer.InputSize", "lots");
  edited.WriteString("ComPort", "Buffer.OutputSize", "$800");
  edited.UpdateFile();
  target.LoadFromIniFile(path);
  EXPECT_EQ(target.Buffer().InputSize(), 8192);
  EXPECT_EQ(target.Buffer().OutputSize(), 2048);
}

TEST_F(ComPortStore, OnlyBasicByDefaultAndALoadedPortReopensAnOpenPort) {
  TRegistryKey key;
  TComPort source(nullptr);
  source.SetPort("COM4");
  source.Buffer().SetInputSize(4096);
  source.StoreToRegistry(key);
  EXPECT_EQ(key.ReadString("Port"), "COM4");
  EXPECT_FALSE(key.ValueExists("CustomBaudRate"));  // only for a custom rate
  EXPECT_FALSE(key.ValueExists("Buffer.InputSize"));

  TComPort target(nullptr);
  target.SetEvents({});
  target.OpenPort();
  Fake.ClearCalls();
  target.LoadFromRegistry(key);
  EXPECT_TRUE(target.Connected());
  auto calls = Fake.Calls();
  auto opened = std::find_if(calls.begin(), calls.end(), [](auto& c) { return c.Name == "CreateFileA"; });
  ASSERT_NE(opened, calls.end());
  EXPECT_EQ(opened->Text, "\\\\.\\COM4");
  EXPECT_EQ(target.Buffer().InputSize(), 1024);
}

}  // namespace
