// Whole jobs through the program as the user runs them: the window (offscreen), the link, the
// port and its event thread, against the simulated programmer in a process of its own, paced
// at the line's 57600 bit/s. Each job is timed from the click to the handled "Ready" and set
// against the line time of the characters that crossed the line; the program's processor
// time is taken from this process alone, so the simulator's own is never counted.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>

#include "BenchImage.h"
#include "CPort/ListSerialPorts.h"
#include "Measure.h"
#include "ReadFloor.h"
#include "BenchFixtures.h"
#include "SimProcess.h"
#include "Unit1/MainThreadWake.h"
#include "Unit1/Unit1.h"

namespace {

using TClock = std::chrono::steady_clock;
constexpr double LineCharsPerSecond = 5760.0;  // 57600 bit/s, ten bits a character
constexpr int JobTimeoutMs = 120000;
constexpr int IdleMs = 5000;
constexpr int Runs = 2;
// The floors' runs cost no processor time of the program's; more of them keep a run slowed by
// the machine's other guests from setting a floor too high, which would flatter the ratio.
constexpr int FloorRuns = 4;
// The tail of an answer after its "Ready" still comes in after the job has been handled.
constexpr int SettleMs = 300;

double Seconds(TClock::duration d) { return std::chrono::duration<double>(d).count(); }
double LineSeconds(double characters) { return characters / LineCharsPerSecond; }

struct TJob {
  double WallSeconds = 0;
  double CpuSeconds = 0;
  TUsage Usage;
  long Received = 0;             // characters the program took from the line
  long Deliveries = 0;           // received-bytes handlings
  std::map<int, TThreadUsage> Threads;  // what each thread used during the job
  double FinalHandlingSeconds = 0;  // the received-bytes handling that completed the job
};

// The window connected to a simulated programmer. Completion is seen from inside the
// received-bytes handling, so that waiting for it costs nothing and its moment is exact.
class TSession {
public:
  TSession(const TTempFolder& folder, TScriptedDialogs& dialogs,
           const std::vector<std::string>& simOptions)
      : FDialogs(dialogs), FDevice(simOptions) {
    folder.Write("Tolvane.ini", FDevice.SlavePath());
    Form = std::make_unique<TForm1>(dialogs, std::vector<std::string>{}, folder.File("Tolvane.ini"));
    Form->OnEnd = [] {};
    FTimeout.setSingleShot(true);
    QObject::connect(&FTimeout, &QTimer::timeout, &FLoop, [this] { FLoop.quit(); });
    TRxCharEvent handler = Form->ComPort->OnRxChar;
    Form->ComPort->OnRxChar = [this, handler](TObject* sender, int count) {
      FReceived += count;
      ++FDeliveries;
      const auto start = TClock::now();
      handler(sender, count);
      if (!FDone && FFinished && FFinished()) {
        FDoneAt = TClock::now();
        FFinalHandling = Seconds(FDoneAt - start);
        FDone = true;
        FLoop.quit();
      }
    };
    Form->FormActivate();
    const std::string recognized = std::string(TProgrammerLink::RecognizedText) + "PIC16F877A";
    Run([] {}, [&] { return Form->ConnectionText() == recognized; }, "identification");
  }
  ~TSession() { Form.reset(); }

  // Clicks and waits until finished() holds after a received-bytes handling.
  TJob Run(const std::function<void()>& click, std::function<bool()> finished, const char* what) {
    FDialogs.Shown.clear();
    FFinished = std::move(finished);
    FDone = false;
    FReceived = 0;
    FDeliveries = 0;
    std::map<int, TThreadUsage> threads = ThreadUsage();
    const TUsage before = ProcessUsage();
    const auto start = TClock::now();
    click();
    if (!FDone) {
      FTimeout.start(JobTimeoutMs);
      FLoop.exec();
      FTimeout.stop();
    }
    FFinished = nullptr;
    if (!FDone) throw std::runtime_error(std::string("the ") + what + " did not finish");
    TJob job{Seconds(FDoneAt - start), 0, ProcessUsage() - before, FReceived, FDeliveries, {},
             FFinalHandling};
    job.CpuSeconds = job.Usage.CpuSeconds();
    for (const auto& [thread, now] : ThreadUsage())
      job.Threads[thread] = {now.CpuSeconds - threads[thread].CpuSeconds,
                             now.Switches - threads[thread].Switches,
                             now.Preempted - threads[thread].Preempted};
    // What follows the "Ready" is taken before the next job starts.
    QTimer::singleShot(SettleMs, &FLoop, [this] { FLoop.quit(); });
    FLoop.exec();
    return job;
  }

