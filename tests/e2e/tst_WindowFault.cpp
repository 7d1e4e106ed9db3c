// The whole window against bad files and a programmer that goes away: every case ends in the
// image the loading rules give or in a message, never in a crash or a hang, and the window
// works again once the port is picked again.
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <thread>
#include <unistd.h>

#include "CPort/ListSerialPorts.h"
#include "ChipMemory.h"
#include "FakeDialogs.h"
#include "Simulator.h"
#include "TempDir.h"
#include "Unit1/MainThreadWake.h"
#include "Unit1/Unit1.h"
#include "hex/HexImage.h"

namespace {

// The loading rules, byte by byte: up to the first NUL, every break made CR LF.
std::string Loaded(const std::string& bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size() && bytes[i] != '\0'; ++i) {
    if (bytes[i] == '\r' || bytes[i] == '\n') {
      text += "\r\n";
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      text += bytes[i];
    }
  }
  return text;
}

std::string FullProgramMemory() {
  Hex::THexImage hex;
  for (std::uint32_t word = 0; word < 8192; ++word) {
    hex[2 * word] = std::uint8_t(word);
    hex[2 * word + 1] = std::uint8_t((word >> 8) & 0x3F);
  }
  return Hex::WriteHex(hex);
}

}  // namespace

class TWindowFaultTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TTempDir> Dir;
  TSerialPortSources Sources;
  std::unique_ptr<TFakeDialogs> Dialogs;
  std::unique_ptr<Sim::TSimulator> Device;
  std::unique_ptr<TForm1> Form;

  void StartDevice(const char* chip, unsigned baud = 0) {
    Sim::TDeviceOptions options;
    if (baud == 0) options.ProgMs = 0;
    Device = std::make_unique<Sim::TSimulator>(Sim::TChipMemory(*Sim::FindChip(chip)), options, baud);
    Device->Start();
  }
  // Picking the device's port in the selector. The device keeps its port name across a
  // vanishing, as a USB programmer plugged in again does.
  void PickDevice() {
    const std::string port = Dir->File("ttySIM" + std::to_string(getpid()));
    std::filesystem::remove(port);
    std::filesystem::create_symlink(Device->SlavePath(), port);
    Form->ComComboBox1->SetComProperty(cpPort);
    Form->ComComboBox1->SetText(port);
    QCOMPARE(Form->ComComboBox1->Text(), port);
    Form->ComComboBox1Change();
  }
  bool WaitForRecognized(const std::string& chip) {
    return QTest::qWaitFor(
        [&] { return Form->ConnectionText() == std::string(TProgrammerLink::RecognizedText) + chip; },
        20000);
  }
  std::string Shown() const {
    std::string text = Form->MemoView->toPlainText().toLatin1().toStdString();
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return crlf;
  }

