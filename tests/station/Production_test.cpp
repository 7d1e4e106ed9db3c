// tolvane-cli production against simulated programmers on pseudo-terminals, as an operator
// and a script run it: rounds, the unattended mode, Ctrl-C, a failing chip, a programmer that
// vanishes, and the record after all of it.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <memory>
#include <random>

#include "ChipMemory.h"
#include "Simulator.h"
#include "Unit1/TempDir.h"
#include "cli/CliRun.h"
#include "firmware/FirmwareFiles.h"
#include "image/ImageCheck.h"
#include "link/ChipTable.h"

namespace {

const std::string Image877a = Firmware::Files[1].Path;
constexpr const char* Prompt = "Load the chips and press Enter";

// A simulated programmer with a PIC16F877A, unpaced, on its own thread.
struct TSocketRig {
  explicit TSocketRig(Sim::TDeviceOptions options = {}) {
    if (!options.ProgMs) options.ProgMs = 0;
    Sim = std::make_unique<Sim::TSimulator>(Sim::TChipMemory(*Sim::FindChip("PIC16F877A")), options, 0);
    Sim->Start();
    Port = Sim->SlavePath();
  }
  static Sim::TDeviceOptions Empty() {
    Sim::TDeviceOptions options;
    options.EmptySocket = true;
    return options;
  }
  std::unique_ptr<Sim::TSimulator> Sim;
  std::string Port;
};

bool HoldsImage(const Hex::THexImage& chip) {
  TChip identified;
  identified.SelectChip(0x0E2);
  return Image::Compare(Image::LoadImage(Image877a), chip, Image::LayoutOf(identified)).Holds();
}

// Lines of the output that begin with `start` and hold `part`.
int Lines(const std::string& out, const std::string& start, const std::string& part) {
  int found = 0;
  std::size_t from = 0;
  for (std::size_t to; (to = out.find('\n', from)) != std::string::npos; from = to + 1) {
    const std::string line = out.substr(from, to - from);
    found += line.starts_with(start) && line.find(part) != std::string::npos;
  }
  return found;
}

class Production : public ::testing::Test {
protected:
  void SetUp() override { ::signal(SIGPIPE, SIG_IGN); }

  std::unique_ptr<TCliRun> Start(std::vector<std::string> args) {
    args.insert(args.begin(), {"production", Image877a, "--log", Db});
    return std::make_unique<TCliRun>(args, TCliSetup{.Piped = true});
  }
  // The first column of the record's rows that a query selects, as "a|b|c".
  std::string Query(const std::string& sql) const {
    sqlite3* db = nullptr;
    sqlite3_open_v2(Db.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    std::string rows;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK)
      while (sqlite3_step(statement) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        rows += (rows.empty() ? "" : "|") + std::string(text ? text : "NULL");
      }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
  }

  TTempDir Dir;
  const std::string Db = Dir.File("record.db");
};

}  // namespace

TEST_F(Production, RoundsGoOnWithoutAFailingChipAndAVanishedProgrammer) {
  Sim::TDeviceOptions failing, slow;
  failing.FailAt = {0x0005};
  slow.ProgMs = 15;  // long enough a write to pull its plug in the middle
  TSocketRig a, b(failing);
  auto c = std::make_unique<TSocketRig>(slow);
  const std::string cPort = c->Port;
  auto run = Start({"--port", a.Port, "--port", b.Port, "--port", cPort});
  ASSERT_TRUE(run->AwaitOut(Prompt)) << run->Out << run->Err;

  run->Tell("\n\n");  // the operator's lines wait for their prompts
  ASSERT_TRUE(run->AwaitOut([&](const std::string& out) { return Lines(out, cPort + ": chip", ": write") == 2; }))
      << run->Out;
  c.reset();  // the programmer's cable is pulled in the middle of the write
  ASSERT_TRUE(run->AwaitOut("Round 2 done")) << run->Out << run->Err;
  run->Tell("\nq\n");
  EXPECT_EQ(run->Wait(), 1) << run->Out << run->Err;

  EXPECT_EQ(Lines(run->Out, cPort + ": out of the run", ""), 1) << run->Out;
  EXPECT_EQ(Query("SELECT result FROM chips WHERE port = '" + a.Port + "'"), "pass|pass|pass");
  EXPECT_EQ(Query("SELECT result FROM chips WHERE port = '" + b.Port + "' AND detail LIKE '%0x0005: the programmer could not program it%'"),
            "fail|fail|fail");
  EXPECT_EQ(Query("SELECT result FROM chips WHERE port = '" + cPort + "' AND (result = 'pass' OR detail LIKE 'the port failed during the write%')"),
            "pass|error");
  EXPECT_EQ(Query("SELECT count(*) FROM chips WHERE image_digest = '" + Query("SELECT image_digest FROM chips LIMIT 1") +
                  "' AND station <> '' AND chip = 'PIC16F877A' AND id_word = '0E28'"),
            "8");
  EXPECT_EQ(Query("PRAGMA integrity_check"), "ok");
  EXPECT_TRUE(HoldsImage(a.Sim->Memory().Image()));
  EXPECT_NE(run->Out.find("Production ended: 8 chips, 4 passed, 4 failed, yield 50.0 %"), std::string::npos);

  // The record as a spreadsheet takes it.
  TCliRun log({"log", "--log", Db});
  EXPECT_EQ(log.Wait(), 0) << log.Err;
  EXPECT_TRUE(log.Out.starts_with("id,run,started,ended,station,port,port_serial,chip,id_word,image,"));
  EXPECT_EQ(TCliRun::Count(log.Out, ",pass,"), 4);
  EXPECT_EQ(TCliRun::Count(log.Out, ",fail,\""), 3);
}

