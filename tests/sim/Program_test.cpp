#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "ChipMemory.h"
#include "PtyClient.h"
#include "firmware/FirmwareFiles.h"
#include "hex/HexImage.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// tolvane-sim as a child process with its standard input and output on pipes.
class TSimProcess {
public:
  // closeStandard: started with standard input and error closed, as a service may be.
  TSimProcess(std::vector<std::string> args, const std::string& publishDir, bool closeStandard = false) {
    int out[2], in[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (closeStandard) {
      posix_spawn_file_actions_addclose(&actions, STDIN_FILENO);
      posix_spawn_file_actions_addclose(&actions, STDERR_FILENO);
    } else {
      posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }

    args.insert(args.begin(), TOLVANE_SIM_PROGRAM);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {"TOLVANE_SIM_DIR=" + publishDir};
    for (char** e = environ; *e; ++e)
      if (std::string_view(*e).rfind("TOLVANE_SIM_DIR=", 0) != 0) env.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const int rc = posix_spawn(&FPid, TOLVANE_SIM_PROGRAM, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(in[0]);
    FOut = out[0];
    FIn = in[1];
    if (rc != 0) throw std::runtime_error("posix_spawn failed");
  }
  ~TSimProcess() {
    if (FPid > 0) {
      kill(FPid, SIGKILL);
      waitpid(FPid, nullptr, 0);
    }
    close(FOut);
    close(FIn);
  }

  pid_t Pid() const { return FPid; }

  // An operator's command on standard input; returns the line that answers it.
  std::string Tell(const std::string& command) {
    const std::string line = command + "\n";
    if (write(FIn, line.data(), line.size()) != ssize_t(line.size())) return "(not taken)";
    return FirstLine();
  }

  // The first line of standard output, without its newline.
  std::string FirstLine() {
    std::string line;
    char c;
    pollfd p{FOut, POLLIN, 0};
    while (poll(&p, 1, 20000) > 0 && read(FOut, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }

  // Signals the process and returns its exit status, or -1 if it does not end.
  int Stop(int sig) {
    kill(FPid, sig);
    return Wait();
  }
  int Wait() {
    for (int i = 0; i < 20000; ++i) {
      int status = 0;
      if (waitpid(FPid, &status, WNOHANG) == FPid) {
        FPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return -1;
  }

private:
  pid_t FPid = -1;
  int FOut = -1;
  int FIn = -1;
};

class TempDir {
public:
  TempDir() {
    char name[] = "/tmp/tolvane_sim_test_XXXXXX";
    if (!mkdtemp(name)) throw std::runtime_error("mkdtemp");
    FPath = name;
  }
  ~TempDir() { fs::remove_all(FPath); }
  const std::string& Path() const { return FPath; }

private:
  std::string FPath;
};

}  // namespace

TEST(SimProgram, PublishesLinksServesThemAndCleansUpOnSignal) {
  TempDir dir;
  const std::string publish = dir.Path() + "/published";
  const std::string link = dir.Path() + "/port";
  const auto& firmware = Firmware::Files[1];
  TSimProcess sim({"--chip", "pic16f877a", "--baud", "0", "--prog-ms", "0", "--link", link,
                   "--load", firmware.Path, "--dump", dir.Path() + "/dump.hex"},
                  publish);
  const std::string slave = sim.FirstLine();
  ASSERT_TRUE(slave.starts_with("/dev/pts/")) << slave;

  const std::string published = publish + "/ttySIM" + std::to_string(sim.Pid());
  EXPECT_EQ(fs::read_symlink(link), slave);
  EXPECT_EQ(fs::read_symlink(published), slave);
  struct stat st {};
  ASSERT_EQ(stat(publish.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 01777u);

  {
    TPtyClient host(link);
    EXPECT_EQ(host.Ask("zzzzzzzz\xA4"), "0E28\r\nReady\r\n");
    const std::uint8_t word[] = {0x34, 0x12};
    EXPECT_EQ(host.Ask(Hex::FormatRecord(Hex::rtData, 0x0100, word, 2) + ":00000001FF"), "Ready\r\n");
  }
  EXPECT_EQ(sim.Stop(SIGTERM), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  EXPECT_FALSE(fs::exists(fs::symlink_status(published)));

  // The dump holds the loaded firmware plus what was written.
  Sim::TChipMemory expected(*Sim::FindChip(firmware.Chip));
  expected.Load(Hex::LoadHexFile(firmware.Path));
  expected.SetWord(0x80, 0x1234);
  EXPECT_EQ(Hex::LoadHexFile(dir.Path() + "/dump.hex"), expected.Image());
}

TEST(SimProgram, TakesTheOperatorsCommandsAndDumpsEveryChipThatLeaves) {
  TempDir dir;
  const auto& firmware = Firmware::Files[1];
  const std::string file = firmware.Path;
  TSimProcess sim({"--no-publish", "--baud", "0", "--prog-ms", "0", "--socket", "empty",
                   "--dump-each", dir.Path()},
                  dir.Path());
  TPtyClient host(sim.FirstLine());
  EXPECT_EQ(host.Ask("zzzzzzzz\xA4"), "0000\r\nReady\r\n");
  EXPECT_EQ(sim.Tell("insert " + file), "inserted PIC16F877A holding " + file);
  EXPECT_EQ(host.Ask("zzzzzzzz\xA4"), "0E28\r\nReady\r\n");
  EXPECT_EQ(sim.Tell("remove"), "removed to " + dir.Path() + "/chip-0001.hex");
  EXPECT_EQ(sim.Tell("insert"), "inserted PIC16F877A (blank)");
  EXPECT_EQ(sim.Stop(SIGTERM), 0);
  // The chip in the socket at the end leaves with the program.
  Sim::TChipMemory expected(*Sim::FindChip(firmware.Chip));
  expected.Load(Hex::LoadHexFile(file));
  EXPECT_EQ(Hex::LoadHexFile(dir.Path() + "/chip-0001.hex"), expected.Image());
  EXPECT_EQ(Hex::LoadHexFile(dir.Path() + "/chip-0002.hex"), Sim::TChipMemory(*Sim::FindChip(firmware.Chip)).Image());
  EXPECT_FALSE(fs::exists(dir.Path() + "/chip-0003.hex"));
}

TEST(SimProgram, AnswersAsToldAndStopsOnInterrupt) {
  TempDir dir;
  {
    TSimProcess sim({"--chip", "PIC16F630", "--baud", "0", "--no-publish", "--id", ""}, dir.Path());
    TPtyClient host(sim.FirstLine());
    EXPECT_EQ(host.Ask("\xA4"), "Ready\r\n");
    EXPECT_EQ(sim.Stop(SIGINT), 0);
  }
  {
    TSimProcess sim({"--baud", "0", "--no-publish", "--silent"}, dir.Path());
    TPtyClient host(sim.FirstLine());
    host.Send("zzzzzzzz\xA4#0101\xA7");
    EXPECT_EQ(host.ReadFor(200), "");
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
  }
  EXPECT_TRUE(fs::is_empty(dir.Path())) << "nothing published with --no-publish";
}

TEST(SimProgram, ServesWithItsStandardInputAndErrorClosed) {
  // Its own descriptors must not take their numbers, or its news would go into them.
  TempDir dir;
  TSimProcess sim({"--baud", "0", "--no-publish"}, dir.Path(), true);
  TPtyClient host(sim.FirstLine());
  EXPECT_EQ(host.Ask("zzzzzzzz\xA4"), "0E28\r\nReady\r\n");
  EXPECT_EQ(sim.Stop(SIGTERM), 0);
}

TEST(SimProgram, RefusesBadArgumentsWithoutStarting) {
  TempDir dir;
  for (std::vector<std::string> args : {std::vector<std::string>{"--chip", "PIC16F999"},
                                        {"--fail-at", "12,xyz"},
                                        {"--prog-ms", "-1"},
                                        {"--load", dir.Path() + "/missing.hex"}}) {
    args.push_back("--no-publish");
    TSimProcess sim(args, dir.Path());
    EXPECT_EQ(sim.FirstLine(), "");
    EXPECT_NE(sim.Wait(), 0) << args[0];
  }
  // A file that does not fit the chip is refused too.
  const std::string big = dir.Path() + "/big.hex";
  Hex::SaveHexFile(big, {{0x0800, 0x00}});
  TSimProcess sim({"--chip", "PIC16F84A", "--load", big, "--no-publish"}, dir.Path());
  EXPECT_EQ(sim.FirstLine(), "");
  EXPECT_EQ(sim.Wait(), 1);
}
