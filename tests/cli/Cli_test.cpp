// tolvane-cli as a script runs it, against the simulated programmer on a pseudo-terminal:
// every command, and every exit status from a real cause.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "ChipMemory.h"
#include "PublishedLink.h"
#include "Simulator.h"
#include "Unit1/TempDir.h"
#include "cli/CliRun.h"
#include "firmware/FirmwareFiles.h"
#include "hex/HexImage.h"
#include "image/ImageCheck.h"
#include "link/ChipTable.h"

namespace {

namespace fs = std::filesystem;

const std::string Blink84a = Firmware::Files[0].Path;
const std::string Count877a = Firmware::Files[1].Path;
const std::string Toggle630 = Firmware::Files[2].Path;

// A simulated programmer on its own thread; unpaced and without programming time unless
// asked for.
struct TSimRig {
  explicit TSimRig(const char* chip, Sim::TDeviceOptions options = {}, unsigned baud = 0) {
    if (!options.ProgMs) options.ProgMs = 0;
    Sim::TChipMemory memory(*Sim::FindChip(chip));
    Sim = std::make_unique<Sim::TSimulator>(std::move(memory), std::move(options), baud);
    Sim->Start();
  }
  const std::string& Port() const { return Sim->SlavePath(); }
  Hex::THexImage Chip() const { return Sim->Memory().Image(); }
  std::unique_ptr<Sim::TSimulator> Sim;
};

struct TResult {
  int Status;
  std::string Out, Err;
};

TResult RunCli(std::vector<std::string> args) {
  TCliRun run(std::move(args));
  const int status = run.Wait();
  return {status, run.Out, run.Err};
}

TResult RunOn(const TSimRig& sim, std::vector<std::string> args) {
  args.insert(args.begin(), {"--port", sim.Port()});
  return RunCli(std::move(args));
}

Image::TChipLayout Layout(int identification) {
  TChip chip;
  chip.SelectChip(identification);
  return Image::LayoutOf(chip);
}

bool Holds(const Hex::THexImage& chip, const std::string& file, int identification) {
  return Image::Compare(Image::LoadImage(file), chip, Layout(identification)).Holds();
}

// Waits for what the simulator's thread brings about; the limit only keeps a fault from
// hanging the suite.
bool Eventually(const std::function<bool()>& condition) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A whole PIC16F877A program memory: on a paced line it takes seconds to cross.
Sim::TChipMemory FullChip() {
  Sim::TChipMemory full(*Sim::FindChip("PIC16F877A"));
  for (std::uint32_t w = 0; w < 8192; ++w) full.SetWord(w, static_cast<std::uint16_t>(w * 7));
  return full;
}

// Every test's simulators announce themselves in a folder of its own.
class CliTest : public ::testing::Test {
protected:
  void SetUp() override { ::setenv("TOLVANE_SIM_DIR", Dir.File("ports").c_str(), 1); }
  TTempDir Dir;
};

}  // namespace

TEST_F(CliTest, WritesVerifiesAndReadsBack) {
  TSimRig sim("PIC16F877A");
  const TResult write = RunOn(sim, {"write", Count877a});
  EXPECT_EQ(write.Status, 0) << write.Err;
  EXPECT_TRUE(Holds(sim.Chip(), Count877a, 0x0E2));
  // Progress goes to standard error, a line at each tenth when it is no terminal.
  EXPECT_NE(write.Err.find("Writing PIC16F877A: 10 %\nWriting PIC16F877A: 20 %\n"), std::string::npos);
  EXPECT_NE(write.Err.find("Verifying PIC16F877A: 100 %\n"), std::string::npos);
  EXPECT_NE(write.Err.find("count877a.hex: written and verified, 89 locations"), std::string::npos);
  EXPECT_EQ(write.Out, "");

  EXPECT_EQ(RunOn(sim, {"verify", Count877a}).Status, 0);

  // The data alone on standard output, so that it can be redirected; the same with -o.
  const TResult read = RunOn(sim, {"read"});
  EXPECT_EQ(read.Status, 0) << read.Err;
  EXPECT_EQ(Hex::ReadHex(read.Out), sim.Sim->Memory().ReadOut(8192, 256));
  const TResult toFile = RunOn(sim, {"--quiet", "read", "-o", Dir.File("chip.hex")});
  EXPECT_EQ(toFile.Status, 0);
  EXPECT_EQ(toFile.Err, "");
  EXPECT_EQ(TTempDir::Read(Dir.File("chip.hex")), read.Out);
}

