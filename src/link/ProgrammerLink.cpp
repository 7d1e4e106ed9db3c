#include "link/ProgrammerLink.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

#include "framework/Exception.h"
#include "framework/TextEncoding.h"
#include "hex/HexRecord.h"

namespace {

constexpr std::string_view ReadyMarker = "Ready";
constexpr std::string_view ErrorMarker = "Error";
// An error marker is preceded by the four-character address of the location that failed.
constexpr std::size_t AddressLength = 4;
// A marker split between two receive events has at most four of its characters in the first.
constexpr std::size_t MarkerOverlap = 4;

const std::string IdentifyPreamble = "zzzz";
const std::string IdentifyCommand = "\xA4";
const std::string EraseCommand = "\xA7";
constexpr int IdentifyLength = 4 + 4 + 1;
constexpr int MaxIdentifyRetries = 10;

constexpr TToolButtonId ToolButtons[] = {TToolButtonId::Write, TToolButtonId::Read,
                                         TToolButtonId::Erase, TToolButtonId::Load,
                                         TToolButtonId::Save,  TToolButtonId::Identify};

// The part of line i that the write job sends: all of it (cut as the box cuts it), up to the
// end-of-file record, which ends the image: what follows it is never sent.
struct TSentLine {
  std::string Text;
  bool Last;
};

TSentLine SentLine(const TTextBox& image, int i) {
  std::string line = image.Line(i);
  const std::optional<std::size_t> end = Hex::EndOfImage(line);
  if (end) line.resize(*end);
  return {std::move(line), end.has_value()};
}

// Characters the write job sends for lines first.. of the image.
int CharactersFrom(const TTextBox& image, int first) {
  int total = 0;
  for (int i = first; i < image.Count(); ++i) {
    const TSentLine line = SentLine(image, i);
    total += static_cast<int>(line.Text.size());
    if (line.Last) break;
  }
  return total;
}

}  // namespace

int ImageCharacters(const TTextBox& image) { return CharactersFrom(image, 0); }

TProgrammerLink::TProgrammerLink(ILinkView& view, IByteChannel& channel)
    : FView(view), FChannel(channel) {}

template <typename Job>
void TProgrammerLink::Sending(Job&& job) {
  try {
    job();
  } catch (...) {
    FView.SetPortSelectorEnabled(true);
    throw;
  }
}

void TProgrammerLink::ComPortAfterOpen() {
  IdentifyPending = true;
  buf.Clear();
  ChipId = -1;
  Sending([this] {
    Send(IdentifyPreamble, 0, IdentifyLength);
    Send(IdentifyPreamble, 4, IdentifyLength);
    Send(IdentifyCommand, 8, IdentifyLength);
  });
}

void TProgrammerLink::ComPortRxChar(int Count) {
  FChannel.ReadText(FChunk, Count);
  const std::size_t before = buf.Text().size();
  buf.AppendText(FChunk);
  if (LinkMode == 2) {
    FView.SetProgressPosition(static_cast<int>(buf.Text().size()));
    if (Arrived(ReadyMarker, before)) FinishRead();
    return;
  }
  if (Arrived(ErrorMarker, before)) ReportErrors();
  if (Arrived(ReadyMarker, before)) FinishCommand();
}

bool TProgrammerLink::Arrived(std::string_view marker, std::size_t before) const {
  // Every marker seen earlier has been acted on and the buffer cleared since, so a new one ends
  // in the new text: that holds the marker's last letter, and the marker starts at most four
  // characters before the new text.
  if (std::find(FChunk.begin(), FChunk.end(), marker.back()) == FChunk.end()) return false;
  const std::size_t from = before > MarkerOverlap ? before - MarkerOverlap : 0;
  return buf.Text().find(marker, from) != std::string::npos;
}

void TProgrammerLink::FinishRead() {
  FView.SetProgressVisible(false);
  // Every line but the last, which holds the completion marker, is a line of the image.
  TTextBox& image = FView.Image();
  const int lines = buf.Count();
  for (int i = 0; i + 1 < lines; ++i) image.Add(buf.Line(i));
  SetToolButtons(true);
  buf.Clear();
  FView.SetStatusPanel(1, " Read-result form " + Chip.ChipName);
  LinkMode = -1;
  FView.SetPortSelectorEnabled(true);
}

void TProgrammerLink::ReportErrors() {
  std::string addresses = "address:";
  FailedAddresses.clear();
  std::string_view rest = buf.Text();
  for (std::size_t at = rest.find(ErrorMarker); at != std::string_view::npos;
       at = rest.find(ErrorMarker)) {
    // With fewer than four characters before the marker the first four are taken instead.
    const std::size_t start = at >= AddressLength ? at - AddressLength : 0;
    addresses += addresses == "address:" ? " " : ", ";
    // The address is whatever four bytes the programmer sent; Latin-1 shows each of them.
    FailedAddresses.emplace_back(rest.substr(start, AddressLength));
    addresses += *ToUtf8(FailedAddresses.back(), TTextEncoding::Latin1);
    rest.remove_prefix(at + ErrorMarker.size());
  }
  WriteFailed = true;
  FView.SetStatusPanel(0, " Error");
  buf.Clear();
  FView.MessageDlg("Program-process faulture on " + addresses, TMsgDlgType::mtError);
  FView.SetStatusPanel(0, " Ready");
  FView.SetProgressVisible(false);
  FView.SetPortSelectorEnabled(true);
}

