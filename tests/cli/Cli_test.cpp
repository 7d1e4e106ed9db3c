// tolvane-cli as a script runs it, against the simulated programmer on a pseudo-terminal:
// every command, and every exit status from a real cause.
#include <pty.h>
#include <sys/file.h>

#include <cstdlib>

#include "PublishedLink.h"
#include "cli/CliRig.h"

namespace fs = std::filesystem;

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
  for (const char* shown : {"read [-o FILE]", "write [--no-erase] [--no-verify] [--force]",
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
