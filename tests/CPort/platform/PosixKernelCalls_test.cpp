// What the backend asks of the tty driver where a pseudo-terminal cannot show it. This
// program's own ioctl stands in for the C library's: it counts the calls, and it gives the
// pseudo-terminal modem lines, which a real line has.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>

#include "CPort/platform/SerialPlatform.h"
#include "ProgrammerBlock.h"
#include "PtyPair.h"

using namespace ComPlatform;

namespace {

std::atomic<bool> FakeLines{false};
std::atomic<int> Lines{0};
std::atomic<int> LineReads{0};
std::atomic<int> OutputDiscards{0};  // made on a descriptor that was still open

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  if (request == TIOCMGET && FakeLines) {
    ++LineReads;
    *static_cast<int*>(argument) = Lines;
    return 0;
  }
  const int result = static_cast<int>(::syscall(SYS_ioctl, fd, request, argument));
  const auto queue = reinterpret_cast<std::intptr_t>(argument);
  if (request == TCFLSH && (queue == TCOFLUSH || queue == TCIOFLUSH) && result == 0)
    ++OutputDiscards;
  return result;
}

namespace {

TSerialPlatform& P() { return NativeSerialPlatform(); }

class PosixKernelCalls : public testing::Test {
protected:
  void SetUp() override {
    FakeLines = true;
    Lines = TIOCM_CTS | TIOCM_DSR;
    port = P().CreateFileA(pty.SlavePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(P().SetCommState(port, ProgrammerBlock()));
  }
  void TearDown() override {
    if (port != INVALID_HANDLE_VALUE) P().CloseHandle(port);
    FakeLines = false;
  }
  TPtyPair pty;
  HANDLE port = INVALID_HANDLE_VALUE;
};

}  // namespace

// On a USB bridge reading the modem lines is a request to the device: about a millisecond,
// seconds on a stalled one.
TEST_F(PosixKernelCalls, ModemLinesAreReadOnlyWhenAskedForOrWatched) {
  ASSERT_TRUE(P().SetCommMask(port, EV_RXCHAR | EV_ERR));
  const int before = LineReads;
  pty.Send("Ready");
  DWORD errors = 0;
  COMSTAT stat;
  // Every received-bytes delivery asks for the count of waiting bytes.
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(P().ClearCommError(port, &errors, &stat));
  EXPECT_EQ(LineReads, before);

  DWORD status = 0;
  ASSERT_TRUE(P().GetCommModemStatus(port, &status));
  EXPECT_EQ(status, DWORD{MS_CTS_ON | MS_DSR_ON});
  EXPECT_EQ(LineReads, before + 1);

  // Watched lines are sampled, and a change ends the event wait.
  ASSERT_TRUE(P().SetCommMask(port, EV_CTS | EV_DSR));
  OVERLAPPED wait;
  wait.hEvent = P().CreateEventA(true, true);
  DWORD mask = 0;
  EXPECT_FALSE(P().WaitCommEvent(port, &mask, &wait));
  Lines = TIOCM_DSR;
  EXPECT_EQ(P().WaitForSingleObject(wait.hEvent, 2000), WAIT_OBJECT_0);
  EXPECT_EQ(mask, DWORD{EV_CTS});
  P().SetCommMask(port, 0);
  P().CloseHandle(wait.hEvent);
}

// The kernel's close waits, up to 30 s, for the driver to send what it holds, which a far
// end holding CTS off never lets go. Closing leaves nothing to wait for, on every road: here
// nobody purged before the close.
TEST_F(PosixKernelCalls, CloseLeavesTheKernelNoOutputToWaitFor) {
  const int before = OutputDiscards;
  ASSERT_TRUE(P().CloseHandle(port));
  port = INVALID_HANDLE_VALUE;
  EXPECT_EQ(OutputDiscards, before + 1);
  const int fd = ::open(pty.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  termios t{};
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_EQ(t.c_cflag & CRTSCTS, tcflag_t{0});  // what a bridge holds itself may go
  ::close(fd);
}
