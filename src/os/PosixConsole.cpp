#include "os/Console.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace Os {

namespace {

volatile sig_atomic_t Caught = 0;

void OnSignal(int signal) { Caught = signal; }

}  // namespace

void KeepStandardStreamsOpen() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is the closed one.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd) ::_exit(127);
  }
}

void UseBinaryStandardStreams() {}

void CatchInterruptions() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

int Interruption() { return Caught; }

void EndAsBrokenPipe() {
  ::signal(SIGPIPE, SIG_DFL);
  ::raise(SIGPIPE);
}

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)); }

int TerminalColumns(std::FILE* stream) {
  winsize size{};
  return ::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

}  // namespace Os
