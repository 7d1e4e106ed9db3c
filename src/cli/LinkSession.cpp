#include "cli/LinkSession.h"

#include <cstdio>

#include "CPort/EComPort.h"
#include "cli/Failure.h"
#include "cli/PortChoice.h"
#include "link/ChipTable.h"
#include "link/ProgrammerLine.h"

namespace Cli {

namespace {

constexpr double LineCharactersPerSecond = 5760;  // 57600 bit/s, ten bits a character
// What a job may take beyond its own line and programming time: the USB bridge's latency,
// a busy machine, a programmer that takes a moment to start.
constexpr double MarginFactor = 1.25;
constexpr double MarginSeconds = 3;
constexpr long IdentifyCharacters = 4 + 4 + 1 + 16;  // the request and a short answer
constexpr long ReadyCharacters = 7;                  // "Ready" CR LF
constexpr long ReadCommandCharacters = 5;

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

double SecondsUntil(TClock::time_point deadline, TClock::time_point from) {
  return std::chrono::duration<double>(deadline - from).count();
}

}  // namespace

int TInterruptibleChannel::WriteText(const std::string& text) {
  if (InterruptSignal()) throw ECommand(ecInterrupted, "interrupted");
  const int sent = TComPortChannel::WriteText(text);
  Sent += sent;
  return sent;
}

TLinkSession::TLinkSession(TProgress& progress) : FProgress(progress) {
  ConfigureProgrammerLine(FPort);
  // Only received bytes matter here; the other line events would cost a look at the driver
  // for every character written.
  FPort.SetEvents(TComEvents{evRxChar});
  FPort.OnAfterOpen = [this](TObject*) { FLink.ComPortAfterOpen(); };
  FPort.OnRxChar = [this](TObject*, int count) { FLink.ComPortRxChar(count); };
}

TLinkSession::~TLinkSession() {
  FPort.OnRxChar = nullptr;
  FPort.OnAfterOpen = nullptr;
  try {
    FPort.ClosePort();
  } catch (...) {
    // A port that fails while closing is released when the port object goes.
  }
}

void TLinkSession::Connect(const std::string& port) {
  FPort.SetPort(port);
  try {
    FPort.OpenPort();  // sends the identification request
  } catch (const EComPort& e) {
    if (!FPort.Connected()) throw OpenFailure(port, e);
    throw ECommand(ecProgrammer, port + ": the identification request could not be sent: " + e.Message());
  } catch (const ECommand&) {
    throw;
  } catch (const Exception& e) {
    throw ECommand(ecProgrammer, port + ": " + e.Message());
  }
  // A programmer that did not see the chip yet answers "Ready" alone, and the link asks
  // again: each request has its own time.
  for (;;) {
    const int retries = FLink.IdentifyRetries;
    const auto start = TClock::now();
    const auto deadline = Deadline(IdentifyCharacters, 0);
    if (!RunUntil([&] { return !FLink.IdentifyPending || FLink.IdentifyRetries != retries; }, deadline))
      throw ECommand(ecProgrammer, port + ": the programmer did not answer the identification within " +
                                       Seconds(SecondsUntil(deadline, start)));
    if (!FLink.IdentifyPending) break;
  }
  if (FLink.Chip.ChipName == "None")
    throw ECommand(ecProgrammer, port + ": the programmer finds no chip in its socket (ID word \"" +
                                     FLink.IdentifyAnswer + "\")");
  if (FLink.ChipId == -1 || FLink.Chip.ChipName == "Unknown")
    throw ECommand(ecProgrammer, port + ": the identification \"" + FLink.IdentifyAnswer +
                                     "\" names no chip this program knows");
}

std::string TLinkSession::IdWord() const {
  const std::string& answer = FLink.IdentifyAnswer;
  return answer.size() == 4 && IsHexText(answer) ? answer : std::string();
}

TClock::time_point TLinkSession::Deadline(long lineCharacters, double busySeconds) const {
  const double seconds =
      MarginFactor * (double(lineCharacters) / LineCharactersPerSecond + busySeconds) + MarginSeconds;
  return TClock::now() + std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(seconds));
}

bool TLinkSession::AwaitReady(TClock::time_point deadline) {
  return RunUntil([&] { return FChannel.ReadySeen(); }, deadline);
}

std::string TLinkSession::Read(const std::string& label) {
  const auto start = TClock::now();
  const long expected = ReadAnswerLength(FLink.Chip.SizeCode);
  const auto deadline = Deadline(ReadCommandCharacters + expected, 0);
  FProgress.Begin(label);
  FLink.ToolButton2Click();
  const bool done = RunUntil([&] { return FLink.LinkMode != 2; }, deadline);
  FProgress.End();
  if (!done)
    throw ECommand(ecProgrammer, "the programmer did not finish the read within " +
                                     Seconds(SecondsUntil(deadline, start)) + " (" +
                                     std::to_string(FLink.buf.Text().size()) + " of about " +
                                     std::to_string(expected) + " characters came)");
  return FImage.Text();
}

std::vector<std::string> TLinkSession::Write(std::string_view imageText, double programmingSeconds) {
  FImage.LoadFromText(imageText);
  long characters = 0;
  for (int i = 0; i < FImage.Count(); ++i) characters += static_cast<long>(FImage.Line(i).size());
  const auto start = TClock::now();
  const auto deadline = Deadline(characters + ReadyCharacters, programmingSeconds);
  FFailures.clear();
  FChannel.WatchForReady();
  FChannel.Sent = 0;
  FProgress.Begin("Writing " + FLink.Chip.ChipName);
  bool confirmed = false;
  try {
    FLink.ToolButton1Click();
    confirmed = AwaitReady(deadline);
  } catch (const ECommand& e) {
    if (e.Code() != ecInterrupted) throw;
    // Closing drops what the driver still holds, so nothing more reaches the programmer.
    FProgress.End();
    long sent = FChannel.Sent;
    try {
      sent -= FPort.PendingOutputCount();
    } catch (const EComPort&) {
    }
    FPort.ClosePort();
    const std::string far = sent < characters
                                ? std::to_string(sent) + " of " + std::to_string(characters) +
                                      " characters of the image had been sent"
                                : "the whole image had been sent, but the programmer had not confirmed it";
    throw ECommand(ecInterrupted, "interrupted: " + far + "; the chip holds part of the image at most");
  }
  FProgress.End();
  if (!confirmed && FFailures.empty())
    throw ECommand(ecProgrammer, "the programmer did not confirm the write within " +
                                     Seconds(SecondsUntil(deadline, start)));
  return FFailures;
}

void TLinkSession::Erase(double eraseSeconds) {
  const auto start = TClock::now();
  const auto deadline = Deadline(1 + ReadyCharacters, eraseSeconds);
  FChannel.WatchForReady();
  FLink.ToolButton3Click();
  if (!AwaitReady(deadline))
    throw ECommand(ecProgrammer, "the programmer did not confirm the erase within " +
                                     Seconds(SecondsUntil(deadline, start)));
}

bool TLinkSession::ButtonEnabled(TToolButtonId button) const {
  const auto it = FButtons.find(button);
  return it != FButtons.end() && it->second;
}

void TLinkSession::SetConnectionText(const std::string& text) {
  if (text == FConnection) return;
  FConnection = text;
  FLink.Edit1Change();
}

int TLinkSession::MessageDlg(const std::string& text, TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtConfirmation:
      return mrYes;  // the command itself is the confirmation
    case TMsgDlgType::mtError:
      FFailures.push_back(text);
      return mrOk;
    default:
      return mrOk;
  }
}

}  // namespace Cli