  std::unique_ptr<TForm1> Form;

private:
  TScriptedDialogs& FDialogs;
  TSimProcess FDevice;
  QEventLoop FLoop;
  QTimer FTimeout;
  std::function<bool()> FFinished;
  bool FDone = false;
  long FReceived = 0;
  long FDeliveries = 0;
  TClock::time_point FDoneAt;
  double FFinalHandling = 0;
};

// The program sitting with the port open and nothing to do: its share of one processor.
double IdleCpuShare() {
  QEventLoop idle;
  const double cpuBefore = ProcessCpuSeconds();
  const auto start = TClock::now();
  QTimer::singleShot(IdleMs, &idle, [&] { idle.quit(); });
  idle.exec();
  return (ProcessCpuSeconds() - cpuBefore) / Seconds(TClock::now() - start);
}

// The fastest the simulated programmer's own model allows: a client that hands the whole
// write stream to the line at once and only waits for the answer.
double IdealWriteSeconds(const std::vector<std::string>& simOptions, const std::string& stream) {
  TSimProcess device(simOptions);
  const int fd = ::open(device.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + device.SlavePath());
  // The simulator notices a new opener within its own recheck time; the program's port, too,
  // has been open for a while when a job starts.
  std::this_thread::sleep_for(std::chrono::milliseconds(SettleMs));
  const auto start = TClock::now();
  for (std::size_t done = 0; done < stream.size();) {
    const ssize_t n = ::write(fd, stream.data() + done, stream.size() - done);
    if (n <= 0) throw std::runtime_error("the ideal client's write failed");
    done += static_cast<std::size_t>(n);
  }
  std::string answer;
  while (answer.find("Ready") == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    char chunk[256];
    ssize_t n = 0;
    if (::poll(&p, 1, JobTimeoutMs) <= 0 || (n = ::read(fd, chunk, sizeof chunk)) <= 0) {
      ::close(fd);
      throw std::runtime_error("the ideal client got no answer");
    }
    answer.append(chunk, static_cast<std::size_t>(n));
  }
  const double seconds = Seconds(TClock::now() - start);
  ::close(fd);
  if (answer.find("Error") != std::string::npos)
    throw std::runtime_error("the simulator reported errors to the ideal client");
  return seconds;
}

void Check(bool condition, const char* what) {
  if (!condition) throw std::runtime_error(what);
}

std::string Percent(double share) { return Format("%.2f %%", share * 100); }

// Prints every run of a job and puts the best of its runs into the table: the shortest time
// against its reference, and the smallest share of processor time.
void ReportJob(const char* item, const std::string& name, const std::vector<TJob>& runs,
               const std::function<double(const TJob&)>& reference, const char* referenceName,
               double goal, double processorGoal) {
  double bestRatio = 1e300, bestWall = 0, bestReference = 0, bestShare = 1e300;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const TJob& job = runs[i];
    const double ratio = job.WallSeconds / reference(job);
    const double share = job.CpuSeconds / job.WallSeconds;
    std::printf("%s, run %zu: %ld characters received, %s %.3f s, job %.3f s: ratio %.4f; "
                "processor %.3f s = %.2f %% of the job\n",
                name.c_str(), i + 1, job.Received, referenceName, reference(job), job.WallSeconds,
                ratio, job.CpuSeconds, 100 * share);
    std::printf("  user %.3f s, system %.3f s, %ld context switches; %ld received-bytes "
                "handlings, %.1f characters each; by thread:",
                job.Usage.UserSeconds, job.Usage.SystemSeconds, job.Usage.ContextSwitches,
                job.Deliveries,
                job.Deliveries ? double(job.Received) / double(job.Deliveries) : 0.0);
    for (const auto& [thread, usage] : job.Threads)
      if (usage.CpuSeconds > 0 || usage.Switches > 0)
        std::printf(" %s %.3f s (%ld sleeps, %ld preemptions)",
                    thread == ::getpid() ? "main" : std::to_string(thread).c_str(),
                    usage.CpuSeconds, usage.Switches, usage.Preempted);
    std::printf("\n");
    if (ratio < bestRatio) {
      bestRatio = ratio;
      bestWall = job.WallSeconds;
      bestReference = reference(job);
    }
    bestShare = std::min(bestShare, share);
  }
  const std::string runsText = runs.size() > 1 ? Format(" (best of %.0f)", double(runs.size())) : "";
  PrintRow(item, name + ", click to handled Ready, / " + referenceName + runsText,
           Format("%.3f s / ", bestWall) + Format("%.3f s = ", bestReference) +
               Format("%.4f", bestRatio),
           Format("<= %.2f", goal), Verdict(bestRatio <= goal));
  PrintRow("3", "Processor time of the program during: " + name + runsText,
           Percent(bestShare), Format("<= %.0f %%", processorGoal * 100),
           Verdict(bestShare <= processorGoal));
}

