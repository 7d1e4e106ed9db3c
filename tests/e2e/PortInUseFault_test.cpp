#include <gtest/gtest.h>

#include "ProgrammerRig.h"
#include "hex/HexImage.h"

// A second program on the same port: its opening fails as "in use", and the first program's
// exchange with the device goes on untouched.
TEST(PortInUse, SecondOpenerIsRefusedAndNeitherLosesData) {
  auto sim = StartSimulator("PIC16F84A");
  TProgrammerRig first, second;
  first.PickPort(sim->SlavePath());
  ASSERT_TRUE(first.RunUntil([&] { return first.Identified("PIC16F84A"); }));

  second.PickPort(sim->SlavePath());
  ASSERT_EQ(second.Shown.size(), 1u);
  EXPECT_EQ(second.Shown[0], "Unable to open com port (win error code: 5)");
  EXPECT_FALSE(second.Port.Connected());
  try {
    second.Port.OpenPort();
    FAIL() << "a second opener was let in";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 1);
    EXPECT_EQ(e.WinErrorCode(), 5);
  }

  // The refused opener sent nothing: the first one reads the whole chip, answer intact.
  first.Handle([&] { first.Link.ToolButton2Click(); });
  ASSERT_TRUE(first.RunUntil([&] { return first.Link.LinkMode == -1; }));
  const Hex::THexImage read = Hex::ReadHex(first.View.Memo.Text());
  const std::string& size = first.Link.Chip.SizeCode;
  EXPECT_EQ(read, sim->Memory().ReadOut(unsigned(size[1] - '0') * 1024, unsigned(size[3] - '0') * 64));
  EXPECT_EQ(second.BytesReported, 0);
  EXPECT_TRUE(first.Shown.empty());

  // Once the first lets go, the second gets the port and the device answers it in full.
  first.Port.ClosePort();
  second.PickPort(sim->SlavePath());
  ASSERT_TRUE(second.RunUntil([&] { return second.Identified("PIC16F84A"); }));
  EXPECT_EQ(second.Shown.size(), 1u);
}
