#include <gtest/gtest.h>

#include <random>

#include "CPort/platform/PtyPair.h"
#include "ProgrammerRig.h"
#include "hex/HexImage.h"

// Devices that vanish, fall silent, babble or flood, seen through the real port and the
// programmer link: the program must not crash, spin or hang, must say what it can, and must
// work again once the port is picked again.

namespace {

// A whole program memory of a PIC16F877 as HEX lines: long enough that a paced line takes
// seconds to carry it.
void LoadFullImage(TTextBox& image) {
  Hex::THexImage hex;
  for (std::uint32_t word = 0; word < 8192; ++word) {
    hex[2 * word] = std::uint8_t(word);
    hex[2 * word + 1] = std::uint8_t((word >> 8) & 0x3F);
  }
  image.SetText(Hex::WriteHex(hex));
}

// After any failure: a fresh device on a newly picked port identifies the chip.
void ExpectRecovery(TProgrammerRig& rig) {
  auto sim = StartSimulator("PIC16F84A");
  rig.PickPort(sim->SlavePath());
  ASSERT_TRUE(rig.RunUntil([&] { return rig.Identified("PIC16F84A"); }));
  EXPECT_TRUE(rig.View.ButtonEnabled(TToolButtonId::Read));
  EXPECT_TRUE(rig.View.PortSelectorEnabled);
  rig.Port.ClosePort();
}

void ExpectCalm(TProgrammerRig& rig) {
  EXPECT_LT(CpuSecondsWhileIdle(300), IdleCpuLimit);
  EXPECT_LT(rig.Channel.LongestWriteMs, MainThreadBoundMs);
  EXPECT_LT(rig.LongestDeliveryMs, MainThreadBoundMs);
}

}  // namespace

TEST(DeviceFault, WholeExchangeWritesReadsBackAndErases) {
  TProgrammerRig rig;
  auto sim = StartSimulator("PIC16F877");
  rig.PickPort(sim->SlavePath());
  ASSERT_TRUE(rig.RunUntil([&] { return rig.Identified("PIC16F877"); }));

  LoadFullImage(rig.View.Memo);
  const std::string written = rig.View.Memo.Text();
  rig.View.Panels[0].clear();
  rig.Handle([&] { rig.Link.ToolButton1Click(); });
  ASSERT_TRUE(rig.CommandDone());
  EXPECT_TRUE(rig.View.Messages.empty());

  rig.Handle([&] { rig.Link.ToolButton2Click(); });
  ASSERT_TRUE(rig.RunUntil([&] { return rig.Link.LinkMode == -1; }));
  // The read gives the whole chip; its program memory is what was written.
  const Hex::THexImage back = Hex::ReadHex(rig.View.Memo.Text());
  const Hex::THexImage sent = Hex::ReadHex(written);
  for (const auto& [address, value] : sent) ASSERT_EQ(back.at(address), value) << address;
  EXPECT_TRUE(rig.Shown.empty());
}

TEST(DeviceFault, VanishingWhileIdleIsQuietAndPickingThePortAgainRecovers) {
  TProgrammerRig rig;
  auto sim = StartSimulator("PIC16F877");
  rig.PickPort(sim->SlavePath());
  ASSERT_TRUE(rig.RunUntil([&] { return rig.Identified("PIC16F877"); }));
  sim.reset();  // the cable is pulled
  rig.RunFor(200);
  EXPECT_TRUE(rig.Shown.empty());
  EXPECT_TRUE(rig.View.Messages.empty());
  ExpectCalm(rig);

  // A command on the vanished device fails with the port's message, shown to the user.
  rig.Handle([&] { rig.Link.ToolButton3Click(); });
  ASSERT_EQ(rig.Shown.size(), 1u);
  EXPECT_EQ(rig.Shown[0].rfind("WriteFile function failed (win error code: ", 0), 0u) << rig.Shown[0];
  ExpectRecovery(rig);
}

