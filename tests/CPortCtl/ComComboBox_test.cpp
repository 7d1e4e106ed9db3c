#include "CPortCtl/ComComboBox.h"

#include <QSignalSpy>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "CPort/ComPort.h"
#include "CPort/EComPort.h"
#include "CPort/ListSerialPorts.h"
#include "CPort/platform/FakeSerialPlatform.h"
#include "framework/ShownErrors.h"

namespace fs = std::filesystem;

// Failing comparisons of texts show both texts.
namespace QTest {
template <>
char* toString(const std::string& text) {
  return qstrdup(text.c_str());
}
}  // namespace QTest

namespace {

std::vector<std::string> Entries(const TComComboBox& box) {
  std::vector<std::string> entries;
  for (int i = 0; i < box.count(); ++i) entries.push_back(box.itemText(i).toStdString());
  return entries;
}

}  // namespace

class ComComboBoxTest : public QObject {
  Q_OBJECT

private:
  fs::path Root;
  TSerialPortSources Sources;
  std::unique_ptr<TComComboBox> Box;
  TComPort* Port = nullptr;  // deleted by the tests that destroy it, else in cleanup
  int Changes = 0;

  // A tty class folder and device folder holding the given device names.
  void MakePorts(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      fs::create_directories(Root / "sys" / name / "device");
      std::ofstream(Root / "sys" / name / "uevent") << "DEVNAME=" << name << "\n";
      std::ofstream(Root / "dev" / name);
    }
  }

  // What the user does: move the selection one entry down with the keyboard.
  void UserPicksNext() { QTest::keyClick(Box.get(), Qt::Key_Down); }

