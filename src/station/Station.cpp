#include "station/Station.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "image/ImageDigest.h"
#include "station/StationRun.h"
#include "station/WorkerProcess.h"

namespace Station {

TStation::TStation(const TStationSetup& setup, Record::IChipRecord& record, TScreen& screen)
    : FSetup(setup), FRecord(record), FScreen(screen), FDigest(Image::ImageDigest(setup.Image.Bytes)) {}

int TStation::Run() {
  ::signal(SIGPIPE, SIG_IGN);  // a worker that died is noticed by its output's end
  try {
    Start();
    if (FStartFailure) {
      Finish();
      throw *FStartFailure;
    }
    FStarted = TClock::now();
    if (!FAbort) Serve();
  } catch (const Record::ERecord&) {
    // The record is what the run stands on: the chips in progress are stopped unrecorded
    // (the next run closes their rows as aborted), nothing new starts.
    for (TSocket& socket : FSockets)
      if (socket.Worker) socket.Worker->Interrupt();
    Finish();
    throw;
  }
  Finish();
  const double seconds = std::chrono::duration<double>(TClock::now() - FStarted).count();
  FScreen.Close();
  std::string summary = FTally.Summary(FStarted == TClock::time_point() ? 0 : seconds);
  summary.pop_back();  // the screen ends the line
  FScreen.Event(summary, true);
  if (FAbort) return 128 + FAbort;
  if (!FTally.AllPassed()) return 1;
  return Live() ? 0 : PortStatus;  // every programmer went away
}

void TStation::Start() {
  // Each worker takes the image and at once looks for its programmer and chip, so that a
  // port that is missing or a programmer that does not answer ends the run before it begins.
  const std::string image = "image " + std::to_string(FSetup.ImageText.size()) + " " + FSetup.Image.Name +
                            "\n" + FSetup.ImageText + "identify\n";
  for (const TSocketPort& port : FSetup.Sockets) {
    FSockets.emplace_back(port);
    TSocket& socket = FSockets.back();
    socket.Worker = std::make_unique<TWorkerProcess>(FSetup.WorkerCommand(port.Port));
    socket.State = ssIdentifying;
    socket.Note = "looking for the programmer";
    if (!socket.Worker->Send(image)) Lose(socket, "its worker did not start");
  }
  Show();
  while (!FAbort && std::any_of(FSockets.begin(), FSockets.end(),
                                [](const TSocket& s) { return s.State == ssIdentifying; }))
    Wait();
  FStarting = false;
  for (TSocket& socket : FSockets) socket.NextPoll = TClock::now();
  if (FSetup.Auto && !FStartFailure && !FAbort) News(AutoWaiting);
}

void TStation::NoMoreChips(const std::string& why) {
  if (!FStopping) News(why, true);
  FStopping = true;
}

void TStation::Serve() {
  for (;;) {
    if (FAbort) return;
    if (!Live()) {
      News("No programmer is left: the run ends.", true);
      return;
    }
    if (FStopping && !Busy()) return;
    if (FSetup.Auto) {
      PollDue();
    } else if (!FInRound && !FStopping) {
      if (!FPrompted) {
        FPrompted = true;
        News(Prompt);
        Show();
      }
      if (!FLines.empty()) {
        const std::string line = FLines.front();
        FLines.pop_front();
        if (line == "q") NoMoreChips("Stopping, as the operator asked.");
        else StartRound();
        continue;
      }
      if (FInputEnded) {
        NoMoreChips("The operator's input ended: stopping.");
        continue;
      }
    }
    Wait();
  }
}

void TStation::Finish() {
  for (TSocket& socket : FSockets)
    if (socket.Worker) socket.Worker->EndInput();
  for (TSocket& socket : FSockets)
    if (socket.Worker) socket.Worker->Stop();
}

bool TStation::Busy() const {
  return std::any_of(FSockets.begin(), FSockets.end(), [](const TSocket& s) {
    return s.State == ssIdentifying || s.State == ssProgramming;
  });
}

bool TStation::Live() const {
  return std::any_of(FSockets.begin(), FSockets.end(), [](const TSocket& s) { return s.State != ssGone; });
}

void TStation::Wait() {
  std::vector<pollfd> fds{{FSignals.Fd(), POLLIN, 0}};
  // Operator lines are read at the prompt; a terminal is read all the time, since what is
  // typed there is echoed and moves the screen, and its "q" stops the run after the round.
  const bool wantInput = !FInputEnded && (FSetup.Auto || FSetup.OperatorTerminal || (!FInRound && FLines.empty()));
  fds.push_back({wantInput ? FSetup.OperatorFd : -1, POLLIN, 0});
  for (const TSocket& socket : FSockets)
    fds.push_back({socket.State == ssGone ? -1 : socket.Worker->EventFd(), POLLIN, 0});

  int timeout = FScreen.Draw();
  if (FSetup.Auto && !FStarting && !FStopping)
    for (const TSocket& socket : FSockets)
      if (socket.State == ssIdle) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(socket.NextPoll - TClock::now());
        const int ms = int(std::max<long long>(0, wait.count())) + 1;
        timeout = timeout < 0 ? ms : std::min(timeout, ms);
      }
  if (::poll(fds.data(), fds.size(), timeout) < 0) return;  // EINTR: the signal is on the pipe