// The command, then the answer up to its handled "Ready".
double ReadLineSeconds(const TJob& job) { return LineSeconds(5.0 + double(job.Received)); }

std::string ReadName(int latencyMs) {
  return Format("Read of a PIC16F877A, the bridge handing over every %.0f ms", latencyMs);
}

// Prints each run of a floor reader and returns the least share of processor time among them.
double BestFloor(const char* reader, const std::vector<TFloorRead>& runs) {
  double best = 1e300;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const TFloorRead& f = runs[i];
    std::printf("%s, run %zu: %zu characters, %ld reads, %.3f s; processor %.4f s = %.2f %%\n", reader,
                i + 1, f.Answer.size(), f.Reads, f.WallSeconds, f.CpuSeconds,
                100 * f.CpuSeconds / f.WallSeconds);
    best = std::min(best, f.CpuSeconds / f.WallSeconds);
  }
  return best;
}

// The reads of one session, each checked against the chip, taken in turns with the floor's
// reads from a simulator of the same options, so that both see the same load of the machine.
// Reported against the line time, and the program's processor time against the floor's.
std::vector<TJob> RunReads(TSession& session, const std::string& imageText,
                           const std::vector<std::string>& simOptions, int latencyMs,
                           double processorGoal) {
  TForm1& form = *session.Form;
  const std::string command = "#" + std::string(ReadSizeCode(form.Link.Chip.SizeCode));
  std::vector<TJob> reads;
  std::vector<TFloorRead> floors, qtFloors;
  auto runFloor = [&](std::vector<TFloorRead>& runs, const std::string& reader) {
    runs.push_back(RunFloorRead(simOptions, command, reader));
    Check(runs.back().Answer.compare(0, imageText.size(), imageText) == 0,
          (reader + "'s read did not give the chip's image").c_str());
  };
  for (int run = 0; run < FloorRuns; ++run) {
    if (run < Runs) {
      reads.push_back(session.Run([&] { form.ToolButton2->click(); },
                                  [&] { return form.Link.LinkMode == -1; }, "read"));
      Check(form.Memo.Text() == imageText, "the read did not give the chip's image");
    }
    runFloor(floors, "read_floor");
    runFloor(qtFloors, "read_floor_qt");
  }
  const std::string name = ReadName(latencyMs);
  ReportJob("2", name, reads, ReadLineSeconds, "line time", 1.03, processorGoal);
  double program = 1e300;
  for (const TJob& job : reads) program = std::min(program, job.CpuSeconds / job.WallSeconds);
  const double floor = BestFloor("the floor, a single-threaded blocking reader", floors);
  const double qtFloor =
      BestFloor("a Qt program's least, a reader thread posting to the event loop", qtFloors);
  PrintRow("3", Format("Processor time during the read, the bridge handing over every %.0f ms: "
                       "a Qt program's least (a reader thread posting each delivery to the event "
                       "loop) / the floor",
                       latencyMs) + Format(" (best of %.0f each)", FloorRuns),
           Percent(qtFloor) + " / " + Percent(floor) + Format(" = %.2f", qtFloor / floor), "-", "-");
  PrintRow("3", Format("Processor time during the read, the bridge handing over every %.0f ms: "
                       "the program / the floor, a single-threaded blocking reader",
                       latencyMs) + Format(" (best of %.0f", Runs) + Format("; the floor's of %.0f)", FloorRuns),
           Percent(program) + " / " + Percent(floor) + Format(" = %.2f", program / floor),
           "<= 2.5", Verdict(program / floor <= 2.5));
  return reads;
}

