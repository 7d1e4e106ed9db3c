// tolvane-cli production as a station runs it: rounds of a full PIC16F877A image on one and on
// four simulated programmers (processes of their own, paced at 57600 bit/s), the round's wall
// time and the processor time of the station and its workers during it; the host's own time
// per chip beside the line's; and the record's commits of one chip.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchImage.h"
#include "Measure.h"
#include "SimProcess.h"
#include "link/ChipTable.h"
#include "record/SqliteRecord.h"

namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;
constexpr double LineCharsPerSecond = 5760.0;  // 57600 bit/s, ten bits a character
constexpr int Runs = 3;
constexpr int CommitRounds = 5;

double Seconds(TClock::duration d) { return std::chrono::duration<double>(d).count(); }

// Processor seconds a process and its children have used so far: every thread's time on a
// processor, to the nanosecond, from the scheduler's statistics (the user and system times
// are sampled at the clock's tick).
double TreeCpuSeconds(pid_t pid) {
  double seconds = 0;
  const fs::path process = "/proc/" + std::to_string(pid);
  std::error_code error;
  for (const auto& task : fs::directory_iterator(process / "task", error)) {
    std::ifstream schedstat(task.path() / "schedstat");
    double nanoseconds = 0;
    if (schedstat >> nanoseconds) seconds += nanoseconds / 1e9;
  }
  std::ifstream children(process / "task" / std::to_string(pid) / "children");
  for (pid_t child; children >> child;) seconds += TreeCpuSeconds(child);
  return seconds;
}

// The station as a process with its operator's input and its events on pipes.
class TStation {
public:
  explicit TStation(std::vector<std::string> arguments) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    FPid = ::fork();
    if (FPid == 0) {
      ::dup2(in[0], STDIN_FILENO);
      ::dup2(out[1], STDOUT_FILENO);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    FIn = in[1];
    FOut = out[0];
  }
  ~TStation() {
    if (FPid > 0) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
    }
    ::close(FIn);
    ::close(FOut);
  }
  pid_t Pid() const { return FPid; }
  void Tell(const std::string& text) {
    if (::write(FIn, text.data(), text.size()) != ssize_t(text.size())) throw std::runtime_error("station gone");
  }
  // Reads until the output holds `text` after what was read before; the moment it came.
  TClock::time_point Await(const std::string& text) {
    const std::size_t from = FSeen;
    for (;;) {
      const std::size_t at = FText.find(text, from);
      if (at != std::string::npos) {
        FSeen = at + text.size();
        return TClock::now();
      }
      pollfd fd{FOut, POLLIN, 0};
      char chunk[4096];
      if (::poll(&fd, 1, 120000) <= 0) throw std::runtime_error("the station went silent:\n" + FText);
      const ssize_t n = ::read(FOut, chunk, sizeof chunk);
      if (n <= 0) throw std::runtime_error("the station ended:\n" + FText);
      FText.append(chunk, std::size_t(n));
    }
  }
  // Ends its input and waits for it; throws unless every chip passed.
  void End() {
    Tell("q\n");
    char chunk[4096];
    while (::read(FOut, chunk, sizeof chunk) > 0) {
    }
    int status = 0;
    ::waitpid(FPid, &status, 0);
    FPid = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      throw std::runtime_error("the station ended with status " + std::to_string(status) + ":\n" + FText);
  }

private:
  pid_t FPid = -1;
  int FIn = -1, FOut = -1;
  std::string FText;
  std::size_t FSeen = 0;
};

struct TRound {
  double Seconds = 0;     // Enter to the round's end
  double CpuSeconds = 0;  // of the station and its workers meanwhile
  double FirstChip = 0;   // Enter to the first chip's result
};

TRound Round(const fs::path& cli, const std::string& image, const std::string& db,
             const std::vector<std::unique_ptr<TSimProcess>>& sockets) {
  std::vector<std::string> arguments{cli.string(), "production", image, "--log", db};
  for (const auto& socket : sockets) arguments.insert(arguments.end(), {"--port", socket->SlavePath()});
  TStation station(arguments);
  station.Await("Load the chips and press Enter");
  const double cpuBefore = TreeCpuSeconds(station.Pid());
  const auto start = TClock::now();
  station.Tell("\n");
  TRound round;
  round.FirstChip = Seconds(station.Await(": pass (") - start);
  round.Seconds = Seconds(station.Await("Round 1 done") - start);
  round.CpuSeconds = TreeCpuSeconds(station.Pid()) - cpuBefore;
  station.End();
  return round;
}

std::vector<std::unique_ptr<TSimProcess>> Programmers(int count, const std::vector<std::string>& options) {
  std::vector<std::unique_ptr<TSimProcess>> sockets;
  for (int i = 0; i < count; ++i) sockets.push_back(std::make_unique<TSimProcess>(options));
  return sockets;
}

}  // namespace