  if (fds[0].revents & POLLIN) TakeSignals();
  if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) TakeOperator();
  for (std::size_t i = 0; i < FSockets.size(); ++i)
    if (fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)) TakeWorker(FSockets[i]);
  EndRound();
  Show();
}

void TStation::TakeSignals() {
  for (const int signal : FSignals.Take()) {
    if (FAbort) return;
    if (signal == SIGINT && !FStopping && !FStarting) {
      NoMoreChips("Stopping: the chips in progress finish. Ctrl-C again aborts them.");
      continue;
    }
    Abort(signal);
  }
}

void TStation::Abort(int signal) {
  FAbort = signal;
  FStopping = true;
  const char* name = ::sigabbrev_np(signal);
  const std::string how = signal == SIGINT ? std::string("aborted by the operator")
                                           : "aborted by SIG" + std::string(name ? name : "?");
  for (TSocket& socket : FSockets) {
    if (socket.State == ssGone) continue;
    socket.Worker->Interrupt();
    if (socket.Chip) EndChip(socket, Record::crAborted, how + " during the " + socket.Step);
  }
  News("Aborted.", true);
}

void TStation::TakeOperator() {
  char chunk[512];
  const ssize_t n = ::read(FSetup.OperatorFd, chunk, sizeof chunk);
  if (n <= 0) {
    FInputEnded = true;
    if (FSetup.Auto) return;  // an unattended station runs on without its input
    if (FInRound) NoMoreChips("The operator's input ended: stopping after this round.");
    return;
  }
  FInput.append(chunk, std::size_t(n));
  std::size_t end;
  while ((end = FInput.find('\n')) != std::string::npos) {
    std::string line = FInput.substr(0, end);
    FInput.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (FSetup.OperatorTerminal) FScreen.OperatorLine();
    // Busy, only a stop counts: a key pressed twice must not program the same chips again.
    if (FSetup.Auto || FInRound) {
      if (line == "q") NoMoreChips("Stopping after the chips in progress, as the operator asked.");
    } else {
      FLines.push_back(line);
    }
  }
}

void TStation::StartRound() {
  FInRound = true;
  FPrompted = false;
  ++FRound;
  for (TSocket& socket : FSockets) {
    if (socket.State == ssGone) continue;
    socket.State = ssIdentifying;
    socket.Note = "identifying";
    Send(socket, "identify\n");
  }
}

void TStation::PollDue() {
  const auto now = TClock::now();
  for (TSocket& socket : FSockets) {
    if (socket.State != ssIdle || FStopping || now < socket.NextPoll) continue;
    socket.State = ssIdentifying;
    Send(socket, "identify\n");
  }
}

void TStation::EndRound() {
  if (!FInRound || Busy()) return;
  FInRound = false;
  News("Round " + std::to_string(FRound) + " done; " + FTally.Total());
}

void TStation::Show() {
  std::vector<std::string> block = SocketLines(FSockets);
  block.push_back(FTally.Total());
  if (!FSetup.Auto && !FInRound && !FStopping && !FStarting) block.push_back(std::string(Prompt) + " ");
  else if (FStopping && !FAbort) block.push_back("Stopping...");
  else if (FSetup.Auto) block.push_back(AutoWaiting);
  FScreen.SetBlock(std::move(block));
}

int RunStation(const TStationSetup& setup, Record::IChipRecord& record, TScreen& screen) {
  return TStation(setup, record, screen).Run();
}

}  // namespace Station
