#pragma once
#include <string>

#include "framework/MsgDlg.h"
#include "framework/TextBox.h"

// The six tool-bar commands, named by what they do (ToolButton1, 2, 3, 6, 4, 5 of the window).
enum class TToolButtonId { Write, Read, Erase, Identify, Load, Save };

// What the link needs of the main window. The window implements it; tests fake it.
class ILinkView {
public:
  virtual ~ILinkView() = default;

  virtual void SetButtonEnabled(TToolButtonId button, bool enabled) = 0;
  virtual bool ButtonEnabled(TToolButtonId button) const = 0;

  // Status bar panels: 0 is the link state, 1 the file or result.
  virtual void SetStatusPanel(int index, const std::string& text) = 0;

  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetProgressLabel(const std::string& text) = 0;
  virtual void SetProgressMax(int maximum) = 0;
  virtual void SetProgressPosition(int position) = 0;

  // The connection line. Setting a text that differs from the current one runs the line's
  // change handler (the link's Edit1Change) before returning; the same text runs nothing.
  virtual std::string ConnectionText() const = 0;
  virtual void SetConnectionText(const std::string& text) = 0;

  virtual void SetPortSelectorEnabled(bool enabled) = 0;

  // The HEX image shown in the window; its OnChange is the window's MemoChange.
  virtual TTextBox& Image() = 0;

  // A modal message box of the given kind; returns mrOk, mrYes, mrNo or mrCancel.
  virtual int MessageDlg(const std::string& text, TMsgDlgType type) = 0;

  // Repaints at once, without running queued events.
  virtual void RepaintWindow() = 0;
  virtual void RepaintProgress() = 0;

  // Asks the event loop to end the program once the current handler has returned.
  virtual void RequestEnd() = 0;
};
