#pragma once
#include <map>
#include <string>
#include <vector>

#include "framework/Exception.h"
#include "link/ByteChannel.h"
#include "link/LinkView.h"
#include "link/ProgrammerLink.h"

// A port that records every write and hands out queued answer bytes. After Budget characters
// it stops taking data, as a port does after a write time-out; Broken, it fails as a port
// whose device has gone.
class TFakeChannel : public IByteChannel {
public:
  std::vector<std::string> Writes;
  std::string Incoming;
  int Budget = 1 << 30;
  bool Broken = false;

  int WriteText(const std::string& text) override {
    if (Broken) throw Exception("WriteFile function failed");
    const int taken = std::min<int>(Budget, static_cast<int>(text.size()));
    Budget -= taken;
    Writes.push_back(text.substr(0, taken));
    return taken;
  }
  int ReadText(std::string& text, int count) override {
    text = Incoming.substr(0, count);
    Incoming.erase(0, text.size());
    return static_cast<int>(text.size());
  }
  std::string AllWritten() const {
    std::string all;
    for (const std::string& w : Writes) all += w;
    return all;
  }
};

// The window as the link sees it, with a journal of what happened in which order.
class TFakeView : public ILinkView {
public:
  TProgrammerLink* Link = nullptr;  // receives the connection line's change notice

  std::map<TToolButtonId, bool> Buttons;
  std::string Panels[2];
  bool ProgressVisible = false;
  std::string ProgressLabel;
  int ProgressMax = 0;
  int ProgressPosition = 0;
  std::vector<int> ProgressPositions;
  std::string Connection;
  bool PortSelectorEnabled = true;
  TTextBox Memo;
  int MemoChanges = 0;
  std::vector<std::string> Messages;
  int Answer = mrYes;  // what the next message box returns
  int EndRequests = 0;
  std::vector<std::string> Journal;

  TFakeView() {
    Memo.OnChange = [this] { ++MemoChanges; };
  }

  void SetButtonEnabled(TToolButtonId button, bool enabled) override { Buttons[button] = enabled; }
  bool ButtonEnabled(TToolButtonId button) const override {
    const auto it = Buttons.find(button);
    return it != Buttons.end() && it->second;
  }
  void SetStatusPanel(int index, const std::string& text) override {
    Panels[index] = text;
    Journal.push_back("panel" + std::to_string(index) + ":" + text);
  }
  void SetProgressVisible(bool visible) override { ProgressVisible = visible; }
  void SetProgressLabel(const std::string& text) override { ProgressLabel = text; }
  void SetProgressMax(int maximum) override { ProgressMax = maximum; }
  void SetProgressPosition(int position) override {
    ProgressPosition = position;
    ProgressPositions.push_back(position);
  }
  std::string ConnectionText() const override { return Connection; }
  void SetConnectionText(const std::string& text) override {
    if (text == Connection) return;
    Connection = text;
    Journal.push_back("connection:" + text);
    if (Link) Link->Edit1Change();
  }
  void SetPortSelectorEnabled(bool enabled) override {
    PortSelectorEnabled = enabled;
    Journal.push_back(enabled ? "selector:on" : "selector:off");
  }
  TTextBox& Image() override { return Memo; }
  int MessageDlg(const std::string& text, TMsgDlgType type) override {
    Messages.push_back(text);
    Journal.push_back("message:" + text);
    return Answer;
  }
  void RepaintWindow() override { Journal.push_back("repaint"); }
  void RepaintProgress() override { Journal.push_back("repaint-progress"); }
  void RequestEnd() override {
    ++EndRequests;
    Journal.push_back("end");
  }

  bool AllButtons(bool enabled) const {
    for (TToolButtonId b : {TToolButtonId::Write, TToolButtonId::Read, TToolButtonId::Erase,
                            TToolButtonId::Identify, TToolButtonId::Load, TToolButtonId::Save})
      if (ButtonEnabled(b) != enabled) return false;
    return true;
  }
};

// A link wired to its fakes, with the connection line's change notice connected.
struct TLinkRig {
  TFakeView View;
  TFakeChannel Channel;
  TProgrammerLink Link{View, Channel};

  TLinkRig() { View.Link = &Link; }

  // The port reports these bytes as one received-bytes event.
  void Receive(const std::string& bytes) {
    Channel.Incoming += bytes;
    Link.ComPortRxChar(static_cast<int>(Channel.Incoming.size()));
  }
  // Opens the link and lets the programmer identify the chip with the given answer.
  void Identify(const std::string& answer) {
    Link.ComPortAfterOpen();
    Receive(answer);
  }
};
