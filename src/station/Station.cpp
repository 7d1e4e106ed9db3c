#include "station/Station.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>

#include "framework/Convert.h"
#include "image/ChipLayout.h"
#include "image/ImageCheck.h"
#include "image/ImageDigest.h"
#include "link/ChipTable.h"
#include "station/SignalPipe.h"
#include "station/Socket.h"
#include "station/Tally.h"
#include "station/WorkerProcess.h"
#include "station/WorkerProtocol.h"

namespace Station {

namespace {

using TClock = std::chrono::steady_clock;

constexpr int PortStatus = 4;  // the command line's status for a port that is missing or gone
constexpr const char* Prompt = "Load the chips and press Enter (q and Enter to stop)";
constexpr const char* AutoWaiting = "Waiting for chips (q and Enter, or Ctrl-C, to stop)";

// Why an identified chip is not programmed, or empty when it may be.
std::string Refusal(const TStationSetup& setup, const TWorkerEvent& chip) {
  if (chip.SizeCode.empty())
    return "the identification " + (chip.IdWord.empty() ? std::string("answer") : chip.IdWord) +
           " names no chip this program knows";
  if (!setup.Expect.empty() && !SameTextAscii(setup.Expect, chip.Text))
    return "the socket holds a " + chip.Text + ", not the expected " + setup.Expect;
  const std::vector<std::string> outside =
      Image::OutsideChip(setup.Image, Image::LayoutOf(TChip{chip.Text, chip.SizeCode}));
  if (outside.empty()) return {};
  std::string text = setup.Image.Name + ": " + std::to_string(outside.size()) +
                     (outside.size() == 1 ? " location lies" : " locations lie") + " outside the " + chip.Text;
  for (std::size_t i = 0; i < outside.size() && i < 10; ++i) text += "\n  " + outside[i];
  return text;
}

class TStation {
public:
  TStation(const TStationSetup& setup, Record::IChipRecord& record, TScreen& screen)
      : FSetup(setup), FRecord(record), FScreen(screen), FDigest(Image::ImageDigest(setup.Image.Bytes)) {}

  int Run();

private:
  void Start();
  void Serve();
  void Finish();

  // One round of waiting: signals, the operator, the workers, due polls, the screen.
  void Wait();
  void TakeSignals();
  void TakeOperator();
  void TakeWorker(TSocket& socket);
  void OnEvent(TSocket& socket, const TWorkerEvent& event);
  void OnIdentified(TSocket& socket, const TWorkerEvent& event);
  void BeginChip(TSocket& socket, const TWorkerEvent& chip);
  void EndChip(TSocket& socket, Record::TChipResult result, const std::string& detail);
  void Lose(TSocket& socket, const std::string& why);
  void Send(TSocket& socket, const std::string& command);

  void StartRound();
  void EndRound();
  void PollDue();
  void StopStarting(const std::string& why);
  void Abort(int signal);

  bool MayStart() const { return !FStopping && (FSetup.Count == 0 || FBegun < FSetup.Count); }
  bool Busy() const;
  bool Live() const;
  void Show();
  void News(const std::string& text, bool lasting = false) { FScreen.Event(text, lasting); }

