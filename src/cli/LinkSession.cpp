#include "cli/LinkSession.h"

#include <algorithm>
#include <cstdio>

#include "CPort/EComPort.h"
#include "cli/Failure.h"
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
// The programmer's answer for a chip that answers nothing: every bit of its ID word set.
constexpr int SilentChipId = 0x3FF & 0x3FE;

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

double SecondsUntil(TClock::time_point deadline, TClock::time_point from) {
  return std::chrono::duration<double>(deadline - from).count();
}

// Ends the progress shown, on every way out of a job.
struct TProgressEnd {
  TProgress& Progress;
  ~TProgressEnd() { Progress.End(); }
};

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

void TLinkSession::PortFailed(const EComPort& error, const char* job, const std::string& extent) const {
  throw ECommand(ecPort, FPortName + ": the port failed during " + job + " (" + error.Message() + "); " + extent);
}

bool TLinkSession::Await(const std::function<bool()>& done, TClock::time_point deadline,
                         const char* job, const std::function<std::string()>& extent) {
  // A device that has gone sends nothing more: asked while nothing comes, the port says so.
  return RunUntil(done, deadline, [&] {
    try {
      FPort.PendingInputCount();
    } catch (const EComPort& e) {
      PortFailed(e, job, extent());
    }
  });
}