TEST(DeviceFault, VanishingDuringAWriteJobEndsItWithAMessage) {
  TProgrammerRig rig;
  Sim::TDeviceOptions paced;
  auto sim = StartSimulator("PIC16F877", paced, 57600);
  rig.PickPort(sim->SlavePath());
  ASSERT_TRUE(rig.RunUntil([&] { return rig.Identified("PIC16F877"); }));
  LoadFullImage(rig.View.Memo);

  // The device goes while the main thread is inside the write job.
  std::thread puller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    sim.reset();
  });
  const auto start = Clock::now();
  rig.Handle([&] { rig.Link.ToolButton1Click(); });
  const int jobMs = ElapsedMs(start);
  puller.join();

  ASSERT_EQ(rig.Shown.size(), 1u);
  EXPECT_EQ(rig.Shown[0].rfind("WriteFile function failed (win error code: ", 0), 0u) << rig.Shown[0];
  EXPECT_LT(rig.View.ProgressPosition, rig.View.Memo.Count());  // it did not run to its end
  EXPECT_LT(jobMs, 400 + MainThreadBoundMs);
  rig.RunFor(100);
  ExpectCalm(rig);
  ExpectRecovery(rig);
}

TEST(DeviceFault, VanishingDuringAReadJobLeavesTheJobWaitingUntilThePortIsPickedAgain) {
  TProgrammerRig rig;
  auto sim = StartSimulator("PIC16F877", {}, 57600);
  rig.PickPort(sim->SlavePath());
  ASSERT_TRUE(rig.RunUntil([&] { return rig.Identified("PIC16F877"); }));
  rig.BytesReported = 0;
  rig.Handle([&] { rig.Link.ToolButton2Click(); });
  ASSERT_TRUE(rig.RunUntil([&] { return rig.Link.buf.Text().size() > 2000; }));
  sim.reset();
  rig.RunFor(200);

  // The read has no time-out: it stays in its state, and the bytes that came are kept.
  EXPECT_EQ(rig.Link.LinkMode, 2);
  EXPECT_TRUE(rig.View.AllButtons(false));
  EXPECT_EQ(rig.View.ProgressPosition, int(rig.Link.buf.Text().size()));
  EXPECT_EQ(rig.BytesReported, (long long)rig.Link.buf.Text().size());
  EXPECT_TRUE(rig.Shown.empty());
  ExpectCalm(rig);

  // On a new device the first completed answer ends the waiting read, then the chip is
  // identified again.
  auto next = StartSimulator("PIC16F84A");
  rig.PickPort(next->SlavePath());
  ASSERT_TRUE(rig.RunUntil([&] { return rig.Link.LinkMode == -1; }));
  EXPECT_TRUE(rig.View.AllButtons(true));
  rig.PickPort(next->SlavePath());
  ASSERT_TRUE(rig.RunUntil([&] { return rig.Identified("PIC16F84A"); }));
  EXPECT_TRUE(rig.Shown.empty());
}

TEST(DeviceFault, VanishingDuringIdentificationLeavesTheChipUnknown) {
  TProgrammerRig rig;
  TPtyPair device;
  rig.PickPort(device.SlavePath());
  const auto request = device.Receive(9);
  EXPECT_EQ(std::string(request.begin(), request.end()), "zzzzzzzz\xA4");
  device.Send("05");  // half an answer
  ASSERT_TRUE(rig.RunUntil([&] { return rig.Link.buf.Text() == "05"; }));
  device.CloseMaster();
  rig.RunFor(200);

  EXPECT_TRUE(rig.Link.IdentifyPending);
  EXPECT_EQ(rig.Link.ChipId, -1);
  EXPECT_TRUE(rig.Shown.empty());
  ExpectCalm(rig);
  ExpectRecovery(rig);
}

