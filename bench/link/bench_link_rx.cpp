// Cost per byte of the receive handling for a full PIC16F877 read answer, delivered in small
// and large chunks, and how that cost grows with the length of the answer.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "link/ProgrammerLink.h"

namespace {

std::string Hex2(unsigned value) {
  static const char digits[] = "0123456789ABCDEF";
  return {digits[(value >> 4) & 0xF], digits[value & 0xF]};
}

std::string Record(unsigned address, unsigned type, const std::vector<unsigned>& data) {
  unsigned sum = data.size() + (address >> 8) + (address & 0xFF) + type;
  std::string line = ":" + Hex2(data.size()) + Hex2(address >> 8) + Hex2(address) + Hex2(type);
  for (unsigned byte : data) {
    line += Hex2(byte);
    sum += byte;
  }
  return line + Hex2(-sum) + "\r\n";
}

// What the programmer sends for a chip of the given size code: program memory, the ID
// locations, the configuration word, the EEPROM (one byte per word), the end record, "Ready".
std::string ReadAnswer(const std::string& sizeCode) {
  const unsigned programBytes = ProgramKWords(sizeCode) * 1024 * 2;
  const unsigned eepromBytes = EepromBytes(sizeCode) * 2;
  std::string answer;
  for (unsigned address = 0; address < programBytes; address += 16) {
    std::vector<unsigned> data;
    for (unsigned word = address / 2; word < address / 2 + 8; ++word) {
      const unsigned value = (word * 0x2F1) & 0x3FFF;  // anything that looks like code
      data.push_back(value & 0xFF);
      data.push_back(value >> 8);
    }
    answer += Record(address, 0, data);
  }
  answer += Record(0x4000, 0, {0xFF, 0x3F, 0xFF, 0x3F, 0xFF, 0x3F, 0xFF, 0x3F});
  answer += Record(0x400E, 0, {0x72, 0x3F});
  for (unsigned address = 0x4200; address < 0x4200 + eepromBytes; address += 16) {
    std::vector<unsigned> data;
    for (unsigned i = 0; i < 8; ++i) {
      data.push_back((address + i) & 0xFF);
      data.push_back(0);
    }
    answer += Record(address, 0, data);
  }
  answer += Record(0, 1, {});
  return answer + "Ready\r\n";
}

struct TAnswer {
  int ChipNumber;
  std::string Text;
  int HexLines;  // every line but the closing "Ready" one goes into the image
};

TAnswer MakeAnswer(int chipNumber) {
  TChip chip;
  chip.SelectChip(chipNumber);
  TAnswer answer{chipNumber, ReadAnswer(chip.SizeCode), 0};
  answer.HexLines = static_cast<int>(std::count(answer.Text.begin(), answer.Text.end(), '\n')) - 1;
  return answer;
}

const TAnswer F877 = MakeAnswer(154);  // 47,586 characters
const TAnswer F84A = MakeAnswer(86);   // 6,186 characters

class TReplayChannel : public IByteChannel {
public:
  const std::string* Answer = nullptr;
  std::size_t Position = 0;
  int WriteText(const std::string& text) override { return static_cast<int>(text.size()); }
  int ReadText(std::string& text, int count) override {
    const std::size_t take = std::min<std::size_t>(count, Answer->size() - Position);
    text.resize(take);
    std::memcpy(text.data(), Answer->data() + Position, take);
    Position += take;
    return static_cast<int>(take);
  }
};

class TQuietView : public ILinkView {
public:
  TTextBox Memo;
  int Position = 0;
  void SetButtonEnabled(TToolButtonId, bool) override {}
  bool ButtonEnabled(TToolButtonId) const override { return true; }
  void SetStatusPanel(int, const std::string&) override {}
  void SetProgressVisible(bool) override {}
  void SetProgressLabel(const std::string&) override {}
  void SetProgressMax(int) override {}
  void SetProgressPosition(int position) override { Position = position; }
  std::string ConnectionText() const override { return {}; }
  void SetConnectionText(const std::string&) override {}
  void SetPortSelectorEnabled(bool) override {}
  TTextBox& Image() override { return Memo; }
  int MessageDlg(const std::string&, TMsgDlgType) override { return mrOk; }
  void RepaintWindow() override {}
  void RepaintProgress() override {}
  void RequestEnd() override {}
};

// A whole read job: the command, then the answer in chunks of the given size, to completion.
void Receive(benchmark::State& state, const TAnswer& answer) {
  const std::size_t chunk = static_cast<std::size_t>(state.range(0));
  const std::size_t length = answer.Text.size();
  TQuietView view;
  TReplayChannel channel;
  channel.Answer = &answer.Text;
  TProgrammerLink link(view, channel);
  link.Chip.SelectChip(answer.ChipNumber);
  for (auto _ : state) {
    link.ToolButton2Click();
    channel.Position = 0;
    while (channel.Position < length)
      link.ComPortRxChar(static_cast<int>(std::min(chunk, length - channel.Position)));
    if (link.LinkMode != -1 || view.Memo.Count() != answer.HexLines)
      state.SkipWithError("read not completed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));
  state.counters["bytes"] = static_cast<double>(length);
}

// The least any receive handling must do per event, for scale: one read through the channel
// interface straight onto the end of a bare buffer, one progress update through the view
// interface, and a look at the new bytes for the marker's last letter. No marker search, no
// image: whatever this costs per one-byte event, a real handling costs at least as much.
class TAppendingChannel {
public:
  virtual ~TAppendingChannel() = default;
  virtual int ReadOnto(std::string& text, int count) = 0;
};
class TAppendingReplay : public TAppendingChannel {
public:
  const std::string* Answer = nullptr;
  std::size_t Position = 0;
  int ReadOnto(std::string& text, int count) override {
    const std::size_t take = std::min<std::size_t>(count, Answer->size() - Position);
    text.append(Answer->data() + Position, take);
    Position += take;
    return static_cast<int>(take);
  }
};

void EventFloor(benchmark::State& state) {
  const std::string& answer = F877.Text;
  TAppendingReplay replay;
  replay.Answer = &answer;
  TAppendingChannel& channel = replay;
  TQuietView quiet;
  ILinkView& view = quiet;
  std::string buffer;
  for (auto _ : state) {
    buffer.clear();
    replay.Position = 0;
    int letters = 0;
    while (replay.Position < answer.size()) {
      const std::size_t before = buffer.size();
      channel.ReadOnto(buffer, 1);
      view.SetProgressPosition(static_cast<int>(buffer.size()));
      letters += std::find(buffer.begin() + before, buffer.end(), 'y') != buffer.end();
    }
    benchmark::DoNotOptimize(letters);
  }
  state.counters["bytes"] = static_cast<double>(answer.size());
}

void ReceivePIC16F877(benchmark::State& state) { Receive(state, F877); }
void ReceivePIC16F84A(benchmark::State& state) { Receive(state, F84A); }
// Other programs share the machine: each figure is the best of several repetitions.
constexpr int Repetitions = 5;
BENCHMARK(ReceivePIC16F877)->Arg(1)->Arg(64)->Arg(4096)->Unit(benchmark::kMillisecond)
    ->Repetitions(Repetitions);
BENCHMARK(ReceivePIC16F84A)->Arg(1)->Unit(benchmark::kMillisecond)->Repetitions(Repetitions);
BENCHMARK(EventFloor)->Arg(1)->Unit(benchmark::kMillisecond)->Repetitions(Repetitions);

// Shows the usual table and keeps the best processor time per byte of each benchmark (steadier
// than wall time when other programs run).
class TPerByteReporter : public benchmark::ConsoleReporter {
public:
  std::map<std::string, std::map<int64_t, double>> NsPerByte;  // by chip, then chunk size
  TPerByteReporter() : ConsoleReporter(OO_Tabular) {}  // plain text: it goes into files too
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      const double seconds = run.cpu_accumulated_time / static_cast<double>(run.iterations);
      const double bytes = run.counters.at("bytes");
      double& best = NsPerByte[run.run_name.function_name][std::stoll(run.run_name.args)];
      best = best == 0 ? seconds * 1e9 / bytes : std::min(best, seconds * 1e9 / bytes);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TPerByteReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto& f877 = reporter.NsPerByte["ReceivePIC16F877"];
  if (!f877.empty()) {
    std::printf("\nReceive handling of a %zu-character PIC16F877 read answer (best of %d):\n",
                F877.Text.size(), Repetitions);
    double best = 1e300, worst = 0;
    for (const auto& [chunk, ns] : f877) {
      std::printf("  %5lld-byte chunks: %8.2f ns per byte\n", static_cast<long long>(chunk), ns);
      best = std::min(best, ns);
      worst = std::max(worst, ns);
    }
    const double ratio = worst / best;
    std::printf("  worst/best: %.2f (goal < 2: %s)\n", ratio, ratio < 2 ? "met" : "NOT met");
    // Rows of the results table the bench script gathers.
    std::string figures, sizes;
    for (const auto& [chunk, ns] : f877) {
      char text[32];
      std::snprintf(text, sizeof text, "%s%.2f", figures.empty() ? "" : " / ", ns);
      figures += text;
      sizes += (sizes.empty() ? "" : "/") + std::to_string(chunk);
    }
    std::printf("@row\t4\tReceive handling per byte of a full read answer, %s-byte chunks\t%s "
                "ns\t-\t-\n", sizes.c_str(), figures.c_str());
    std::printf("@row\t4\tReceive handling per byte, worst chunk size / best\t%.2f\t< 2\t%s\n",
                ratio, ratio < 2 ? "met" : "NOT met");
    if (f877.count(1) && f877.count(4096)) {
      // What one-byte delivery adds per byte is the fixed cost of a receive event.
      std::printf("  fixed cost per receive event: %.1f ns\n", f877.at(1) - f877.at(4096));
      const auto& floor = reporter.NsPerByte["EventFloor"];
      if (floor.count(1)) {
        // Even a handling that added nothing but the floor's work to the best cost per byte
        // would come out at this ratio for one-byte chunks.
        const double least = (best + floor.at(1)) / best;
        std::printf("  least work of any one-byte receive event: %.1f ns; the least ratio it "
                    "allows: %.2f\n", floor.at(1), least);
        std::printf("@row\t4\tLeast work of any one-byte receive event (read onto a bare buffer, "
                    "progress, marker letter) / the ratio it allows\t%.2f ns / %.2f\t-\t-\n",
                    floor.at(1), least);
      }
    }
  }
  const auto& f84a = reporter.NsPerByte["ReceivePIC16F84A"];
  if (f877.count(1) && f84a.count(1)) {
    // Rescanning the buffer per event would make the longer answer cost more per byte.
    const double growth = f877.at(1) / f84a.at(1);
    std::printf("\nGrowth with the answer's length, 1-byte chunks: %zu characters %.2f ns per byte, "
                "%zu characters %.2f ns per byte: ratio %.2f (goal about 1)\n",
                F84A.Text.size(), f84a.at(1), F877.Text.size(), f877.at(1), growth);
  }
  return 0;
}