TEST_F(Production, UnattendedEachSocketTakesChipsAsTheyComeUntilTheCount) {
  TSocketRig a(TSocketRig::Empty()), b(TSocketRig::Empty());
  auto run = Start({"--port", a.Port, "--port", b.Port, "--auto", "--poll-ms", "50", "--count", "3"});
  ASSERT_TRUE(run->AwaitOut("Waiting for chips")) << run->Out << run->Err;
  const Sim::TChipMemory blank(*Sim::FindChip("PIC16F877A"));

  a.Sim->Insert(blank);
  ASSERT_TRUE(run->AwaitOut([&](const std::string& out) { return Lines(out, a.Port + ": chip", ": pass (") == 1; }))
      << run->Out;
  b.Sim->Insert(blank);
  ASSERT_TRUE(run->AwaitOut([&](const std::string& out) { return Lines(out, b.Port + ": chip", ": pass (") == 1; }))
      << run->Out;
  // A chip left in its socket is not programmed again; the next one is.
  const auto first = a.Sim->Remove();
  ASSERT_TRUE(first);
  EXPECT_TRUE(HoldsImage(first->Image()));
  ASSERT_TRUE(run->AwaitOut(a.Port + ": the chip is out")) << run->Out;
  a.Sim->Insert(blank);
  EXPECT_EQ(run->Wait(), 0) << run->Out << run->Err;

  EXPECT_TRUE(HoldsImage(a.Sim->Memory().Image()));
  EXPECT_TRUE(HoldsImage(b.Sim->Memory().Image()));
  EXPECT_EQ(a.Sim->Erases() + b.Sim->Erases(), 3u);
  EXPECT_EQ(Query("SELECT result FROM chips"), "pass|pass|pass");
}

TEST_F(Production, CtrlCOnceLetsTheChipsFinishAndTwiceAbortsThem) {
  Sim::TDeviceOptions slow;
  slow.ProgMs = 15;
  TSocketRig a(slow);
  const auto midWrite = [&](const std::string& out) { return Lines(out, a.Port + ": chip", ": write") == 1; };
  {
    auto run = Start({"--port", a.Port});
    ASSERT_TRUE(run->AwaitOut(Prompt)) << run->Out << run->Err;
    run->Tell("\n");
    ASSERT_TRUE(run->AwaitOut(midWrite)) << run->Out;
    run->Signal(SIGINT);
    EXPECT_EQ(run->Wait(), 0) << run->Out << run->Err;
  }
  {
    auto run = Start({"--port", a.Port});
    ASSERT_TRUE(run->AwaitOut(Prompt)) << run->Out << run->Err;
    run->Tell("\n");
    ASSERT_TRUE(run->AwaitOut(midWrite)) << run->Out;
    run->Signal(SIGINT);
    ASSERT_TRUE(run->AwaitOut("Ctrl-C again aborts them")) << run->Out;  // pending signals merge
    run->Signal(SIGINT);
    EXPECT_EQ(run->Wait(), 130) << run->Out << run->Err;
  }
  EXPECT_EQ(Query("SELECT result || ': ' || ifnull(detail, '') FROM chips"),
            "pass: 89 locations verified|aborted: aborted by the operator during the write");
}

TEST_F(Production, NothingIsSentToAWrongChipAndAMissingPortEndsTheRunAtOnce) {
  TSocketRig a;
  {
    auto run = Start({"--port", a.Port, "--port", Dir.File("nothing-here")});
    EXPECT_EQ(run->Wait(), 4) << run->Out << run->Err;
    EXPECT_NE(run->Err.find(Dir.File("nothing-here")), std::string::npos) << run->Err;
  }
  {
    auto run = Start({"--port", a.Port, "--expect", "16f84a"});  // as a person writes it
    ASSERT_TRUE(run->AwaitOut(Prompt)) << run->Out << run->Err;
    run->Tell("\n");
    run->EndInput();
    EXPECT_EQ(run->Wait(), 1) << run->Out << run->Err;
  }
  EXPECT_EQ(a.Sim->Erases(), 0u);
  EXPECT_EQ(Query("SELECT result || ': ' || detail FROM chips"),
            "fail: the socket holds a PIC16F877A, not the expected PIC16F84A");
}

