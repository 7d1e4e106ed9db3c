// The port list from the registry, on keys of the test's own under HKEY_CURRENT_USER.
#include <gtest/gtest.h>
#include <windows.h>

#include <random>

#include "CPort/EComPort.h"
#include "CPort/ListSerialPorts.h"
#include "CPort/SerialPortDetails.h"

namespace {

using Strings = std::vector<std::string>;

class Win32PortList : public ::testing::Test {
protected:
  void SetUp() override {
    FKey = "Software\\Tolvane tests\\" + std::to_string(std::random_device()()) + "\\SERIALCOMM";
    Sources.RegistryKey = "HKEY_CURRENT_USER\\" + FKey;
  }
  void TearDown() override {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, FKey.substr(0, FKey.rfind('\\')).c_str());
  }
  // A value as drivers write them; `terminated` false leaves the data's NUL out.
  void Add(const std::string& device, const std::string& port, bool terminated = true) {
    HKEY key;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, FKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
    ::RegSetValueExA(key, device.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                     static_cast<DWORD>(port.size() + (terminated ? 1 : 0)));
    ::RegCloseKey(key);
  }
  // The registry code of the failure, and the list left as it was.
  int Failure() {
    Strings list = {"kept"};
    try {
      ListSerialPorts(list, Sources);
    } catch (const EComPort& e) {
      EXPECT_EQ(e.PortErrorCode(), 23);
      EXPECT_EQ(list, Strings{"kept"});
      return e.WinErrorCode();
    }
    ADD_FAILURE() << "no failure";
    return 0;
  }

  std::string FKey;
  TSerialPortSources Sources;
};

TEST_F(Win32PortList, SortsAsTextIgnoringCaseAndKeepsEveryEntry) {
  Add("\\Device\\Serial2", "COM3");
  Add("\\Device\\Serial0", "COM1");
  Add("\\Device\\VCP0", "COM10", false);
  Add("\\Device\\USBSER000", "com2");
  Add("\\Device\\Serial9", "COM3");
  Strings list;
  ListSerialPorts(list, Sources);
  EXPECT_EQ(list, (Strings{"COM1", "COM10", "com2", "COM3", "COM3"}));

  const std::vector<TSerialPortDetails> ports = DescribeSerialPorts(Sources);
  ASSERT_EQ(ports.size(), 5u);
  EXPECT_EQ(ports[1].Name, "COM10");
  EXPECT_EQ(ports[1].DevicePath, "\\Device\\VCP0");
  EXPECT_FALSE(ports[1].OnUsb());
}

TEST_F(Win32PortList, AnUnreadableKeyRaisesRegistryErrorWithItsCode) {
  EXPECT_EQ(Failure(), ERROR_FILE_NOT_FOUND);
  Add("\\Device\\Serial0", "COM1");
  ::RegDeleteKeyValueA(HKEY_CURRENT_USER, FKey.c_str(), "\\Device\\Serial0");
  Strings list = {"kept"};
  ListSerialPorts(list, Sources);  // a key without values: no ports, no error
  EXPECT_EQ(list, Strings{});
  Add("\\Device\\Serial0", std::string(300, 'C'));
  EXPECT_EQ(Failure(), ERROR_MORE_DATA);
}

}  // namespace
