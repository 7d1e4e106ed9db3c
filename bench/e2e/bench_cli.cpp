// tolvane-cli as a bench runs it: a write with verify of the largest image, the whole program
// timed from its start to its exit against the line time of the write and the read-back, with
// the simulated programmer in a process of its own paced at 57600 bit/s and programming in no
// time. Beside it, the image checks alone: reading the file by the programmer's rules, fitting
// it to the chip and comparing the read answer with it.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchImage.h"
#include "Measure.h"
#include "SimProcess.h"
#include "image/ImageCheck.h"
#include "link/ChipTable.h"

namespace {

using TClock = std::chrono::steady_clock;
constexpr double LineCharsPerSecond = 5760.0;  // 57600 bit/s, ten bits a character
constexpr int Runs = 2;
constexpr int CheckRounds = 5;
constexpr long ReadyAnswer = 7;  // "Ready" CR LF
constexpr long ReadCommand = 5;  // "#0804"

double Seconds(TClock::duration d) { return std::chrono::duration<double>(d).count(); }

// Runs the program to its end; throws unless it exits 0.
double RunSeconds(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const auto start = TClock::now();
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double seconds = Seconds(TClock::now() - start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("tolvane-cli write failed with status " + std::to_string(status));
  return seconds;
}

}  // namespace

int main() try {
  const std::filesystem::path bin = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  const Sim::TChipMemory chip = FullChip();
  const std::string imageText = ReadImageText(chip);
  const long written = static_cast<long>(WriteStream(imageText).size());
  const std::string file = "/tmp/tolvane-bench-cli-" + std::to_string(::getpid()) + ".hex";
  std::ofstream(file, std::ios::binary) << imageText;

  TChip identified;
  identified.SelectChip(0x0E2);
  const long readAnswer = ReadAnswerLength(identified.SizeCode);
  const double lineSeconds = double(written + ReadyAnswer + ReadCommand + readAnswer) / LineCharsPerSecond;

  double best = 1e300;
  for (int run = 0; run < Runs; ++run) {
    TSimProcess device({"--chip", "PIC16F877A", "--baud", "57600", "--prog-ms", "0"});
    const double seconds = RunSeconds({(bin / "tolvane-cli").string(), "--quiet", "--port",
                                       device.SlavePath(), "write", file});
    std::printf("write with verify, run %d: %.3f s against %.3f s of line time: ratio %.4f\n",
                run + 1, seconds, lineSeconds, seconds / lineSeconds);
    best = std::min(best, seconds);
  }
  PrintRow("6", "tolvane-cli write with verify of a PIC16F877A, start to exit, / line time" +
                    Format(" (best of %.0f)", Runs),
           Format("%.3f s / ", best) + Format("%.3f s = ", lineSeconds) + Format("%.4f", best / lineSeconds),
           "<= 1.03", Verdict(best / lineSeconds <= 1.03));

  // The checks alone, on the same image and the chip's read answer of it.
  const Image::TChipLayout layout = Image::LayoutOf(identified);
  double fastest = 1e300;
  for (int round = 0; round < CheckRounds; ++round) {
    const auto start = TClock::now();
    const Image::TImageFile image = Image::ParseImage(imageText, "full.hex");
    const bool fits = Image::OutsideChip(image, layout).empty();
    const Image::TComparison result = Image::Compare(image, Hex::ReadHex(imageText), layout);
    fastest = std::min(fastest, Seconds(TClock::now() - start));
    if (!fits || !result.Holds()) throw std::runtime_error("the image does not check against itself");
  }
  const double share = fastest / (double(written) / LineCharsPerSecond);
  std::printf("check and compare: %.2f ms against %.3f s of the image's line time\n", fastest * 1e3,
              double(written) / LineCharsPerSecond);
  PrintRow("6", "Checking a PIC16F877A image and comparing a read answer with it, / the image's line time" +
                    Format(" (best of %.0f)", CheckRounds),
           Format("%.2f ms = ", fastest * 1e3) + Format("%.3f %%", share * 100), "< 1 %",
           Verdict(share < 0.01));
  std::filesystem::remove(file);
  return 0;
} catch (const std::exception& e) {
  std::fprintf(stderr, "bench_cli: %s\n", e.what());
  return 1;
}
