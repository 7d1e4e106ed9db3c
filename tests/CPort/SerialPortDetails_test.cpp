#include "CPort/SerialPortDetails.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

// A machine with an FTDI adapter on USB, an on-board UART and a running simulator, as sysfs
// and /dev show them.
TEST(SerialPortDetails, TellsUsbNumbersProductSerialAndStableName) {
  char pattern[] = "/tmp/tolvane-details-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path root = pattern;
  auto write = [](const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
  };
  const fs::path usb = root / "devices/pci0000:00/usb1/1-2";
  write(usb / "idVendor", "0403\n");
  write(usb / "idProduct", "6001\n");
  write(usb / "product", "FT232R USB UART\n");
  write(usb / "serial", "A50285BI\n");
  fs::create_directories(usb / "1-2:1.0/ttyUSB0");
  write(root / "sys/ttyUSB0/uevent", "DEVNAME=ttyUSB0\n");
  fs::create_directory_symlink(usb / "1-2:1.0/ttyUSB0", root / "sys/ttyUSB0/device");
  write(root / "sys/ttyS0/uevent", "DEVNAME=ttyS0\n");
  write(root / "sys/ttyS0/type", "4\n");
  fs::create_directories(root / "sys/ttyS0/device");
  write(root / "dev/ttyUSB0", "");
  write(root / "dev/ttyS0", "");
  const fs::path byId = root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  fs::create_directories(byId.parent_path());
  fs::create_symlink("../../ttyUSB0", byId);
  fs::create_directories(root / "sim");
  // A simulator's link counts only when it leads to a character device.
  fs::create_symlink("/dev/null", root / ("sim/ttySIM" + std::to_string(getpid())));

  TSerialPortSources sources;
  sources.TtyClassDir = (root / "sys").string();
  sources.DevDir = (root / "dev").string();
  sources.SimDir = (root / "sim").string();
  const std::vector<TSerialPortDetails> ports = DescribeSerialPorts(sources);
  ASSERT_EQ(ports.size(), 3u);
  const TSerialPortDetails& sim = ports[0];  // an absolute path sorts first
  EXPECT_TRUE(sim.Simulator);
  EXPECT_EQ(sim.DevicePath, "/dev/null");
  EXPECT_FALSE(sim.OnUsb());
  EXPECT_EQ(ports[1].Name, "ttyS0");
  EXPECT_FALSE(ports[1].OnUsb());
  EXPECT_EQ(ports[1].ById, "");
  const TSerialPortDetails& ftdi = ports[2];
  EXPECT_EQ(ftdi.DevicePath, (root / "dev/ttyUSB0").string());
  EXPECT_EQ(ftdi.UsbId, "0403:6001");
  EXPECT_EQ(ftdi.Product, "FT232R USB UART");
  EXPECT_EQ(ftdi.Serial, "A50285BI");
  EXPECT_EQ(ftdi.ById, byId.string());
  fs::remove_all(root);
}