TEST_F(CliTest, AClosedStandardDescriptorNeverBecomesThePort) {
  // Started as cron may start it: had the port taken standard error's number, the progress
  // would have gone into the image.
  TSimRig sim("PIC16F877A");
  TCliRun run({"--port", sim.Port(), "write", Count877a}, {.ClosedFd = STDERR_FILENO});
  EXPECT_EQ(run.Wait(), 0);
  EXPECT_TRUE(Holds(sim.Chip(), Count877a, 0x0E2));
}

TEST_F(CliTest, WriteErasesTheChipFirstUnlessToldNotTo) {
  TSimRig sim("PIC16F877A");
  const std::string other = Dir.Write("other.hex", ":02080000342A98\r\n:00000001FF\r\n");  // word 0x0400
  ASSERT_EQ(RunOn(sim, {"--quiet", "write", Count877a}).Status, 0);
  EXPECT_EQ(RunOn(sim, {"--quiet", "write", "--no-erase", other}).Status, 0);
  EXPECT_TRUE(Holds(sim.Chip(), Count877a, 0x0E2));
  // Otherwise nothing of the last image is left beside the new one, and it says so.
  const TResult erased = RunOn(sim, {"write", other});
  EXPECT_EQ(erased.Status, 0) << erased.Err;
  EXPECT_NE(erased.Err.find("Erasing the PIC16F877A first"), std::string::npos) << erased.Err;
  EXPECT_TRUE(Holds(sim.Chip(), other, 0x0E2));
  EXPECT_EQ(sim.Sim->Memory().Word(0), 0x3FFF);

  // A file that sets nothing has nothing to write.
  const std::string empty = Dir.Write("empty.hex", ":00000001FF\r\n");
  const TResult nothing = RunOn(sim, {"write", empty});
  EXPECT_EQ(nothing.Status, 3);
  EXPECT_EQ(nothing.Err, "tolvane-cli: " + empty + ": holds no data, only an end-of-file record\n");
}

TEST_F(CliTest, IdentifiesErasesAndTellsABlankChip) {
  TSimRig sim("PIC16F630");
  ASSERT_EQ(RunOn(sim, {"--quiet", "write", "--no-verify", Toggle630}).Status, 0);
  const TResult identify = RunOn(sim, {"identify"});
  EXPECT_EQ(identify.Status, 0);
  EXPECT_EQ(identify.Out, "PIC16F630 (ID word 10C3)\n");

  const TResult full = RunOn(sim, {"blank-check"});
  EXPECT_EQ(full.Status, 1);
  EXPECT_NE(full.Err.find("the PIC16F630 is not blank: "), std::string::npos) << full.Err;
  EXPECT_NE(full.Err.find("\n  0x0000: 0x"), std::string::npos);
  EXPECT_EQ(RunOn(sim, {"erase"}).Status, 0);
  // The calibration word the chip keeps does not count.
  const TResult blank = RunOn(sim, {"blank-check"});
  EXPECT_EQ(blank.Status, 0) << blank.Err;
}

