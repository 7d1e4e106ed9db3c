// The programmer link's receive handling fed arbitrary answers in arbitrary pieces, in each
// state a job leaves it in. A plain reading of the rules runs beside it; the two must agree on
// everything the user sees and everything sent to the programmer. Both sides and the
// comparison stay linear in the input's length, so that long inputs cost no more per byte than
// short ones.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "framework/TextEncoding.h"
#include "link/ChipTable.h"
#include "link/LinkFakes.h"
#include "link/ProgrammerLink.h"

namespace {

class TPlainLink {
public:
  TFakeView View;
  TFakeChannel Channel;
  int LinkMode = 0;
  std::string buf;
  int ChipId = 0;
  bool IdentifyPending = false;
  int IdentifyRetries = 0;
  bool AutoMode = false;
  bool WriteIssued = false;
  TChip Chip;

  void AfterOpen() {
    IdentifyPending = true;
    buf.clear();
    ChipId = -1;
    Channel.WriteText("zzzz");
    Channel.WriteText("zzzz");
    Channel.WriteText("\xA4");
  }
  void StartRead() {
    View.SetPortSelectorEnabled(false);
    View.Memo.Clear();
    buf.clear();
    LinkMode = 2;
    SetButtons(false);
  }
  void WriteJob() {
    View.SetPortSelectorEnabled(false);
    SetButtons(false);
    buf.clear();
    for (int i = 0; i < View.Memo.Count(); ++i) {
      View.SetProgressPosition(i);
      for (char c : View.Memo.Line(i)) Channel.WriteText(std::string(1, c));
    }
    View.SetProgressPosition(View.Memo.Count());
    WriteIssued = true;
  }

  void Receive(const std::string& bytes) {
    // Every marker this reading acts on clears the buffer, so a new one ends in the new bytes.
    const std::size_t from = buf.size() >= 4 ? buf.size() - 4 : 0;
    buf += bytes;
    const bool ready = buf.find("Ready", from) != std::string::npos;
    const bool error = buf.find("Error", from) != std::string::npos;
    if (LinkMode == 2) {
      View.SetProgressPosition(int(buf.size()));
      if (ready) {
        View.SetProgressVisible(false);
        const std::vector<std::string> lines = Lines(buf);
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) View.Memo.Add(lines[i]);
        SetButtons(true);
        buf.clear();
        View.SetStatusPanel(1, " Read-result form " + Chip.ChipName);
        LinkMode = -1;
        View.SetPortSelectorEnabled(true);
      }
      return;
    }
    if (error) {
      std::string list = "address:";
      // Each marker after the previous one; the four bytes before it (or the first four).
      for (std::size_t start = 0, at; (at = buf.find("Error", start)) != std::string::npos;
           start = at + 5) {
        list += list == "address:" ? " " : ", ";
        // The address bytes are shown as Latin-1.
        const std::size_t address = at - start >= 4 ? at - 4 : start;
        list += *ToUtf8(std::string_view(buf).substr(address, 4), TTextEncoding::Latin1);
      }
      View.SetStatusPanel(0, " Error");
      buf.clear();
      View.MessageDlg("Program-process faulture on " + list, TMsgDlgType::mtError);
      View.SetStatusPanel(0, " Ready");
      View.SetProgressVisible(false);
      View.SetPortSelectorEnabled(true);
    }
    if (ready && !error) {
      View.SetStatusPanel(0, " Ready");
      const bool empty = View.Memo.Empty();
      View.SetButtonEnabled(TToolButtonId::Write, !empty);
      View.SetButtonEnabled(TToolButtonId::Save, !empty);
      for (auto b : {TToolButtonId::Read, TToolButtonId::Erase, TToolButtonId::Load,
                     TToolButtonId::Identify})
        View.SetButtonEnabled(b, true);
      std::string head;
      bool identified = false;
      if (IdentifyPending) {
        // Line ends still on their way from the answer before come first.
        std::size_t start = 0;
        while (start < buf.size() && (buf[start] == '\r' || buf[start] == '\n')) ++start;
        head = buf.substr(start, 3);
        if (IsHexText(head)) {
          ChipId = int(std::strtol(head.c_str(), nullptr, 16)) & 0x3FE;
          Chip.SelectChip(ChipId);
        } else {
          Chip.SelectChip(-1);
        }
        IdentifyPending = false;
        identified = true;
      }
      if (identified && head == "Rea" && IdentifyRetries < 10) {
        AfterOpen();
        ++IdentifyRetries;
      }
      buf.clear();
      View.SetProgressVisible(false);
      const std::string line = std::string(TProgrammerLink::RecognizedText) + Chip.ChipName;
      if (line != View.Connection) {
        View.Connection = line;
        if (AutoMode && View.ButtonEnabled(TToolButtonId::Write) && ChipId != -1) WriteJob();
      }
      View.SetPortSelectorEnabled(true);
      if (AutoMode && WriteIssued) View.RequestEnd();
    }
  }

private:
  void SetButtons(bool on) {
    for (auto b : {TToolButtonId::Write, TToolButtonId::Read, TToolButtonId::Erase,
                   TToolButtonId::Load, TToolButtonId::Save, TToolButtonId::Identify})
      View.SetButtonEnabled(b, on);
  }
  // The lines of a text split at CR LF, each cut to a text box line's length; a final CR LF
  // starts no further line.
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
      std::size_t end = text.find("\r\n", from);
      if (end == std::string::npos) end = text.size();
      lines.push_back(text.substr(from, std::min<std::size_t>(end - from, TTextBox::MaxLineLength)));
      from = end + 2;
    }
    return lines;
  }
};

