#pragma once
// tolvane-cli against the simulated programmer: the simulator in this process, the program
// as a child, and what they are checked with.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "ChipMemory.h"
#include "Simulator.h"
#include "Unit1/TempDir.h"
#include "cli/CliRun.h"
#include "firmware/FirmwareFiles.h"
#include "hex/HexImage.h"
#include "image/ImageCheck.h"
#include "link/ChipTable.h"

inline const std::string Blink84a = Firmware::Files[0].Path;
inline const std::string Count877a = Firmware::Files[1].Path;
inline const std::string Toggle630 = Firmware::Files[2].Path;

// A simulated programmer on its own thread; unpaced and without programming time unless
// asked for.
struct TSimRig {
  explicit TSimRig(const char* chip, Sim::TDeviceOptions options = {}, unsigned baud = 0) {
    if (!options.ProgMs) options.ProgMs = 0;
    Sim::TChipMemory memory(*Sim::FindChip(chip));
    Sim = std::make_unique<Sim::TSimulator>(std::move(memory), std::move(options), baud);
    Sim->Start();
  }
  const std::string& Port() const { return Sim->SlavePath(); }
  Hex::THexImage Chip() const { return Sim->Memory().Image(); }
  std::unique_ptr<Sim::TSimulator> Sim;
};

struct TResult {
  int Status;
  std::string Out, Err;
};

inline TResult RunCli(std::vector<std::string> args) {
  TCliRun run(std::move(args));
  const int status = run.Wait();
  return {status, run.Out, run.Err};
}

inline TResult RunOn(const TSimRig& sim, std::vector<std::string> args) {
  args.insert(args.begin(), {"--port", sim.Port()});
  return RunCli(std::move(args));
}

inline Image::TChipLayout Layout(int identification) {
  TChip chip;
  chip.SelectChip(identification);
  return Image::LayoutOf(chip);
}

inline bool Holds(const Hex::THexImage& chip, const std::string& file, int identification) {
  return Image::Compare(Image::LoadImage(file), chip, Layout(identification)).Holds();
}

// Waits for what the simulator's thread brings about; the limit only keeps a fault from
// hanging the suite.
inline bool Eventually(const std::function<bool()>& condition) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A whole PIC16F877A program memory: on a paced line it takes seconds to cross.
inline Sim::TChipMemory FullChip() {
  Sim::TChipMemory full(*Sim::FindChip("PIC16F877A"));
  for (std::uint32_t w = 0; w < 8192; ++w) full.SetWord(w, static_cast<std::uint16_t>(w * 7));
  return full;
}

// Every test's simulators announce themselves in a folder of its own.
class CliTest : public ::testing::Test {
protected:
  void SetUp() override { ::setenv("TOLVANE_SIM_DIR", Dir.File("ports").c_str(), 1); }
  TTempDir Dir;
};
