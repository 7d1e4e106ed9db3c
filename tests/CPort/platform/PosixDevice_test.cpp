#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>

#include "CPort/platform/SerialPlatform.h"
#include "ProcessUsage.h"
#include "ProgrammerBlock.h"
#include "PtyPair.h"

using namespace ComPlatform;
using namespace std::chrono_literals;
using Bytes = std::vector<unsigned char>;

namespace {

TSerialPlatform& P() { return NativeSerialPlatform(); }

// The time-outs of the programmer's connection: reads return what is there, writes get
// 100 ms per byte plus a second.
COMMTIMEOUTS ProgrammerTimeouts() { return {MAXDWORD, 0, 0, 100, 1000}; }

// One transfer's record, with its event made as the serial layer makes it.
struct TTransfer {
  OVERLAPPED io;
  TTransfer() { io.hEvent = P().CreateEventA(true, true); }
  ~TTransfer() { P().CloseHandle(io.hEvent); }
  bool Done(DWORD ms = 2000) { return P().WaitForSingleObject(io.hEvent, ms) == WAIT_OBJECT_0; }
};

// A port opened on the slave side of a fresh pseudo-terminal, configured like the
// programmer's connection.
class PosixDevice : public testing::Test {
protected:
  void SetUp() override {
    port = P().CreateFileA(pty.SlavePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
    ASSERT_NE(port, INVALID_HANDLE_VALUE) << P().GetLastError();
    ASSERT_TRUE(P().SetupComm(port, 8192, 8192));
    ASSERT_TRUE(P().SetCommState(port, ProgrammerBlock()));
    ASSERT_TRUE(P().SetCommTimeouts(port, ProgrammerTimeouts()));
  }
  void TearDown() override {
    if (port != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(P().CloseHandle(port));
    }
  }

  DWORD Queued() {
    COMSTAT stat;
    DWORD errors = 0;
    return P().ClearCommError(port, &errors, &stat) ? stat.cbInQue : ~DWORD{0};
  }
  bool QueuedBecomes(DWORD n) {
    return Eventually([&] { return Queued() == n; });
  }
  Bytes ReadAtOnce(DWORD count) {
    Bytes buffer(count);
    TTransfer t;
    DWORD got = 0;
    EXPECT_TRUE(P().ReadFile(port, buffer.data(), count, &got, &t.io));
    buffer.resize(got);
    return buffer;
  }
  DWORD WriteAll(const Bytes& bytes) {
    TTransfer t;
    DWORD written = 0;
    if (!P().WriteFile(port, bytes.data(), DWORD(bytes.size()), &written, &t.io)) {
      EXPECT_EQ(P().GetLastError(), ERROR_IO_PENDING);
      EXPECT_TRUE(t.Done(5000));
      EXPECT_TRUE(P().GetOverlappedResult(port, &t.io, &written, false));
    }
    return written;
  }

  TPtyPair pty;
  HANDLE port = INVALID_HANDLE_VALUE;
};

}  // namespace

TEST_F(PosixDevice, BytesOfEveryValueTravelBothWaysUnchanged) {
  Bytes all(256);
  std::iota(all.begin(), all.end(), 0);
  Bytes twice = all;
  twice.insert(twice.end(), all.rbegin(), all.rend());

  EXPECT_EQ(WriteAll(twice), twice.size());
  EXPECT_EQ(pty.Receive(twice.size()), twice);

  pty.Send(twice);
  ASSERT_TRUE(QueuedBecomes(DWORD(twice.size())));
  EXPECT_EQ(ReadAtOnce(1000), twice);
}

TEST_F(PosixDevice, ReadReturnsAtOnceWithWhatIsQueued) {
  EXPECT_TRUE(ReadAtOnce(10).empty());
  pty.Send("abcd");
  ASSERT_TRUE(QueuedBecomes(4));
  EXPECT_EQ(ReadAtOnce(10), (Bytes{'a', 'b', 'c', 'd'}));
  EXPECT_EQ(Queued(), 0u);
}

TEST_F(PosixDevice, InputQueueCountsExactlyAndAFullQueueHoldsTheRestBack) {
  // More than the kernel's own count can show on a pseudo-terminal.
  Bytes big(6000, 'x');
  pty.Send(big);
  ASSERT_TRUE(QueuedBecomes(6000));
  EXPECT_EQ(ReadAtOnce(8192).size(), 6000u);

  ASSERT_TRUE(P().SetupComm(port, 100, 100));
  Bytes numbered(1000);
  for (std::size_t i = 0; i < numbered.size(); ++i) numbered[i] = static_cast<unsigned char>(i * 7);
  pty.Send(numbered);
  ASSERT_TRUE(QueuedBecomes(100));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(Queued(), 100u);
  Bytes got;
  ASSERT_TRUE(Eventually([&] {
    Bytes part = ReadAtOnce(64);
    got.insert(got.end(), part.begin(), part.end());
    return got.size() >= numbered.size();
  }));
  EXPECT_EQ(got, numbered);
}

TEST_F(PosixDevice, EventWaitCompletesOnArrivalAndDoesNotRetriggerForUnreadBytes) {
  ASSERT_TRUE(P().SetCommMask(port, 0x05FF));
  TTransfer wait;
  DWORD mask = 0;
  EXPECT_FALSE(P().WaitCommEvent(port, &mask, &wait.io));
  EXPECT_EQ(P().GetLastError(), ERROR_IO_PENDING);
  EXPECT_FALSE(wait.Done(20));
  DWORD ignored;
  EXPECT_FALSE(P().GetOverlappedResult(port, &wait.io, &ignored, false));
  EXPECT_EQ(P().GetLastError(), ERROR_IO_INCOMPLETE);

  pty.Send("Ready");
  ASSERT_TRUE(wait.Done());
  EXPECT_TRUE(P().GetOverlappedResult(port, &wait.io, &ignored, false));
  EXPECT_TRUE(mask & EV_RXCHAR);
  ASSERT_TRUE(QueuedBecomes(5));

  // The bytes stay unread: the next wait stays pending.
  EXPECT_FALSE(P().WaitCommEvent(port, &mask, &wait.io));
  EXPECT_EQ(P().GetLastError(), ERROR_IO_PENDING);
  EXPECT_FALSE(wait.Done(50));
  pty.Send("!");
  ASSERT_TRUE(wait.Done());
  EXPECT_TRUE(mask & EV_RXCHAR);

  // Asking for the result moves the wait along as well as waiting for its event does.
  EXPECT_FALSE(P().WaitCommEvent(port, &mask, &wait.io));
  pty.Send("?");
  EXPECT_TRUE(Eventually([&] { return P().GetOverlappedResult(port, &wait.io, &ignored, false); }));
}

TEST_F(PosixDevice, AWaitWithoutARecordEndsOnArrival) {
  ASSERT_TRUE(P().SetCommMask(port, EV_RXCHAR));
  std::thread sender([&] {
    std::this_thread::sleep_for(20ms);
    pty.Send("x");
  });
  DWORD mask = 0;
  EXPECT_TRUE(P().WaitCommEvent(port, &mask, nullptr));
  EXPECT_EQ(mask, DWORD{EV_RXCHAR});
  sender.join();
}

TEST_F(PosixDevice, AWaitHeldUpByAFullQueueGoesOnOnceBytesAreRead) {
  ASSERT_TRUE(P().SetupComm(port, 100, 100));
  ASSERT_TRUE(P().SetCommMask(port, EV_RXCHAR));
  pty.Send(Bytes(100, 'a'));
  ASSERT_TRUE(QueuedBecomes(100));
  TTransfer wait;
  DWORD mask = 0;
  EXPECT_TRUE(P().WaitCommEvent(port, &mask, &wait.io));  // the bytes that filled it
  EXPECT_FALSE(P().WaitCommEvent(port, &mask, &wait.io));
  pty.Send(Bytes(10, 'b'));
  std::atomic<bool> done{false};
  std::thread waiter([&] { done = wait.Done(5000); });
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(done);  // no room: the new bytes stay with the kernel
  EXPECT_EQ(ReadAtOnce(50).size(), 50u);
  waiter.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(Queued(), 60u);
}

TEST_F(PosixDevice, EventsSincePreviousWaitCompleteTheNextWaitAtOnce) {
  ASSERT_TRUE(P().SetCommMask(port, EV_RXCHAR | EV_RXFLAG));
  DCB dcb = ProgrammerBlock();
  dcb.EvtChar = '\n';
  ASSERT_TRUE(P().SetCommState(port, dcb));
  pty.Send("line\n");
  ASSERT_TRUE(QueuedBecomes(5));
  TTransfer wait;
  DWORD mask = 0;
  EXPECT_TRUE(P().WaitCommEvent(port, &mask, &wait.io));
  EXPECT_EQ(mask, DWORD{EV_RXCHAR | EV_RXFLAG});
  EXPECT_TRUE(wait.Done(0));
}

TEST_F(PosixDevice, ReceiveQueueEightyPercentFullIsReported) {
  ASSERT_TRUE(P().SetupComm(port, 100, 100));
  ASSERT_TRUE(P().SetCommMask(port, EV_RX80FULL));
  pty.Send(Bytes(79, 'a'));
  ASSERT_TRUE(QueuedBecomes(79));
  TTransfer wait;
  DWORD mask = 0;
  EXPECT_FALSE(P().WaitCommEvent(port, &mask, &wait.io));
  pty.Send(Bytes(1, 'b'));
  ASSERT_TRUE(wait.Done());
  EXPECT_EQ(mask, DWORD{EV_RX80FULL});
}

TEST_F(PosixDevice, TransmitQueueEmptyFollowsAWrite) {
  ASSERT_TRUE(P().SetCommMask(port, EV_TXEMPTY));
  TTransfer wait;
  DWORD mask = 0;
  EXPECT_FALSE(P().WaitCommEvent(port, &mask, &wait.io));
  EXPECT_EQ(WriteAll({'z', 'z', 'z', 'z'}), 4u);
  ASSERT_TRUE(wait.Done());
  EXPECT_EQ(mask, DWORD{EV_TXEMPTY});
}

TEST_F(PosixDevice, SetCommMaskFromAnotherThreadEndsAPendingWaitWithNoEvents) {
  ASSERT_TRUE(P().SetCommMask(port, 0x05FF));
  TTransfer wait;
  DWORD mask = 0xDEAD;
  EXPECT_FALSE(P().WaitCommEvent(port, &mask, &wait.io));
  std::thread([&] { P().SetCommMask(port, 0); }).join();
  ASSERT_TRUE(wait.Done());
  DWORD ignored;
  EXPECT_TRUE(P().GetOverlappedResult(port, &wait.io, &ignored, false));
  EXPECT_EQ(mask, 0u);
  // With no mask there is nothing to wait for.
  EXPECT_FALSE(P().WaitCommEvent(port, &mask, &wait.io));
  EXPECT_EQ(P().GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(PosixDevice, WriteThatCannotDrainEndsAfterItsTimeOutWithTheBytesSent) {
  COMMTIMEOUTS t = ProgrammerTimeouts();
  t.WriteTotalTimeoutMultiplier = 0;
  t.WriteTotalTimeoutConstant = 200;
  ASSERT_TRUE(P().SetCommTimeouts(port, t));
  Bytes big(1 << 20, 'w');  // nobody reads the master, so the pty fills up
  const auto start = std::chrono::steady_clock::now();
  const DWORD written = WriteAll(big);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, big.size());
  EXPECT_GE(took, 190ms);
  EXPECT_LT(took, 2s);
}

TEST_F(PosixDevice, PurgeAbortsBlockedTransfersOfAnotherThread) {
  COMMTIMEOUTS t{0, 0, 0, 0, 0};  // no limits: both would wait for ever
  ASSERT_TRUE(P().SetCommTimeouts(port, t));
  Bytes big(1 << 20, 'w');
  Bytes in(10);
  TTransfer write, read;
  DWORD n = 0;
  std::thread other([&] {
    EXPECT_FALSE(P().WriteFile(port, big.data(), DWORD(big.size()), &n, &write.io));
    EXPECT_FALSE(P().ReadFile(port, in.data(), DWORD(in.size()), &n, &read.io));
  });
  other.join();
  EXPECT_FALSE(write.Done(50));
  EXPECT_FALSE(read.Done(0));
  ASSERT_TRUE(P().PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT));
  ASSERT_TRUE(write.Done());
  ASSERT_TRUE(read.Done());
  EXPECT_FALSE(P().GetOverlappedResult(port, &write.io, &n, false));
  EXPECT_EQ(P().GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_FALSE(P().GetOverlappedResult(port, &read.io, &n, false));
  EXPECT_EQ(P().GetLastError(), ERROR_OPERATION_ABORTED);
}

TEST_F(PosixDevice, PurgeClearEmptiesTheInputQueue) {
  pty.Send("stale");
  ASSERT_TRUE(QueuedBecomes(5));
  ASSERT_TRUE(P().PurgeComm(port, PURGE_TXCLEAR | PURGE_RXCLEAR));
  EXPECT_EQ(Queued(), 0u);
  EXPECT_FALSE(P().PurgeComm(port, 0x10));
  EXPECT_EQ(P().GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(PosixDevice, ReadTimeOutsFollowTheTimeOutRecord) {
  Bytes buffer(10);
  DWORD n = 0;
  {
    // A total time-out ends the read with what came.
    ASSERT_TRUE(P().SetCommTimeouts(port, {0, 0, 100, 0, 0}));
    TTransfer t;
    EXPECT_FALSE(P().ReadFile(port, buffer.data(), 10, &n, &t.io));
    pty.Send("ab");
    EXPECT_FALSE(t.Done(40));
    ASSERT_TRUE(t.Done());
    EXPECT_TRUE(P().GetOverlappedResult(port, &t.io, &n, false));
    EXPECT_EQ(n, 2u);
  }
  {
    // Waiting for the first bytes, which end the read at once.
    ASSERT_TRUE(P().SetCommTimeouts(port, {MAXDWORD, MAXDWORD, 5000, 0, 0}));
    TTransfer t;
    EXPECT_FALSE(P().ReadFile(port, buffer.data(), 10, &n, &t.io));
    pty.Send("c");
    ASSERT_TRUE(t.Done(1000));
    EXPECT_TRUE(P().GetOverlappedResult(port, &t.io, &n, false));
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(buffer[0], 'c');
  }
  {
    // No time-outs: the read waits for every byte.
    ASSERT_TRUE(P().SetCommTimeouts(port, {0, 0, 0, 0, 0}));
    TTransfer t;
    EXPECT_FALSE(P().ReadFile(port, buffer.data(), 4, &n, &t.io));
    pty.Send("12");
    EXPECT_FALSE(t.Done(50));
    pty.Send("345");
    ASSERT_TRUE(t.Done());
    EXPECT_TRUE(P().GetOverlappedResult(port, &t.io, &n, false));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + n), (Bytes{'1', '2', '3', '4'}));
    EXPECT_EQ(Queued(), 1u);
  }
  {
    // An interval time-out ends the read once the line falls quiet after a byte.
    ASSERT_TRUE(P().SetCommTimeouts(port, {30, 0, 0, 0, 0}));
    TTransfer t;
    EXPECT_FALSE(P().ReadFile(port, buffer.data(), 10, &n, &t.io));
    ASSERT_TRUE(t.Done());
    EXPECT_TRUE(P().GetOverlappedResult(port, &t.io, &n, false));
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(buffer[0], '5');
  }
}

TEST_F(PosixDevice, DiscardNullDropsReceivedNuls) {
  DCB dcb = ProgrammerBlock();
  dcb.Flags |= DCB_fNull;
  ASSERT_TRUE(P().SetCommState(port, dcb));
  pty.Send(Bytes{0, 'a', 0, 'b', 0});
  ASSERT_TRUE(QueuedBecomes(2));
  EXPECT_EQ(ReadAtOnce(10), (Bytes{'a', 'b'}));
}

TEST_F(PosixDevice, LineSettingsOnAPseudoTerminal) {
  // A pseudo-terminal has no modem lines and forces 8N; neither is a failure.
  DWORD status = 0xFF;
  EXPECT_TRUE(P().GetCommModemStatus(port, &status));
  EXPECT_EQ(status, 0u);
  DCB dcb = ProgrammerBlock();
  dcb.ByteSize = 7;
  dcb.Parity = 2;
  EXPECT_TRUE(P().SetCommState(port, dcb));
  dcb = ProgrammerBlock();
  dcb.BaudRate = 31250;
  EXPECT_TRUE(P().SetCommState(port, dcb));
  termios t{};
  int fd = ::open(pty.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd >= 0) {  // the lock keeps out openers of the port, not a look at its settings
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(t.c_cflag & CBAUD, tcflag_t{CBAUDEX});  // "other rate", set in bit/s
    ::close(fd);
  }
  dcb.ByteSize = 4;
  EXPECT_FALSE(P().SetCommState(port, dcb));
  EXPECT_EQ(P().GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(PosixDevice, SecondOpenIsRefusedAsInUseAndFreedByClose) {
  HANDLE second = P().CreateFileA(pty.SlavePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  EXPECT_EQ(second, INVALID_HANDLE_VALUE);
  EXPECT_EQ(P().GetLastError(), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(P().CloseHandle(port));
  port = P().CreateFileA(pty.SlavePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  EXPECT_NE(port, INVALID_HANDLE_VALUE);
}

TEST(PosixDeviceNames, MissingEmptyAndNonSerialNamesFail) {
  for (const char* name : {"\\\\.\\COM1", "COM1", "/dev/no-such-tty-here", "\\\\.\\", ""}) {
    EXPECT_EQ(P().CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED),
              INVALID_HANDLE_VALUE)
        << name;
    EXPECT_EQ(P().GetLastError(), ERROR_FILE_NOT_FOUND) << name;
  }
  // A device that is not a terminal is no serial port.
  EXPECT_EQ(P().CreateFileA("/dev/null", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(P().GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(PosixDeviceNames, NamesAreLookedUpUnderDev) {
  TPtyPair pty;
  const std::string under = pty.SlavePath().substr(std::string("/dev/").size());  // pts/N
  HANDLE port = P().CreateFileA(("\\\\.\\" + under).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  ASSERT_NE(port, INVALID_HANDLE_VALUE) << P().GetLastError();
  EXPECT_TRUE(P().CloseHandle(port));
}

TEST_F(PosixDevice, CallsOnAClosedHandleFailWithInvalidHandle) {
  ASSERT_TRUE(P().CloseHandle(port));
  HANDLE closed = port;
  port = INVALID_HANDLE_VALUE;
  DWORD n = 0;
  Bytes b(1);
  TTransfer t;
  EXPECT_FALSE(P().WriteFile(closed, b.data(), 1, &n, &t.io));
  EXPECT_EQ(P().GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(P().SetCommState(closed, ProgrammerBlock()));
  EXPECT_EQ(P().GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(P().ClearCommError(INVALID_HANDLE_VALUE, &n, nullptr));
  EXPECT_EQ(P().GetLastError(), ERROR_INVALID_HANDLE);
  // An event handle is not a device.
  EXPECT_FALSE(P().PurgeComm(t.io.hEvent, PURGE_RXCLEAR));
  EXPECT_EQ(P().GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(PosixDevice, CloseHandleWithAWaitPendingCompletesTheWait) {
  ASSERT_TRUE(P().SetCommMask(port, 0x05FF));
  TTransfer wait;
  DWORD mask = 0;
  EXPECT_FALSE(P().WaitCommEvent(port, &mask, &wait.io));
  std::atomic<bool> woke{false};
  std::thread waiter([&] { woke = wait.Done(5000); });
  std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(P().CloseHandle(port));
  port = INVALID_HANDLE_VALUE;
  waiter.join();
  EXPECT_TRUE(woke);
}

TEST_F(PosixDevice, VanishedDeviceFailsTransfersWithoutHangOrSpin) {
  ASSERT_TRUE(P().SetCommMask(port, 0x05FF));
  COMMTIMEOUTS t{0, 0, 0, 0, 0};
  ASSERT_TRUE(P().SetCommTimeouts(port, t));
  Bytes in(10);
  TTransfer read, wait;
  DWORD n = 0, mask = 0;
  EXPECT_FALSE(P().ReadFile(port, in.data(), 10, &n, &read.io));
  EXPECT_FALSE(P().WaitCommEvent(port, &mask, &wait.io));
  pty.Send("last");
  ASSERT_TRUE(wait.Done());
  EXPECT_FALSE(read.Done(20));  // it has the four bytes and waits for six more
  EXPECT_FALSE(P().WaitCommEvent(port, &mask, &wait.io));
  pty.CloseMaster();

  // The pending read hands over what it had, the event wait ends.
  ASSERT_TRUE(read.Done());
  EXPECT_TRUE(P().GetOverlappedResult(port, &read.io, &n, false));
  EXPECT_EQ(n, 4u);
  ASSERT_TRUE(wait.Done());
  EXPECT_FALSE(P().GetOverlappedResult(port, &wait.io, &n, false));
  EXPECT_EQ(P().GetLastError(), ERROR_BAD_COMMAND);

  // Later calls fail at once; a new event wait fails and leaves its event reset.
  Bytes out{'x'};
  TTransfer write;
  EXPECT_FALSE(P().WriteFile(port, out.data(), 1, &n, &write.io));
  EXPECT_EQ(P().GetLastError(), ERROR_BAD_COMMAND);
  EXPECT_FALSE(P().ReadFile(port, in.data(), 10, &n, &read.io));
  EXPECT_EQ(P().GetLastError(), ERROR_BAD_COMMAND);
  EXPECT_FALSE(P().WaitCommEvent(port, &mask, &wait.io));
  EXPECT_EQ(P().GetLastError(), ERROR_BAD_COMMAND);
  EXPECT_FALSE(wait.Done(0));

  // Nothing spins meanwhile, and the port can still be closed.
  const double before = ProcessCpuSeconds();
  std::this_thread::sleep_for(200ms);
  EXPECT_LT(ProcessCpuSeconds() - before, 0.05);
  EXPECT_TRUE(P().PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT));
}

TEST_F(PosixDevice, BytesThatArrivedBeforeTheHangUpCanStillBeTaken) {
  pty.Send("Error");
  ASSERT_TRUE(QueuedBecomes(5));
  pty.CloseMaster();
  EXPECT_EQ(ReadAtOnce(10), (Bytes{'E', 'r', 'r', 'o', 'r'}));
  DWORD errors = 0;
  COMSTAT stat;
  ASSERT_TRUE(Eventually([&] { return !P().ClearCommError(port, &errors, &stat); }));
  EXPECT_EQ(P().GetLastError(), ERROR_BAD_COMMAND);
}

TEST_F(PosixDevice, IdlePortUsesNoProcessorTime) {
  ASSERT_TRUE(P().SetCommMask(port, 0x05FF));
  TTransfer wait;
  DWORD mask = 0;
  EXPECT_FALSE(P().WaitCommEvent(port, &mask, &wait.io));
  const double before = ProcessCpuSeconds();
  std::this_thread::sleep_for(300ms);
  EXPECT_LT(ProcessCpuSeconds() - before, 0.03);
  ASSERT_TRUE(P().SetCommMask(port, 0));
}

TEST(PosixDeviceLifetime, OpenCloseCyclesLeakNoDescriptorOrThread) {
  TPtyPair pty;
  auto cycle = [&] {
    HANDLE port = P().CreateFileA(pty.SlavePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(P().SetCommMask(port, 0x05FF));
    TTransfer wait;
    DWORD mask = 0;
    P().WaitCommEvent(port, &mask, &wait.io);
    ASSERT_TRUE(P().CloseHandle(port));
  };
  cycle();
  const int fds = SettledCount("/proc/self/fd");
  const int tasks = SettledCount("/proc/self/task");
  for (int i = 0; i < 200; ++i) cycle();
  EXPECT_EQ(SettledCount("/proc/self/fd"), fds);
  EXPECT_EQ(SettledCount("/proc/self/task"), tasks);
}

TEST_F(PosixDevice, EventLoopOnAVanishedDeviceSleepsUntilItIsStopped) {
  // The serial layer's event loop: wait for the line event or the stop, take the result,
  // wait again. After a hang-up it must come to rest, not go round.
  ASSERT_TRUE(P().SetCommMask(port, 0x05FF));
  HANDLE stop = P().CreateEventA(true, false);
  std::atomic<int> rounds{0};
  std::thread loop([&] {
    TTransfer wait;
    HANDLE handles[] = {stop, wait.io.hEvent};
    for (;;) {
      DWORD mask = 0, ignored = 0;
      P().WaitCommEvent(port, &mask, &wait.io);
      if (P().WaitForMultipleObjects(2, handles, false, INFINITE) != WAIT_OBJECT_0 + 1) break;
      P().GetOverlappedResult(port, &wait.io, &ignored, false);
      ++rounds;
    }
    P().SetCommMask(port, 0);
  });
  pty.Send("x");
  ASSERT_TRUE(Eventually([&] { return rounds >= 1; }));
  pty.CloseMaster();
  std::this_thread::sleep_for(100ms);
  const int settled = rounds;
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(rounds, settled);
  EXPECT_LE(settled, 3);
  P().SetEvent(stop);
  loop.join();
  P().CloseHandle(stop);
}

TEST_F(PosixDevice, WriteWaitingWhenTheDeviceVanishesFails) {
  ASSERT_TRUE(P().SetCommTimeouts(port, {MAXDWORD, 0, 0, 0, 0}));
  Bytes big(1 << 20, 'w');
  TTransfer write;
  DWORD n = 0;
  ASSERT_FALSE(P().WriteFile(port, big.data(), DWORD(big.size()), &n, &write.io));
  ASSERT_EQ(P().GetLastError(), ERROR_IO_PENDING);
  pty.CloseMaster();
  ASSERT_TRUE(write.Done());
  EXPECT_FALSE(P().GetOverlappedResult(port, &write.io, &n, false));
  EXPECT_EQ(P().GetLastError(), ERROR_BAD_COMMAND);
}
