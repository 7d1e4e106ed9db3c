#include <algorithm>

#include "framework/Convert.h"
#include "image/ChipLayout.h"
#include "image/ImageCheck.h"
#include "link/ChipTable.h"
#include "station/StationRun.h"

namespace Station {

namespace {

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

}  // namespace

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
    if (event.Number == PortStatus || FStarting) return Lose(socket, event.Text, event.Number);
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
    NoMoreChips("The count of " + std::to_string(FSetup.Count) + " chips is reached: no more chips start.");
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

void TStation::Lose(TSocket& socket, const std::string& why, int status) {
  // The worker's messages name the port already.
  const std::string& port = socket.Port.Port;
  const std::string text = why.starts_with(port + ": ") ? why.substr(port.size() + 2) : why;
  if (socket.Chip) EndChip(socket, Record::crError, text);
  socket.State = ssGone;
  socket.Note = "out: " + text.substr(0, text.find('\n'));
  socket.ChipName.clear();
  socket.Worker->Interrupt();
  if (FStarting) {
    // Told once, when the run does not begin.
    const std::string failure = (FStartFailure ? FStartFailure->Message() + "\n" : "") + port + ": " + text;
    FStartFailure.emplace(FStartFailure ? FStartFailure->Code() : status, failure);
    return;
  }
  News(port + ": out of the run: " + Indented(text), true);
}

void TStation::Send(TSocket& socket, const std::string& command) {
  if (!socket.Worker->Send(command)) Lose(socket, "its worker ended");
}

}  // namespace Station
