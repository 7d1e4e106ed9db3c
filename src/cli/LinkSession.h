#pragma once
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "CPort/ComPort.h"
#include "cli/MainLoop.h"
#include "cli/PortChoice.h"
#include "cli/Progress.h"
#include "framework/TextBox.h"
#include "link/ComPortChannel.h"
#include "link/LinkView.h"
#include "link/ProgrammerLink.h"

class EComPort;

namespace Cli {

// The port as the link uses it; a write stops at the next character once the program is
// interrupted.
class TInterruptibleChannel : public TComPortChannel {
public:
  using TComPortChannel::TComPortChannel;
  int WriteText(const std::string& text) override;
  long Sent = 0;  // characters the port took
};

// The programmer link without a window: the port set up as the window sets it up, and the
// link's own jobs run one at a time on this thread, each awaited with a time limit that
// follows from its size: the line time at 57600 bit/s and the chip's programming time, with
// a margin. It answers the link's questions as the command line means them: the erase
// command is its own confirmation, and the programmer's error reports are collected.
// A port that fails under a job (the programmer unplugged) ends it at once: ECommand(ecPort)
// naming the port and how far the job got.
class TLinkSession : public ILinkView {
public:
  explicit TLinkSession(TProgress& progress);
  ~TLinkSession() override;
  TLinkSession(const TLinkSession&) = delete;
  TLinkSession& operator=(const TLinkSession&) = delete;

  // Opens the port and waits for the chip's identification. Throws ECommand: ecPort when the
  // port does not open, ecProgrammer when no known chip is identified in time.
  void Connect(const TPortChoice& port);
  const TChip& Chip() const { return FLink.Chip; }
  // The identification word as the programmer gave it ("0E28"), or empty.
  std::string IdWord() const;

  // Reads the chip; returns the answer's HEX text, lines ended by CR LF.
  std::string Read(const std::string& label);
  // Sends the image as the window's Write does and waits for the programmer's "Ready";
  // returns the four-character addresses of the locations the programmer could not program.
  // Interrupted, what the port has not sent yet is dropped and the port released at once.
  std::vector<std::string> Write(std::string_view imageText, double programmingSeconds);
  void Erase(double eraseSeconds);

  // ILinkView
  void SetButtonEnabled(TToolButtonId button, bool enabled) override { FButtons[button] = enabled; }
  bool ButtonEnabled(TToolButtonId button) const override;
  void SetStatusPanel(int, const std::string&) override {}
  void SetProgressVisible(bool) override {}
  void SetProgressLabel(const std::string&) override {}
  void SetProgressMax(int maximum) override;
  void SetProgressPosition(int position) override;
  std::string ConnectionText() const override { return FConnection; }
  void SetConnectionText(const std::string& text) override;
  void SetPortSelectorEnabled(bool) override {}
  TTextBox& Image() override { return FImage; }
  int MessageDlg(const std::string& text, TMsgDlgType type) override;
  void RepaintWindow() override {}
  void RepaintProgress() override {}
  void RequestEnd() override {}

private:
  // The limit of a job from now: the characters that cross the line and the time the chip
  // spends programming.
  TClock::time_point Deadline(long lineCharacters, double busySeconds) const;
  // Runs the port's deliveries until done() holds (true) or the deadline passes (false).
  // While nothing comes, the port is asked whether it still works; a failure ends the job
  // with what far() says of it.
  bool Await(const std::function<bool()>& done, TClock::time_point deadline, const char* job,
             const std::function<std::string()>& extent);
  // ECommand(ecPort): "PORT: the port failed during JOB (ERROR); EXTENT".
  [[noreturn]] void PortFailed(const EComPort& error, const char* job, const std::string& extent) const;
  // Characters of the image that have left the port: those it took, less those its driver
  // still holds. An upper bound of what reached the programmer.
  long LeftThePort();

  TProgress& FProgress;
  TComPort FPort{nullptr};
  TInterruptibleChannel FChannel{FPort};
  TProgrammerLink FLink{*this, FChannel};
  std::string FPortName;
  TTextBox FImage;
  std::map<TToolButtonId, bool> FButtons;
  std::string FConnection;
  std::vector<std::string> FFailures;  // addresses the programmer reported in the current job
  bool FWriting = false;  // the write's progress counts characters, not the link's lines
  long FImageCharacters = 0;
};

}  // namespace Cli