void TLinkSession::Connect(const TPortChoice& port) {
  FPortName = port.Name;
  FPort.SetPort(port.Name);
  const auto unanswered = [] { return std::string("it had not been answered"); };
  try {
    FPort.OpenPort();  // sends the identification request
  } catch (const EComPort& e) {
    if (!FPort.Connected()) throw OpenFailure(port, e);
    PortFailed(e, "the identification", "its request could not be sent");
  } catch (const ECommand&) {
    throw;
  } catch (const Exception& e) {
    throw ECommand(ecProgrammer, port.Name + ": " + e.Message());
  }
  // A programmer that did not see the chip yet answers "Ready" alone, and the link asks
  // again: each request has its own time.
  for (;;) {
    const int retries = FLink.IdentifyRetries;
    const auto start = TClock::now();
    const auto deadline = Deadline(IdentifyCharacters, 0);
    if (!Await([&] { return !FLink.IdentifyPending || FLink.IdentifyRetries != retries; }, deadline,
               "the identification", unanswered))
      throw ECommand(ecProgrammer, port.Name + ": the programmer did not answer the identification within " +
                                       Seconds(SecondsUntil(deadline, start)));
    if (!FLink.IdentifyPending) break;
  }
  const std::string& answer = FLink.IdentifyAnswer;
  if (FLink.Chip.ChipName == "None" || answer.starts_with("Ready"))
    throw ECommand(ecProgrammer, port.Name + ": no chip in the socket (the programmer answers the identification with " +
                                     (answer.starts_with("Ready") ? std::string("\"Ready\" alone)") : "\"" + answer + "\")"));
  if (FLink.ChipId == SilentChipId)
    throw ECommand(ecProgrammer, port.Name + ": the chip does not answer (ID word \"" + answer + "\")");
  if (FLink.ChipId == -1 || FLink.Chip.ChipName == "Unknown")
    throw ECommand(ecProgrammer, port.Name + ": the identification \"" + answer + "\" names no chip this program knows");
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

std::string TLinkSession::Read(const std::string& label) {
  const auto start = TClock::now();
  const long expected = ReadAnswerLength(FLink.Chip.SizeCode);
  const auto deadline = Deadline(ReadCommandCharacters + expected, 0);
  const auto extent = [&] {
    return std::to_string(FLink.buf.Text().size()) + " of about " + std::to_string(expected) +
           " characters had come";
  };
  TProgressEnd ending{FProgress};
  FProgress.Begin(label);
  bool done = false;
  try {
    FLink.ToolButton2Click();
    done = Await([&] { return FLink.LinkMode != 2; }, deadline, "the read", extent);
  } catch (const EComPort& e) {
    PortFailed(e, "the read", extent());
  }
  if (!done)
    throw ECommand(ecProgrammer, "the programmer did not finish the read within " +
                                     Seconds(SecondsUntil(deadline, start)) + " (" + extent() + ")");
  return FImage.Text();
}

long TLinkSession::LeftThePort() {
  return std::max(0L, FChannel.Sent - static_cast<long>(FPort.PendingOutputCount()));
}

std::vector<std::string> TLinkSession::Write(std::string_view imageText, double programmingSeconds) {
  FImage.LoadFromText(imageText);
  FImageCharacters = ImageCharacters(FImage);
  const auto start = TClock::now();
  const auto deadline = Deadline(FImageCharacters + ReadyCharacters, programmingSeconds);
  FFailures.clear();
  FChannel.WatchForReady();
  FChannel.Sent = 0;
  TProgressEnd ending{FProgress};
  FProgress.Begin("Writing " + FLink.Chip.ChipName);
  FProgress.SetMax(FImageCharacters);
  FWriting = true;
  struct TWritingEnd {
    bool& Writing;
    ~TWritingEnd() { Writing = false; }
  } writingEnd{FWriting};

  // How far the write got, from what has left the port: at most that reached the programmer.
  long reached = 0;
  const auto extent = [&] {
    return reached < FImageCharacters
               ? "at most " + std::to_string(reached) + " of " + std::to_string(FImageCharacters) +
                     " characters of the image reached the programmer; the chip holds part of the image"
               : std::string("the whole image had been sent, but the programmer had not confirmed it");
  };
  bool confirmed = false;
  try {
    FLink.ToolButton1Click();
    // While the programmer takes the rest, the bar follows what leaves the port; asking the
    // port also finds a device that has gone.
    confirmed = RunUntil([&] { return FChannel.ReadySeen(); }, deadline, [&] {
      try {
        FProgress.SetPosition(LeftThePort());
      } catch (const EComPort& e) {
        reached = FChannel.Sent;
        PortFailed(e, "the write", extent());
      }
    });
  } catch (const ECommand& e) {
    if (e.Code() != ecInterrupted) throw;
    reached = FChannel.Sent;
    try {
      reached = LeftThePort();
    } catch (const EComPort&) {
    }
    // Closing drops what the driver still holds, so nothing more reaches the programmer.
    try {
      FPort.ClosePort();
    } catch (const EComPort&) {
    }
    FProgress.End();
    throw ECommand(ecInterrupted, "interrupted: " + extent());
  } catch (const EComPort& e) {
    reached = FChannel.Sent;
    FProgress.End();
    PortFailed(e, "the write", extent());
  }
  if (confirmed) FProgress.SetPosition(FImageCharacters);
  FProgress.End();
  if (!confirmed && FFailures.empty())
    throw ECommand(ecProgrammer, "the programmer did not confirm the write within " +
                                     Seconds(SecondsUntil(deadline, start)));
  return FFailures;
}

void TLinkSession::Erase(double eraseSeconds) {
  const auto start = TClock::now();
  const auto deadline = Deadline(1 + ReadyCharacters, eraseSeconds);
  const auto extent = [] { return std::string("the programmer had not confirmed it"); };
  FChannel.WatchForReady();
  bool confirmed = false;
  try {
    FLink.ToolButton3Click();
    confirmed = Await([&] { return FChannel.ReadySeen(); }, deadline, "the erase", extent);
  } catch (const EComPort& e) {
    PortFailed(e, "the erase", extent());
  }
  if (!confirmed)
    throw ECommand(ecProgrammer, "the programmer did not confirm the erase within " +
                                     Seconds(SecondsUntil(deadline, start)));
}

void TLinkSession::SetProgressMax(int maximum) {
  if (!FWriting) FProgress.SetMax(maximum);
}

void TLinkSession::SetProgressPosition(int position) {
  // The link counts a write's lines as it hands them to the port; the bar shows what has
  // left it.
  FProgress.SetPosition(FWriting ? LeftThePort() : position);
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

int TLinkSession::MessageDlg(const std::string&, TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtConfirmation:
      return mrYes;  // the command itself is the confirmation
    case TMsgDlgType::mtError:
      // Each report names the locations that failed since the last one.
      FFailures.insert(FFailures.end(), FLink.FailedAddresses.begin(), FLink.FailedAddresses.end());
      return mrOk;
    default:
      return mrOk;
  }
}

}  // namespace Cli