  const TStationSetup& FSetup;
  Record::IChipRecord& FRecord;
  TScreen& FScreen;
  const std::string FDigest;
  TSignalPipe FSignals;
  std::vector<TSocket> FSockets;
  TTally FTally;
  long FBegun = 0;  // chips whose row was written
  bool FStarting = true;
  std::optional<EStart> FStartFailure;
  bool FStopping = false;
  int FAbort = 0;         // the signal that aborted the run
  bool FInRound = false;  // rounds: every socket was asked for its chip and not all are done
  bool FPrompted = false;
  int FRound = 0;
  std::deque<std::string> FLines;  // the operator's lines not yet taken
  std::string FInput;              // the start of a line still arriving
  bool FInputEnded = false;
  TClock::time_point FStarted;
};

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
  FScreen.Event(FTally.Summary(FStarted == TClock::time_point() ? 0 : seconds), true);
  if (FAbort) return 128 + FAbort;
  return FTally.AllPassed() ? 0 : 1;
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

void TStation::StopStarting(const std::string& why) {
  if (!FStopping) News(why, true);
  FStopping = true;
}

void TStation::Serve() {
  for (;;) {
    if (FAbort || !Live()) return;
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
        if (line == "q") StopStarting("Stopping, as the operator asked.");
        else StartRound();
        continue;
      }
      if (FInputEnded) {
        StopStarting("The operator's input ended: stopping.");
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
      StopStarting("Stopping: the chips in progress finish. Ctrl-C again aborts them.");
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
    if (FInRound) StopStarting("The operator's input ended: stopping after this round.");
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
      if (line == "q") StopStarting("Stopping after the chips in progress, as the operator asked.");
    } else {
      FLines.push_back(line);
    }
  }
}

void TStation::TakeWorker(TSocket& socket) {
  std::vector<std::string> lines;
  const bool open = socket.Worker->Take(lines);
  for (const std::string& line : lines) {
    if (socket.State == ssGone) return;
    const std::optional<TWorkerEvent> event = ParseEvent(line);
    if (!event) {
      Lose(socket, "its worker said something unexpected: " + line);
      return;
    }
    OnEvent(socket, *event);
  }
  if (!open && socket.State != ssGone) Lose(socket, "its worker ended");
}

void TStation::OnEvent(TSocket& socket, const TWorkerEvent& event) {
  switch (event.Kind) {
    case ekHello:
      return;
    case ekChip:
    case ekEmpty:
      if (socket.State == ssIdentifying) return OnIdentified(socket, event);
      break;
    case ekError:
      if (socket.State == ssIdentifying) return OnIdentified(socket, event);
      if (socket.State != ssProgramming) break;
      if (event.Number == PortStatus) return Lose(socket, event.Text);
      return EndChip(socket, Record::crError, event.Text);
    case ekStep:
      if (socket.State != ssProgramming) break;
      socket.Step = event.Text;
      socket.Percent = -1;
      FRecord.Step(*socket.Chip, event.Text);
      News(socket.Port.Port + ": chip " + std::to_string(*socket.Chip) + ": " + event.Text);
      return;
    case ekProgress:
      if (socket.State != ssProgramming) break;
      socket.Percent = event.Number;
      return;
    case ekPass:
    case ekFail:
      if (socket.State != ssProgramming) break;
      return EndChip(socket, event.Kind == ekPass ? Record::crPass : Record::crFail, event.Text);
  }
  Lose(socket, "its worker said " + FormatEvent(event) + " out of turn");
}

void TStation::OnIdentified(TSocket& socket, const TWorkerEvent& event) {
  socket.State = ssIdle;
  socket.NextPoll = TClock::now() + FSetup.Poll;
  socket.Note.clear();
  if (event.Kind == ekError) {
    socket.ChipName.clear();
    if (event.Number == PortStatus || FStarting) {
      if (FStarting && !FStartFailure) FStartFailure.emplace(event.Number, socket.Port.Port + ": " + event.Text);
      return Lose(socket, event.Text);
    }
    // In a round the operator put a chip there: it goes on record as not programmed. Polled,
    // the socket may be between chips: it is shown, and asked again.
    if (FSetup.Auto) {
      socket.Note = event.Text.substr(0, event.Text.find('\n'));
      return;
    }
    if (!MayStart()) return;
    TWorkerEvent unknown = event;
    unknown.Kind = ekChip;
    unknown.Text.clear();
    BeginChip(socket, unknown);
    return EndChip(socket, Record::crError, event.Text);
  }
  if (event.Kind == ekEmpty) {
    socket.ChipName.clear();
    socket.Note = "empty";
    if (FInRound || FStarting) News(socket.Port.Port + ": no chip in the socket");
    if (socket.AwaitEmpty) News(socket.Port.Port + ": the chip is out; ready for the next");
    socket.AwaitEmpty = false;
    return;
  }
  socket.ChipName = event.SizeCode.empty() ? "unknown chip" : event.Text;
  if (FStarting || (FSetup.Auto && socket.AwaitEmpty) || !MayStart()) {
    Send(socket, "release\n");
    socket.Note = FSetup.Auto && socket.AwaitEmpty ? "take the chip out" : "in the socket";
    if (FStarting) News(socket.Port.Port + ": " + socket.ChipName + " in the socket");
    return;
  }
  BeginChip(socket, event);
  const std::string refused = Refusal(FSetup, event);
  if (refused.empty()) {
    socket.State = ssProgramming;
    Send(socket, "program\n");
  } else {
    Send(socket, "release\n");
    EndChip(socket, Record::crFail, refused);
  }
}

void TStation::BeginChip(TSocket& socket, const TWorkerEvent& chip) {
  Record::TChipStart start{socket.Port.Port, socket.Port.Serial, chip.SizeCode.empty() ? std::string() : chip.Text,
                           chip.IdWord, FSetup.Image.Name, FDigest};
  socket.Chip = FRecord.Begin(start);
  socket.ChipStarted = TClock::now();
  socket.Step = "identify";
  socket.Percent = -1;
  ++FBegun;
  News(socket.Port.Port + ": chip " + std::to_string(*socket.Chip) + ": " +
       (start.Chip.empty() ? std::string("no known chip") : start.Chip) +
       (chip.IdWord.empty() ? std::string() : " (ID word " + chip.IdWord + ")"));
  if (FSetup.Count > 0 && FBegun >= FSetup.Count)
    StopStarting("The count of " + std::to_string(FSetup.Count) + " chips is reached: no more chips start.");
}

void TStation::EndChip(TSocket& socket, Record::TChipResult result, const std::string& detail) {
  const Record::TChipKey chip = *socket.Chip;
  FRecord.Finish(chip, result, detail);
  FTally.Add(socket.Port.Port, chip, result, detail);
  const double seconds = std::chrono::duration<double>(TClock::now() - socket.ChipStarted).count();
  socket.Last = ResultLine(chip, result, seconds);
  std::string text = socket.Port.Port + ": " + socket.Last;
  if (!detail.empty() && result != Record::crPass) text += ": " + Indented(detail);
  News(text, result != Record::crPass);
  socket.Chip.reset();
  socket.Step.clear();
  socket.Percent = -1;
  socket.State = ssIdle;
  socket.AwaitEmpty = FSetup.Auto;
  socket.Note = FSetup.Auto ? "take the chip out" : "";
  socket.NextPoll = TClock::now() + FSetup.Poll;
}

void TStation::Lose(TSocket& socket, const std::string& why) {
  if (FStarting && !FStartFailure) FStartFailure.emplace(5, socket.Port.Port + ": " + why);
  if (socket.Chip) EndChip(socket, Record::crError, why);
  socket.State = ssGone;
  socket.Note = "out: " + why.substr(0, why.find('\n'));
  socket.ChipName.clear();
  socket.Worker->Interrupt();
  News(socket.Port.Port + ": out of the run: " + Indented(why), true);
}

void TStation::Send(TSocket& socket, const std::string& command) {
  if (!socket.Worker->Send(command)) Lose(socket, "its worker ended");
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

}  // namespace

int RunStation(const TStationSetup& setup, Record::IChipRecord& record, TScreen& screen) {
  return TStation(setup, record, screen).Run();
}

}  // namespace Station
