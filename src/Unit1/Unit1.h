#pragma once
#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CPort/ComPort.h"
#include "CPortCtl/ComComboBox.h"
#include "link/ComPortChannel.h"
#include "Unit1/DialogService.h"
#include "Unit1/StatusBar.h"
#include "framework/TextBox.h"
#include "link/LinkView.h"
#include "link/ProgrammerLink.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QToolButton;

// Texts of the connection line.
inline constexpr const char* NotFoundText =
    " Tolvane II not found on this connection, try another...";
inline constexpr const char* NotAvailableText = " This Serial port is not available at the moment";

// The main window: the image, the six commands, the connection line, the port selector, the
// status bar and the progress panel. It owns the port and the link, and is the link's view.
class TForm1 : public QWidget, public ILinkView {
  Q_OBJECT
public:
  // arguments: the command line after the program's name. settingsPath: the settings file.
  TForm1(IDialogService& dialogs, std::vector<std::string> arguments, std::string settingsPath,
         QWidget* parent = nullptr);
  ~TForm1() override;

  // Components, named as the window's own.
  std::unique_ptr<TComPort> ComPort;
  TComPortChannel Channel;
  TProgrammerLink Link;
  TTextBox Memo;  // the image; the view below shows it
  TTextBox cnvn;  // scratch text for the settings file
  TTextBox& buf() { return Link.buf; }

  QWidget* ToolBar1 = nullptr;
  QToolButton* ToolButton1 = nullptr;  // Write
  QToolButton* ToolButton2 = nullptr;  // Read
  QToolButton* ToolButton3 = nullptr;  // Erase
  QToolButton* ToolButton6 = nullptr;  // Identify
  QToolButton* ToolButton4 = nullptr;  // Load
  QToolButton* ToolButton5 = nullptr;  // Save
  QPlainTextEdit* MemoView = nullptr;
  QLineEdit* Edit1 = nullptr;
  TComComboBox* ComComboBox1 = nullptr;
  TStatusBar* StatusBar1 = nullptr;
  QFrame* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* L = nullptr;

  // The window's handlers.
  void ToolButton4Click();  // Load
  void ToolButton5Click();  // Save
  void ToolButton6Click();  // Identify
  void MemoChange();
  void StatusBar1Click();
  void ComComboBox1Change();
  void FormActivate();
  bool FormCloseQuery();

  // Shows the window, which runs the start-up pass, then runs the event loop until the program
  // ends; returns the exit status. An end requested during the start-up pass ends it there.
  int Exec();

  // The status dialog's message as it is shown.
  std::string StatusMessage() const;
  std::string StatusPanel(int index) const;
  bool EndRequested() const { return FEndRequested; }
  // The program has been ended, with this exit status.
  bool Ended() const { return FEnded; }
  int ExitCode() const { return FExitCode; }
  // How the program is ended; by default the event loop stops once it runs.
  std::function<void()> OnEnd;
  // How long an unattended run waits for the programmer to confirm the image.
  int EndWaitLimitMs = 60000;

  // ILinkView
  void SetButtonEnabled(TToolButtonId button, bool enabled) override;
  bool ButtonEnabled(TToolButtonId button) const override;
  void SetStatusPanel(int index, const std::string& text) override;
  void SetProgressVisible(bool visible) override;
  void SetProgressLabel(const std::string& text) override;
  void SetProgressMax(int maximum) override;
  void SetProgressPosition(int position) override;
  std::string ConnectionText() const override;
  void SetConnectionText(const std::string& text) override;
  void SetPortSelectorEnabled(bool enabled) override;
  TTextBox& Image() override { return Memo; }
  int MessageDlg(const std::string& text, TMsgDlgType type) override;
  void RepaintWindow() override;
  void RepaintProgress() override;
  void RequestEnd() override;

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void BuildControls();
  void ConfigurePort();
  QToolButton* AddToolButton(int position, int picture, const char* hint);
  // Runs a handler the toolkit called: exceptions go to the top-level handler, and the view
  // of the image catches up with the image afterwards.
  template <typename Handler>
  void Run(Handler&& handler);
  void ShowImage();
  QToolButton* Button(TToolButtonId button) const;
  void SaveSettings();
  void AwaitConfirmation();
  void EndNow();
  // Ends an unattended run with exit status 1 and the reason on standard error.
  void EndUnattendedWithFailure(const std::string& message);
  // Writes a failure of the unattended run to standard error and keeps it for the end.
  void NoteUnattendedFailure(const std::string& message);
  // Before an image goes: one that is not Intel HEX is refused, one with data outside the
  // identified chip only when the user says so.
  bool ImageMayBeWritten();
  // Whether the unattended write may start on the chip just recognised; if not, the run ends
  // with its failure.
  bool UnattendedImageFits();

  IDialogService& FDialogs;
  std::vector<std::string> FArguments;
  std::string FSettingsPath;
  std::string FShownImage;
  std::string FImageName;  // the file the image was loaded from, without its folder
  bool FActivated = false;
  bool FEndRequested = false;
  bool FAwaitingEnd = false;  // an unattended write is on its way to the programmer
  bool FEnded = false;
  bool FLoopRunning = false;  // Exec has started the event loop
  int FExitCode = 0;
  std::string FFailures;  // what went wrong in the unattended run, one line each
  QElapsedTimer FProgressPainted;
};
