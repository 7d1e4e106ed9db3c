// The whole program against the simulated programmer on a pseudo-terminal: identify, read,
// write, erase, error addresses and the unattended write.
#include <QProcess>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>
#include <unistd.h>

#include <filesystem>

#include "CPort/ListSerialPorts.h"
#include "ChipMemory.h"
#include "FakeDialogs.h"
#include "Simulator.h"
#include "TempDir.h"
#include "Unit1/MainThreadWake.h"
#include "Unit1/Unit1.h"
#include "firmware/FirmwareFiles.h"
#include "hex/HexImage.h"

namespace {

std::string FirmwareFor(const std::string& chip) {
  for (const auto& file : Firmware::Files)
    if (chip == file.Chip) return file.Path;
  return {};
}

}  // namespace

class TEndToEndTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TTempDir> Dir;
  TSerialPortSources Sources;
  std::unique_ptr<TFakeDialogs> Dialogs;
  std::unique_ptr<Sim::TSimulator> Device;
  std::unique_ptr<TForm1> Form;

  // Starts the simulated programmer with the chip in its socket and the window connected to it.
  // Unless told otherwise the device programs at once and the line is unpaced.
  void StartDevice(const std::string& chip, Sim::TDeviceOptions options = {}, unsigned baud = 0) {
    if (!options.ProgMs) options.ProgMs = 0;
    Device = std::make_unique<Sim::TSimulator>(Sim::TChipMemory(*Sim::FindChip(chip)),
                                               std::move(options), baud);
    Device->Start();
    Dir->Write("Tolvane.ini", Device->SlavePath());
  }
  TForm1& Connect(const std::string& chip, Sim::TDeviceOptions options = {},
                  std::vector<std::string> arguments = {}) {
    StartDevice(chip, std::move(options));
    Form = std::make_unique<TForm1>(*Dialogs, std::move(arguments), Dir->File("Tolvane.ini"));
    Form->OnEnd = [] {};
    Form->FormActivate();
    return *Form;
  }
  bool WaitForRecognized(const std::string& chip) {
    return QTest::qWaitFor(
        [&] {
          return Form->ConnectionText() == std::string(TProgrammerLink::RecognizedText) + chip;
        },
        10000);
  }
  // The answer to a write, an erase or an identification has been handled.
  bool WaitForReady() {
    return QTest::qWaitFor([&] { return Form->StatusPanel(0) == " Ready"; }, 20000);
  }
  void Load(const std::string& path) {
    Dialogs->FileAnswers.push_back(path);
    Form->ToolButton4->click();
  }
  // True when every byte of the file is in the chip.
  bool ChipHolds(const Hex::THexImage& file) const {
    const Hex::THexImage chip = Device->Memory().Image();
    for (const auto& [address, value] : file) {
      const auto found = chip.find(address);
      if (found == chip.end() || found->second != value) return false;
    }
    return true;
  }
  std::vector<bool> Commands() const {
    return {Form->ToolButton1->isEnabled(), Form->ToolButton2->isEnabled(),
            Form->ToolButton3->isEnabled(), Form->ToolButton6->isEnabled(),
            Form->ToolButton4->isEnabled(), Form->ToolButton5->isEnabled(),
            Form->ComComboBox1->isEnabled()};
  }