TEST_F(CliTest, ListsPortsWithRunningSimulators) {
  TSimRig sim("PIC16F84A");
  const Sim::TPublishedLink link(Sim::PublishDirectory() + "/ttySIM" + std::to_string(::getpid()),
                                 sim.Port());
  const TResult ports = RunCli({"ports"});
  EXPECT_EQ(ports.Status, 0);
  EXPECT_EQ(ports.Out.rfind("PORT ", 0), 0u);
  const std::size_t row = ports.Out.find(link.Path() + "  " + sim.Port());
  ASSERT_NE(row, std::string::npos) << ports.Out;
  EXPECT_NE(ports.Out.find("simulated Tolvane II", row), std::string::npos);
}

TEST_F(CliTest, AChipThatDoesNotHoldTheImageExitsOne) {
  // The programmer reports a failed location: named at the line of the file that sets it.
  Sim::TDeviceOptions failing;
  failing.FailAt = {0x0005};
  TSimRig reporting("PIC16F877A", failing);
  const Image::TImageFile file = Image::LoadImage(Count877a);
  const TResult reported = RunOn(reporting, {"write", Count877a});
  EXPECT_EQ(reported.Status, 1);
  EXPECT_NE(reported.Err.find("reported 1 failed location:\n  " + file.Where(5) +
                              "0x0005: the programmer could not program it"),
            std::string::npos) << reported.Err;

  // A location keeps its old value without a word: only the read-back finds it.
  Sim::TDeviceOptions keeping;
  keeping.KeepAt = {0x0005};
  TSimRig silent("PIC16F877A", keeping);
  char expected[64];
  std::snprintf(expected, sizeof expected, "0x0005: file 0x%02X%02X, chip 0x3FFF",
                file.Bytes.at(11), file.Bytes.at(10));
  const TResult verified = RunOn(silent, {"write", Count877a});
  EXPECT_EQ(verified.Status, 1);
  EXPECT_NE(verified.Err.find("differs in 1 location:\n  " + file.Where(5) + expected),
            std::string::npos) << verified.Err;
}

TEST_F(CliTest, UsageErrorsExitTwo) {
  for (const auto& args : {std::vector<std::string>{}, {"write"}, {"--frobnicate", "ports"},
                           {"ports", "extra"}}) {
    const TResult usage = RunCli(args);
    EXPECT_EQ(usage.Status, 2);
    EXPECT_EQ(usage.Err.rfind("tolvane-cli: ", 0), 0u) << usage.Err;
  }
  EXPECT_EQ(RunCli({"bogus"}).Err.rfind("tolvane-cli: unknown command 'bogus'\n", 0), 0u);
  // A chip that no programmer takes is a mistake found before any port is opened.
  EXPECT_EQ(RunCli({"--port", Dir.File("ttyNONE"), "--expect", "PIC16F877B", "identify"}).Status, 2);

  const TResult help = RunCli({"--help"});
  EXPECT_EQ(help.Status, 0);
  for (const char* shown : {"read [-o FILE]", "write [--no-erase] [--no-verify] [--force] FILE",
                            "verify [--force] FILE", "  130  interrupted", "  143  terminated"})
    EXPECT_NE(help.Out.find(shown), std::string::npos) << shown;
}

