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

// The worker's events until one of the kinds that end a command; lines that come after it
// wait for the next call.
std::vector<TWorkerEvent> Until(TWorkerProcess& worker, std::vector<std::string>& lines,
                                std::initializer_list<TEventKind> ends) {
  std::vector<TWorkerEvent> events;
  for (int i = 0; i < 3000; ++i) {
    while (!lines.empty()) {
      const auto event = ParseEvent(lines.front());
      if (!event) ADD_FAILURE() << lines.front();
      lines.erase(lines.begin());
      events.push_back(event ? *event : TWorkerEvent{});
      if (std::find(ends.begin(), ends.end(), events.back().Kind) != ends.end()) return events;
    }
    pollfd fd{worker.EventFd(), POLLIN, 0};
    ::poll(&fd, 1, 10);
    if (!worker.Take(lines) && lines.empty()) break;
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
  std::vector<std::string> lines;
  auto events = Until(worker, lines, {ekChip, ekEmpty, ekError});
  ASSERT_EQ(events.back().Kind, ekChip);
  EXPECT_EQ(events.back().Text, "PIC16F630");
  events = Until(worker, lines, {ekPass, ekFail, ekError});
  std::string steps;
  for (const TWorkerEvent& event : events)
    if (event.Kind == ekStep) steps += event.Text + " ";
  EXPECT_EQ(steps, "erase write verify ");
  EXPECT_EQ(events.back().Kind, ekPass) << events.back().Text;
  events = Until(worker, lines, {ekChip, ekEmpty, ekError});
  EXPECT_EQ(events.back().Kind, ekChip) << events.back().Text;
  EXPECT_EQ(events.back().Text, "PIC16F630");
  worker.Stop();
}