// Names the first thing the two disagree on after a piece, or gives nullptr. Texts that only
// grow are compared where they grew; the whole of every text is compared at the end.
class TComparison {
public:
  const char* AfterPiece(const TLinkRig& rig, const TPlainLink& plain, std::size_t piece) {
    const TProgrammerLink& l = rig.Link;
    const TFakeView& a = rig.View;
    const TFakeView& b = plain.View;
    // The same buttons set alike agree at once; a button never set counts as off.
    if (a.Buttons != b.Buttons)
      for (auto id : {TToolButtonId::Write, TToolButtonId::Read, TToolButtonId::Erase,
                      TToolButtonId::Load, TToolButtonId::Save, TToolButtonId::Identify})
        if (a.ButtonEnabled(id) != b.ButtonEnabled(id)) return "buttons";
    if (l.LinkMode != plain.LinkMode) return "LinkMode";
    // Both buffers are cleared or take the piece; the rest was compared before.
    const std::string& buf = l.buf.Text();
    if (buf.size() != plain.buf.size() ||
        buf.compare(buf.size() - std::min(piece, buf.size()), piece,
                    plain.buf, plain.buf.size() - std::min(piece, plain.buf.size())) != 0)
      return "buf";
    if (l.ChipId != plain.ChipId || l.Chip.ChipName != plain.Chip.ChipName) return "chip";
    if (l.IdentifyPending != plain.IdentifyPending || l.IdentifyRetries != plain.IdentifyRetries)
      return "identification";
    if (l.WriteIssued != plain.WriteIssued) return "WriteIssued";
    if (a.Memo.Text().size() != b.Memo.Text().size()) return "image";
    if (a.Messages.size() != b.Messages.size()) return "messages";
    for (; FMessages < a.Messages.size(); ++FMessages)
      if (a.Messages[FMessages] != b.Messages[FMessages]) return "messages";
    if (a.Panels[0] != b.Panels[0] || a.Panels[1] != b.Panels[1]) return "status panels";
    if (a.Connection != b.Connection) return "connection line";
    if (a.PortSelectorEnabled != b.PortSelectorEnabled) return "port selector";
    if (a.ProgressPosition != b.ProgressPosition) return "progress";
    if (a.EndRequests != b.EndRequests) return "end requests";
    if (rig.Channel.Writes.size() != FWrites || plain.Channel.Writes.size() != FPlainWrites) {
      FWrites = rig.Channel.Writes.size();
      FPlainWrites = plain.Channel.Writes.size();
      if (rig.Channel.AllWritten() != plain.Channel.AllWritten()) return "bytes sent";
    }
    return nullptr;
  }
  static const char* AtEnd(const TLinkRig& rig, const TPlainLink& plain) {
    if (rig.Link.buf.Text() != plain.buf) return "buf";
    if (rig.View.Memo.Text() != plain.View.Memo.Text()) return "image";
    return nullptr;
  }

private:
  std::size_t FMessages = 0;
  std::size_t FWrites = 0, FPlainWrites = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const unsigned mode = data[0] % 5;
  ++data;
  --size;

  TLinkRig rig;
  TPlainLink plain;
  const std::string image = ":0400000001020304F2\r\n:00000001FF\r\n";
  if (mode == 2 || mode == 3 || mode == 4) {
    rig.View.Memo.SetText(image);
    plain.View.Memo.SetText(image);
  }
  rig.Link.AutoMode = plain.AutoMode = mode == 4;
  if (mode == 1 || mode == 4) {  // identifying
    rig.Link.ComPortAfterOpen();
    plain.AfterOpen();
  } else if (mode == 2) {  // reading
    rig.Link.ToolButton2Click();
    plain.StartRead();
    plain.Channel.Writes = rig.Channel.Writes;
  } else if (mode == 3) {  // a write sent, its answer awaited
    rig.Link.ToolButton1Click();
    plain.WriteJob();
  }
  rig.View.Journal.clear();

  // Pieces: a length byte, then up to that many bytes.
  TComparison comparison;
  std::size_t at = 0;
  const char* what = nullptr;
  while (at < size && !what) {
    const std::size_t wanted = data[at++];
    const std::size_t length = std::min(wanted, size - at);
    const std::string piece(reinterpret_cast<const char*>(data + at), length);
    at += length;
    rig.Receive(piece);
    plain.Receive(piece);
    what = comparison.AfterPiece(rig, plain, length);
  }
  if (!what) what = TComparison::AtEnd(rig, plain);
  if (what) {
    std::fprintf(stderr, "link and plain reading disagree on: %s\n", what);
    std::abort();
  }
  return 0;
}
