#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include "CPort/platform/PosixLineSettings.h"
#include "ProgrammerBlock.h"

using namespace ComPlatform;
using namespace ComPlatform::Posix;

namespace {

TLineSettings Make(const DCB& dcb) {
  termios current{};
  current.c_lflag = ICANON | ECHO | ISIG;
  current.c_iflag = ICRNL | IXON;
  current.c_oflag = OPOST | ONLCR;
  TLineSettings s;
  DWORD error = 0;
  EXPECT_TRUE(MakeLineSettings(dcb, current, s, error)) << "error " << error;
  return s;
}

DWORD Refused(const DCB& dcb) {
  termios current{};
  TLineSettings s;
  DWORD error = 0;
  return MakeLineSettings(dcb, current, s, error) ? 0 : error;
}

}  // namespace

TEST(PosixLineSettings, ProgrammerBlockGivesRaw57600EightNoneOneWithHardwareHandshake) {
  const TLineSettings s = Make(ProgrammerBlock());
  const termios& t = s.attributes;
  EXPECT_EQ(s.speed, B57600);
  EXPECT_EQ(cfgetospeed(&t), B57600);
  EXPECT_EQ(cfgetispeed(&t), B57600);
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE(t.c_cflag & CLOCAL);
  EXPECT_TRUE(t.c_cflag & CREAD);
  // Nothing may touch the bytes on their way.
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | INPCK | PARMRK | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cc[VMIN], 1);
  // DTR is held off; RTS belongs to the handshake.
  EXPECT_EQ(s.dropLines, TIOCM_DTR);
  EXPECT_EQ(s.raiseLines, 0);
  EXPECT_FALSE(s.markErrors);
  EXPECT_FALSE(s.discardNull);
}

TEST(PosixLineSettings, CharacterFormats) {
  DCB dcb = ProgrammerBlock();
  dcb.Flags = DCB_fBinary;
  struct {
    BYTE byteSize, parity, stopBits;
    tcflag_t size, parityBits;
    bool twoStops;
  } cases[] = {
      {5, 0, 0, CS5, 0, false},
      {6, 1, 0, CS6, PARENB | PARODD, false},
      {7, 2, 2, CS7, PARENB, true},
      {8, 3, 0, CS8, PARENB | PARODD | CMSPAR, false},
      {8, 4, 1, CS8, PARENB | CMSPAR, true},  // one and a half stop bits go out as two
  };
  for (const auto& c : cases) {
    dcb.ByteSize = c.byteSize;
    dcb.Parity = c.parity;
    dcb.StopBits = c.stopBits;
    const termios t = Make(dcb).attributes;
    SCOPED_TRACE(testing::Message() << int(c.byteSize) << "/" << int(c.parity) << "/"
                                    << int(c.stopBits));
    EXPECT_EQ(t.c_cflag & CSIZE, c.size);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.parityBits);
    EXPECT_EQ(bool(t.c_cflag & CSTOPB), c.twoStops);
  }
}

TEST(PosixLineSettings, RatesOutsideTheTableGoThroughTheCustomRate) {
  DCB dcb = ProgrammerBlock();
  dcb.BaudRate = 31250;
  TLineSettings s = Make(dcb);
  EXPECT_EQ(s.speed, B0);
  EXPECT_EQ(s.customRate, 31250u);
  dcb.BaudRate = 115200;
  s = Make(dcb);
  EXPECT_EQ(s.speed, B115200);
  EXPECT_EQ(StandardSpeed(14400), B0);
  EXPECT_EQ(StandardSpeed(4000000), B4000000);
}

TEST(PosixLineSettings, HandshakeAndControlLines) {
  DCB dcb = ProgrammerBlock();
  // RTS handshake alone also needs the kernel's hardware handshake.
  dcb.Flags = DCB_fBinary | (2u << DCB_fRtsControlShift) | (1u << DCB_fDtrControlShift);
  TLineSettings s = Make(dcb);
  EXPECT_TRUE(s.attributes.c_cflag & CRTSCTS);
  EXPECT_EQ(s.raiseLines, TIOCM_DTR);
  // No handshake: the port holds both lines as it is told.
  dcb.Flags = DCB_fBinary | (1u << DCB_fRtsControlShift);
  s = Make(dcb);
  EXPECT_FALSE(s.attributes.c_cflag & CRTSCTS);
  EXPECT_EQ(s.raiseLines, TIOCM_RTS);
  EXPECT_EQ(s.dropLines, TIOCM_DTR);
  dcb.Flags = DCB_fBinary | (2u << DCB_fDtrControlShift);
  s = Make(dcb);
  EXPECT_EQ(s.raiseLines, TIOCM_DTR);
  EXPECT_EQ(s.dropLines, TIOCM_RTS);
}

TEST(PosixLineSettings, SoftwareFlowUsesTheBlocksCharacters) {
  DCB dcb = ProgrammerBlock();
  dcb.Flags = DCB_fBinary | DCB_fOutX | DCB_fInX;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  TLineSettings s = Make(dcb);
  EXPECT_TRUE(s.attributes.c_iflag & IXON);
  EXPECT_TRUE(s.attributes.c_iflag & IXOFF);
  EXPECT_EQ(s.attributes.c_cc[VSTART], 0x11);
  EXPECT_EQ(s.attributes.c_cc[VSTOP], 0x13);
  dcb.XoffChar = 0x11;
  EXPECT_EQ(Refused(dcb), ERROR_INVALID_PARAMETER);
}

TEST(PosixLineSettings, ParityCheckingMarksErrorsAndReceiveRulesFollowTheBlock) {
  DCB dcb = ProgrammerBlock();
  dcb.Flags = DCB_fBinary | DCB_fParity | DCB_fErrorChar | DCB_fNull;
  dcb.ErrorChar = '?';
  dcb.EvtChar = '\n';
  TLineSettings s = Make(dcb);
  EXPECT_TRUE(s.attributes.c_iflag & INPCK);
  EXPECT_TRUE(s.attributes.c_iflag & PARMRK);
  EXPECT_TRUE(s.markErrors);
  EXPECT_TRUE(s.replaceErrors);
  EXPECT_EQ(s.errorChar, '?');
  EXPECT_TRUE(s.discardNull);
  EXPECT_EQ(s.eventChar, '\n');
}

TEST(PosixLineSettings, ImpossibleBlocksAreRefused) {
  DCB dcb = ProgrammerBlock();
  dcb.BaudRate = 0;
  EXPECT_EQ(Refused(dcb), ERROR_INVALID_PARAMETER);
  for (BYTE size : {0, 4, 9}) {
    dcb = ProgrammerBlock();
    dcb.ByteSize = size;
    EXPECT_EQ(Refused(dcb), ERROR_INVALID_PARAMETER) << int(size);
  }
  dcb = ProgrammerBlock();
  dcb.Parity = 5;
  EXPECT_EQ(Refused(dcb), ERROR_INVALID_PARAMETER);
  dcb = ProgrammerBlock();
  dcb.StopBits = 3;
  EXPECT_EQ(Refused(dcb), ERROR_INVALID_PARAMETER);
}
