// A socket's worker, tolvane-cli socket-worker, as the station drives it: the line protocol
// over its pipes, against a simulated programmer at the real line speed.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

#include <fstream>
#include <memory>

#include "ChipMemory.h"
#include "Simulator.h"
#include "firmware/FirmwareFiles.h"
#include "station/WorkerProcess.h"
#include "station/WorkerProtocol.h"

using namespace Station;

namespace {

// The worker's events until one of the kinds that end a command, or none after a long wait.
std::vector<TWorkerEvent> Until(TWorkerProcess& worker, std::initializer_list<TEventKind> ends) {
  std::vector<TWorkerEvent> events;
  std::vector<std::string> lines;
  for (int i = 0; i < 3000; ++i) {
    pollfd fd{worker.EventFd(), POLLIN, 0};
    ::poll(&fd, 1, 10);
    const bool open = worker.Take(lines);
    for (const std::string& line : lines) {
      const auto event = ParseEvent(line);
      if (!event) ADD_FAILURE() << line;
      events.push_back(event ? *event : TWorkerEvent{});
      if (std::find(ends.begin(), ends.end(), events.back().Kind) != ends.end()) return events;
    }
    lines.clear();
    if (!open) break;
  }
  ADD_FAILURE() << "the worker did not end the command";
  return events;
}

}  // namespace

TEST(SocketWorker, ProgramsAChipAndKnowsItAgainRightAfter) {
  ::signal(SIGPIPE, SIG_IGN);
  const auto& firmware = Firmware::Files[2];  // toggle630: a small chip reads back in a second
  Sim::TDeviceOptions options;
  options.ProgMs = 0;
  // At the line's own speed the end of each answer comes after its "Ready".
  Sim::TSimulator sim(Sim::TChipMemory(*Sim::FindChip(firmware.Chip)), options, 57600);
  sim.Start();
  std::ifstream file(firmware.Path, std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

  TWorkerProcess worker({TOLVANE_CLI_PROGRAM, "--port", sim.SlavePath(), "socket-worker"});
  ASSERT_TRUE(worker.Send("image " + std::to_string(image.size()) + " toggle.hex\n" + image +
                          "identify\nprogram\nidentify\n"));
  auto events = Until(worker, {ekChip, ekEmpty, ekError});
  ASSERT_EQ(events.back().Kind, ekChip);
  EXPECT_EQ(events.back().Text, "PIC16F630");
  events = Until(worker, {ekPass, ekFail, ekError});
  std::string steps;
  for (const TWorkerEvent& event : events)
    if (event.Kind == ekStep) steps += event.Text + " ";
  EXPECT_EQ(steps, "erase write verify ");
  EXPECT_EQ(events.back().Kind, ekPass) << events.back().Text;
  events = Until(worker, {ekChip, ekEmpty, ekError});
  EXPECT_EQ(events.back().Kind, ekChip) << events.back().Text;
  EXPECT_EQ(events.back().Text, "PIC16F630");
  worker.Stop();
}