TEST(DeviceFault, SilentDeviceTakesCommandsAndNeverAnswers) {
  TProgrammerRig rig;
  Sim::TDeviceOptions silent;
  silent.Silent = true;
  auto sim = StartSimulator("PIC16F877", silent);
  rig.PickPort(sim->SlavePath());
  rig.RunFor(300);
  EXPECT_TRUE(rig.Link.IdentifyPending);
  EXPECT_EQ(rig.Link.ChipId, -1);
  EXPECT_EQ(rig.BytesReported, 0);

  // Commands still go out without error; nothing comes back, nothing is shown.
  rig.View.Memo.SetText(":00000001FF\r\n");
  rig.Handle([&] { rig.Link.ToolButton1Click(); });
  rig.Handle([&] { rig.Link.ToolButton3Click(); });
  rig.RunFor(200);
  EXPECT_TRUE(rig.Shown.empty());
  EXPECT_TRUE(rig.Link.IdentifyPending);
  ExpectCalm(rig);
  sim.reset();
  ExpectRecovery(rig);
}

TEST(DeviceFault, GarbageWithoutReadyIsKeptWhole) {
  TProgrammerRig rig;
  TPtyPair device;
  rig.PickPort(device.SlavePath());
  device.Receive(9);

  // Every byte value but the last letters of the markers, so neither marker can form.
  std::mt19937 random(7);
  std::string garbage(64 * 1024, '\0');
  for (char& c : garbage) {
    do c = char(random()); while (c == 'y' || c == 'r');
  }
  // Sent from beside the main thread: the port takes no more than its buffer holds until
  // the main thread has handled what came.
  std::thread sender([&] { device.Send(garbage); });
  const bool all = rig.RunUntil([&] { return rig.Link.buf.Text().size() >= garbage.size(); });
  sender.join();
  ASSERT_TRUE(all);
  EXPECT_EQ(rig.Link.buf.Text(), garbage);
  EXPECT_TRUE(rig.Link.IdentifyPending);
  EXPECT_TRUE(rig.View.Messages.empty());
  ExpectCalm(rig);

  // A late completion marker ends the identification with an unknown chip.
  device.Send("Ready\r\n");
  ASSERT_TRUE(rig.RunUntil([&] { return !rig.Link.IdentifyPending; }));
  EXPECT_EQ(rig.Link.ChipId, -1);
  EXPECT_EQ(rig.View.Connection, std::string(TProgrammerLink::RecognizedText) + "Unknown");
}

TEST(DeviceFault, FloodIsTakenWithoutStallingTheMainThread) {
  TProgrammerRig rig;
  TPtyPair device;
  rig.PickPort(device.SlavePath());
  device.Receive(9);

  constexpr std::size_t FloodBytes = 4 << 20;
  std::thread flood([&] {
    const std::string block(4096, 'x');
    for (std::size_t sent = 0; sent < FloodBytes; sent += block.size()) device.Send(block);
    device.Send("Ready\r\n");  // an answer after the flood is still understood
  });
  const bool done = rig.RunUntil([&] { return !rig.Link.IdentifyPending; }, 60000);
  flood.join();
  ASSERT_TRUE(done);
  EXPECT_EQ(rig.BytesReported, (long long)FloodBytes + 7);
  EXPECT_LT(rig.LongestDeliveryMs, MainThreadBoundMs);
  EXPECT_TRUE(rig.Shown.empty());
  ExpectCalm(rig);
}

TEST(DeviceFault, CyclesOfOpenTransferVanishAndReopenLeakNothing) {
  TProgrammerRig rig;
  int cycles = 0;
  auto cycle = [&] {
    auto sim = StartSimulator("PIC16F84A");
    rig.View.Connection.clear();
    rig.PickPort(sim->SlavePath());
    if (!rig.RunUntil([&] { return rig.Identified("PIC16F84A"); })) return false;
    sim.reset();
    ++cycles;
    return true;
  };
  ASSERT_TRUE(cycle());
  rig.Port.ClosePort();
  const int fds = SettledCount("/proc/self/fd");
  const int tasks = SettledCount("/proc/self/task");
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(cycle()) << "cycle " << i;
  rig.Port.ClosePort();
  EXPECT_EQ(cycles, 201);
  EXPECT_EQ(SettledCount("/proc/self/fd"), fds);
  EXPECT_EQ(SettledCount("/proc/self/task"), tasks);
  EXPECT_TRUE(rig.Shown.empty());
}
