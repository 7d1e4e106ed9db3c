#include "CPort/ListSerialPorts.h"

#include "CPort/EComPort.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

// A throw-away tty class folder, device folder and simulator folder under /tmp.
class FakeMachine : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/tolvane-ports-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Root = pattern;
    fs::create_directories(Root / "sys");
    fs::create_directories(Root / "dev");
    Sources.TtyClassDir = (Root / "sys").string();
    Sources.DevDir = (Root / "dev").string();
    Sources.SimDir = (Root / "sim").string();
  }
  void TearDown() override { fs::remove_all(Root); }

  static void WriteFile(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text;
  }

  // A tty as the kernel shows it: a device link when a driver backs it, its node name in
  // uevent, and the node itself in the device folder.
  fs::path AddTty(const std::string& entry, const std::string& node, bool withDevice = true,
                  bool withNode = true) {
    fs::path dir = Root / "sys" / entry;
    fs::create_directories(dir);
    WriteFile(dir / "uevent", "MAJOR=188\nMINOR=0\nDEVNAME=" + node + "\n");
    if (withDevice) fs::create_directories(dir / "device");
    if (withNode) {
      fs::create_directories((Root / "dev" / node).parent_path());
      WriteFile(Root / "dev" / node, "");
    }
    return dir;
  }

  // A simulator's link to its terminal; /dev/null stands in for the terminal, a character
  // device as a terminal is.
  fs::path Publish(const std::string& pid, const fs::path& target = "/dev/null") {
    fs::create_directories(Root / "sim");
    fs::path link = Root / "sim" / ("ttySIM" + pid);
    fs::create_symlink(target, link);
    return link;
  }
  fs::path Publish(long pid, const fs::path& target = "/dev/null") {
    return Publish(std::to_string(pid), target);
  }

  static pid_t DeadPid() {
    pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
  }

  Names List() {
    Names names;
    ListSerialPorts(names, Sources);
    return names;
  }

  fs::path Root;
  TSerialPortSources Sources;
};

TEST_F(FakeMachine, SortsAsTextIgnoringCaseAndKeepsDuplicates) {
  AddTty("COM3", "COM3");
  AddTty("COM1", "COM1");
  AddTty("COM10", "COM10");
  AddTty("com2", "com2");
  AddTty("COM1-again", "COM1");  // a second device announcing the same node
  AddTty("ttyUSB0", "ttyUSB0");
  EXPECT_EQ(List(), (Names{"COM1", "COM1", "COM10", "com2", "COM3", "ttyUSB0"}));
}

TEST_F(FakeMachine, ListsOnlyTtysWithHardwareBehindThem) {
  fs::path real = AddTty("ttyS0", "ttyS0");
  WriteFile(real / "type", "4\n");
  fs::path placeholder = AddTty("ttyS1", "ttyS1");
  WriteFile(placeholder / "type", "0\n");
  // An older kernel without `type`: the legacy driver's ports are placeholders.
  fs::path legacy = AddTty("ttyS2", "ttyS2");
  fs::create_directories(Root / "drivers" / "serial8250");
  fs::create_directory_symlink(Root / "drivers" / "serial8250", legacy / "device" / "driver");
  fs::path pnp = AddTty("ttyS3", "ttyS3");
  fs::create_directories(Root / "drivers" / "serial");
  fs::create_directory_symlink(Root / "drivers" / "serial", pnp / "device" / "driver");
  AddTty("tty0", "tty0", /*withDevice=*/false);
  AddTty("ttyACM0", "ttyACM0");
  AddTty("ttyUSB7", "ttyUSB7", true, /*withNode=*/false);  // no node: cannot be opened
  AddTty("tty!sub!port", "sub/port");                       // a node in a sub-folder
  EXPECT_EQ(List(), (Names{"sub/port", "ttyACM0", "ttyS0", "ttyS3"}));
}

TEST_F(FakeMachine, UnreadableTtyFolderRaisesAndLeavesTheTargetAlone) {
  fs::remove_all(Root / "sys");
  Names names{"kept"};
  try {
    ListSerialPorts(names, Sources);
    FAIL() << "no exception";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 23);
    EXPECT_EQ(e.WinErrorCode(), 2);
    EXPECT_EQ(e.Message(), "Registry error (win error code: 2)");
  }
  EXPECT_EQ(names, Names{"kept"});
  // A failure the platform has no code for is a general failure, not the system's number.
  fs::create_directory_symlink(Root / "sys", Root / "sys");
  try {
    ListSerialPorts(names, Sources);
    FAIL() << "no exception";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.WinErrorCode(), 31);
  }
}

TEST_F(FakeMachine, EmptySourceEmptiesTheTarget) {
  Names names{"stale"};
  ListSerialPorts(names, Sources);
  EXPECT_TRUE(names.empty());
}

TEST_F(FakeMachine, ListsLivePublishedSimulatorsByPath) {
  AddTty("ttyUSB0", "ttyUSB0");
  const fs::path live = Publish(getpid());
  Publish(DeadPid());                                  // simulator gone, link left behind
  Publish(getppid(), Root / "closed-pty");             // running, but its terminal is gone
  WriteFile(Root / "plain", "");
  Publish(1, Root / "plain");                          // running, but not to a device
  Publish("0" + std::to_string(getpid()));             // another spelling of a live pid
  Publish("4294967297");                               // pid 1 once cut to a pid_t
  Publish("not-a-pid");
  fs::create_symlink("/dev/null", Root / "sim" / "ttyUSB9");
  EXPECT_EQ(List(), (Names{live.string(), "ttyUSB0"}));
}

TEST_F(FakeMachine, MissingOrUnreadableSimulatorFolderMeansNoSimulators) {
  AddTty("ttyUSB0", "ttyUSB0");
  WriteFile(Root / "file", "a file, not a folder");
  fs::create_directories(Root / "closed");
  fs::permissions(Root / "closed", fs::perms::none);
  for (const fs::path& dir : {Root / "never-made", Root / "file", Root / "file" / "sim",
                              Root / "closed", fs::path()}) {
    Sources.SimDir = dir.string();
    EXPECT_EQ(List(), Names{"ttyUSB0"}) << dir;
  }
  fs::permissions(Root / "closed", fs::perms::owner_all);
}

TEST(SerialPortSources, SimulatorFolderFollowsTheEnvironment) {
  setenv("TOLVANE_SIM_DIR", "/somewhere/else", 1);
  EXPECT_EQ(TSerialPortSources::Machine().SimDir, "/somewhere/else");
  unsetenv("TOLVANE_SIM_DIR");
  EXPECT_EQ(TSerialPortSources::Machine().SimDir, "/tmp/tolvane-sim");
  EXPECT_EQ(TSerialPortSources::Machine().TtyClassDir, "/sys/class/tty");
}

}  // namespace
