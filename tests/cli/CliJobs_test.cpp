// tolvane-cli when a job is cut short (the programmer vanishes, Ctrl-C) and around its
// streams: standard input and output, pipes, a terminal's width.
#include <poll.h>
#include <pty.h>
#include <signal.h>

#include "cli/CliRig.h"

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