int Main(int argc, char** argv) {
  QApplication application(argc, argv);
  // --reads [MS]: the reads and their floor alone (with MS, only those with the bridge
  // handing over every MS ms), for measuring the receive path.
  const bool readsOnly = argc > 1 && std::string(argv[1]) == "--reads";
  const int onlyLatency = readsOnly && argc > 2 ? std::atoi(argv[2]) : 0;
  auto reading = [&](int latencyMs) { return onlyLatency == 0 || onlyLatency == latencyMs; };
  InstallMainThreadWake();
  TTempFolder folder;
  // No ports of the machine, only the simulator's.
  TSerialPortSources sources;
  sources.TtyClassDir = folder.Path();
  sources.DevDir = folder.Path();
  sources.SimDir.clear();
  SetSerialPortSources(&sources);

  const Sim::TChipMemory chip = FullChip();
  const std::string imageText = ReadImageText(chip);
  const std::string stream = WriteStream(imageText);
  Hex::SaveHexFile(folder.File("chip.hex"), chip.Image());
  const std::string imageFile = folder.Write("image.hex", imageText);
  TScriptedDialogs dialogs;
  const std::vector<std::string> paced{"--chip", "PIC16F877A", "--baud", "57600", "--load",
                                       folder.File("chip.hex")};
  // A USB bridge hands what it received to the computer when its latency timer runs out:
  // every millisecond at the most, as the simulator's line does by itself, or every 16 ms,
  // a common setting.
  auto handingOverEvery = [](std::vector<std::string> options, int ms) {
    options.insert(options.end(), {"--latency-ms", std::to_string(ms)});
    return options;
  };
  std::vector<std::string> noProgrammingTime = paced;
  noProgrammingTime.insert(noProgrammingTime.end(), {"--prog-ms", "0"});
  constexpr double ReadProcessorGoal = 0.05, ProcessorGoal = 0.10;

  if (reading(1)) {
    TSession session(folder, dialogs, handingOverEvery(noProgrammingTime, 1));
    TForm1& form = *session.Form;

    if (!readsOnly) {
      const double idle = IdleCpuShare();
      std::printf("idle with the port open for %.1f s: %.3f %% of one processor\n", IdleMs / 1e3,
                  idle * 100);
      PrintRow("3", "Processor time of the program idle with the port open", Percent(idle),
               "< 0.5 %", Verdict(idle < 0.005));
    }

    // Other programs share the machine: each job runs more than once and the best run
    // counts; every run is shown.
    const long rssBefore = VmKiB("VmRSS");
    const std::vector<TJob> reads =
        RunReads(session, imageText, handingOverEvery(noProgrammingTime, 1), 1, ReadProcessorGoal);
    const long peak = VmKiB("VmHWM");

    const TJob& read = *std::min_element(reads.begin(), reads.end(), [](auto& x, auto& y) {
      return x.FinalHandlingSeconds < y.FinalHandlingSeconds;
    });
    const double append = read.FinalHandlingSeconds / ReadLineSeconds(read);
    std::printf("completion of the read (image lines appended with their change notices, "
                "window updated): %.2f ms\n", read.FinalHandlingSeconds * 1e3);
    PrintRow("4", "Appending the read result to the image in the window, / read line time",
             Format("%.2f ms = ", read.FinalHandlingSeconds * 1e3) + Percent(append), "< 2 %",
             Verdict(append < 0.02));
    std::printf("memory: %ld KiB resident before the read, peak %ld KiB\n", rssBefore, peak);
    PrintRow("5", "Peak memory of the program during the largest read (VmHWM)",
             Format("%.1f MiB", peak / 1024.0) + Format(" (%.1f MiB before it)", rssBefore / 1024.0),
             "-", "-");

    std::vector<TJob> writes;
    for (int run = 0; run < Runs && !readsOnly; ++run) {
      form.SetStatusPanel(0, "");
      writes.push_back(session.Run([&] { form.ToolButton1->click(); },
                                   [&] { return form.StatusPanel(0) == " Ready"; }, "write"));
      Check(dialogs.Shown.empty(), "the write showed a message");
    }
    if (!readsOnly)
      ReportJob("2", "Write of a PIC16F877A, no programming time", writes,
                [&](const TJob& job) { return LineSeconds(double(stream.size() + job.Received)); },
                "line time", 1.03, ProcessorGoal);
  }

  if (reading(16)) {
    TSession session(folder, dialogs, handingOverEvery(noProgrammingTime, 16));
    RunReads(session, imageText, handingOverEvery(noProgrammingTime, 16), 16, ReadProcessorGoal);
  }
  if (readsOnly) return 0;

  {
    TSession session(folder, dialogs, paced);
    TForm1& form = *session.Form;
    dialogs.Files.push_back(imageFile);
    form.ToolButton4->click();
    Check(form.Memo.Text() == imageText, "the image did not load");
    std::vector<TJob> writes;
    for (int run = 0; run < Runs; ++run) {
      form.SetStatusPanel(0, "");
      writes.push_back(session.Run([&] { form.ToolButton1->click(); },
                                   [&] { return form.StatusPanel(0) == " Ready"; }, "write"));
      Check(dialogs.Shown.empty(), "the write showed a message");
    }
    double fastest = 1e300;
    for (int run = 0; run < Runs; ++run) fastest = std::min(fastest, IdealWriteSeconds(paced, stream));
    std::printf("line time alone of the write: %.3f s; the simulator's fastest (best of %d): "
                "%.3f s\n", LineSeconds(double(stream.size() + 7)), Runs, fastest);
    ReportJob("2", "Write of a PIC16F877A, the chip's programming time", writes,
              [&](const TJob&) { return fastest; }, "simulator's fastest", 1.03, ProcessorGoal);
  }
  SetSerialPortSources(nullptr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Headless, whatever the desktop.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  try {
    return Main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_e2e: %s\n", e.what());
    return 1;
  }
}
