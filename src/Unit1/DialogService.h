#pragma once
#include <optional>
#include <string>

#include "framework/MsgDlg.h"

// The program's modal boxes and file dialogs, behind one seam so that tests can answer them.
// Filters are description and pattern pairs separated by vertical bars ("Hexfiler|*.HEX|...").
class IDialogService {
public:
  virtual ~IDialogService() = default;

  // A message box of one of the four kinds; returns mrOk, mrYes, mrNo or mrCancel.
  virtual int MessageDlg(const std::string& text, TMsgDlgType type) = 0;
  // The box of the top-level handler: application title, stop icon, OK.
  virtual void ShowException(const std::string& text) = 0;
  // The chosen file's full path, or nothing when the user cancels.
  virtual std::optional<std::string> OpenDlg(const std::string& filter) = 0;
  virtual std::optional<std::string> SaveDlg(const std::string& filter,
                                             const std::string& fileName) = 0;
  // Whether a box can be seen and answered: not on an offscreen or other display-less platform.
  virtual bool HasDisplay() const = 0;
};