TEST_F(CliTest, FilesThatAreNoImageOrDoNotFitExitThreeAndSendNothing) {
  TSimRig sim("PIC16F84A");
  const Hex::THexImage blank = sim.Chip();
  const std::string picture = Dir.Write("picture.png", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xA7\xA4");
  const TResult junk = RunOn(sim, {"write", picture});
  EXPECT_EQ(junk.Status, 3);
  EXPECT_EQ(junk.Err, "tolvane-cli: " + picture + ":1: record does not start with ':'\n");
  EXPECT_EQ(sim.Sim->HangUps(), 0u);  // the port was not even opened
  EXPECT_EQ(RunOn(sim, {"write", Dir.File("missing.hex")}).Status, 3);
  // A record the programmer's text box would cut is refused, not sent cut.
  const std::string padded =
      Dir.Write("padded.hex", std::string(5000, ' ') + ":020000000528D1\r\n:00000001FF\r\n");
  const TResult cut = RunOn(sim, {"write", "--no-verify", padded});
  EXPECT_EQ(cut.Status, 3);
  EXPECT_NE(cut.Err.find(padded + ":1: the line has 5015 characters"), std::string::npos) << cut.Err;

  // An image for a bigger chip: refused, unless forced, and then what fits is written and
  // verified; --quiet keeps back the progress, never what --force left out.
  const TResult big = RunOn(sim, {"write", Count877a});
  EXPECT_EQ(big.Status, 3);
  EXPECT_NE(big.Err.find("lie outside the PIC16F84A:\n  " + Count877a + ":"), std::string::npos) << big.Err;
  EXPECT_EQ(sim.Chip(), blank);
  const TResult forced = RunOn(sim, {"--quiet", "write", "--force", Count877a});
  EXPECT_EQ(forced.Status, 0) << forced.Err;
  EXPECT_EQ(forced.Err.rfind(Count877a + ": ", 0), 0u) << forced.Err;
  EXPECT_NE(forced.Err.find("Leaving them out, as --force asks."), std::string::npos);
  EXPECT_EQ(forced.Err.find("Writing"), std::string::npos);
  EXPECT_TRUE(Image::Compare(Image::LoadImage(Count877a), sim.Chip(), Layout(0x056)).Holds());
  EXPECT_EQ(RunOn(sim, {"verify", Count877a}).Status, 3);
  const TResult verified = RunOn(sim, {"verify", "--force", Count877a});
  EXPECT_EQ(verified.Status, 0) << verified.Err;
  EXPECT_NE(verified.Err.find("Leaving them out, as --force asks."), std::string::npos);
}

TEST_F(CliTest, PortsThatAreMissingOrNoSerialPortsExitFour) {
  const TResult missing = RunCli({"--port", Dir.File("ttyNONE"), "identify"});
  EXPECT_EQ(missing.Status, 4);
  EXPECT_NE(missing.Err.find("ttyNONE: no such port."), std::string::npos) << missing.Err;
  for (const std::string& path : {std::string("/dev/null"), Dir.Path(), Dir.Write("file", "")}) {
    const TResult other = RunCli({"--port", path, "identify"});
    EXPECT_EQ(other.Status, 4);
    EXPECT_EQ(other.Err.rfind("tolvane-cli: " + path + ": not a serial port", 0), 0u) << other.Err;
  }

  // A port taken from the window's settings names the file it came from.
  const std::string program = Dir.File("tolvane-cli");
  fs::copy_file(TOLVANE_CLI_PROGRAM, program);
  Dir.Write("Tolvane.ini", "ttyGONE");
  const TResult saved = [&] {
    TCliRun run({"identify"}, {.Program = program});
    const int status = run.Wait();
    return TResult{status, run.Out, run.Err};
  }();
  EXPECT_EQ(saved.Status, 4);
  EXPECT_NE(saved.Err.find("the port saved in " + Dir.File("Tolvane.ini") + ", ttyGONE, is not present"),
            std::string::npos) << saved.Err;

  TSimRig sim("PIC16F877A");
  const int holder = ::open(sim.Port().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  const TResult busy = RunOn(sim, {"identify"});
  ::close(holder);
  EXPECT_EQ(busy.Status, 4);
  EXPECT_NE(busy.Err.find(": in use by another program."), std::string::npos) << busy.Err;
}

TEST_F(CliTest, ProgrammerProblemsExitFive) {
  Sim::TDeviceOptions silent;
  silent.Silent = true;
  TSimRig mute("PIC16F877A", silent);
  const TResult unanswered = RunOn(mute, {"identify"});
  EXPECT_EQ(unanswered.Status, 5);
  EXPECT_NE(unanswered.Err.find("did not answer the identification within"), std::string::npos);

  const std::pair<const char*, const char*> answers[] = {
      {"XYZ", "the identification \"XYZ\" names no chip this program knows"},
      {"0000", "no chip in the socket"},
      {"", "no chip in the socket (the programmer answers the identification with \"Ready\" alone)"},
      {"3FFF", "the chip does not answer"}};
  for (const auto& [id, says] : answers) {
    Sim::TDeviceOptions odd;
    odd.IdText = id;
    TSimRig other("PIC16F877A", odd);
    const TResult unrecognised = RunOn(other, {"identify"});
    EXPECT_EQ(unrecognised.Status, 5);
    EXPECT_NE(unrecognised.Err.find(other.Port() + ": " + says), std::string::npos) << unrecognised.Err;
  }

  TSimRig other("PIC16F877A");
  const TResult expected = RunOn(other, {"--expect", "pic16f84a", "write", Count877a});
  EXPECT_EQ(expected.Status, 5);
  EXPECT_NE(expected.Err.find("holds a PIC16F877A, not the expected PIC16F84A"), std::string::npos);
  EXPECT_EQ(RunOn(other, {"--expect", "16f877a", "identify"}).Status, 0);
}

TEST_F(CliTest, AProgrammerThatVanishesEndsTheJobAtOnce) {
  // During a read; while the write waits for the programmer's answer (each word takes it
  // seconds); and while the image is still being sent, each on a paced line.
  const std::string image = Dir.Write("full.hex", Hex::WriteHex(FullChip().Image()));
  Sim::TDeviceOptions slow;
  slow.ProgMs = 5000;
  const struct {
    std::vector<std::string> Args;
    Sim::TDeviceOptions Options;
    const char* Progress;
    const char* Says;
  } cases[] = {
      {{"read"}, {}, "Reading PIC16F877A: 10 %", "the port failed during the read ("},
      {{"write", "--no-erase", Count877a}, slow, "Writing PIC16F877A: 100 %",
       "the whole image had been sent, but the programmer had not confirmed it"},
      {{"write", "--no-erase", image}, {}, "Writing PIC16F877A: 10 %",
       " characters of the image reached the programmer; the chip holds part of the image"},
  };
  for (const auto& c : cases) {
    TSimRig sim("PIC16F877A", c.Options, 57600);
    const std::string port = sim.Port();
    std::vector<std::string> args = c.Args;
    args.insert(args.begin(), {"--port", port});
    TCliRun run(args);
    ASSERT_TRUE(run.AwaitErr(c.Progress)) << run.Err;
    sim.Sim.reset();  // the cable is pulled
    EXPECT_EQ(run.Wait(), 4);
    EXPECT_NE(run.Err.find("tolvane-cli: " + port + ": the port failed during "), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
  }
}

TEST_F(CliTest, InterruptionSaysHowFarTheJobGotAndLeavesTheProgrammerFree) {
  const Sim::TChipMemory full = FullChip();
  const std::string image = Dir.Write("full.hex", Hex::WriteHex(full.Image()));
  TSimRig sim("PIC16F877A", {}, 57600);
  TCliRun run({"--port", sim.Port(), "write", "--no-erase", image});
  ASSERT_TRUE(run.AwaitErr("Writing PIC16F877A: 10 %"));
  run.Signal(SIGINT);
  EXPECT_EQ(run.Wait(), 130);
  EXPECT_NE(run.Err.find("interrupted: at most "), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find(" characters of the image reached the programmer; the chip holds part of the image"),
            std::string::npos);
  // Nothing more reaches the chip once the program has gone, and the next command is
  // answered at once.
  ASSERT_TRUE(Eventually([&] { return sim.Sim->HangUps() == 1; }));
  const Hex::THexImage stopped = sim.Chip();
  const TResult next = RunOn(sim, {"identify"});
  EXPECT_EQ(next.Status, 0) << next.Err;
  EXPECT_EQ(sim.Chip(), stopped);
  EXPECT_NE(stopped, full.Image());

  // Interrupted while the chip is read back, after the programmer confirmed the image.
  TCliRun again({"--port", sim.Port(), "write", "--no-erase", Count877a});
  ASSERT_TRUE(again.AwaitErr("Verifying PIC16F877A: 10 %"));
  again.Signal(SIGTERM);
  EXPECT_EQ(again.Wait(), 143);
  EXPECT_NE(again.Err.find("was written and the programmer confirmed it, but it was not verified"),
            std::string::npos) << again.Err;
}

TEST_F(CliTest, StandardStreamsAndPipesWorkAsForOtherTools) {
  TSimRig sim("PIC16F84A");
  // "-" is standard input for an image, and standard output for a read.
  TCliRun write({"--port", sim.Port(), "write", "-"}, {.Input = Blink84a});
  EXPECT_EQ(write.Wait(), 0) << write.Err;
  EXPECT_NE(write.Err.find("standard input: written and verified"), std::string::npos) << write.Err;
  const TResult read = RunOn(sim, {"read", "-o", "-"});
  EXPECT_EQ(read.Status, 0);
  EXPECT_TRUE(Image::Compare(Image::LoadImage(Blink84a), Hex::ReadHex(read.Out), Layout(0x056)).Holds());

  // A reader that goes away ends the program quietly, as SIGPIPE ends other tools.
  TCliRun piped({"--port", sim.Port(), "read"});
  piped.CloseOutput();
  EXPECT_EQ(piped.Wait(), 128 + SIGPIPE);
  EXPECT_EQ(piped.Err.find("tolvane-cli:"), std::string::npos) << piped.Err;

  // An output that cannot be written fails before the chip is read.
  const TResult nowhere = RunOn(sim, {"read", "-o", Dir.File("no/such/x.hex")});
  EXPECT_EQ(nowhere.Status, 3);
  EXPECT_NE(nowhere.Err.find("x.hex: cannot create: No such file or directory"), std::string::npos);
  EXPECT_EQ(nowhere.Err.find("Reading"), std::string::npos) << nowhere.Err;
}

TEST_F(CliTest, ShowsABarOnATerminalWithinItsWidth) {
  TSimRig sim("PIC16F84A");
  // A terminal that does not say its width, and one narrower than the bar would be.
  for (const unsigned short columns : {0, 40}) {
    winsize size{24, columns, 0, 0};
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, &size), 0);
    TCliRun run({"--port", sim.Port(), "read"}, {.ErrFd = slave});
    EXPECT_EQ(run.Wait(), 0);
    std::string bar;
    char chunk[4096];
    for (pollfd fd{master, POLLIN, 0}; ::poll(&fd, 1, 0) > 0;) {
      const ssize_t n = ::read(master, chunk, sizeof chunk);
      if (n <= 0) break;
      bar.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(slave);
    ::close(master);
    if (columns == 0) {
      EXPECT_NE(bar.find("\rReading PIC16F84A [##############################] 100 % "), std::string::npos)
          << bar;
      EXPECT_NE(bar.find(" left"), std::string::npos);
    } else {
      // Every redraw stays on its line: none reaches the last column, where it would wrap.
      EXPECT_NE(bar.find("100 %"), std::string::npos) << bar;
      std::size_t start = 0;
      for (std::size_t end; (end = bar.find_first_of("\r\n", start)) != std::string::npos; start = end + 1)
        EXPECT_LT(end - start, columns) << bar.substr(start, end - start);
    }
  }
}

TEST_F(CliTest, TakesThePortTheWindowSaved) {
  // A copy of the program in a folder of its own, where its settings file lives.
  TSimRig sim("PIC16F877A");
  const std::string program = Dir.File("tolvane-cli");
  fs::copy_file(TOLVANE_CLI_PROGRAM, program);
  Dir.Write("Tolvane.ini", sim.Port());
  TCliRun run({"identify"}, {.Program = program});
  EXPECT_EQ(run.Wait(), 0) << run.Err;
  EXPECT_EQ(run.Out, "PIC16F877A (ID word 0E28)\n");
}
