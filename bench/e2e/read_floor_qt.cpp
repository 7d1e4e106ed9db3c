// The least processor time a read can take in a Qt program that hands what arrives to its main
// thread, as the window does: a thread makes one blocking read() per hand-over of the line and
// posts an event; the main thread, in Qt's event loop, takes the characters from it. Two
// wake-ups a hand-over and nothing else. bench_e2e runs it beside read_floor.
//
// Usage: read_floor_qt PORT COMMAND (output as read_floor's)
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <algorithm>
#include <mutex>
#include <string>
#include <thread>

#include "FloorLine.h"

namespace {

using FloorLine::Seconds;

int Fail(const char* what) { return FloorLine::Fail("read_floor_qt", what); }

struct TShared {
  std::mutex Lock;
  std::string Arrived;  // what the reader has taken and the main thread not yet
  bool Failed = false;
};

class TDelivery : public QEvent {
public:
  static constexpr QEvent::Type Type = QEvent::User;
  TDelivery() : QEvent(Type) {}
};

// The main thread's side: moves what arrived to the answer and ends the loop at "Ready".
class TReceiver : public QObject {
public:
  TReceiver(TShared& shared, std::string& answer) : FShared(shared), FAnswer(answer) {}

protected:
  bool event(QEvent* e) override {
    if (e->type() != TDelivery::Type) return QObject::event(e);
    const std::size_t from = FAnswer.size() > 4 ? FAnswer.size() - 4 : 0;
    bool failed;
    {
      std::lock_guard lock(FShared.Lock);
      FAnswer += FShared.Arrived;
      FShared.Arrived.clear();
      failed = FShared.Failed;
    }
    if (failed || FAnswer.find("Ready", from) != std::string::npos) QCoreApplication::exit(failed);
    return true;
  }

private:
  TShared& FShared;
  std::string& FAnswer;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: read_floor_qt PORT COMMAND\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QGuiApplication application(qtArgc, argv);
  const int fd = FloorLine::Open("read_floor_qt", argv[1]);
  if (fd < 0) return 1;

  TShared shared;
  std::string answer;
  answer.reserve(1 << 20);
  shared.Arrived.reserve(1 << 16);
  TReceiver receiver(shared, answer);
  // The loop's first round sets itself up; the program's loop has been running for a while too.
  QCoreApplication::postEvent(&receiver, new QEvent(QEvent::None));
  QCoreApplication::processEvents();
  long reads = 0;
  const double cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID), wall = Seconds(CLOCK_MONOTONIC);
  const std::size_t commandLength = std::strlen(argv[2]);
  if (::write(fd, argv[2], commandLength) != ssize_t(commandLength)) return Fail("write");
  std::thread reader([&] {
    char chunk[4 + 4096];
    std::size_t kept = 0;  // the last four characters of the chunk before: "Ready" may straddle
    for (;;) {
      const ssize_t n = ::read(fd, chunk + kept, sizeof chunk - kept);
      if (n < 0 && errno == EINTR) continue;
      {
        std::lock_guard lock(shared.Lock);
        if (n > 0) shared.Arrived.append(chunk + kept, std::size_t(n));
        shared.Failed = n <= 0;
      }
      QCoreApplication::postEvent(&receiver, new TDelivery);
      if (n <= 0) return;
      ++reads;
      const std::size_t length = kept + std::size_t(n);
      if (memmem(chunk, length, "Ready", 5)) return;  // nothing more comes
      kept = std::min<std::size_t>(length, 4);
      std::memmove(chunk, chunk + length - kept, kept);
    }
  });
  const int failed = application.exec();
  const double cpuUsed = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu;
  const double wallUsed = Seconds(CLOCK_MONOTONIC) - wall;
  ::close(fd);
  reader.join();
  if (failed) return Fail("read");
  std::printf("cpu %.9f wall %.6f reads %ld\n", cpuUsed, wallUsed, reads);
  std::fwrite(answer.data(), 1, answer.size(), stdout);
  return 0;
}
