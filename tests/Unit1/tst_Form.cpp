// The window without a programmer: its controls, the command states it sets itself, Load,
// Save, the status dialog and the top-level handler.
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "FakeDialogs.h"
#include "TempDir.h"
#include "Unit1/Application.h"
#include "Unit1/QtDialogService.h"
#include "Unit1/Unit1.h"

using Button = TToolButtonId;

class TFormTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TTempDir> Dir;
  std::unique_ptr<TFakeDialogs> Dialogs;
  std::unique_ptr<TForm1> Form;

  QString Shown() const { return Form->MemoView->toPlainText(); }
  void Recognize(int chip) {
    Form->Link.Chip.SelectChip(chip);
    Form->SetConnectionText(std::string(TProgrammerLink::RecognizedText) +
                            Form->Link.Chip.ChipName);
  }

private slots:
  void init() {
    Dir = std::make_unique<TTempDir>();
    Dialogs = std::make_unique<TFakeDialogs>();
    Form = std::make_unique<TForm1>(*Dialogs, std::vector<std::string>{},
                                    Dir->File("Tolvane.ini"));
  }
  void cleanup() {
    Form.reset();
    Dialogs.reset();
    Dir.reset();
  }

  void createdWindow() {
    QCOMPARE(Form->size(), QSize(480, 402));
    QCOMPARE(Form->minimumSize(), Form->maximumSize());
    QCOMPARE(Form->windowTitle(), QStringLiteral("Tolvane II for Microchip PIC16xxx series"));
    const std::vector<std::pair<QToolButton*, const char*>> buttons{
        {Form->ToolButton1, "Wiite to PIC"},          {Form->ToolButton2, "Read from PIC"},
        {Form->ToolButton3, "Erase PIC"},             {Form->ToolButton6, "Which PIC is connected"},
        {Form->ToolButton4, "Load from File"},        {Form->ToolButton5, "Save to File"}};
    for (std::size_t i = 0; i < buttons.size(); ++i) {
      QCOMPARE(buttons[i].first->geometry().size(), QSize(80, 41));
      QCOMPARE(buttons[i].first->x(), int(i) * 80);
      QCOMPARE(buttons[i].first->toolTip(), QString::fromLatin1(buttons[i].second));
      QVERIFY(!buttons[i].first->icon().isNull());
      // Only Load is available before a programmer answers.
      QCOMPARE(buttons[i].first->isEnabled(), buttons[i].first == Form->ToolButton4);
    }
    QCOMPARE(Form->MemoView->geometry(), QRect(24, 56, 433, 289));
    QVERIFY(Form->MemoView->isReadOnly());
    QCOMPARE(Form->MemoView->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(Form->MemoView->palette().color(QPalette::Base), QColor(0, 0, 128));
    QCOMPARE(Form->Edit1->geometry(), QRect(24, 350, 345, 21));
    QVERIFY(Form->Edit1->isReadOnly());
    QCOMPARE(Form->ConnectionText(), std::string(NotFoundText));
    QCOMPARE(Form->ComComboBox1->geometry().topLeft(), QPoint(377, 350));
    QCOMPARE(Form->ComComboBox1->width(), 80);
    QVERIFY(Form->ComComboBox1->isEnabled());
    QCOMPARE(Form->StatusBar1->geometry(), QRect(0, 383, 480, 19));
    QCOMPARE(Form->StatusPanel(0), std::string(" Offline"));
    QCOMPARE(Form->StatusPanel(1), std::string());
    QCOMPARE(Form->Panel1->geometry(), QRect(40, 176, 385, 49));
    QVERIFY(Form->Panel1->isHidden());
    QCOMPARE(Form->ProgressBar1->maximum(), 6186);
  }

  // A read answer longer than its estimate fills the bar rather than freezing it short; a
  // write of an empty image shows an empty bar that stands still.
  void progressBarLimits() {
    Form->SetProgressMax(6186);
    Form->SetProgressPosition(3000);
    Form->SetProgressPosition(6200);
    QCOMPARE(Form->ProgressBar1->value(), 6186);
    Form->SetProgressPosition(0);
    QCOMPARE(Form->ProgressBar1->value(), 0);

    Form->Link.ToolButton1Click();
    QVERIFY(!Form->Panel1->isHidden());
    QVERIFY(Form->ProgressBar1->maximum() > Form->ProgressBar1->minimum());
    QCOMPARE(Form->ProgressBar1->value(), Form->ProgressBar1->minimum());
  }

  void loadNormalisesLineBreaks_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<int>("lines");
    QTest::newRow("CR LF") << QByteArray(":00000001FF\r\n") << QByteArray(":00000001FF\r\n") << 1;
    QTest::newRow("CR only") << QByteArray(":A\r:B\r") << QByteArray(":A\r\n:B\r\n") << 2;
    QTest::newRow("LF only") << QByteArray(":A\n:B") << QByteArray(":A\r\n:B") << 2;
    QTest::newRow("mixed") << QByteArray(":A\r\n:B\r:C\n:D") << QByteArray(":A\r\n:B\r\n:C\r\n:D")
                           << 4;
    QTest::newRow("NUL inside") << QByteArray(":A\r\n:B\0:C\r\n", 11) << QByteArray(":A\r\n:B")
                                << 2;
  }
  void loadNormalisesLineBreaks() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, image);
    QFETCH(int, lines);
    const std::string path = Dir->Write("in.hex", bytes.toStdString());
    Dialogs->FileAnswers.push_back(path);
    Form->ToolButton4->click();
    QCOMPARE(Dialogs->Filters.back(), std::string("Hexfiler|*.HEX|Alle filer|*.*"));
    QCOMPARE(QByteArray::fromStdString(Form->Memo.Text()), image);
    QCOMPARE(Form->Memo.Count(), lines);
    QCOMPARE(Form->StatusPanel(1), " " + path);
    QCOMPARE(Shown(), QString::fromLatin1(image).replace("\r\n", "\n"));
    // Something to save, but nothing to write to: no programmer has answered.
    QVERIFY(Form->ToolButton5->isEnabled());
    QVERIFY(!Form->ToolButton1->isEnabled());
    QVERIFY(Dialogs->Exceptions.empty());
  }

  void loadEmptyFileEmptiesTheImage() {
    Form->SetButtonEnabled(Button::Read, true);
    Dialogs->FileAnswers.push_back(Dir->Write("full.hex", ":00000001FF\r\n"));
    Form->ToolButton4->click();
    QVERIFY(Form->ToolButton1->isEnabled());
    QVERIFY(Form->ToolButton5->isEnabled());

    Dialogs->FileAnswers.push_back(Dir->Write("empty.hex", ""));
    Form->ToolButton4->click();
    QVERIFY(Form->Memo.Empty());
    QVERIFY(Shown().isEmpty());
    QVERIFY(!Form->ToolButton1->isEnabled());
    QVERIFY(!Form->ToolButton5->isEnabled());
  }

  void loadCancelledOrFailingKeepsTheImage() {
    Dialogs->FileAnswers.push_back(Dir->Write("a.hex", ":A\r\n"));
    Form->ToolButton4->click();
    Form->SetProgressVisible(true);
    Form->ToolButton4->click();  // cancelled
    QVERIFY(Form->Panel1->isHidden());
    QCOMPARE(Form->Memo.Text(), std::string(":A\r\n"));

    Dialogs->FileAnswers.push_back(Dir->File("missing.hex"));
    Form->ToolButton4->click();
    QCOMPARE(Form->Memo.Text(), std::string(":A\r\n"));
    QCOMPARE(Dialogs->Exceptions.size(), std::size_t(1));
    QVERIFY(Dialogs->Exceptions[0].find("missing.hex") != std::string::npos);
    QCOMPARE(Dialogs->Exceptions[0].back(), '.');
  }

  void loadWhileRecognizedEnablesWrite() {
    Recognize(154);
    Form->SetButtonEnabled(Button::Read, true);
    Dialogs->FileAnswers.push_back(Dir->Write("a.hex", ":A\r\n"));
    Form->ToolButton4->click();
    QVERIFY(Form->ToolButton1->isEnabled());
  }

  // Before anything goes to the programmer (here a closed port, which fails any write): an
  // image that is not Intel HEX is refused, naming its line; one with data outside the chip
  // goes only when the user says so.
  void writeChecksTheImageFirst() {
    Recognize(0x056);
    Form->SetButtonEnabled(Button::Read, true);
    Dialogs->FileAnswers.push_back(Dir->Write("count.hex", ":020000000528D1\n:02000200FF3FBF\n"));
    Form->ToolButton4->click();
    Form->ToolButton1->click();
    QCOMPARE(Dialogs->Boxes.size(), std::size_t(1));
    QCOMPARE(Dialogs->Boxes[0].Type, TMsgDlgType::mtError);
    QCOMPARE(Dialogs->Boxes[0].Text, std::string("Not a valid Intel HEX image, nothing was sent:\r\n"
                                                 "count.hex:2: checksum BE, the record says BF"));
    QVERIFY(Dialogs->Exceptions.empty());

    Dialogs->FileAnswers.push_back(Dir->Write("big.hex", ":020800000528C9\n:0400100000000000EC\n"
                                                         ":020A0000FF3FB6\n:00000001FF\n"));
    Form->ToolButton4->click();
    Dialogs->Answers = {mrNo, mrYes};
    Form->ToolButton1->click();
    QCOMPARE(Dialogs->Boxes.size(), std::size_t(2));
    QCOMPARE(Dialogs->Boxes[1].Type, TMsgDlgType::mtConfirmation);
    QCOMPARE(Dialogs->Boxes[1].Text, std::string("big.hex:1: 0x0400: outside the PIC16F84A (value 0x2805), "
                                                 "and 1 more locations\r\nWrite anyway?"));
    QVERIFY(Dialogs->Exceptions.empty());
    Form->ToolButton1->click();
    QCOMPARE(Dialogs->Exceptions.size(), std::size_t(1));  // it went on, to the closed port
  }

  void saveAddsHexOnlyWhenTheNameHasNoDot_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("no extension") << "firmware" << "firmware.HEX";
    QTest::newRow("other extension") << "firmware.bin" << "firmware.bin";
    QTest::newRow("dotted folder") << "my.folder/firmware" << "my.folder/firmware";
  }
  void saveAddsHexOnlyWhenTheNameHasNoDot() {
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    std::filesystem::create_directory(Dir->File("my.folder"));
    Dialogs->FileAnswers.push_back(Dir->Write("in.hex", ":A\r\n:B"));
    Form->ToolButton4->click();
    Dialogs->FileAnswers.push_back(Dir->File(chosen.toStdString()));
    Form->ToolButton5->click();
    QCOMPARE(Dialogs->PresetNames.back(), std::string("NoName.HEX"));
    QCOMPARE(Dialogs->Filters.back(), std::string("HEX-filer|*.HEX|Alle flier|*.*"));
    // Byte for byte, including the missing break after the last line.
    QCOMPARE(TTempDir::Read(Dir->File(written.toStdString())), std::string(":A\r\n:B"));
    if (chosen != written) QVERIFY(!std::filesystem::exists(Dir->File(chosen.toStdString())));
  }

  void saveFailureIsShown() {
    Dialogs->FileAnswers.push_back(Dir->Write("in.hex", ":A\r\n"));
    Form->ToolButton4->click();
    Dialogs->FileAnswers.push_back(Dir->File("no/such/folder/out.hex"));
    Form->ToolButton5->click();
    QCOMPARE(Dialogs->Exceptions.size(), std::size_t(1));
    QVERIFY(Dialogs->Exceptions[0].rfind("Cannot create file", 0) == 0);
  }

  void imageChangeRule() {
    // Not recognised: Write keeps its state whichever way the image goes.
    Form->Memo.SetText(":A\r\n");
    QVERIFY(!Form->ToolButton1->isEnabled());
    QVERIFY(Form->ToolButton5->isEnabled());
    Recognize(154);
    Form->Memo.Add(":B");
    QVERIFY(Form->ToolButton1->isEnabled());
    Form->Memo.SetText("");
    QVERIFY(!Form->ToolButton1->isEnabled());
    QVERIFY(!Form->ToolButton5->isEnabled());
  }

  void statusDialog_data() {
    QTest::addColumn<int>("chip");
    QTest::addColumn<bool>("recognized");
    QTest::addColumn<QString>("lines");
    QTest::newRow("PIC16F877") << 154 << true
                               << "PIC-kreds = PIC16F877\r\n8K x 14 bit Program memory\r\n"
                                  "256 x 8 bit Data memory (EE)";
    QTest::newRow("Unknown") << -1 << true
                             << "PIC-kreds = Unknown\r\n1K x 14 bit Program memory\r\n"
                                "64 x 8 bit Data memory (EE)";
    QTest::newRow("None") << 0 << true << "Der ikke tilkoblet nogen PIC-kreds\r\n\r\n";
    QTest::newRow("port gone") << 154 << false << "Der ikke tilkoblet nogen PIC-kreds\r\n\r\n";
    QTest::newRow("right after start") << -2 << false
                                       << "Der ikke tilkoblet nogen PIC-kreds\r\n\r\n";
  }
  void statusDialog() {
    QFETCH(int, chip);
    QFETCH(bool, recognized);
    QFETCH(QString, lines);
    if (chip != -2) Recognize(chip);
    if (!recognized) Form->SetConnectionText(NotAvailableText);
    QTest::mouseClick(Form->StatusBar1, Qt::LeftButton, {}, QPoint(200, 8));
    QCOMPARE(Dialogs->Boxes.size(), std::size_t(1));
    QCOMPARE(Dialogs->Boxes[0].Type, TMsgDlgType::mtCustom);
    const std::string& text = Dialogs->Boxes[0].Text;
    QVERIFY(text.rfind("Denne version (2.01) af Tolvane", 0) == 0);
    QVERIFY(text.find("\r\nKommunikationen foregår via USB med 57600bps.\r\n") != std::string::npos);
    QVERIFY(text.find("\r\n\r\nStatus:\r\n") != std::string::npos);
    const std::string tail = text.substr(text.find("Status:\r\n") + 9);
    QCOMPARE(QString::fromStdString(tail), lines);
  }

  void topLevelHandlerText() {
    QCOMPARE(ExceptionBoxText("Cannot open file"), std::string("Cannot open file."));
    QCOMPARE(ExceptionBoxText("Done."), std::string("Done."));
    QCOMPARE(ExceptionBoxText("Really?"), std::string("Really?"));
    QCOMPARE(ExceptionBoxText("Stop!"), std::string("Stop!"));
    QCOMPARE(ExceptionBoxText("WriteFile function failed (win error code: 5)"),
             std::string("WriteFile function failed (win error code: 5)."));
    QCOMPARE(ExceptionBoxText("code 42"), std::string("code 42."));
    QCOMPARE(ExceptionBoxText(""), std::string());

    int runs = 0;
    Guarded(*Dialogs, [&] {
      ++runs;
      throw 42;
    });
    Guarded(*Dialogs, [&] { throw std::runtime_error("boom"); });
    QCOMPARE(runs, 1);
    QCOMPARE(Dialogs->Exceptions.size(), std::size_t(2));
    QCOMPARE(Dialogs->Exceptions[1], std::string("boom."));
  }

  // The real boxes, answered with the keyboard and the close box.
  void messageBoxes_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("result");
    const int confirm = int(TMsgDlgType::mtConfirmation);
    // A question guards a chip: Enter answers No.
    QTest::newRow("No is the default") << confirm << "return" << "Confirm"
                                       << int(QMessageBox::Question) << mrNo;
    QTest::newRow("Yes") << confirm << "yes" << "Confirm" << int(QMessageBox::Question) << mrYes;
    QTest::newRow("Esc is No") << confirm << "escape" << "Confirm" << int(QMessageBox::Question)
                               << mrNo;
    QTest::newRow("close box") << confirm << "close" << "Confirm" << int(QMessageBox::Question)
                               << mrCancel;
    QTest::newRow("warning") << int(TMsgDlgType::mtWarning) << "return" << "Warning"
                             << int(QMessageBox::Warning) << mrOk;
    QTest::newRow("error") << int(TMsgDlgType::mtError) << "escape" << "Error"
                           << int(QMessageBox::Critical) << mrOk;
    QTest::newRow("custom") << int(TMsgDlgType::mtCustom) << "close" << "Vop's Tolvane II"
                            << int(QMessageBox::NoIcon) << mrOk;
    QTest::newRow("top-level handler") << -1 << "return" << "Vop's Tolvane II"
                                       << int(QMessageBox::Critical) << mrOk;
  }
  void messageBoxes() {
    QFETCH(int, kind);
    QFETCH(QString, answer);
    QFETCH(QString, caption);
    QFETCH(int, icon);
    QFETCH(int, result);
    QString shownCaption, shownText;
    int shownIcon = -1;
    std::function<void()> answerBox = [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) {
        QTimer::singleShot(10, answerBox);
        return;
      }
      shownCaption = box->windowTitle();
      shownText = box->text();
      shownIcon = int(box->icon());
      if (answer == "close") {
        box->close();
      } else if (answer == "yes") {
        for (QAbstractButton* button : box->buttons())
          if (box->buttonRole(button) == QMessageBox::YesRole) button->click();
      } else {
        QTest::keyClick(box, answer == "return" ? Qt::Key_Return : Qt::Key_Escape);
      }
    };
    QTimer::singleShot(0, answerBox);
    TQtDialogService service;
    // The whole UTF-8 text, also past a NUL that a device sent.
    const std::string text("Line one\r\nline two\0 \xC3\xA6", 22);
    int got = mrOk;
    if (kind < 0)
      service.ShowException(text);
    else
      got = service.MessageDlg(text, TMsgDlgType(kind));
    QCOMPARE(got, result);
    QCOMPARE(shownCaption, caption);
    QCOMPARE(shownIcon, icon);
    QCOMPARE(shownText, QStringLiteral("Line one\r\nline two") + QChar(0) + QStringLiteral(" \u00E6"));
  }

  // Offscreen, as these tests run, a box could be neither seen nor answered.
  void offscreenHasNoDisplay() { QVERIFY(!TQtDialogService().HasDisplay()); }

  void dialogFilters() {
    QCOMPARE(TQtDialogService::ToQtFilter("Hexfiler|*.HEX|Alle filer|*.*"),
             std::string("Hexfiler (*.HEX);;Alle filer (*.*)"));
    QCOMPARE(TQtDialogService::ToQtFilter("HEX|*.HEX;*.hex"), std::string("HEX (*.HEX *.hex)"));
  }
};

QTEST_MAIN(TFormTest)
#include "tst_Form.moc"