// The station killed at random moments, before, during and after chips, and started again,
// many times: every chip that was begun has one row, and none stays open.
TEST_F(Production, KilledAtAnyMomentItLosesNoChipAndLeavesNoneOpen) {
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);  // a killed station's workers come here to be reaped
  Sim::TDeviceOptions quick;
  quick.ProgMs = 1;
  TSocketRig a(quick), b(quick);
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  constexpr int Kills = 20;
  for (int kill = 0; kill < Kills; ++kill) {
    auto run = Start({"--port", a.Port, "--port", b.Port});
    run->Tell(std::string(100, '\n'));
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 300)(random)));
    run->Signal(SIGKILL);
    run->Wait();
    while (::waitpid(-1, nullptr, 0) > 0) {
    }
  }
  auto last = Start({"--port", a.Port, "--port", b.Port});
  last->Tell("\nq\n");
  ASSERT_EQ(last->Wait(), 0) << last->Out << last->Err;

  EXPECT_EQ(Query("PRAGMA integrity_check"), "ok");
  EXPECT_EQ(Query("SELECT count(*) FROM chips WHERE result IS NULL"), "0");
  EXPECT_EQ(Query("SELECT count(*) FROM chips WHERE result NOT IN ('pass', 'aborted')"), "0");
  const long rows = std::stol(Query("SELECT count(*) FROM chips"));
  const long aborted = std::stol(Query("SELECT count(*) FROM chips WHERE result = 'aborted'"));
  const long erases = long(a.Sim->Erases() + b.Sim->Erases());
  // Every chip whose first byte was sent has its row; a row without one is a chip that was
  // killed between its row and its first byte, at most one a socket a kill.
  EXPECT_LE(erases, rows);
  EXPECT_LE(rows, erases + 2 * Kills);
  EXPECT_LE(aborted, 2 * Kills);
  EXPECT_GT(std::stol(Query("SELECT count(*) FROM chips WHERE result = 'pass'")), 0);
  EXPECT_EQ(Query("SELECT count(*) FROM runs WHERE closed IS NULL"), "0");
}

TEST_F(Production, OnATerminalEachSocketHasALineRedrawnInPlace) {
  Sim::TDeviceOptions failing;
  failing.FailAt = {0x0005};
  TSocketRig a, b(failing);
  int terminal = -1, screen = -1;
  winsize size{};
  size.ws_col = 120;
  size.ws_row = 40;
  ASSERT_EQ(::openpty(&terminal, &screen, nullptr, nullptr, &size), 0);
  // The terminal is its standard output; the test reads the screen's side.
  auto run = std::make_unique<TCliRun>(
      std::vector<std::string>{"production", Image877a, "--log", Db, "--port", a.Port, "--port", b.Port},
      TCliSetup{.Piped = true, .ErrFd = screen, .Screen = true});
  ::close(screen);
  std::string shown;
  const auto awaitShown = [&](const std::string& text) {
    for (int i = 0; i < 6000 && shown.find(text) == std::string::npos; ++i) {
      pollfd fd{terminal, POLLIN, 0};
      char chunk[4096];
      if (::poll(&fd, 1, 10) > 0) {
        const ssize_t n = ::read(terminal, chunk, sizeof chunk);
        if (n <= 0) break;
        shown.append(chunk, std::size_t(n));
      }
    }
    return shown.find(text) != std::string::npos;
  };
  ASSERT_TRUE(awaitShown("Load the chips and press Enter (q and Enter to stop) ")) << shown;
  run->Tell("\nq\n");
  ASSERT_TRUE(awaitShown("Production ended")) << shown;
  ::close(terminal);
  EXPECT_EQ(run->Wait(), 1);
  // The block goes back up over its lines; a failure stays above it, whole.
  EXPECT_NE(shown.find("\r\x1b[2A\x1b[J"), std::string::npos) << shown;
  EXPECT_NE(shown.find(a.Port + "  PIC16F877A"), std::string::npos) << shown;
  EXPECT_NE(shown.find("last: chip "), std::string::npos) << shown;
  const std::size_t failed = shown.find("\x1b[J" + b.Port + ": chip ");
  EXPECT_NE(shown.find(": fail (", failed), std::string::npos) << shown;
  EXPECT_NE(shown.find("0005", failed), std::string::npos) << shown;
}
