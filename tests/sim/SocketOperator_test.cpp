// The operator at the simulated socket: chips going in and out, and what leaves with them.
#include <gtest/gtest.h>

#include <filesystem>

#include "PtyClient.h"
#include "SocketOperator.h"
#include "Unit1/TempDir.h"
#include "firmware/FirmwareFiles.h"
#include "hex/HexImage.h"

using namespace Sim;

namespace {

TDeviceOptions EmptyUntimed() {
  TDeviceOptions options;
  options.ProgMs = 0;
  options.EmptySocket = true;
  return options;
}

}  // namespace

TEST(SocketOperator, ChipsGoInAndOutAndEveryOneThatLeavesIsDumped) {
  TTempDir dir;
  const auto& firmware = Firmware::Files[1];  // count877a
  const std::string file = firmware.Path;
  const TChipModel& model = *FindChip(firmware.Chip);
  TChipMemory loaded(model);
  loaded.Load(Hex::LoadHexFile(file));

  TSimulator simulator(TChipMemory(model), EmptyUntimed(), 0);
  simulator.Start();
  TSocketOperator hands(simulator, model, dir.Path());
  TPtyClient host(simulator.SlavePath());

  // An empty socket identifies as "None" and takes nothing.
  EXPECT_EQ(host.Ask("zzzzzzzz\xA4"), "0000\r\nReady\r\n");
  const std::uint8_t word[] = {0x34, 0x12};
  const std::string record = Hex::FormatRecord(Hex::rtData, 0x0100, word, 2) + ":00000001FF";
  EXPECT_EQ(host.Ask(record), "0080Error\r\nReady\r\n");
  EXPECT_EQ(hands.Execute("remove"), "error: the socket is empty");

  EXPECT_EQ(hands.Execute("insert " + file), "inserted PIC16F877A holding " + file);
  EXPECT_EQ(host.Ask("zzzzzzzz\xA4"), "0E28\r\nReady\r\n");
  EXPECT_EQ(host.Ask(record), "Ready\r\n");
  TChipMemory written = loaded;
  written.SetWord(0x80, 0x1234);

  // A chip that cannot be made leaves the socket as it was.
  EXPECT_TRUE(hands.Execute("insert " + dir.File("missing.hex")).starts_with("error: "));
  EXPECT_TRUE(hands.Execute("shake").starts_with("error: "));
  EXPECT_EQ(simulator.Memory().Image(), written.Image());

  EXPECT_EQ(hands.Execute("dump " + dir.File("now.hex")), "dumped to " + dir.File("now.hex"));
  EXPECT_EQ(hands.Execute("remove"), "removed to " + dir.File("chip-0001.hex"));
  EXPECT_EQ(host.Ask("zzzzzzzz\xA4"), "0000\r\nReady\r\n");
  EXPECT_EQ(hands.Execute("insert"), "inserted PIC16F877A (blank)");
  // Into an occupied socket: the blank one leaves first.
  EXPECT_EQ(hands.Execute("insert " + file),
            "inserted PIC16F877A holding " + file + "; the one before went to " +
                dir.File("chip-0002.hex"));
  EXPECT_EQ(hands.Finish(), dir.File("chip-0003.hex"));
  EXPECT_FALSE(simulator.Occupied());

  EXPECT_EQ(Hex::LoadHexFile(dir.File("now.hex")), written.Image());
  EXPECT_EQ(Hex::LoadHexFile(dir.File("chip-0001.hex")), written.Image());
  EXPECT_EQ(Hex::LoadHexFile(dir.File("chip-0002.hex")), TChipMemory(model).Image());
  EXPECT_EQ(Hex::LoadHexFile(dir.File("chip-0003.hex")), loaded.Image());
  // Each chip's programming began with an erase: none here.
  EXPECT_EQ(simulator.Erases(), 0u);
  EXPECT_EQ(host.Ask("\xA7"), "Ready\r\n");
  EXPECT_EQ(simulator.Erases(), 1u);
}