private slots:
  void init() {
    char pattern[] = "/tmp/tolvane-selector-XXXXXX";
    QVERIFY(mkdtemp(pattern) != nullptr);
    Root = pattern;
    fs::create_directories(Root / "sys");
    fs::create_directories(Root / "dev");
    Sources.TtyClassDir = (Root / "sys").string();
    Sources.DevDir = (Root / "dev").string();
    Sources.SimDir.clear();
    SetSerialPortSources(&Sources);
    Box = std::make_unique<TComComboBox>();
    Changes = 0;
    Box->OnChange = [this](TObject* sender) {
      QCOMPARE(sender, static_cast<TObject*>(Box.get()));
      ++Changes;
    };
    Port = new TComPort(nullptr);
  }

  void cleanup() {
    Box.reset();
    delete Port;
    Port = nullptr;
    SetSerialPortSources(nullptr);
    fs::remove_all(Root);
  }

  void startsEmptyAndPickOnly() {
    QCOMPARE(Box->ComProperty(), cpNone);
    QVERIFY(Box->ComPort() == nullptr);
    QVERIFY(!Box->AutoApply());
    QCOMPARE(Box->count(), 0);
    QCOMPARE(Box->currentIndex(), -1);
    QVERIFY(!Box->isEditable());
  }

  void fillsPortsSortedAndSelectsTheFirstWithoutAPort() {
    MakePorts({"ttyUSB1", "ttyACM0", "ttyUSB0"});
    Box->SetComProperty(cpPort);
    QCOMPARE(Entries(*Box), (std::vector<std::string>{"ttyACM0", "ttyUSB0", "ttyUSB1"}));
    QCOMPARE(Box->Text(), std::string("ttyACM0"));
    // Every write reads the list again.
    MakePorts({"ttyS0"});
    Box->SetComProperty(cpPort);
    QCOMPARE(Box->count(), 4);
    Box->SetComProperty(cpNone);
    QCOMPARE(Box->count(), 0);
    QCOMPARE(Box->Text(), std::string());
    QCOMPARE(Changes, 0);
  }

  void programSelectionsAreSilentUserPicksAreNot() {
    MakePorts({"ttyUSB0", "ttyUSB1", "ttyUSB2"});
    Port->SetPort("ttyUSB1");
    Box->SetComPort(Port);
    Box->SetComProperty(cpPort);
    Box->SetText("ttyUSB2");
    Box->setCurrentIndex(0);
    QCOMPARE(Changes, 0);

    std::string seen;
    Box->OnChange = [&](TObject*) {
      ++Changes;
      seen = Box->Text();
    };
    UserPicksNext();
    QCOMPARE(Changes, 1);
    QCOMPARE(seen, std::string("ttyUSB1"));
    QCOMPARE(Box->ComSelect().ChosenPort(), std::string("ttyUSB1"));
    // Without AutoApply the port is left to the handler.
    Port->SetPort("elsewhere");
    UserPicksNext();
    QCOMPARE(Changes, 2);
    QCOMPARE(Box->Text(), std::string("ttyUSB2"));
    QCOMPARE(Port->Port(), std::string("elsewhere"));
  }

  void textMatchesWholeEntriesIgnoringCase() {
    MakePorts({"COM1", "COM3", "COM10"});
    Box->SetComProperty(cpPort);
    Box->SetText("com3");
    QCOMPARE(Box->Text(), std::string("COM3"));
    Box->SetText("COM9");  // not listed: the selection stays
    QCOMPARE(Box->Text(), std::string("COM3"));
    Box->SetText("COM");
    QCOMPARE(Box->Text(), std::string("COM3"));
    Box->SetText("com10");
    QCOMPARE(Box->currentIndex(), 1);
    QCOMPARE(Changes, 0);
  }

  void textPicksTheUpperOfEqualEntries() {
    fs::create_directories(Root / "sys" / "a" / "device");
    fs::create_directories(Root / "sys" / "b" / "device");
    std::ofstream(Root / "sys" / "a" / "uevent") << "DEVNAME=ttyUSB0\n";
    std::ofstream(Root / "sys" / "b" / "uevent") << "DEVNAME=ttyUSB0\n";
    MakePorts({"ttyACM0"});
    std::ofstream(Root / "dev" / "ttyUSB0");
    Box->SetComProperty(cpPort);
    QCOMPARE(Entries(*Box), (std::vector<std::string>{"ttyACM0", "ttyUSB0", "ttyUSB0"}));
    Box->setCurrentIndex(2);
    Box->SetText("TTYUSB0");
    QCOMPARE(Box->currentIndex(), 1);
  }

  void linkedPortChoosesTheEntry() {
    MakePorts({"COM1", "COM3"});
    Port->SetPort("com3");
    Box->SetComPort(Port);
    Box->SetComProperty(cpPort);
    QCOMPARE(Box->Text(), std::string("COM3"));
    QCOMPARE(Box->ComSelect().ChosenPort(), std::string("COM3"));  // the list's spelling
    QCOMPARE(Port->Port(), std::string("com3"));

    // An unlisted name selects nothing, not the first entry.
    Port->SetPort("COM7");
    Box->SetComProperty(cpPort);
    QCOMPARE(Box->currentIndex(), -1);
    QCOMPARE(Box->Text(), std::string());
  }

  void linkingSyncsTheSelection() {
    MakePorts({"COM1", "COM3"});
    Box->SetComProperty(cpPort);
    QCOMPARE(Box->Text(), std::string("COM1"));
    Port->SetPort("COM7");
    Box->SetComPort(Port);
    QCOMPARE(Box->currentIndex(), -1);

    TComPort other(nullptr);
    other.SetPort("COM3");
    Box->SetComPort(&other);
    QCOMPARE(Box->Text(), std::string("COM3"));
    Box->SetComPort(nullptr);  // only drops the link
    QCOMPARE(Box->Text(), std::string("COM3"));
    QVERIFY(Box->ComPort() == nullptr);
    QCOMPARE(Changes, 0);
  }

  void everyKindOffersItsTextsAndShowsThePortsValue() {
    Port->SetBaudRate(br57600);
    Port->SetStopBits(sbOne5StopBits);
    Port->FlowControl().SetFlowControl(fcHardware);
    Box->SetComPort(Port);

    Box->SetComProperty(cpBaudRate);
    QCOMPARE(Box->count(), 16);
    QCOMPARE(Box->itemText(0), QString("Custom"));
    QCOMPARE(Box->itemText(15), QString("256000"));
    QCOMPARE(Box->Text(), std::string("57600"));
    QCOMPARE(Box->ComSelect().ChosenBaudRate(), br57600);

    Box->SetComProperty(cpDataBits);
    QCOMPARE(Entries(*Box), (std::vector<std::string>{"5", "6", "7", "8"}));
    QCOMPARE(Box->Text(), std::string("8"));

    Box->SetComProperty(cpStopBits);
    QCOMPARE(Entries(*Box), (std::vector<std::string>{"1", "1.5", "2"}));
    QCOMPARE(Box->Text(), std::string("1.5"));

    Box->SetComProperty(cpParity);
    QCOMPARE(Entries(*Box), (std::vector<std::string>{"None", "Odd", "Even", "Mark", "Space"}));
    QCOMPARE(Box->Text(), std::string("None"));

    Box->SetComProperty(cpFlowControl);
    QCOMPARE(Entries(*Box),
             (std::vector<std::string>{"Hardware", "Software", "None", "Custom"}));
    QCOMPARE(Box->Text(), std::string("Hardware"));
    QCOMPARE(Box->ComSelect().ChosenFlowControl(), fcHardware);
    QCOMPARE(Changes, 0);
  }

  void autoApplyChangesThePortBeforeOnChange() {
    Box->SetComPort(Port);
    Box->SetComProperty(cpBaudRate);
    Box->SetAutoApply(true);
    QCOMPARE(Box->Text(), std::string("9600"));
    QCOMPARE(Port->BaudRate(), br9600);  // program selections apply nothing
    Box->SetText("56000");
    TBaudRate seen = brCustom;
    Box->OnChange = [&](TObject*) {
      ++Changes;
      seen = Port->BaudRate();
    };
    UserPicksNext();
    QCOMPARE(Changes, 1);
    QCOMPARE(seen, br57600);

    // The other kinds write their own setting.
    Box->SetComProperty(cpParity);
    UserPicksNext();
    QCOMPARE(Port->Parity().Bits(), prOdd);
    Box->SetComProperty(cpFlowControl);  // the port's fcNone is entry 2
    QTest::keyClick(Box.get(), Qt::Key_Up);
    QCOMPARE(Port->FlowControl().FlowControl(), fcSoftware);
    Box->SetComProperty(cpDataBits);
    Box->setCurrentIndex(0);
    UserPicksNext();
    QCOMPARE(Port->DataBits(), dbSix);
    Box->SetComProperty(cpStopBits);
    UserPicksNext();
    QCOMPARE(Port->StopBits(), sbOne5StopBits);
  }

  void autoApplyOfAPortNameSetsPort() {
    MakePorts({"ttyUSB0", "ttyUSB1"});
    Box->SetComProperty(cpPort);
    Box->SetComPort(Port);  // COM1 is not listed
    Box->SetAutoApply(true);
    UserPicksNext();
    QCOMPARE(Port->Port(), std::string("ttyUSB0"));
  }

  void failingApplyGoesToTheApplicationNotToQt() {
    // An open port that cannot open the newly picked device.
    ComPlatform::TFakeSerialPlatform platform;
    ComPlatform::SetSerialPlatform(&platform);
    auto port = std::make_unique<TComPort>(nullptr);
    ComPlatform::SetSerialPlatform(nullptr);
    MakePorts({"ttyUSB0", "ttyUSB1"});
    port->SetEvents(TComEvents{});
    port->SetPort("ttyUSB0");
    port->OpenPort();
    Box->SetComPort(port.get());
    Box->SetComProperty(cpPort);
    Box->SetAutoApply(true);
    TShownErrors shown;
    platform.Fail("CreateFileA", ComPlatform::ERROR_ACCESS_DENIED);
    UserPicksNext();
    QCOMPARE(shown.Messages.size(), std::size_t(1));
    QCOMPARE(shown.Messages[0], std::string("Unable to open com port (win error code: 5)"));
    QCOMPARE(Changes, 0);  // OnChange is skipped
    QCOMPARE(Box->ComSelect().ChosenPort(), std::string("ttyUSB1"));  // but the choice stays
    QCOMPARE(port->Port(), std::string("ttyUSB1"));
    QVERIFY(!port->Connected());

    // A failing OnChange handler is shown the same way.
    Box->SetAutoApply(false);
    Box->OnChange = [](TObject*) { throw std::runtime_error("handler failed"); };
    QTest::keyClick(Box.get(), Qt::Key_Up);
    QCOMPARE(shown.Messages.size(), std::size_t(2));
    QCOMPARE(shown.Messages[1], std::string("handler failed"));
    port.reset();
  }

  void destroyingTheLinkedPortSelectsTheFirstEntrySilently() {
    MakePorts({"COM1", "COM2", "COM3"});
    Port->SetPort("COM3");
    Box->SetComPort(Port);
    Box->SetComProperty(cpPort);
    QCOMPARE(Box->currentIndex(), 2);
    delete Port;
    Port = nullptr;
    QVERIFY(Box->ComPort() == nullptr);
    QCOMPARE(Box->currentIndex(), 0);
    QCOMPARE(Changes, 0);
  }

  void onlyTheLinkedPortIsWatched() {
    MakePorts({"COM1", "COM2"});
    auto* old = new TComPort(nullptr);
    old->SetPort("COM2");
    Box->SetComPort(old);
    Box->SetComProperty(cpPort);
    Box->SetComPort(Port);  // COM1 is listed
    QCOMPARE(Box->Text(), std::string("COM1"));
    Box->setCurrentIndex(1);
    delete old;  // no longer linked: nothing happens
    QVERIFY(Box->ComPort() == Port);
    QCOMPARE(Box->currentIndex(), 1);
    // A box that goes first is no longer told about its port.
    Box.reset();
    delete Port;
    Port = nullptr;
  }

  void missingPortSourceLeavesAnEmptyListAndRaises() {
    MakePorts({"COM1"});
    Box->SetComProperty(cpPort);
    QCOMPARE(Box->Text(), std::string("COM1"));
    fs::remove_all(Root / "sys");
    try {
      Box->SetComProperty(cpPort);
      QFAIL("no exception");
    } catch (const EComPort& e) {
      QCOMPARE(e.PortErrorCode(), 23);
      QCOMPARE(e.WinErrorCode(), 2);
    }
    QCOMPARE(Box->ComProperty(), cpPort);
    QCOMPARE(Box->count(), 0);
    QCOMPARE(Box->currentIndex(), -1);
    QCOMPARE(Box->Text(), std::string());
  }

  void emptyPortSourceIsNoError() {
    Box->SetComPort(Port);
    Box->SetComProperty(cpPort);
    QCOMPARE(Box->count(), 0);
    QCOMPARE(Box->Text(), std::string());
  }
};

QTEST_MAIN(ComComboBoxTest)
#include "ComComboBox_test.moc"