int main() try {
  const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
  const fs::path folder = fs::temp_directory_path() / ("tolvane-bench-production-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const Sim::TChipMemory chip = FullChip();
  const std::string imageText = ReadImageText(chip);
  const std::string image = (folder / "full.hex").string();
  std::ofstream(image, std::ios::binary) << imageText;
  const std::string db = (folder / "record.db").string();

  // Rounds on one and on four programmers with the chip's own programming times.
  const std::vector<std::string> paced{"--chip", "PIC16F877A", "--baud", "57600"};
  const auto four = Programmers(4, paced);
  std::vector<std::unique_ptr<TSimProcess>> one;
  one.push_back(std::make_unique<TSimProcess>(paced));
  // The best wall time and, apart, the least processor time of each: other programs share
  // the machine and only ever add to either.
  TRound bestOne{1e300, 1e300}, bestFour{1e300, 1e300};
  for (int run = 0; run < Runs; ++run) {
    const TRound single = Round(bin / "tolvane-cli", image, db, one);
    const TRound gang = Round(bin / "tolvane-cli", image, db, four);
    std::printf("run %d: one programmer %.3f s (%.3f s of processor), four %.3f s (%.3f s of processor)\n",
                run + 1, single.Seconds, single.CpuSeconds, gang.Seconds, gang.CpuSeconds);
    bestOne.Seconds = std::min(bestOne.Seconds, single.Seconds);
    bestOne.CpuSeconds = std::min(bestOne.CpuSeconds, single.CpuSeconds);
    bestFour.Seconds = std::min(bestFour.Seconds, gang.Seconds);
    bestFour.CpuSeconds = std::min(bestFour.CpuSeconds, gang.CpuSeconds);
  }
  const double ratio = bestFour.Seconds / bestOne.Seconds;
  PrintRow("7", "Production round of a full PIC16F877A, four programmers / one, chip's own programming times" +
                    Format(" (best of %.0f)", Runs),
           Format("%.3f s / ", bestFour.Seconds) + Format("%.3f s = ", bestOne.Seconds) + Format("%.4f", ratio),
           "<= 1.05", Verdict(ratio <= 1.05));
  const double allowed = 4 * bestOne.CpuSeconds + 0.01 * bestFour.Seconds;
  PrintRow("7", "Processor time of the station and its workers during the round, four programmers / (4 x one + 1 % of a core)" +
                    Format(" (least of %.0f)", Runs),
           Format("%.3f s / ", bestFour.CpuSeconds) + Format("(4 x %.3f s", bestOne.CpuSeconds) +
               Format(" + %.3f s)", 0.01 * bestFour.Seconds),
           "<= 1", Verdict(bestFour.CpuSeconds <= allowed));

  // The host's own time per chip: no programming time, so the line alone is the chip's time.
  TChip identified;
  identified.SelectChip(0x0E2);
  const long identify = 4 + 4 + 1 + 13;  // the request and "0E28" CR LF "Ready" CR LF
  const long erase = 1 + 7;
  const long write = long(WriteStream(imageText).size()) + 7;
  const long verify = 5 + ReadAnswerLength(identified.SizeCode);
  const double lineSeconds = double(identify + erase + write + verify) / LineCharsPerSecond;
  double fastest = 1e300;
  {
    std::vector<std::unique_ptr<TSimProcess>> unprogrammed;
    unprogrammed.push_back(std::make_unique<TSimProcess>(
        std::vector<std::string>{"--chip", "PIC16F877A", "--baud", "57600", "--prog-ms", "0"}));
    for (int run = 0; run < Runs; ++run) {
      const TRound round = Round(bin / "tolvane-cli", image, db, unprogrammed);
      std::printf("one chip without programming time, run %d: Enter to its result %.3f s, line time %.3f s\n",
                  run + 1, round.FirstChip, lineSeconds);
      fastest = std::min(fastest, round.FirstChip);
    }
  }
  const double share = (fastest - lineSeconds) / lineSeconds;
  PrintRow("7", "Host's own time per chip (Enter to result, less the line time of identify, erase, write, read-back)" +
                    Format(" (best of %.0f)", Runs),
           Format("%.3f s - ", fastest) + Format("%.3f s = ", lineSeconds) +
               Format("%.1f ms = ", (fastest - lineSeconds) * 1e3) + Format("%.3f %%", share * 100),
           "< 1 %", Verdict(share < 0.01));

  // The record's part of it: a chip's row begun, its three steps and its end, each committed.
  double commits = 1e300;
  {
    Record::TSqliteRecord record((folder / "commits.db").string(), "bench");
    for (int round = 0; round < CommitRounds; ++round) {
      const auto start = TClock::now();
      const Record::TChipKey key = record.Begin({"ttyUSB0", "", "PIC16F877A", "0E28", "full.hex", std::string(64, '0')});
      for (const char* step : {"erase", "write", "verify"}) record.Step(key, step);
      record.Finish(key, Record::crPass, "");
      commits = std::min(commits, Seconds(TClock::now() - start));
    }
  }
  PrintRow("7", "The record's five commits of one chip (begin, three steps, end), on " + folder.parent_path().string() +
                    Format(" (best of %.0f)", CommitRounds),
           Format("%.2f ms = ", commits * 1e3) + Format("%.3f %% of the line time", commits / lineSeconds * 100),
           "-", "-");
  fs::remove_all(folder);
  return 0;
} catch (const std::exception& e) {
  std::fprintf(stderr, "bench_production: %s\n", e.what());
  return 1;
}
