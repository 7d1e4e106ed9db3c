// Start-up, port choice and closing, with the port list read from a tree of the test's own
// and the programmer played by the test on a pseudo-terminal.
#include <QEventLoop>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <unistd.h>

#include "CPort/ListSerialPorts.h"
#include "FakeDialogs.h"
#include "Pty.h"
#include "TempDir.h"
#include "Unit1/MainThreadWake.h"
#include "Unit1/Unit1.h"

namespace {

const std::string Identify = std::string("zzzzzzzz") + '\xA4';

const std::string StartupWarning =
    "Der findes ingen hardware på denne maskine, der understøtter Tolvane II\r\n"
    "Du har muligvis ikke tilsluttet Tolvane II...\r\n"
    "Først når Tolvane II tilsluttes, loades USB-driveren til hardwaren!";

// Boxes that run an event loop of their own while they are up, as the real ones do.
class TLoopingDialogs : public TFakeDialogs {
public:
  void ShowException(const std::string& text) override {
    TFakeDialogs::ShowException(text);
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
  }
};

}  // namespace

class TStartupTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TTempDir> Dir;
  std::unique_ptr<TFakeDialogs> Dialogs;
  std::unique_ptr<TPty> Device;
  TSerialPortSources Sources;
  std::string Listed;  // the device as the port list names it
  std::unique_ptr<TForm1> Form;

  std::string SettingsPath() const { return Dir->File("Tolvane.ini"); }
  TForm1& MakeForm(std::vector<std::string> arguments = {}) {
    Form = std::make_unique<TForm1>(*Dialogs, std::move(arguments), SettingsPath());
    Form->OnEnd = [] {};
    return *Form;
  }
  bool Enabled(QToolButton* b) const { return b->isEnabled(); }
  // Started with a HEX file holding the image, on the saved port; the programmer answers the
  // identification with the given text.
  void StartUnattended(const std::string& image, const std::string& identification) {
    const std::string hex = Dir->Write("firmware.hex", image);
    Dir->Write("Tolvane.ini", Listed);
    MakeForm({hex}).FormActivate();
    QCOMPARE(Device->Received(Identify.size()), Identify);
    Device->Send(identification);
  }

