// tolvane-cli write with a serial number, against the simulated programmer: the chip gets the
// stamped image and is verified against it, and info finds the number in the chip's dump.
#include <gtest/gtest.h>

#include <memory>

#include "ChipMemory.h"
#include "Simulator.h"
#include "Unit1/TempDir.h"
#include "cli/CliRun.h"
#include "firmware/FirmwareFiles.h"
#include "image/ImageCheck.h"
#include "link/ChipTable.h"
#include "serial/Stamp.h"

TEST(CliSerial, WriteStampsTheNumberVerifiesItAndInfoReadsItFromTheDump) {
  TTempDir dir;
  ::setenv("TOLVANE_SIM_DIR", dir.File("ports").c_str(), 1);
  const std::string image = Firmware::Files[1].Path;
  Sim::TDeviceOptions options;
  options.ProgMs = 0;
  Sim::TSimulator sim(Sim::TChipMemory(*Sim::FindChip("PIC16F877A")), options, 0);
  sim.Start();
  const std::vector<std::string> at{"--serial-at", "program:0x0100", "--serial-format", "hex"};
  struct TRan {
    int Status;
    std::string Err;
  };
  const auto cli = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", sim.SlavePath()});
    TCliRun run(args);
    const int status = run.Wait();
    return TRan{status, run.Err};
  };

  // The number may not cover the file's own data unless asked: nothing is sent then.
  const TRan over = cli({"write", image, "--serial-at", "program:0x0004"});
  EXPECT_EQ(over.Status, 3);
  EXPECT_NE(over.Err.find("the image sets this word itself"), std::string::npos) << over.Err;
  EXPECT_EQ(sim.Erases(), 0u);

  std::vector<std::string> write{"write", image, "--serial-start", "0xbeef"};
  write.insert(write.end(), at.begin(), at.end());
  const TRan written = cli(write);
  EXPECT_EQ(written.Status, 0) << written.Err;
  const Image::TChipLayout layout = Image::LayoutOf(ChipNamed("PIC16F877A"));
  Image::TImageFile stamped = Image::LoadImage(image);
  stamped.Bytes = Serial::Stamped(stamped.Bytes, layout, Serial::StampOf(0xBEEF, Serial::MakeLayout("program:0x0100", "hex")), false);
  EXPECT_TRUE(Image::Compare(stamped, sim.Memory().Image(), layout).Holds());
  EXPECT_EQ(sim.Memory().Image().at(0x200), 'B');  // a RETLW 'B' at word 0x0100

  ASSERT_EQ(cli({"read", "-o", dir.File("dump.hex")}).Status, 0);
  std::vector<std::string> info{"info", dir.File("dump.hex"), "--chip", "PIC16F877A"};
  info.insert(info.end(), at.begin(), at.end());
  TCliRun shown(info);
  EXPECT_EQ(shown.Wait(), 0) << shown.Err;
  EXPECT_NE(shown.Out.find("48879 = 0xBEEF"), std::string::npos) << shown.Out;
}
