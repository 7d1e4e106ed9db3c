#include "Unit1/QtDialogService.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "Unit1/Application.h"
#include "framework/Translate.h"

namespace {

// A message box that tells the close box apart from its buttons and stands in the middle
// of the screen rather than over its parent.
class TMessageBox : public QMessageBox {
public:
  using QMessageBox::QMessageBox;
  bool ClosedByBox = false;

protected:
  void closeEvent(QCloseEvent* event) override {
    ClosedByBox = true;
    event->accept();
    done(mrCancel);
  }
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    if (QScreen* screen = this->screen()) {
      const QRect area = screen->availableGeometry();
      move(area.center() - QPoint(width() / 2, height() / 2));
    }
  }
};

// The whole text, also past a NUL that a device may have sent.
QString ToQString(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The framework's own texts, in the user's language when a catalog provides one.
QString FrameworkText(const char* text) { return ToQString(Translate(text)); }

int RunBox(QWidget* parent, const std::string& caption, QMessageBox::Icon icon,
           const std::string& text, bool yesNo) {
  TMessageBox box(parent);
  box.setWindowTitle(ToQString(caption));
  box.setIcon(icon);
  box.setText(ToQString(text));
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  QAbstractButton* yes = nullptr;
  if (yesNo) {
    yes = box.addButton(FrameworkText("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(FrameworkText("&No"), QMessageBox::NoRole);
    // Every question the program asks guards a chip: Enter must not burn or erase one.
    box.setDefaultButton(no);
    box.setEscapeButton(no);
  } else {
    QPushButton* ok = box.addButton(FrameworkText("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
  }
  box.exec();
  if (box.ClosedByBox) return yesNo ? mrCancel : mrOk;
  if (!yesNo) return mrOk;
  return box.clickedButton() == yes ? mrYes : mrNo;
}

std::optional<std::string> Chosen(const QString& path) {
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

}  // namespace

int TQtDialogService::MessageDlg(const std::string& text, TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning:
      return RunBox(FParent, Translate("Warning"), QMessageBox::Warning, text, false);
    case TMsgDlgType::mtError:
      return RunBox(FParent, Translate("Error"), QMessageBox::Critical, text, false);
    case TMsgDlgType::mtConfirmation:
      return RunBox(FParent, Translate("Confirm"), QMessageBox::Question, text, true);
    case TMsgDlgType::mtCustom:
      break;
  }
  return RunBox(FParent, ApplicationTitle, QMessageBox::NoIcon, text, false);
}

void TQtDialogService::ShowException(const std::string& text) {
  RunBox(FParent, ApplicationTitle, QMessageBox::Critical, text, false);
}

std::optional<std::string> TQtDialogService::OpenDlg(const std::string& filter) {
  return Chosen(QFileDialog::getOpenFileName(FParent, QString(), QString(),
                                             ToQString(ToQtFilter(filter))));
}

std::optional<std::string> TQtDialogService::SaveDlg(const std::string& filter,
                                                     const std::string& fileName) {
  // The file is overwritten without a question, as the program always did.
  return Chosen(QFileDialog::getSaveFileName(FParent, QString(), ToQString(fileName),
                                             ToQString(ToQtFilter(filter)), nullptr,
                                             QFileDialog::DontConfirmOverwrite));
}

bool TQtDialogService::HasDisplay() const {
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

std::string TQtDialogService::ToQtFilter(const std::string& filter) {
  std::string result;
  std::size_t start = 0;
  bool description = true;
  std::string name;
  while (start <= filter.size()) {
    std::size_t bar = filter.find('|', start);
    if (bar == std::string::npos) bar = filter.size();
    const std::string part = filter.substr(start, bar - start);
    if (description) {
      name = part;
    } else {
      // Several patterns are separated by ";" in the stored filter, by spaces in the toolkit's.
      std::string patterns = part;
      for (char& c : patterns)
        if (c == ';') c = ' ';
      if (!result.empty()) result += ";;";
      result += name + " (" + patterns + ")";
    }
    description = !description;
    start = bar + 1;
  }
  return result;
}
