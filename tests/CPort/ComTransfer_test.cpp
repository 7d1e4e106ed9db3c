#include "CPort/EComPort.h"
#include "FakePortFixture.h"

namespace {

using namespace ComPlatform;

class ComTransfer : public FakePortTest {
protected:
  void SetUp() override {
    FakePortTest::SetUp();
    Port = std::make_unique<TComPort>(nullptr);
    Port->SetEvents({});
    Port->OpenPort();
    Fake.ClearCalls();
  }
  void TearDown() override {
    Port.reset();
    EXPECT_EQ(Fake.OpenEvents(), 0);  // every record's event was released
    FakePortTest::TearDown();
  }
  int Count(const std::string& name) {
    int n = 0;
    for (const auto& call : Fake.CallNames()) n += call == name;
    return n;
  }
  std::unique_ptr<TComPort> Port;
};

TEST_F(ComTransfer, WritesGoOutByteForByteAndReturnTheCountSent) {
  std::string bytes;
  for (int c = 0; c < 256; ++c) bytes += static_cast<char>(c);
  EXPECT_EQ(Port->WriteText(bytes), 256);
  EXPECT_EQ(Port->WriteText("zzzz"), 4);
  EXPECT_EQ(Fake.Written(), bytes + "zzzz");
  EXPECT_EQ(Count("CreateEventA"), 2);  // one record and event per call
}

TEST_F(ComTransfer, AnEmptyWriteSendsNothingAndReturnsAtOnce) {
  EXPECT_EQ(Port->WriteText(""), 0);
  EXPECT_EQ(Count("WriteFile"), 0);
}

TEST_F(ComTransfer, AWriteCutShortByTheTimeoutReportsWhatWasSent) {
  Fake.LimitWrite(2);
  EXPECT_EQ(Port->WriteText("hello"), 2);
  EXPECT_EQ(Fake.Written(), "he");
}

TEST_F(ComTransfer, ReadsTakeWhatIsWaitingAndNeverMore) {
  std::string received("\0\x80\xff" "abcdefg", 10);
  Fake.Receive(received.substr(0, 4));
  std::string text = "old";
  EXPECT_EQ(Port->ReadText(text, 10), 4);
  EXPECT_EQ(text, received.substr(0, 4));
  EXPECT_EQ(Port->ReadText(text, 10), 0);
  EXPECT_TRUE(text.empty());
  Fake.Receive(received.substr(4));
  EXPECT_EQ(Port->ReadText(text, 3), 3);
  EXPECT_EQ(text, "bcd");
  EXPECT_EQ(Fake.PendingInput(), "efg");
}

TEST_F(ComTransfer, ReadsOfNoBytesMakeNoPlatformRead) {
  std::string text = "keep";
  EXPECT_EQ(Port->ReadText(text, 0), 0);
  EXPECT_TRUE(text.empty());
  text = "keep";
  EXPECT_EQ(Port->ReadText(text, -3), 0);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(Count("ReadFile"), 0);
}

TEST_F(ComTransfer, RefusedStartsRaiseByDirectionAndStillReleaseTheRecord) {
  Fake.Fail("WriteFile", ERROR_GEN_FAILURE);
  try {
    Port->WriteText("x");
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 2);
    EXPECT_EQ(e.Message(), "WriteFile function failed (win error code: 31)");
  }
  Fake.Fail("ReadFile", ERROR_GEN_FAILURE);
  std::string text;
  try {
    Port->ReadText(text, 5);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 3);
  }
  EXPECT_EQ(text.size(), 5u);  // sized before the read failed
  EXPECT_EQ(Count("CreateEventA"), Count("CloseHandle"));
}

TEST_F(ComTransfer, AnAbortedWriteFailsItsAwait) {
  Fake.HoldWrites(true);
  TTransferRecord* record = Port->CreateTransfer();
  EXPECT_EQ(Port->StartWriteText("abc", record), 0);  // pending
  Port->AbortAllTransfers();
  try {
    Port->AwaitTransfer(record);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 2);
    EXPECT_EQ(e.WinErrorCode(), static_cast<int>(ERROR_OPERATION_ABORTED));
  }
  Port->ReleaseTransfer(record);
  EXPECT_EQ(Fake.Calls().back().Name, "CloseHandle");
}

TEST_F(ComTransfer, ARecordIsRequiredAndAnUnusedRecordAwaitsAtOnce) {
  for (auto action : std::vector<std::function<void()>>{
           [&] { Port->StartWrite("a", 1, nullptr); },
           [&] {
             char c;
             Port->StartRead(&c, 1, nullptr);
           },
           [&] { Port->AwaitTransfer(nullptr); }}) {
    try {
      action();
      FAIL() << "no error";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.PortErrorCode(), 4);
      EXPECT_EQ(e.WinErrorCode(), -1);
    }
  }
  TTransferRecord* record = Port->CreateTransfer();
  EXPECT_EQ(Port->AwaitTransfer(record), 0);
  Port->ReleaseTransfer(record);
}

using ClosedPortTransfer = FakePortTest;

TEST_F(ClosedPortTransfer, WritingToAClosedPortFailsInThePlatform) {
  TComPort port(nullptr);
  try {
    port.WriteText("zzzz");
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 2);
    EXPECT_EQ(e.Message(), "WriteFile function failed (win error code: 6)");
  }
  EXPECT_EQ(Fake.OpenEvents(), 0);
}

TEST_F(ClosedPortTransfer, TransfersOfNoBytesNeedNoDevice) {
  TComPort port(nullptr);
  EXPECT_EQ(port.WriteText(""), 0);
  std::string text = "keep";
  EXPECT_EQ(port.ReadText(text, 0), 0);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(port.ReadText(text, -3), 0);
  for (const auto& call : Fake.CallNames())
    EXPECT_TRUE(call == "CreateEventA" || call == "CloseHandle") << call;
  EXPECT_EQ(Fake.OpenEvents(), 0);
}

}  // namespace