private slots:
  void initTestCase() { InstallMainThreadWake(); }
  void init() {
    Dir = std::make_unique<TTempDir>();
    Dialogs = std::make_unique<TFakeDialogs>();
    Sources.TtyClassDir = Dir->Path();
    Sources.DevDir = Dir->Path();
    Sources.SimDir = Dir->Path();
    SetSerialPortSources(&Sources);
    Form = std::make_unique<TForm1>(*Dialogs, std::vector<std::string>{}, Dir->File("Tolvane.ini"));
    Form->OnEnd = [] {};
  }
  void cleanup() {
    Form.reset();
    Device.reset();
    SetSerialPortSources(nullptr);
    Dialogs.reset();
    Dir.reset();
  }

  void badFilesLoad_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("printable");  // the view shows control characters its own way
    QByteArray binary;
    for (int i = 255; i >= 0; --i) binary.append(char(i));  // ends in the NUL
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("binary") << binary << false;
    QTest::newRow("NUL in the middle") << QByteArray(":00000001FF\r\n\0:10000000\r\n", 26) << true;
    QTest::newRow("line of 10000") << (QByteArray(10000, 'A') + "\r\n:00000001FF\r\n") << true;
    QTest::newRow("CR only") << QByteArray(":020000000102FB\r:00000001FF\r") << true;
    QTest::newRow("mixed") << QByteArray(":02000000\r\n0102FB\n\r:00000001FF\n\n\r\r\n") << true;
  }
  void badFilesLoad() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, printable);
    const std::string raw(bytes.constData(), std::size_t(bytes.size()));
    Dialogs->FileAnswers.push_back(Dir->Write("bad.hex", raw));
    Form->ToolButton4->click();
    QVERIFY(Dialogs->Exceptions.empty());
    QCOMPARE(Form->Memo.Text(), Loaded(raw));
    if (printable) QCOMPARE(Shown(), Form->Memo.Text());
    QCOMPARE(Form->ToolButton5->isEnabled(), !Form->Memo.Empty());

    // Saving writes the image as held, so loading that file again changes nothing.
    Dialogs->FileAnswers.push_back(Dir->File("again.hex"));
    Form->ToolButton5->click();
    QVERIFY(Dialogs->Exceptions.empty());
    QCOMPARE(TTempDir::Read(Dir->File("again.hex")), Form->Memo.Text());
  }

  void fiftyMegabyteFileLoads() {
    const std::string line = ":10000000" + std::string(32, '0') + "F0\n";
    std::string bytes;
    while (bytes.size() < (50u << 20)) bytes += line;
    Dialogs->FileAnswers.push_back(Dir->Write("big.hex", bytes));
    Form->ToolButton4->click();
    QVERIFY(Dialogs->Exceptions.empty());
    QCOMPARE(Form->Memo.Text().size(), bytes.size() + bytes.size() / line.size());
    QCOMPARE(Form->MemoView->blockCount(), int(bytes.size() / line.size()) + 1);
  }

  void unusableFilesAreShownAndKeepTheImage() {
    Dialogs->FileAnswers.push_back(Dir->Write("good.hex", ":00000001FF\r\n"));
    Form->ToolButton4->click();
    const std::string plain = Dir->Write("plain", "x");
    // A folder, a path under a file, a file that is not there.
    for (const std::string& path : {Dir->Path(), plain + "/in.hex", Dir->File("missing.hex")}) {
      Dialogs->FileAnswers.push_back(path);
      Form->ToolButton4->click();
    }
    // Saving into a folder that cannot hold it, and over a folder.
    Dialogs->FileAnswers.push_back(plain + "/out.hex");
    Form->ToolButton5->click();
    std::filesystem::create_directory(Dir->File("folder.hex"));
    Dialogs->FileAnswers.push_back(Dir->File("folder.hex"));
    Form->ToolButton5->click();
    QCOMPARE(Dialogs->Exceptions.size(), std::size_t(5));
    for (const std::string& shown : Dialogs->Exceptions) {
      QVERIFY2(shown.rfind("Cannot ", 0) == 0, shown.c_str());
      QCOMPARE(shown.back(), '.');
    }
    QCOMPARE(Form->Memo.Text(), std::string(":00000001FF\r\n"));
  }

  void vanishingDuringAWriteIsShownAndPickingThePortAgainRecovers() {
    StartDevice("PIC16F877", 57600);
    PickDevice();
    QVERIFY(WaitForRecognized("PIC16F877"));
    Dialogs->FileAnswers.push_back(Dir->Write("full.hex", FullProgramMemory()));
    Form->ToolButton4->click();
    QVERIFY(Form->ToolButton1->isEnabled());

    std::thread puller([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      Device.reset();
    });
    Form->ToolButton1->click();
    puller.join();
    QCOMPARE(Dialogs->Exceptions.size(), std::size_t(1));
    QVERIFY2(Dialogs->Exceptions[0].rfind("WriteFile function failed (win error code: ", 0) == 0,
             Dialogs->Exceptions[0].c_str());
    QCOMPARE(Dialogs->Exceptions[0].back(), '.');
    QVERIFY(Form->ComComboBox1->isEnabled());

    // The window stays usable: picking the port of a device that is back identifies again.
    QTest::qWait(100);
    StartDevice("PIC16F84A");
    PickDevice();
    QVERIFY(WaitForRecognized("PIC16F84A"));
    QVERIFY(Form->ToolButton2->isEnabled());
    QCOMPARE(Dialogs->Exceptions.size(), std::size_t(1));
  }

  void vanishingWhileIdleThenAnyCommandSaysSoAndPickingRecovers() {
    StartDevice("PIC16F84A");
    PickDevice();
    QVERIFY(WaitForRecognized("PIC16F84A"));
    Device.reset();
    QTest::qWait(200);
    QVERIFY(Dialogs->Exceptions.empty());
    Form->ToolButton3->click();  // erase, confirmed
    QCOMPARE(Dialogs->Exceptions.size(), std::size_t(1));
    QVERIFY(Dialogs->Exceptions[0].rfind("WriteFile function failed", 0) == 0);
    QVERIFY(Form->ComComboBox1->isEnabled());

    StartDevice("PIC16F630");
    PickDevice();
    QVERIFY(WaitForRecognized("PIC16F630"));
  }
};

QTEST_MAIN(TWindowFaultTest)
#include "tst_WindowFault.moc"
