#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "framework/TextBox.h"
#include "link/ByteChannel.h"
#include "link/ChipTable.h"
#include "link/LinkView.h"

// Characters the write job sends of this image: every line as the box keeps it, up to the
// end of its end-of-file record.
int ImageCharacters(const TTextBox& image);

// The host side of the exchange with the programmer: the requests, the receive buffer, the
// completion and error markers, identification with its retries and the unattended write.
class TProgrammerLink {
public:
  TProgrammerLink(ILinkView& view, IByteChannel& channel);

  // Program-wide state, alive for the whole run.
  int LinkMode = 0;          // 2 while a read job runs
  TTextBox buf;              // receive buffer
  int ChipId = 0;            // -1 while unidentified
  bool IdentifyPending = false;
  int IdentifyRetries = 0;   // limited to 10 for the whole run
  bool AutoMode = false;     // started with a HEX file to write unattended
  bool WriteIssued = false;  // a write job has run since start-up
  // The last write job's answer: its "Ready" has not been handled yet; the programmer named
  // locations that failed. An unattended run ends on them.
  bool WriteUnanswered = false;
  bool WriteFailed = false;
  // The four-character addresses the programmer's last error report named, as received.
  std::vector<std::string> FailedAddresses;
  TChip Chip;                // ChipName and SizeCode
  std::string IdentifyAnswer;  // first line of the last identification answer, as received

  static constexpr const char* RecognizedText = " Tolvane II recognized... Device = ";

  void ComPortAfterOpen();          // identification request
  void ComPortRxChar(int Count);    // received bytes
  void ToolButton1Click();          // write job
  void ToolButton2Click();          // read job
  void ToolButton3Click();          // erase job
  void Edit1Change();               // unattended write trigger

private:
  // Whether the marker came with the text received after the first `before` characters of buf.
  bool Arrived(std::string_view marker, std::size_t before) const;
  void FinishRead();
  void ReportErrors();
  void FinishCommand();
  void SetToolButtons(bool enabled);
  void SendImage(const TTextBox& image);
  // Runs a job's sending; when it fails the port selector comes back, so that the user can
  // pick the port again to reconnect.
  template <typename Job>
  void Sending(Job&& job);
  // Sends one piece of a job; sentBefore and total describe the whole job for the message
  // raised when the programmer takes fewer characters than offered.
  void Send(const std::string& piece, int sentBefore, int total);
  [[noreturn]] void RaiseNotAccepted(int sent, int total);

  ILinkView& FView;
  IByteChannel& FChannel;
  std::string FChunk;  // the bytes of the current receive event, kept to reuse its storage
};
