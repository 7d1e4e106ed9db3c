#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "PtyClient.h"
#include "Simulator.h"
#include "firmware/FirmwareFiles.h"
#include "hex/HexImage.h"

using namespace Sim;

namespace {

TDeviceOptions Untimed() {
  TDeviceOptions options;
  options.ProgMs = 0;
  return options;
}

std::string SizeCode(const TChipModel& chip) {
  return "0" + std::to_string(chip.ProgramWords / 1024) + "0" + std::to_string(chip.EepromBytes / 64);
}

// The HEX lines of a read answer, with the completion marker checked and cut off.
Hex::THexImage ImageOfReadAnswer(const std::string& answer) {
  EXPECT_TRUE(answer.ends_with("\r\n:00000001FF\r\nReady\r\n"));
  return Hex::ReadHex(answer.substr(0, answer.size() - 7));
}

// Waits for a condition the simulator's thread brings about; the deadline only guards
// against a hang.
template <typename F>
bool Eventually(F condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

TEST(Simulator, WritesEachFirmwareReadsItBackAndErases) {
  for (const auto& file : Firmware::Files) {
    SCOPED_TRACE(file.Name);
    const TChipModel& chip = *FindChip(file.Chip);
    TChipMemory expected(chip);
    expected.Load(Hex::LoadHexFile(file.Path));

    TSimulator simulator(TChipMemory(chip), Untimed(), 0);
    simulator.Start();
    TPtyClient host(simulator.SlavePath());
    EXPECT_EQ(host.Ask("zzzzzzzz\xA4").substr(4), "\r\nReady\r\n");

    EXPECT_EQ(host.Ask(HexFileAsSent(file.Path)), "Ready\r\n");
    EXPECT_EQ(simulator.Memory().Image(), expected.Image());
    EXPECT_EQ(ImageOfReadAnswer(host.Ask("#" + SizeCode(chip))), expected.Image());

    EXPECT_EQ(host.Ask("\xA7"), "Ready\r\n");
    TChipMemory erased = expected;
    erased.Erase();
    EXPECT_EQ(ImageOfReadAnswer(host.Ask("#" + SizeCode(chip))), erased.Image());
    EXPECT_EQ(erased.Image().at(0x10), 0xFF);
  }
}

TEST(Simulator, ReportsFailingLocationsDuringAWrite) {
  const auto& file = Firmware::Files[0];
  TDeviceOptions options = Untimed();
  options.FailAt = {0x0000, 0x0005};
  TSimulator simulator(TChipMemory(*FindChip(file.Chip)), options, 0);
  simulator.Start();
  TPtyClient host(simulator.SlavePath());
  EXPECT_EQ(host.Ask(HexFileAsSent(file.Path)), "0000Error\r\n0005Error\r\nReady\r\n");
}

TEST(Simulator, ServesOneProgramAfterAnotherWithoutStaleAnswers) {
  TSimulator simulator(TChipMemory(*FindChip("PIC16F877")), Untimed(), 0);
  simulator.Start();
  {
    // The first program asks for a long read and leaves while it is being answered.
    TPtyClient first(simulator.SlavePath());
    first.Send("#0804");
    EXPECT_TRUE(first.ReadSome().starts_with(":10000000"));
  }
  ASSERT_TRUE(Eventually([&] { return simulator.HangUps() == 1; }));
  for (int i = 0; i < 3; ++i) {
    TPtyClient next(simulator.SlavePath());
    EXPECT_EQ(next.Ask("zzzzzzzz\xA4"), "09A6\r\nReady\r\n");
  }
}

TEST(Simulator, StopsPromptlyWhileNobodyHasThePortOpen) {
  auto simulator = std::make_unique<TSimulator>(TChipMemory(*FindChip("PIC16F84A")), Untimed(), 0);
  simulator->Start();
  { TPtyClient host(simulator->SlavePath()); }
  simulator.reset();  // joins the thread: a hang here fails the suite by its time-out
  SUCCEED();
}

TEST(Simulator, PacedLineDeliversEverythingInOrder) {
  // At the real line speed and programming times; only the order and completeness count.
  TSimulator simulator(TChipMemory(*FindChip("PIC16F84A")), TDeviceOptions{}, 57600);
  simulator.Start();
  TPtyClient host(simulator.SlavePath());
  const std::uint8_t words[] = {0x05, 0x28, 0x83, 0x16, 0x86, 0x01, 0x83, 0x12};
  const std::string image = Hex::FormatRecord(Hex::rtData, 0, words, sizeof words) +
                            Hex::FormatRecord(Hex::rtEndOfFile, 0, nullptr, 0);
  host.Send("zzzzzzzz\xA4" + image + "#0000");
  const std::string answer = host.ReadUntil("\r\n:00000001FF\r\nReady\r\n");
  ASSERT_TRUE(answer.starts_with("0563\r\nReady\r\nReady\r\n:08400000")) << answer;
  EXPECT_EQ(answer.size(), 13u + 7u + 66u);
  EXPECT_EQ(simulator.Memory().Word(3), 0x1283);
}

TEST(Simulator, LatencyHoldsTheAnswerThenHandsItOverWhole) {
  // As a USB bridge's latency timer: nothing comes before the time is up.
  TSimulator simulator(TChipMemory(*FindChip("PIC16F84A")), Untimed(), 0,
                       std::chrono::milliseconds(300));
  simulator.Start();
  TPtyClient host(simulator.SlavePath());
  host.Send("zzzz\xA4");
  EXPECT_EQ(host.ReadFor(150), "");
  EXPECT_EQ(host.ReadUntil("Ready\r\n"), "0563\r\nReady\r\n");
}

TEST(Simulator, WhatAProgramLeftUnsentNeverReachesTheChip) {
  // A program sends a long image over the paced line and leaves long before it has crossed.
  TSimulator simulator(TChipMemory(*FindChip("PIC16F877")), Untimed(), 57600);
  simulator.Start();
  Hex::THexImage image;  // 11 K characters: the pseudo-terminal takes them all at once
  for (std::uint32_t b = 0; b < 4096; ++b) image[b] = static_cast<std::uint8_t>(b % 7);
  {
    TPtyClient first(simulator.SlavePath());
    EXPECT_EQ(first.Ask("zzzzzzzz\xA4"), "09A6\r\nReady\r\n");
    first.Send(Hex::WriteHex(image, ""));
  }
  ASSERT_TRUE(Eventually([&] { return simulator.HangUps() == 1; }));
  const Hex::THexImage left = simulator.Memory().Image();
  // The next program is answered at once, and nothing more of the image arrives.
  TPtyClient next(simulator.SlavePath());
  EXPECT_EQ(next.Ask("zzzzzzzz\xA4"), "09A6\r\nReady\r\n");
  EXPECT_EQ(next.ReadFor(300), "");
  EXPECT_EQ(simulator.Memory().Image(), left);
  EXPECT_NE(left.at(4095), 4095 % 7);
}
