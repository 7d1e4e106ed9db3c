#include "Unit1/Unit1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

#include "Unit1/Application.h"
#include "Unit1/ButtonArt.h"
#include "image/ImageCheck.h"
#include "link/ProgrammerLine.h"

namespace {

// The least time between two paintings of the progress bar.
constexpr qint64 ProgressPaintMs = 100;

constexpr const char* OpenFilter = "Hexfiler|*.HEX|Alle filer|*.*";
constexpr const char* SaveFilter = "HEX-filer|*.HEX|Alle flier|*.*";

constexpr const char* StartupWarning =
    "Der findes ingen hardware på denne maskine, der understøtter Tolvane II\r\n"
    "Du har muligvis ikke tilsluttet Tolvane II...\r\n"
    "Først når Tolvane II tilsluttes, loades USB-driveren til hardwaren!";

constexpr const char* StatusHeader =
    "Denne version (2.01) af Tolvane II er skrevet af Tolvane-projektets udviklere.\r\n"
    "Kommunikationen foregår via USB med 57600bps.\r\n"
    "Programmet må frit bruges, kopieres og gives videre uden betaling,\r\n"
    "men det leveres som det er, uden nogen form for garanti.\r\n"
    "\r\n"
    "Status:\r\n";

QString FromText(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The chip in the socket, when the programmer named one this program knows.
std::optional<Image::TChipLayout> KnownChip(const TProgrammerLink& link) {
  const std::string& name = link.Chip.ChipName;
  if (link.ChipId == -1 || name.empty() || name == "None" || name == "Unknown") return std::nullopt;
  return Image::LayoutOf(link.Chip);
}

// The first location outside the chip, and how many more there are.
std::string OutsideSummary(const std::vector<std::string>& outside) {
  std::string text = outside.front();
  if (outside.size() > 1) text += ", and " + std::to_string(outside.size() - 1) + " more locations";
  return text;
}

bool IsExistingFile(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::is_regular_file(path, error);
}

}  // namespace

TForm1::TForm1(IDialogService& dialogs, std::vector<std::string> arguments,
               std::string settingsPath, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      ComPort(std::make_unique<TComPort>(nullptr)),
      Channel(*ComPort),
      Link(*this, Channel),
      FDialogs(dialogs),
      FArguments(std::move(arguments)),
      FSettingsPath(std::move(settingsPath)) {
  setWindowTitle(QStringLiteral("Tolvane II for Microchip PIC16xxx series"));
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPointSize(8);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
  setFixedSize(480, 402);
  BuildControls();
  ConfigurePort();
  Memo.OnChange = [this] { MemoChange(); };
  FProgressPainted.start();
}

TForm1::~TForm1() {
  // The port goes first, while the controls its handlers touch still exist; deliveries that
  // are still queued find no handler.
  ComPort->OnRxChar = nullptr;
  ComPort->OnAfterOpen = nullptr;
  ComPort.reset();
}

QToolButton* TForm1::AddToolButton(int position, int picture, const char* hint) {
  auto* button = new QToolButton(ToolBar1);
  button->setGeometry(position * 80, 2, 80, 41);
  button->setAutoRaise(true);
  button->setIconSize(QSize(ButtonPictureWidth, ButtonPictureHeight));
  button->setIcon(QIcon(ButtonPicture(picture, devicePixelRatioF())));
  button->setToolTip(QString::fromLatin1(hint));
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

void TForm1::BuildControls() {
  ToolBar1 = new QWidget(this);
  ToolBar1->setGeometry(0, 0, 480, 45);
  ToolButton1 = AddToolButton(0, 0, "Wiite to PIC");
  ToolButton2 = AddToolButton(1, 1, "Read from PIC");
  ToolButton3 = AddToolButton(2, 2, "Erase PIC");
  ToolButton6 = AddToolButton(3, 5, "Which PIC is connected");
  ToolButton4 = AddToolButton(4, 3, "Load from File");
  ToolButton5 = AddToolButton(5, 4, "Save to File");
  for (QToolButton* button : {ToolButton1, ToolButton2, ToolButton3, ToolButton6, ToolButton5})
    button->setEnabled(false);
  connect(ToolButton1, &QToolButton::clicked, this, [this] {
    Run([this] {
      if (ImageMayBeWritten()) Link.ToolButton1Click();
    });
  });
  connect(ToolButton2, &QToolButton::clicked, this, [this] {
    Run([this] {
      FImageName.clear();  // the read's answer comes from no file
      Link.ToolButton2Click();
    });
  });
  connect(ToolButton3, &QToolButton::clicked, this, [this] { Run([this] { Link.ToolButton3Click(); }); });
  connect(ToolButton4, &QToolButton::clicked, this, [this] { Run([this] { ToolButton4Click(); }); });
  connect(ToolButton5, &QToolButton::clicked, this, [this] { Run([this] { ToolButton5Click(); }); });
  connect(ToolButton6, &QToolButton::clicked, this, [this] { Run([this] { ToolButton6Click(); }); });

  MemoView = new QPlainTextEdit(this);
  MemoView->setGeometry(24, 56, 433, 289);
  MemoView->setReadOnly(true);
  MemoView->setLineWrapMode(QPlainTextEdit::NoWrap);
  MemoView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QFont memoFont(QStringLiteral("Courier New"));
  memoFont.setPointSize(8);
  memoFont.setStyleHint(QFont::TypeWriter);
  MemoView->setFont(memoFont);
  QPalette memoColours = MemoView->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    memoColours.setColor(group, QPalette::Base, QColor(0, 0, 128));
    memoColours.setColor(group, QPalette::Text, Qt::white);
  }
  MemoView->setPalette(memoColours);

  Edit1 = new QLineEdit(this);
  Edit1->setGeometry(24, 350, 345, 21);
  Edit1->setReadOnly(true);
  Edit1->setText(QString::fromLatin1(NotFoundText));
  Edit1->setCursorPosition(0);

  ComComboBox1 = new TComComboBox(this);
  ComComboBox1->setGeometry(377, 350, 80, 21);
  ComComboBox1->SetComPort(ComPort.get());
  ComComboBox1->OnChange = [this](TObject*) { Run([this] { ComComboBox1Change(); }); };
  // Port names can be longer than the box is wide.
  connect(ComComboBox1, &QComboBox::currentTextChanged, ComComboBox1, &QWidget::setToolTip);

  L = new QLabel(this);
  L->move(24, 372);
  L->setAttribute(Qt::WA_TranslucentBackground);

  StatusBar1 = new TStatusBar(50, this);
  StatusBar1->setGeometry(0, 402 - 19, 480, 19);
  StatusBar1->setCursor(Qt::WhatsThisCursor);
  StatusBar1->SetPanelText(0, QStringLiteral(" Offline"));
  connect(StatusBar1, &TStatusBar::clicked, this, [this] { Run([this] { StatusBar1Click(); }); });

  Panel1 = new QFrame(this);
  Panel1->setGeometry(40, 176, 385, 49);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setAutoFillBackground(true);
  Label1 = new QLabel(QStringLiteral("Read from PIC16x84 in progress"), Panel1);
  Label1->move(8, 8);
  Label1->setMinimumWidth(360);
  ProgressBar1 = new QProgressBar(Panel1);
  ProgressBar1->setGeometry(8, 30, 369, 11);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setRange(0, 6186);
  ProgressBar1->setValue(0);
  Panel1->hide();
}

void TForm1::ConfigurePort() {
  TComPort& port = *ComPort;
  ConfigureProgrammerLine(port);
  port.SetEvents(AllComEvents);
  port.OnAfterOpen = [this](TObject*) { Link.ComPortAfterOpen(); };
  // Exceptions leave this handler on purpose: the port's event thread ends on them.
  port.OnRxChar = [this](TObject*, int count) {
    struct TShowAfter {
      TForm1* Form;
      ~TShowAfter() { Form->ShowImage(); }
    } showAfter{this};
    Link.ComPortRxChar(count);
    if (FAwaitingEnd && Channel.ReadySeen()) EndNow();
  };
}

template <typename Handler>
void TForm1::Run(Handler&& handler) {
  Guarded(FDialogs, std::forward<Handler>(handler));
  ShowImage();
}

void TForm1::ShowImage() {
  if (Memo.Text() == FShownImage) return;
  FShownImage = Memo.Text();
  QString shown = QString::fromLatin1(FShownImage.data(), static_cast<qsizetype>(FShownImage.size()));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  MemoView->setPlainText(shown);
}

// ---- handlers of the window ------------------------------------------------------------

void TForm1::MemoChange() {
  if (Memo.Empty()) {
    ToolButton1->setEnabled(false);
    ToolButton5->setEnabled(false);
    return;
  }
  ToolButton5->setEnabled(true);
  if (ConnectionText().find(TProgrammerLink::RecognizedText) != std::string::npos)
    ToolButton1->setEnabled(true);
}

void TForm1::ToolButton4Click() {
  SetProgressVisible(false);
  const std::optional<std::string> path = FDialogs.OpenDlg(OpenFilter);
  if (!path) return;
  Memo.LoadFromFile(*path);
  FImageName = std::filesystem::path(*path).filename().string();
  SetStatusPanel(1, " " + *path);
  if (!Memo.Empty() && ToolButton2->isEnabled()) ToolButton1->setEnabled(true);
}

void TForm1::ToolButton5Click() {
  std::optional<std::string> path = FDialogs.SaveDlg(SaveFilter, "NoName.HEX");
  if (!path) return;
  if (path->find('.') == std::string::npos) *path += ".HEX";
  Memo.SaveToFile(*path);
}

void TForm1::ToolButton6Click() { ComComboBox1Change(); }

std::string TForm1::StatusMessage() const {
  const std::string& name = Link.Chip.ChipName;
  const std::string connection = ConnectionText();
  const bool connected = !name.empty() && name != "None" && connection != NotFoundText &&
                         connection != NotAvailableText;
  std::string line1 = "Der ikke tilkoblet nogen PIC-kreds", line2, line3;
  if (connected) {
    line1 = "PIC-kreds = " + name;
    line2 = std::to_string(ProgramKWords(Link.Chip.SizeCode)) + "K x 14 bit Program memory";
    line3 = std::to_string(EepromBytes(Link.Chip.SizeCode)) + " x 8 bit Data memory (EE)";
  }
  return StatusHeader + line1 + "\r\n" + line2 + "\r\n" + line3;
}

void TForm1::StatusBar1Click() { MessageDlg(StatusMessage(), TMsgDlgType::mtCustom); }

void TForm1::ComComboBox1Change() {
  ComPort->ClosePort();
  ComPort->SetPort(ComComboBox1->Text());
  SetStatusPanel(0, " Offline");
  ToolButton1->setEnabled(false);
  ToolButton5->setEnabled(!Memo.Empty());
  ToolButton2->setEnabled(false);
  ToolButton3->setEnabled(false);
  ToolButton6->setEnabled(false);
  ToolButton4->setEnabled(true);
  buf().Clear();
  SetProgressVisible(false);
  try {
    ComPort->OpenPort();
    SetConnectionText(NotFoundText);
  } catch (...) {
    SetConnectionText(NotAvailableText);
  }
  SaveSettings();
}

void TForm1::SaveSettings() {
  // An unattended run was started for one file: it leaves the saved port as it found it.
  if (Link.AutoMode) return;
  cnvn.Clear();
  cnvn.SetLine(0, ComPort->Port());
  // The per-user folder may not exist yet; a failure shows when the file is written.
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(FSettingsPath).parent_path(), ignored);
  cnvn.SaveToFile(FSettingsPath);
}

void TForm1::FormActivate() {
  if (FActivated) return;
  FActivated = true;

  try {
    ComComboBox1->SetComProperty(cpPort);
  } catch (...) {
    MessageDlg(StartupWarning, TMsgDlgType::mtWarning);
    RequestEnd();
  }

  Link.IdentifyRetries = 0;
  Link.IdentifyPending = false;
  Link.AutoMode = false;
  Link.WriteIssued = false;

  if (!FArguments.empty() && IsExistingFile(FArguments[0])) {
    Memo.LoadFromFile(FArguments[0]);
    SetStatusPanel(1, FArguments[0]);
    FImageName = std::filesystem::path(FArguments[0]).filename().string();
    // An unattended run sends nothing that is not an Intel HEX image, not even a request.
    try {
      Image::ParseImage(Memo.Text(), FImageName);
    } catch (const Hex::EHexFormat& e) {
      EndUnattendedWithFailure(e.Message() + "; nothing was sent");
      return;
    }
    Link.AutoMode = true;
  }

  buf().Clear();
  if (IsExistingFile(FSettingsPath)) {
    buf().LoadFromFile(FSettingsPath);
    ComPort->SetPort(buf().Line(0));
    ComComboBox1->SetText(buf().Line(0));
  }

  try {
    ComPort->OpenPort();
  } catch (...) {
    if (buf().Line(0) != ComComboBox1->Text()) {
      ComPort->SetPort(ComComboBox1->Text());
      SetConnectionText(NotFoundText);
      try {
        ComPort->OpenPort();
      } catch (...) {
        SetConnectionText(NotAvailableText);
      }
    } else {
      SetConnectionText(NotAvailableText);
    }
  }
}

bool TForm1::FormCloseQuery() {
  SaveSettings();
  ComPort->ClosePort();
  // Closed before the programmer confirmed the image, an unattended run has failed, whatever
  // the event loop's own end would say.
  if (Link.AutoMode && !FEnded) {
    std::fprintf(stderr, "%s: the window was closed before %s\n", ApplicationTitle,
                 Link.WriteIssued ? "the programmer confirmed the write" : "the file was written");
    FExitCode = 1;
    EndNow();
  }
  return true;
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (FActivated) return;
  if (QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
  Run([this] { FormActivate(); });
}

void TForm1::closeEvent(QCloseEvent* event) {
  bool canClose = false;
  Run([&] { canClose = FormCloseQuery(); });
  if (canClose)
    event->accept();
  else
    event->ignore();
}

// ---- the link's view ---------------------------------------------------------------------

QToolButton* TForm1::Button(TToolButtonId button) const {
  switch (button) {
    case TToolButtonId::Write: return ToolButton1;
    case TToolButtonId::Read: return ToolButton2;
    case TToolButtonId::Erase: return ToolButton3;
    case TToolButtonId::Identify: return ToolButton6;
    case TToolButtonId::Load: return ToolButton4;
    case TToolButtonId::Save: return ToolButton5;
  }
  return ToolButton4;
}

void TForm1::SetButtonEnabled(TToolButtonId button, bool enabled) {
  Button(button)->setEnabled(enabled);
}

bool TForm1::ButtonEnabled(TToolButtonId button) const { return Button(button)->isEnabled(); }

void TForm1::SetStatusPanel(int index, const std::string& text) {
  StatusBar1->SetPanelText(index, FromText(text));
}

std::string TForm1::StatusPanel(int index) const {
  return StatusBar1->PanelText(index).toStdString();
}

void TForm1::SetProgressVisible(bool visible) { Panel1->setVisible(visible); }

void TForm1::SetProgressLabel(const std::string& text) {
  Label1->setText(FromText(text));
  Label1->adjustSize();
}

void TForm1::SetProgressMax(int maximum) {
  // A bar with nothing to count would turn into a busy indicator: an empty job shows empty.
  ProgressBar1->setMaximum(std::max(maximum, 1));
}

void TForm1::SetProgressPosition(int position) {
  // The bar ignores a value outside its range; an answer longer than estimated shows full.
  const int minimum = ProgressBar1->minimum(), maximum = ProgressBar1->maximum();
  const int value = std::clamp(position, minimum, maximum);
  // A new value that moves the bar by a pixel paints it at once, also in a write job, which
  // runs without the event loop; a read would give it one every few characters. A few times
  // a second is smooth enough: values in between are left until then. The ends always show.
  const long long step = std::llabs(static_cast<long long>(value) - ProgressBar1->value());
  if (value != minimum && value != maximum &&
      (step * ProgressBar1->width() < static_cast<long long>(maximum) - minimum ||
       FProgressPainted.elapsed() < ProgressPaintMs))
    return;
  ProgressBar1->setValue(value);
  FProgressPainted.restart();
}

std::string TForm1::ConnectionText() const { return Edit1->text().toStdString(); }

void TForm1::SetConnectionText(const std::string& text) {
  if (text == ConnectionText()) return;
  Edit1->setText(FromText(text));
  Edit1->setCursorPosition(0);
  if (!UnattendedImageFits()) return;
  try {
    Link.Edit1Change();
  } catch (const std::exception& e) {
    // The unattended write did not get the image out. It runs inside the received-bytes
    // handling, which ends on this and leaves the port silent: nobody would ever see it.
    if (Link.AutoMode) EndUnattendedWithFailure(e.what());
    throw;
  }
}

bool TForm1::ImageMayBeWritten() {
  Image::TImageFile image;
  try {
    image = Image::ParseImage(Memo.Text(), FImageName);
  } catch (const Hex::EHexFormat& e) {
    MessageDlg("Not a valid Intel HEX image, nothing was sent:\r\n" + e.Message(), TMsgDlgType::mtError);
    return false;
  }
  const std::optional<Image::TChipLayout> chip = KnownChip(Link);
  if (!chip) return true;
  const std::vector<std::string> outside = Image::OutsideChip(image, *chip);
  return outside.empty() ||
         MessageDlg(OutsideSummary(outside) + "\r\nWrite anyway?", TMsgDlgType::mtConfirmation) == mrYes;
}

bool TForm1::UnattendedImageFits() {
  // Only the recognition of a known chip starts the unattended write.
  const std::optional<Image::TChipLayout> chip = KnownChip(Link);
  if (!Link.AutoMode || Link.WriteIssued || !chip ||
      ConnectionText().find(TProgrammerLink::RecognizedText) == std::string::npos)
    return true;
  // The image checked at start-up may since have been replaced by a load.
  std::string refusal;
  try {
    const std::vector<std::string> outside =
        Image::OutsideChip(Image::ParseImage(Memo.Text(), FImageName), *chip);
    if (outside.empty()) return true;
    refusal = OutsideSummary(outside);
  } catch (const Hex::EHexFormat& e) {
    refusal = e.Message();
  }
  EndUnattendedWithFailure(refusal + "; nothing was sent");
  return false;
}

void TForm1::EndUnattendedWithFailure(const std::string& message) {
  NoteUnattendedFailure(message);
  FExitCode = 1;
  EndNow();
}

void TForm1::NoteUnattendedFailure(const std::string& message) {
  std::fprintf(stderr, "%s: ", ApplicationTitle);
  std::fwrite(message.data(), 1, message.size(), stderr);
  std::fputc('\n', stderr);
  if (!FFailures.empty()) FFailures += "\r\n";
  FFailures += message;
}

void TForm1::SetPortSelectorEnabled(bool enabled) {
  // While the end waits for the programmer, no other port may take over the image's tail.
  ComComboBox1->setEnabled(enabled && !FAwaitingEnd);
}

int TForm1::MessageDlg(const std::string& text, TMsgDlgType type) {
  // The unattended run shows no boxes on its way out, where a box would hold up its end; the
  // link notes the failure, which gives the exit status, and the end shows the text.
  if (FAwaitingEnd && type == TMsgDlgType::mtError) {
    NoteUnattendedFailure(text);
    return mrOk;
  }
  return FDialogs.MessageDlg(text, type);
}

void TForm1::RepaintWindow() {
  ShowImage();
  repaint();
}

void TForm1::RepaintProgress() { Panel1->repaint(); }

void TForm1::RequestEnd() {
  FEndRequested = true;
  // A write that has not been answered ran in this very handling: its last characters may
  // still wait in the driver or in the programmer's input, and closing the port throws away
  // what has not gone. The end therefore waits until the programmer confirms the image.
  if (Link.WriteUnanswered && ComPort->Connected()) {
    if (!FAwaitingEnd) AwaitConfirmation();
    return;
  }
  EndNow();
}

void TForm1::AwaitConfirmation() {
  FAwaitingEnd = true;
  SetPortSelectorEnabled(false);
  Channel.WatchForReady();
  QTimer::singleShot(EndWaitLimitMs, this, [this] {
    if (!FEnded) EndUnattendedWithFailure("the programmer did not confirm the write");
  });
}

void TForm1::EndNow() {
  if (FEnded) return;
  FEnded = true;
  if (Link.WriteFailed) FExitCode = 1;
  // Started from the desktop, nobody reads standard error: with a display the reasons a run
  // failed are shown before it ends.
  if (FExitCode != 0 && !FFailures.empty() && FDialogs.HasDisplay())
    FDialogs.MessageDlg(FFailures, TMsgDlgType::mtError);
  if (OnEnd) {
    OnEnd();
    return;
  }
  // Before the event loop runs, Exec ends the program once the start-up pass is over: an exit
  // now would only end the loop of the next message box. exit() rather than quit(), which would
  // run the close handling; the loop stops once the current handler has returned.
  if (FLoopRunning) QCoreApplication::exit(FExitCode);
}

int TForm1::Exec() {
  show();
  if (FEnded) return FExitCode;
  FLoopRunning = true;
  const int status = QCoreApplication::exec();
  // A run this window ended has its own status: closing the last window also asks the loop to
  // quit, with 0.
  return FEnded ? FExitCode : status;
}