private slots:
  void initTestCase() { InstallMainThreadWake(); }

  void init() {
    Dir = std::make_unique<TTempDir>();
    Dialogs = std::make_unique<TFakeDialogs>();
    Device = std::make_unique<TPty>();
    for (const char* sub : {"sys", "dev", "sim"}) std::filesystem::create_directory(Dir->File(sub));
    Sources.TtyClassDir = Dir->File("sys");
    Sources.DevDir = Dir->File("dev");
    Sources.SimDir = Dir->File("sim");
    Listed = Dir->File("sim/ttySIM" + std::to_string(::getpid()));
    std::filesystem::create_symlink(Device->SlavePath(), Listed);
    SetSerialPortSources(&Sources);
  }
  void cleanup() {
    Form.reset();
    SetSerialPortSources(nullptr);
    Device.reset();
    Dialogs.reset();
    Dir.reset();
  }

  void noSettingsFileAndEmptyPortList() {
    std::filesystem::remove(Listed);
    MakeForm().FormActivate();
    QVERIFY(Dialogs->Boxes.empty());
    QVERIFY(!Form->EndRequested());
    QCOMPARE(Form->ComPort->Port(), std::string("COM1"));
    QCOMPARE(Form->ComComboBox1->count(), 0);
    QCOMPARE(Form->ConnectionText(), std::string(NotAvailableText));
    QVERIFY(!Form->ComPort->Connected());
    // Start-up never writes the settings.
    QVERIFY(!std::filesystem::exists(SettingsPath()));
  }

  void missingPortSourceWarnsAndEnds() {
    Sources.TtyClassDir = Dir->File("no-such-folder");
    MakeForm().FormActivate();
    QCOMPARE(Dialogs->Boxes.size(), std::size_t(1));
    QCOMPARE(Dialogs->Boxes[0].Type, TMsgDlgType::mtWarning);
    QCOMPARE(Dialogs->Boxes[0].Text, StartupWarning);
    QVERIFY(Form->EndRequested());
    QVERIFY(Form->Ended());
    // The rest of the pass still ran.
    QCOMPARE(Form->ConnectionText(), std::string(NotAvailableText));
  }

  // The end asked for after the warning holds although a later step of the pass shows a box.
  void endAskedForInTheStartUpPassSurvivesALaterBox() {
    Sources.TtyClassDir = Dir->File("no-such-folder");
    // A HEX file that exists but cannot be read.
    const std::string unreadable = Dir->File("unreadable.hex");
    std::filesystem::create_symlink("/proc/self/mem", unreadable);
    Dialogs = std::make_unique<TLoopingDialogs>();
    MakeForm({unreadable}).OnEnd = nullptr;
    QTimer failsafe;  // only keeps a lost end from hanging the suite
    failsafe.setSingleShot(true);
    connect(&failsafe, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    failsafe.start(5000);
    QCOMPARE(Form->Exec(), 0);
    QCOMPARE(Dialogs->Boxes.size(), std::size_t(1));
    QCOMPARE(Dialogs->Exceptions.size(), std::size_t(1));
    QVERIFY(Dialogs->Exceptions[0].rfind("Cannot read file", 0) == 0);
  }

  void savedPortIsOpened() {
    Dir->Write("Tolvane.ini", Listed + "\r\nignored\r\n");
    MakeForm().FormActivate();
    QVERIFY(Form->ComPort->Connected());
    QCOMPARE(Form->ComPort->Port(), Listed);
    QCOMPARE(Form->ComComboBox1->Text(), Listed);
    QCOMPARE(Device->Received(Identify.size()), Identify);
    QCOMPARE(Form->ConnectionText(), std::string(NotFoundText));
    QCOMPARE(TTempDir::Read(SettingsPath()), Listed + "\r\nignored\r\n");
  }

  void savedPortMissingOrBusy_data() {
    QTest::addColumn<bool>("busy");
    QTest::newRow("missing") << false;
    QTest::newRow("busy") << true;
  }
  void savedPortMissingOrBusy() {
    QFETCH(bool, busy);
    TComPort blocker(nullptr);
    if (busy) {
      blocker.SetPort(Listed);
      blocker.OpenPort();
      Dir->Write("Tolvane.ini", Listed);
    } else {
      Dir->Write("Tolvane.ini", Dir->File("gone"));
    }
    MakeForm().FormActivate();
    QVERIFY(!Form->ComPort->Connected());
    QCOMPARE(Form->ConnectionText(), std::string(NotAvailableText));
    QVERIFY(Dialogs->Boxes.empty());
    QVERIFY(Dialogs->Exceptions.empty());
    QVERIFY(!Form->EndRequested());
  }

  void commandLineFile() {
    const std::string hex = Dir->Write("firmware.hex", ":00000001FF\n");
    MakeForm({hex, "ignored"}).FormActivate();
    QCOMPARE(Form->Memo.Text(), std::string(":00000001FF\r\n"));
    QCOMPARE(Form->StatusPanel(1), hex);
    QVERIFY(Form->Link.AutoMode);

    Form.reset();
    MakeForm({Dir->File("no-such.hex")}).FormActivate();
    QVERIFY(Form->Memo.Empty());
    QVERIFY(!Form->Link.AutoMode);
    QVERIFY(Dialogs->Exceptions.empty());
  }

  void identifyReopensThePortAndSavesIt() {
    Dir->Write("Tolvane.ini", Listed);
    MakeForm().FormActivate();
    QCOMPARE(Device->Received(Identify.size()), Identify);
    Device->Send("09A0\r\nReady\r\n");
    QVERIFY(QTest::qWaitFor([&] { return Enabled(Form->ToolButton6); }, 5000));
    QCOMPARE(Form->ConnectionText(), std::string(TProgrammerLink::RecognizedText) + "PIC16F877");
    Form->Memo.SetText(":00000001FF\r\n");
    std::filesystem::remove(SettingsPath());

    Form->ToolButton6->click();
    QCOMPARE(Form->StatusPanel(0), std::string(" Offline"));
    QVERIFY(!Enabled(Form->ToolButton1));
    QVERIFY(!Enabled(Form->ToolButton2));
    QVERIFY(!Enabled(Form->ToolButton3));
    QVERIFY(!Enabled(Form->ToolButton6));
    QVERIFY(Enabled(Form->ToolButton4));
    QVERIFY(Enabled(Form->ToolButton5));
    QVERIFY(Form->ComPort->Connected());
    QCOMPARE(Form->ConnectionText(), std::string(NotFoundText));
    QCOMPARE(Device->Received(Identify.size()), Identify);
    // The port name alone, with no line break.
    QCOMPARE(TTempDir::Read(SettingsPath()), Listed);
  }

  // The programmer stops taking characters in the middle of an unattended write: the port
  // reports nothing more after that, so the run ends at once with its failure.
  void unattendedWriteTheProgrammerStopsTakingEndsWithAnError() {
    std::string image;
    for (int line = 0; line < 3000; ++line) image += ":10000000FF3FFF3FFF3FFF3FFF3FFF3FFF3FFF3F00\r\n";
    image += ":00000001FF\r\n";
    // The device answers and then reads nothing more, so the line fills up.
    StartUnattended(image, "09A0\r\nReady\r\n");
    QVERIFY(QTest::qWaitFor([&] { return Form->Ended(); }, 10000));
    QCOMPARE(Form->ExitCode(), 1);
    QVERIFY(!Form->Link.WriteIssued);
    QVERIFY(Dialogs->Boxes.empty());
    QVERIFY(Dialogs->Exceptions.empty());
  }

  // Started with a file and a chip the programmer does not know, nothing is written by itself.
  // A write by hand ends the run on its own answer, with status 1 after error addresses.
  void writeByHandInAnUnattendedRunEndsOnItsAnswer() {
    StartUnattended(":00000001FF\r\n", "XYZ\r\nReady\r\n");
    QVERIFY(QTest::qWaitFor([&] { return Enabled(Form->ToolButton1); }, 5000));
    Form->ToolButton1->click();
    QCOMPARE(Device->Received(11), std::string(":00000001FF"));
    Device->Send("0012Error\r\n");
    QVERIFY(QTest::qWaitFor([&] { return !Dialogs->Boxes.empty(); }, 5000));
    QVERIFY(!Form->Ended());
    Device->Send("Ready\r\n");
    QVERIFY(QTest::qWaitFor([&] { return Form->Ended(); }, 5000));
    QCOMPARE(Form->ExitCode(), 1);
  }

  // While the end waits for the programmer to confirm an unattended write, no other port can
  // be picked; error addresses in the answer give exit status 1 without a box.
  void unattendedEndWaitsWithThePortLocked() {
    StartUnattended(":00000001FF\r\n", "09A0\r\nReady\r\n");
    QVERIFY(QTest::qWaitFor([&] { return Form->EndRequested(); }, 5000));
    QCOMPARE(Device->Received(11), std::string(":00000001FF"));
    QVERIFY(!Form->ComComboBox1->isEnabled());
    Form->SetStatusPanel(0, "");
    Device->Send("0012Error\r\n");
    QVERIFY(QTest::qWaitFor([&] { return Form->StatusPanel(0) == " Ready"; }, 5000));
    QVERIFY(!Form->ComComboBox1->isEnabled());
    QVERIFY(Dialogs->Boxes.empty());
    QVERIFY(!Form->Ended());
    Device->Send("Ready\r\n");
    QVERIFY(QTest::qWaitFor([&] { return Form->Ended(); }, 5000));
    QCOMPARE(Form->ExitCode(), 1);
  }

  // An unattended run sends nothing of an image that is not Intel HEX, not even the
  // identification request, and nothing of one that does not fit the chip identified.
  void unattendedWriteRefusesWhatIsNoImageOrDoesNotFit() {
    Dir->Write("Tolvane.ini", Listed);
    MakeForm({Dir->Write("picture.png", "\x89PNG\r\n\x1a\n")}).FormActivate();
    QVERIFY(Form->Ended());
    QCOMPARE(Form->ExitCode(), 1);
    QVERIFY(!Form->ComPort->Connected());

    Form.reset();
    StartUnattended(":020800000528C9\r\n:00000001FF\r\n", "0560\r\nReady\r\n");
    QVERIFY(QTest::qWaitFor([&] { return Form->Ended(); }, 5000));
    QCOMPARE(Form->ExitCode(), 1);
    QVERIFY(!Form->Link.WriteIssued);
    QCOMPARE(Device->Received(), std::string());
    QVERIFY(Dialogs->Boxes.empty());
  }

  // Started from the desktop nobody reads standard error: with a display the refusal is shown
  // in an error box before the run ends.
  void unattendedRefusalIsShownWithADisplay() {
    Dialogs->Display = true;
    std::size_t boxesAtEnd = 0;
    Dir->Write("Tolvane.ini", Listed);
    MakeForm({Dir->Write("picture.png", "\x89PNG\r\n\x1a\n")});
    Form->OnEnd = [&] { boxesAtEnd = Dialogs->Boxes.size(); };
    Form->FormActivate();
    QVERIFY(Form->Ended());
    QCOMPARE(Form->ExitCode(), 1);
    QCOMPARE(boxesAtEnd, std::size_t(1));
    QCOMPARE(Dialogs->Boxes[0].Type, TMsgDlgType::mtError);
    QVERIFY(Dialogs->Boxes[0].Text.rfind("picture.png:1: ", 0) == 0);
    QVERIFY(Dialogs->Boxes[0].Text.ends_with("; nothing was sent"));

    Form.reset();
    Dialogs->Boxes.clear();
    StartUnattended(":020800000528C9\r\n:00000001FF\r\n", "0560\r\nReady\r\n");
    QVERIFY(QTest::qWaitFor([&] { return Form->Ended(); }, 5000));
    QCOMPARE(Form->ExitCode(), 1);
    QCOMPARE(Dialogs->Boxes.size(), std::size_t(1));
    QVERIFY(Dialogs->Boxes[0].Text.find("outside the PIC16F84A") != std::string::npos);
  }

  // Closing the window while the end waits for the programmer's confirmation: the run has not
  // been confirmed, so it fails, and it leaves the settings file alone.
  void closingTheWindowDuringTheUnattendedEnd() {
    const std::string settings = Listed + "\r\nkept\r\n";
    Dir->Write("Tolvane.ini", settings);
    MakeForm({Dir->Write("firmware.hex", ":00000001FF\r\n")}).OnEnd = nullptr;
    QTimer::singleShot(0, [&] {
      if (Device->Received(Identify.size()) == Identify) Device->Send("09A0\r\nReady\r\n");
    });
    QTimer user;  // closes the window once the image has gone and its end waits
    connect(&user, &QTimer::timeout, [&] {
      if (Form->EndRequested() && Form->isVisible()) Form->close();
    });
    user.start(20);
    QTimer failsafe;  // only keeps a lost end from hanging the suite
    failsafe.setSingleShot(true);
    connect(&failsafe, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    failsafe.start(5000);
    QCOMPARE(Form->Exec(), 1);
    QVERIFY(!Form->isVisible());
    QCOMPARE(TTempDir::Read(SettingsPath()), settings);
  }

  void pickingAPortThatCannotOpen() {
    TComPort blocker(nullptr);
    blocker.SetPort(Listed);
    blocker.OpenPort();
    MakeForm().FormActivate();
    Form->ComComboBox1->SetText(Listed);
    Form->ComComboBox1Change();
    QCOMPARE(Form->ConnectionText(), std::string(NotAvailableText));
    QCOMPARE(TTempDir::Read(SettingsPath()), Listed);
  }

  void closingSavesThePortAndClosesIt() {
    Dir->Write("Tolvane.ini", Listed);
    MakeForm().FormActivate();
    QVERIFY(Form->ComPort->Connected());
    std::filesystem::remove(SettingsPath());
    QVERIFY(Form->close());
    QVERIFY(!Form->ComPort->Connected());
    QCOMPARE(TTempDir::Read(SettingsPath()), Listed);
  }

  void closingIsAbandonedWhenTheSettingsCannotBeWritten() {
    Dir->Write("Tolvane.ini", Listed);
    MakeForm().FormActivate();
    // Make the settings file a folder: it cannot be written.
    std::filesystem::remove(SettingsPath());
    std::filesystem::create_directory(SettingsPath());
    QVERIFY(!Form->close());
    QVERIFY(Form->ComPort->Connected());
    QCOMPARE(Dialogs->Exceptions.size(), std::size_t(1));
    QVERIFY(Dialogs->Exceptions[0].rfind("Cannot create file", 0) == 0);
  }
};

QTEST_MAIN(TStartupTest)
#include "tst_Startup.moc"