private slots:
  void initTestCase() { InstallMainThreadWake(); }
  void init() {
    Dir = std::make_unique<TTempDir>();
    Dialogs = std::make_unique<TFakeDialogs>();
    // No ports of the machine: the saved port is the simulator's.
    Sources.TtyClassDir = Dir->Path();
    Sources.DevDir = Dir->Path();
    Sources.SimDir.clear();
    SetSerialPortSources(&Sources);
  }
  void cleanup() {
    Form.reset();
    Device.reset();
    SetSerialPortSources(nullptr);
    Dialogs.reset();
    Dir.reset();
  }

  void identifyThenReadTheChip() {
    Connect("PIC16F877A");
    QVERIFY(WaitForRecognized("PIC16F877A"));
    QCOMPARE(Form->StatusPanel(0), std::string(" Ready"));
    // W R E I L S P after a Ready answer with no image.
    QCOMPARE(Commands(), (std::vector<bool>{false, true, true, true, true, false, true}));

    Form->ToolButton2->click();
    QCOMPARE(Commands(), std::vector<bool>(7, false));
    QVERIFY(!Form->Panel1->isHidden());
    QCOMPARE(Form->ProgressBar1->maximum(), 47586);
    QVERIFY(QTest::qWaitFor([&] { return Form->Link.LinkMode == -1; }, 20000));
    QVERIFY(Form->Panel1->isHidden());
    QCOMPARE(Form->ProgressBar1->value(), 47586);
    QCOMPARE(Commands(), std::vector<bool>(7, true));
    QCOMPARE(Form->StatusPanel(1), std::string(" Read-result form PIC16F877A"));
    // The image is the chip, record for record.
    const Hex::THexImage read = Hex::ReadHex(Form->Memo.Text());
    QVERIFY(read == Device->Memory().ReadOut(8192, 256));
    QVERIFY(Form->Memo.Text().find("Ready") == std::string::npos);
  }

  void writeEraseAndStatus() {
    const std::string firmware = FirmwareFor("PIC16F877A");
    QVERIFY(!firmware.empty());
    Connect("PIC16F877A");
    QVERIFY(WaitForRecognized("PIC16F877A"));
    Load(firmware);
    QCOMPARE(Commands(), (std::vector<bool>{true, true, true, true, true, true, true}));

    Form->SetStatusPanel(0, "");
    Form->ToolButton1->click();
    QVERIFY(WaitForReady());
    QVERIFY(Form->Link.WriteIssued);
    QVERIFY(ChipHolds(Hex::LoadHexFile(firmware)));
    QVERIFY(Dialogs->Boxes.empty());
    QVERIFY(Dialogs->Exceptions.empty());
    QCOMPARE(Form->ProgressBar1->value(), Form->Memo.Count());

    Form->StatusBar1Click();
    QVERIFY(Dialogs->Boxes.back().Text.find("PIC-kreds = PIC16F877A\r\n8K x 14 bit Program "
                                            "memory\r\n256 x 8 bit Data memory (EE)") !=
            std::string::npos);

    // Erase asks first; No sends nothing.
    Form->SetStatusPanel(0, "");
    Dialogs->Answers = {mrNo};
    Form->ToolButton3->click();
    QCOMPARE(Dialogs->Boxes.back().Text, std::string("Do you want to erase the PIC?"));
    QCOMPARE(Dialogs->Boxes.back().Type, TMsgDlgType::mtConfirmation);
    QTest::qWait(100);
    QCOMPARE(Form->StatusPanel(0), std::string());
    QVERIFY(ChipHolds(Hex::LoadHexFile(firmware)));

    Form->ToolButton3->click();
    QVERIFY(!Form->ComComboBox1->isEnabled());
    QVERIFY(WaitForReady());
    const Sim::TChipMemory chip = Device->Memory();
    for (std::uint32_t word = 0; word < chip.Model().ProgramWords; ++word)
      QCOMPARE(chip.Word(word), Sim::BlankWord);
  }

  void errorAddressesAreShown() {
    Sim::TDeviceOptions options;
    options.FailAt = {0x0009};
    Connect("PIC16F877", options);
    QVERIFY(WaitForRecognized("PIC16F877"));
    Load(FirmwareFor("PIC16F877A"));
    Form->ToolButton1->click();
    QVERIFY(QTest::qWaitFor([&] { return !Dialogs->Boxes.empty(); }, 20000));
    QCOMPARE(Dialogs->Boxes[0].Type, TMsgDlgType::mtError);
    QCOMPARE(Dialogs->Boxes[0].Text,
             std::string("Program-process faulture on address: 0009"));
    QVERIFY(Form->ComComboBox1->isEnabled());
    QVERIFY(Form->Panel1->isHidden());
  }

  void unattendedWriteEndsByItself() {
    const std::string firmware = FirmwareFor("PIC16F630");
    QVERIFY(!firmware.empty());
    const Hex::THexImage file = Hex::LoadHexFile(firmware);
    // A slow device: most of the image still waits in its input when the last character is
    // written, and must not be thrown away when the program ends.
    Sim::TDeviceOptions options;
    options.ProgMs = 2;
    Connect("PIC16F630", options, {firmware});
    bool chipHeldImageAtEnd = false;
    Form->OnEnd = [&] { chipHeldImageAtEnd = ChipHolds(file); };
    QVERIFY(Form->Link.AutoMode);
    QVERIFY(QTest::qWaitFor([&] { return Form->EndRequested(); }, 20000));
    // The end was asked for in the very handling that recognised the chip, once the whole
    // image had been written.
    QVERIFY(Form->Link.WriteIssued);
    QCOMPARE(Form->ConnectionText(), std::string(TProgrammerLink::RecognizedText) + "PIC16F630");
    QCOMPARE(Form->ProgressBar1->value(), Form->Memo.Count());
    QVERIFY(QTest::qWaitFor([&] { return Form->Ended(); }, 20000));
    QVERIFY(chipHeldImageAtEnd);
    QCOMPARE(Form->ExitCode(), 0);
    QVERIFY(Dialogs->Boxes.empty());
  }

  void unattendedWriteFailureEndsWithAnError() {
    Sim::TDeviceOptions options;
    options.FailAt = {0x0001};
    Connect("PIC16F630", options, {FirmwareFor("PIC16F630")});
    QVERIFY(QTest::qWaitFor([&] { return Form->Ended(); }, 20000));
    QCOMPARE(Form->ExitCode(), 1);
    QVERIFY(Dialogs->Boxes.empty());
  }

  void unattendedWriteGivesUpOnASilentProgrammer() {
    Sim::TDeviceOptions options;
    options.Silent = true;
    StartDevice("PIC16F630", options);
    Form = std::make_unique<TForm1>(*Dialogs, std::vector<std::string>{FirmwareFor("PIC16F630")},
                                    Dir->File("Tolvane.ini"));
    Form->OnEnd = [] {};
    Form->EndWaitLimitMs = 200;
    Form->FormActivate();
    // Identify by hand: the device answers nothing.
    Form->Link.ChipId = 0x10C;
    Form->Link.Chip.SelectChip(0x10C);
    Form->SetButtonEnabled(TToolButtonId::Write, true);
    Form->SetConnectionText(std::string(TProgrammerLink::RecognizedText) + "PIC16F630");
    QVERIFY(Form->Link.WriteIssued);
    Form->RequestEnd();
    QVERIFY(!Form->Ended());
    QVERIFY(QTest::qWaitFor([&] { return Form->Ended(); }, 5000));
    QCOMPARE(Form->ExitCode(), 1);
  }

  // The program itself, as a user starts it: a copy beside its own settings file, flashing
  // over a paced line.
  void programFlashesAFileAndEnds() {
    const std::string firmware = FirmwareFor("PIC16F630");
    StartDevice("PIC16F630", {}, 57600);
    const std::string program = Dir->File("tolvane");
    std::filesystem::copy_file(TOLVANE_PROGRAM, program);
    QProcess run;
    run.setProcessEnvironment([] {
      QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
      environment.insert("QT_QPA_PLATFORM", "offscreen");
      return environment;
    }());
    run.start(QString::fromStdString(program), {QString::fromStdString(firmware)});
    QVERIFY(run.waitForFinished(30000));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 0);
    QVERIFY(ChipHolds(Hex::LoadHexFile(firmware)));
    // Ending unattended leaves the settings as they were.
    QCOMPARE(TTempDir::Read(Dir->File("Tolvane.ini")), Device->SlavePath());
  }

  // Started with its standard descriptors closed, as a service manager may start it, the
  // program must not open the port on one of their numbers: what it writes to standard
  // output or error would go to the programmer.
  void closedStandardDescriptorsNeverBecomeThePort() {
    StartDevice("PIC16F630");
    const std::string program = Dir->File("tolvane");
    std::filesystem::copy_file(TOLVANE_PROGRAM, program);
    QProcess run;
    run.setProcessEnvironment([] {
      QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
      environment.insert("QT_QPA_PLATFORM", "offscreen");
      return environment;
    }());
    run.setChildProcessModifier([] {
      for (int fd = 0; fd <= 2; ++fd) ::close(fd);
    });
    run.start(QString::fromStdString(program), {});
    QVERIFY(run.waitForStarted());
    const std::filesystem::path descriptors = "/proc/" + std::to_string(run.processId()) + "/fd";
    auto portDescriptor = [&] {
      std::error_code error;
      for (const auto& entry : std::filesystem::directory_iterator(descriptors, error))
        if (std::filesystem::read_symlink(entry.path(), error) == Device->SlavePath())
          return std::stoi(entry.path().filename().string());
      return -1;
    };
    QVERIFY(QTest::qWaitFor([&] { return portDescriptor() >= 0; }, 20000));
    QVERIFY(portDescriptor() > 2);
    run.kill();
    run.waitForFinished();
  }

  void unattendedWriteWaitsForAKnownChip() {
    Sim::TDeviceOptions options;
    options.IdText = "XYZ";
    Connect("PIC16F630", options, {FirmwareFor("PIC16F630")});
    QVERIFY(WaitForRecognized("Unknown"));
    QTest::qWait(100);
    QVERIFY(!Form->EndRequested());
    QVERIFY(!Form->Link.WriteIssued);

    // Written by hand, the image ends the run as soon as the programmer confirms it.
    Form->ToolButton1->click();
    QVERIFY(QTest::qWaitFor([&] { return Form->Ended(); }, 20000));
    QCOMPARE(Form->ExitCode(), 0);
    QVERIFY(ChipHolds(Hex::LoadHexFile(FirmwareFor("PIC16F630"))));
  }
};

QTEST_MAIN(TEndToEndTest)
#include "tst_EndToEnd.moc"