void TProgrammerLink::FinishCommand() {
  // This Ready answers the write job that is waiting for one.
  WriteUnanswered = false;
  FView.SetStatusPanel(0, " Ready");
  const bool imageEmpty = FView.Image().Empty();
  FView.SetButtonEnabled(TToolButtonId::Write, !imageEmpty);
  FView.SetButtonEnabled(TToolButtonId::Save, !imageEmpty);
  for (TToolButtonId button : {TToolButtonId::Read, TToolButtonId::Erase, TToolButtonId::Load,
                               TToolButtonId::Identify})
    FView.SetButtonEnabled(button, true);

  bool identified = false;
  std::string head;
  if (IdentifyPending) {
    // The programmer answers identification with the upper three hex digits of the ID word.
    // The line end of the answer before can still be on its way when a port is closed and
    // opened again at once, or a command follows a Ready at once: it comes first, then the word.
    std::string_view answer = buf.Text();
    answer.remove_prefix(std::min(answer.find_first_not_of("\r\n"), answer.size()));
    head = answer.substr(0, 3);
    IdentifyAnswer = answer.substr(0, answer.find("\r\n"));
    if (IsHexText(head)) {
      int value = 0;
      std::from_chars(head.data(), head.data() + head.size(), value, 16);
      ChipId = value & 0x3FE;
      Chip.SelectChip(ChipId);
    } else {
      Chip.SelectChip(-1);
    }
    IdentifyPending = false;
    identified = true;
  }
  // "Ready" alone: the programmer did not see the chip yet, so ask again (a few times a run).
  if (identified && head == "Rea" && IdentifyRetries < MaxIdentifyRetries) {
    ComPortAfterOpen();
    ++IdentifyRetries;
  }
  buf.Clear();
  FView.SetProgressVisible(false);
  // May run the unattended write before it returns.
  FView.SetConnectionText(RecognizedText + Chip.ChipName);
  FView.SetPortSelectorEnabled(true);
  if (AutoMode && WriteIssued) FView.RequestEnd();
}

void TProgrammerLink::ToolButton1Click() {
  FView.SetPortSelectorEnabled(false);
  SetToolButtons(false);
  FView.RepaintWindow();
  buf.Clear();
  TTextBox& image = FView.Image();
  const int lines = image.Count();
  FView.SetProgressLabel("Write to PIC16xxx in progress...");
  FView.SetProgressPosition(0);
  FView.SetProgressMax(lines);
  FView.SetProgressVisible(true);
  FView.RepaintProgress();
  WriteFailed = false;
  Sending([&] { SendImage(image); });
  FView.SetProgressPosition(lines);
  WriteIssued = true;
  WriteUnanswered = true;
}

void TProgrammerLink::SendImage(const TTextBox& image) {
  // The programmer takes the HEX text one character at a time, without line breaks.
  const int lines = image.Count();
  int sent = 0;
  std::string piece(1, '\0');
  for (int i = 0; i < lines; ++i) {
    FView.SetProgressPosition(i);
    const TSentLine line = SentLine(image, i);
    for (std::size_t c = 0; c < line.Text.size(); ++c) {
      piece[0] = line.Text[c];
      if (FChannel.WriteText(piece) < 1) {
        const int unsent = line.Last ? static_cast<int>(line.Text.size() - c)
                                     : static_cast<int>(line.Text.size() - c) + CharactersFrom(image, i + 1);
        RaiseNotAccepted(sent, sent + unsent);
      }
      ++sent;
    }
    if (line.Last) break;
  }
}

void TProgrammerLink::ToolButton2Click() {
  FView.SetPortSelectorEnabled(false);
  // Before any chip has been identified there is no size: read the smallest layout.
  const std::string command = "#" + std::string(ReadSizeCode(Chip.SizeCode));
  FView.Image().Clear();
  buf.Clear();
  const int previousMode = LinkMode;
  LinkMode = 2;
  Sending([&] {
    try {
      Send(command, 0, static_cast<int>(command.size()));
    } catch (...) {
      // The programmer never got the request, so no read answer is coming: whatever arrives
      // after a reconnect answers the identification.
      LinkMode = previousMode;
      throw;
    }
  });
  SetToolButtons(false);
  FView.SetProgressMax(ReadAnswerLength(Chip.SizeCode));
  FView.SetProgressPosition(0);
  FView.SetProgressLabel("Read from PIC16xxx in progress...");
  FView.SetProgressVisible(true);
}

void TProgrammerLink::ToolButton3Click() {
  if (FView.MessageDlg("Do you want to erase the PIC?", TMsgDlgType::mtConfirmation) != mrYes)
    return;
  FView.SetPortSelectorEnabled(false);
  Sending([this] { Send(EraseCommand, 0, 1); });
}

void TProgrammerLink::Edit1Change() {
  if (FView.ConnectionText().find(RecognizedText) != std::string::npos && AutoMode &&
      FView.ButtonEnabled(TToolButtonId::Write) && ChipId != -1)
    ToolButton1Click();
}

void TProgrammerLink::SetToolButtons(bool enabled) {
  for (TToolButtonId button : ToolButtons) FView.SetButtonEnabled(button, enabled);
}

void TProgrammerLink::Send(const std::string& piece, int sentBefore, int total) {
  const int sent = FChannel.WriteText(piece);
  if (sent < static_cast<int>(piece.size())) RaiseNotAccepted(sentBefore + std::max(sent, 0), total);
}

void TProgrammerLink::RaiseNotAccepted(int sent, int total) {
  throw Exception("Tolvane II did not accept the data: " + std::to_string(sent) + " of " +
                  std::to_string(total) + " characters sent");
}
