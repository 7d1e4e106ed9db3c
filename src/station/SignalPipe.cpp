#include "station/SignalPipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "framework/Exception.h"

namespace Station {

namespace {

int Pipe[2] = {-1, -1};
constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int signal) {
  const int saved = errno;
  const char byte = char(signal);
  [[maybe_unused]] const ssize_t n = ::write(Pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

TSignalPipe::TSignalPipe() {
  if (::pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) != 0)
    throw Exception(std::string("cannot make a pipe: ") + std::strerror(errno));
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const int signal : Signals) sigaction(signal, &action, nullptr);
}

TSignalPipe::~TSignalPipe() {
  for (const int signal : Signals) ::signal(signal, SIG_DFL);
  ::close(Pipe[0]);
  ::close(Pipe[1]);
  Pipe[0] = Pipe[1] = -1;
}

int TSignalPipe::Fd() const { return Pipe[0]; }

std::vector<int> TSignalPipe::Take() {
  std::vector<int> signals;
  char bytes[16];
  ssize_t n;
  while ((n = ::read(Pipe[0], bytes, sizeof bytes)) > 0)
    for (ssize_t i = 0; i < n; ++i) signals.push_back(bytes[i]);
  return signals;
}

}  // namespace Station
